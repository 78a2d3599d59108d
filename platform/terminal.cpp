#include "platform/terminal.h"

#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/vt.h"

namespace platform {
namespace {

// When the terminal does not tell its size.
constexpr Coord fallback_size{80, 24};
// Beyond this the model would cost more memory than any real screen needs.
constexpr Coord largest_size{2048, 1024};

Coord window_size() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
    return fallback_size;
  return {std::min<int>(size.ws_col, largest_size.column),
          std::min<int>(size.ws_row, largest_size.row)};
}

// Whether the character set of the locale that the program chose (LC_CTYPE) is UTF-8.
bool locale_is_utf8() {
  std::string codeset = ::nl_langinfo(CODESET);
  std::erase(codeset, '-');
  std::transform(codeset.begin(), codeset.end(), codeset.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return codeset == "utf8";
}

bool fits_one_cell(char32_t glyph) {
  return ::wcwidth(static_cast<wchar_t>(glyph)) == 1;
}

// Sends all the bytes, repeating only after a partial write or an interruption. False when the
// terminal took them not all.
bool send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno == EINTR) {
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Someone made the terminal non-blocking: wait until it takes more.
      pollfd ready{STDOUT_FILENO, POLLOUT, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Rows that cells from `start` on, `count` of them, row after row, fall in.
RowSpan rows_of(Coord start, int count, int width) {
  if (count <= 0 || width <= 0) return {};
  const long last_cell = static_cast<long>(start.column) + count - 1;
  return {start.row, static_cast<int>(std::min<long>(start.row + last_cell / width, INT_MAX))};
}

}  // namespace

void Terminal::start() {
  if (started_) return;
  started_ = true;
  if (::isatty(STDOUT_FILENO) != 1) return;
  glyphs_ = make_glyph_set(locale_is_utf8(), fits_one_cell);
  const Coord size = window_size();
  model_.emplace(size);
  forget_view(view_, size);
}

bool Terminal::follow_window_size() {
  if (!model_) return false;
  const Coord size = window_size();
  if (size != model_->size()) {
    model_->resize(size);
    forget_view(view_, size);
  }
  return true;
}

void Terminal::show(RowSpan changed) {
  std::string out;
  bring_view_to(view_, *model_, glyphs_, changed, out);
  // The terminal may show anything after a failed write: the next operation repaints it all.
  if (!send_all(out)) forget_view(view_, model_->size());
}

std::optional<ScreenInfo> Terminal::screen_info() {
  if (!follow_window_size()) return std::nullopt;
  show({});
  return model_->screen_info();
}

bool Terminal::write_cells(Coord at, std::string_view bytes, Attribute attribute) {
  if (!follow_window_size()) return false;
  const bool written = model_->write_cells(at, bytes, attribute);
  show({at.row, at.row});
  return written;
}

void Terminal::fill_cells(Coord start, int count, unsigned char byte, Attribute attribute) {
  if (!follow_window_size()) return;
  model_->fill_cells(start, count, byte, attribute);
  show(rows_of(start, count, model_->size().column));
}

void Terminal::scroll_cells(Rect source, Coord destination, unsigned char fill_byte,
                            Attribute fill_attribute) {
  if (!follow_window_size()) return;
  const Coord size = model_->size();
  const std::optional<RowShift> shift = upward_row_shift(source, destination, size);
  model_->scroll_cells(source, destination, fill_byte, fill_attribute);
  const RowSpan all_rows{0, size.row - 1};
  if (!shift || !view_.cells_known) {
    show(all_rows);
    return;
  }
  std::string out;
  if (shift->top == 0 && shift->bottom == size.row - 1) {
    // The whole screen moves up: line feeds on the bottom row, so that the rows leaving the top go
    // into the terminal's scroll-back as any scrolling output would.
    shift_view_up(view_, *shift, out);
    bring_view_to(view_, *model_, glyphs_, all_rows, out);
  } else {
    // Part of the screen: a scroll region where that is shorter than redrawing what changed.
    TerminalView scrolled = view_;
    shift_view_up(scrolled, *shift, out);
    bring_view_to(scrolled, *model_, glyphs_, all_rows, out);
    std::string redrawn;
    TerminalView redrawn_view = view_;
    bring_view_to(redrawn_view, *model_, glyphs_, all_rows, redrawn);
    if (redrawn.size() <= out.size()) {
      out = std::move(redrawn);
      view_ = std::move(redrawn_view);
    } else {
      view_ = std::move(scrolled);
    }
  }
  if (!send_all(out)) forget_view(view_, size);
}

bool Terminal::set_cursor_position(Coord cell) {
  if (!follow_window_size()) return false;
  const bool moved = model_->set_cursor_position(cell);
  show({});
  return moved;
}

std::optional<bool> Terminal::cursor_visible() {
  if (!follow_window_size()) return std::nullopt;
  show({});
  return model_->cursor_visible();
}

void Terminal::set_cursor_visible(bool visible) {
  if (!follow_window_size()) return;
  model_->set_cursor_visible(visible);
  show({});
}

bool Terminal::set_window(Rect window) {
  if (!follow_window_size()) return false;
  show({});
  // The terminal shows the whole buffer; no other window can be placed.
  const Coord size = model_->size();
  return window == Rect{0, 0, size.column - 1, size.row - 1};
}

void Terminal::beep() {
  if (!model_) return;
  model_->beep();
  std::string out;
  vt::bell(out);
  send_all(out);
}

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
