// Entry point of cardstow: wires the dialogue to the process's console.
// Command-line arguments are ignored.
#include <iostream>

#include "app/console_streams.h"
#include "app/dialogue.h"
#include "terminal/terminal.h"

int main() {
  open_console();
  console_input_buffer input;
  console_output_buffer output;
  std::istream in(&input);
  std::ostream out(&output);
  in.tie(&out);  // each read shows what was printed before it
  const int status = run_dialogue(in, out, std::cerr);
  out.flush();
  return report_console_failures(status, input.error(), output.error(),
                                 std::cerr);
}
