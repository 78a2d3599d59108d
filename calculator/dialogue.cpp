#include "calculator/dialogue.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calculator/placement.h"

namespace {

// Asks until the typed value, rounded to a whole number, lies in [lowest, highest]; a rejected
// value brings the same question again with nothing else written.
float ask_whole_number(Console& console, std::string_view prompt, float lowest, float highest) {
  for (;;) {
    const std::optional<float> typed = read_number(console, prompt);
    if (!typed) end_program();
    const auto value = static_cast<float>(round_to_int16(*typed));
    if (value >= lowest && value <= highest) return value;
  }
}

// Upper-cases byte by byte under the character-type locale.
std::string upper_cased(std::string text) {
  for (char& byte : text) {
    const auto code = static_cast<unsigned char>(byte);
    if (std::islower(code)) byte = static_cast<char>(std::toupper(code));
  }
  return text;
}

// Asks "Another? (y/n) " until the answer is y, Y, n or N; true for yes.
bool ask_another(Console& console) {
  for (;;) {
    const std::optional<std::string> answer = read_line(console, "Another? (y/n) ", false, true);
    if (!answer) end_program();
    const std::string upper = upper_cased(*answer);
    if (upper == "Y") return true;
    if (upper == "N") return false;
  }
}

}  // namespace

void run_calculation(Console& console) {
  write_text(console, "", true);
  const float rows = ask_whole_number(console, "Rows", 3, 256);
  const float notes = ask_whole_number(console, "Notes", 2, rows - 1);
  const float ticks = ask_whole_number(console, "Ticks per row", 1, 256);
  write_text(console, position_line(rows, notes, ticks), false);
  write_text(console, "", true);
  if (!ask_another(console)) end_program();
}

void end_program() {
  std::exit(0);
}
