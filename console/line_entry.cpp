#include "console/line_entry.h"

#include "console/screen.h"
#include "console/stream_source.h"

std::optional<std::string> read_line(Console& console, std::string_view prompt,
                                     bool question_suffix, bool line_end) {
  write_raw(console, {}, true);  // a pending line end first
  write_text(console, prompt, false);
  if (question_suffix) write_text(console, "? ", false);
  // Until the line editor exists, the answer is the next line of standard input.
  std::optional<std::string> text = take_line(console.stream, *console.device);
  if (!text) return std::nullopt;
  if (line_end) write_text(console, "", true);
  return text;
}
