#include "platform/terminal.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace platform {

// For now the screen and the keyboard are plain streams: output goes out as bytes and lines are
// read from standard input as they come.
void Terminal::start() {}
std::optional<ScreenInfo> Terminal::screen_info() {
  return std::nullopt;
}
bool Terminal::write_cells(Coord, std::string_view, Attribute) {
  return false;
}
void Terminal::fill_cells(Coord, int, unsigned char, Attribute) {}
void Terminal::scroll_cells(Rect, Coord, unsigned char, Attribute) {}
bool Terminal::set_cursor_position(Coord) {
  return false;
}
std::optional<bool> Terminal::cursor_visible() {
  return std::nullopt;
}
void Terminal::set_cursor_visible(bool) {}
bool Terminal::set_window(Rect) {
  return false;
}
void Terminal::beep() {}

long Terminal::write_stream(const char* bytes, std::size_t count) {
  for (;;) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, count);
    if (written >= 0 || errno != EINTR) return written;
  }
}

bool Terminal::is_keyboard() {
  return ::isatty(STDIN_FILENO) == 1;
}
int Terminal::read_keys(KeyCode*, int) {
  return -1;
}
void Terminal::wait_for_keys(int) {}

long Terminal::read_stream(char* into, std::size_t room) {
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, into, room);
    if (count >= 0) return count;
    if (errno != EINTR) return 0;
  }
}

}  // namespace platform
