#include "console/number_entry.h"

#include <cstdlib>
#include <string>

#include "console/line_entry.h"
#include "console/stream_source.h"

// Placeholder until number entry is built: the line's leading number by strtof.
float parse_number(std::string_view line) {
  const std::string text(line);
  return std::strtof(text.c_str(), nullptr);
}

std::optional<float> read_number(Console& console, std::string_view prompt) {
  std::optional<std::string> line;
  if (console.device->is_keyboard()) {
    line = read_line(console, prompt, true, true);
  } else {
    line = take_line(console.stream, *console.device);
  }
  if (!line) return std::nullopt;
  return parse_number(*line);
}
