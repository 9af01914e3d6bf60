// Entry point of cardstow: wires the dialogue to the process's console.
// Command-line arguments are ignored.
#include <iostream>

#include "app/dialogue.h"

int main() {
  // The dialogue reads and writes only through std::cin and std::cout, so
  // they need not stay in step with C stdio; std::cin stays tied to std::cout.
  std::ios::sync_with_stdio(false);
  return run_dialogue(std::cin, std::cout, std::cerr);
}
