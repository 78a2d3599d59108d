// Runs the real program with its standard streams on pipes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct RunResult {
  std::string output;    // everything written to standard output
  std::string errors;    // everything written to standard error
  int exit_status = -1;  // when it exited, else -1
  int end_signal = 0;    // the signal that ended it, else 0
};

// Feeds `input` to the program's standard input, closes it, and collects what the program writes
// until it ends. `environment` entries ("NAME=value") are added to the current environment.
RunResult run_tuplets(std::string_view input, const std::vector<std::string>& environment = {});
