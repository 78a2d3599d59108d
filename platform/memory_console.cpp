#include "platform/memory_console.h"

#include <algorithm>

namespace platform {

MemoryConsole::MemoryConsole(Coord size, Rect window)
    : size_(size),
      window_(window),
      cells_(static_cast<std::size_t>(std::max(size.column, 0) * std::max(size.row, 0))) {}

MemoryConsole::MemoryConsole(Coord size)
    : MemoryConsole(size, Rect{0, 0, size.column - 1, size.row - 1}) {}

MemoryConsole MemoryConsole::stream_only() {
  MemoryConsole console;
  console.is_screen_ = false;
  return console;
}

const Cell& MemoryConsole::cell(Coord at) const {
  return cells_[static_cast<std::size_t>(at.row * size_.column + at.column)];
}

Cell& MemoryConsole::at(Coord cell) {
  return cells_[static_cast<std::size_t>(cell.row * size_.column + cell.column)];
}

bool MemoryConsole::inside(Coord at) const {
  return at.column >= 0 && at.row >= 0 && at.column < size_.column && at.row < size_.row;
}

std::string MemoryConsole::row_text(int row) const {
  std::string text;
  for (int column = 0; column < size_.column; ++column) {
    text.push_back(static_cast<char>(cell({column, row}).byte));
  }
  return text;
}

void MemoryConsole::resize(Coord size) {
  std::vector<Cell> cells(static_cast<std::size_t>(size.column * size.row));
  for (int row = 0; row < std::min(size.row, size_.row); ++row) {
    for (int column = 0; column < std::min(size.column, size_.column); ++column) {
      cells[static_cast<std::size_t>(row * size.column + column)] = cell({column, row});
    }
  }
  cells_ = std::move(cells);
  size_ = size;
  window_ = Rect{0, 0, size.column - 1, size.row - 1};
  cursor_.column = std::clamp(cursor_.column, 0, std::max(size.column - 1, 0));
  cursor_.row = std::clamp(cursor_.row, 0, std::max(size.row - 1, 0));
}

void MemoryConsole::type_keys(const std::vector<KeyCode>& keys, bool then_close) {
  is_keyboard_ = true;
  keys_.insert(keys_.end(), keys.begin(), keys.end());
  keyboard_closes_ = then_close;
}

void MemoryConsole::set_stream_input(std::string_view bytes) {
  is_keyboard_ = false;
  stream_input_ = bytes;
  stream_input_next_ = 0;
}

void MemoryConsole::start() {}

std::optional<ScreenInfo> MemoryConsole::screen_info() {
  if (!is_screen_ || screen_info_fails_) return std::nullopt;
  return ScreenInfo{size_, cursor_, window_, attribute_};
}

bool MemoryConsole::write_cells(Coord at, std::string_view bytes, Attribute attribute) {
  if (!is_screen_ || cell_writes_fail_) return false;
  if (at.row < 0 || at.row >= size_.row) return true;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const Coord target{at.column + static_cast<int>(i), at.row};
    if (inside(target)) this->at(target) = Cell{static_cast<unsigned char>(bytes[i]), attribute};
  }
  return true;
}

void MemoryConsole::fill_cells(Coord start, int count, unsigned char byte, Attribute attribute) {
  if (!is_screen_ || !inside(start)) return;
  const long first = static_cast<long>(start.row) * size_.column + start.column;
  const long last = std::min<long>(first + std::max(count, 0), static_cast<long>(cells_.size()));
  for (long i = first; i < last; ++i)
    cells_[static_cast<std::size_t>(i)] = Cell{byte, attribute};
}

void MemoryConsole::scroll_cells(Rect source, Coord destination, unsigned char fill_byte,
                                 Attribute fill_attribute) {
  if (!is_screen_) return;
  const Rect clipped{std::max(source.left, 0), std::max(source.top, 0),
                     std::min(source.right, size_.column - 1),
                     std::min(source.bottom, size_.row - 1)};
  if (clipped.left > clipped.right || clipped.top > clipped.bottom) return;
  // Clipping the source's top or left edge moves where its first cell lands.
  destination.column += clipped.left - source.left;
  destination.row += clipped.top - source.top;

  const int width = clipped.right - clipped.left + 1;
  const int height = clipped.bottom - clipped.top + 1;
  std::vector<Cell> block;
  block.reserve(static_cast<std::size_t>(width * height));
  for (int row = clipped.top; row <= clipped.bottom; ++row) {
    for (int column = clipped.left; column <= clipped.right; ++column) {
      block.push_back(cell({column, row}));
      at({column, row}) = Cell{fill_byte, fill_attribute};
    }
  }
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const Coord target{destination.column + column, destination.row + row};
      if (inside(target)) at(target) = block[static_cast<std::size_t>(row * width + column)];
    }
  }
}

bool MemoryConsole::set_cursor_position(Coord cell) {
  if (!is_screen_ || !inside(cell)) return false;
  cursor_ = cell;
  return true;
}

std::optional<bool> MemoryConsole::cursor_visible() {
  if (!is_screen_) return std::nullopt;
  return cursor_visible_;
}

void MemoryConsole::set_cursor_visible(bool visible) {
  if (is_screen_) cursor_visible_ = visible;
}

bool MemoryConsole::set_window(Rect window) {
  if (!is_screen_ || window.left > window.right || window.top > window.bottom ||
      !inside({window.left, window.top}) || !inside({window.right, window.bottom})) {
    return false;
  }
  window_ = window;
  return true;
}

void MemoryConsole::beep() {
  ++beeps_;
}

long MemoryConsole::write_stream(const char* bytes, std::size_t count) {
  if (stream_write_limit_ > 0) count = std::min(count, stream_write_limit_);
  stream_output_.append(bytes, count);
  return static_cast<long>(count);
}

bool MemoryConsole::is_keyboard() {
  return is_keyboard_;
}

int MemoryConsole::read_keys(KeyCode* into, int room) {
  if (!is_keyboard_) return 0;
  if (keys_.empty() && keyboard_closes_) return -1;
  int taken = 0;
  while (taken < room && !keys_.empty()) {
    into[taken++] = keys_.front();
    keys_.pop_front();
  }
  return taken;
}

void MemoryConsole::wait_for_keys(int) {}

long MemoryConsole::read_stream(char* into, std::size_t room) {
  ++stream_reads_;
  if (stream_read_limit_ > 0) room = std::min(room, stream_read_limit_);
  const std::size_t count = std::min(room, stream_input_.size() - stream_input_next_);
  stream_input_.copy(into, count, stream_input_next_);
  stream_input_next_ += count;
  return static_cast<long>(count);
}

}  // namespace platform
