// Entry point of cardstow: wires the dialogue to the process's console.
// Command-line arguments are ignored.
#include <iostream>

#include "app/console_streams.h"
#include "app/dialogue.h"
#include "signals/ending_signals.h"
#include "terminal/terminal.h"

int main() {
  install_ending_handlers();
  open_console();
  typed_lines* const typed = open_typed_lines();
  console_output_buffer output(typed != nullptr);
  console_input_buffer input(output, typed);
  std::ostream out(&output);
  std::istream in(&input);
  in.tie(&out);  // each read shows what was printed before it
  const int status =
      run_dialogue(in, out, std::cerr,
                   {.input = &input,
                    .read_error = &input.error(),
                    .output_is_terminal = standard_output_is_terminal()});
  output.finish();
  close_typed_lines(typed);
  const int exit_status =
      report_console_failures(status, output.error(), std::cerr);
  close_console();
  return exit_status;
}
