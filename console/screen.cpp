#include "console/screen.h"

namespace {

constexpr int stream_columns = 80;
constexpr int stream_rows = 25;

platform::Device& device(Console& console) {
  return *console.device;
}

void read_window(Console& console) {
  const auto info = device(console).screen_info();
  if (!info) {
    console.window = {};
    return;
  }
  console.window = {0, info->window.top, info->size.column - 1, info->window.bottom};
}

void write_stream(Console& console, std::string_view bytes) {
  while (!bytes.empty()) {
    const long written = device(console).write_stream(bytes.data(), bytes.size());
    if (written <= 0) return;  // a failed write drops the rest
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void start_console(Console& console) {
  if (console.started) return;
  console.started = true;
  device(console).start();
  read_window(console);
}

bool in_stream_mode(const Console& console) {
  return console.window.left == console.window.right || console.window.top == console.window.bottom;
}

void clear_screen(Console& console) {
  start_console(console);
  if (in_stream_mode(console)) return;
}

void write_raw(Console& console, std::string_view bytes, bool force) {
  start_console(console);
  if (in_stream_mode(console)) {
    write_stream(console, bytes);
    return;
  }
  (void)force;
}

void write_text(Console& console, std::string_view text, bool line_end) {
  if (!text.empty()) write_raw(console, text);
  if (line_end) write_raw(console, "\r\n");
}

TextCell cursor_position(Console& console) {
  start_console(console);
  return {};
}

CursorMove set_cursor(Console& console, int row, int column, int visibility) {
  start_console(console);
  (void)visibility;
  return {false, row, column};
}

ScreenSize screen_size(Console& console) {
  start_console(console);
  if (in_stream_mode(console)) return {stream_columns, stream_rows};
  return {console.window.right + 1, console.window.bottom - console.window.top + 1};
}

void beep(Console& console) {
  start_console(console);
  device(console).beep();
}
