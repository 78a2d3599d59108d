#include "console/screen.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace {

using platform::Attribute;
using platform::Coord;

// What a screen of unknown shape is taken to be: the size cursor operations report in stream mode,
// and the buffer a write assumes when its screen query fails.
constexpr int fallback_columns = 80;
constexpr int fallback_rows = 25;
constexpr Attribute fallback_attribute = platform::default_attribute;

// Text is stored in runs of at most this many bytes, each run in pieces cut at the right edge.
constexpr std::size_t run_capacity = 1024;
constexpr int tab_stop = 8;  // tab stops at buffer columns 0, 8, 16, ...
constexpr char blank = ' ';

// The control characters that act; every other byte is stored as a glyph.
constexpr char bell = '\a';
constexpr char backspace = '\b';
constexpr char tab = '\t';
constexpr char line_feed = '\n';
constexpr char carriage_return = '\r';

platform::Device& device(Console& console) {
  return *console.device;
}

// The window rectangle as the console keeps it: the window's rows, and the whole buffer width.
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

// The text area keeps the height the window had when it was first needed.
int fixed_area_height(Console& console) {
  if (console.area_height == 0) {
    console.area_height =
        in_stream_mode(console) ? fallback_rows : console.window.bottom - console.window.top + 1;
  }
  return console.area_height;
}

// Buffer rows of the text area, both inclusive.
struct AreaRows {
  int top = 0;
  int bottom = 0;
  int height() const { return bottom - top + 1; }
};

// The text area starts on the window's top row. When the buffer has become shorter than the area
// (the terminal was made smaller), the rows it no longer has are left out, so that text lands and
// scrolls inside the buffer.
AreaRows area_rows(Console& console, int buffer_rows) {
  const int last_row = std::max(buffer_rows - 1, 0);
  const int top = std::clamp(console.window.top, 0, last_row);
  const int bottom = std::clamp(console.window.top + fixed_area_height(console) - 1, top, last_row);
  return {top, bottom};
}

// The screen as an operation finds it. When the query fails: a buffer of 80 x 25 in attribute 7,
// with the cursor in the text area's top-left cell.
platform::ScreenInfo query_screen(Console& console) {
  platform::ScreenInfo screen{};
  if (const auto info = device(console).screen_info()) {
    screen = *info;
    screen.size = {std::max(screen.size.column, 1), std::max(screen.size.row, 1)};
    screen.cursor = {std::clamp(screen.cursor.column, 0, screen.size.column - 1),
                     std::clamp(screen.cursor.row, 0, screen.size.row - 1)};
    return screen;
  }
  screen.size = {fallback_columns, fallback_rows};
  screen.window = {0, 0, fallback_columns - 1, fallback_rows - 1};
  screen.attribute = fallback_attribute;
  screen.cursor = {0, area_rows(console, screen.size.row).top};
  return screen;
}

// One console-mode write: the values taken at its start, and how far it has got.
struct ScreenWrite {
  Console& console;
  platform::Device& device;
  Coord buffer;         // columns and rows of the screen buffer
  Attribute attribute;  // what stored and blanked cells take
  AreaRows area;
  // The area is as tall as the window: scrolling uses the rows below the area first, then shifts
  // the whole buffer, and the window follows the area. Otherwise only the area's rows shift.
  bool area_is_window = false;
  // The window's own columns, kept when it follows the area down the buffer.
  int window_left = 0;
  int window_right = 0;
  Coord p;  // the write position; its row may lie below the area until a scroll
  bool area_moved = false;
  bool ended_with_text = false;  // the last byte other than BEL was stored text or a TAB
  std::string run{};             // collected text not yet stored

  int width() const { return buffer.column; }
};

ScreenWrite begin_write(Console& console) {
  const platform::ScreenInfo screen = query_screen(console);
  const AreaRows area = area_rows(console, screen.size.row);
  const int window_height = console.window.bottom - console.window.top + 1;
  return ScreenWrite{.console = console,
                     .device = device(console),
                     .buffer = screen.size,
                     .attribute = screen.attribute,
                     .area = area,
                     .area_is_window = area.height() == window_height,
                     .window_left = screen.window.left,
                     .window_right = screen.window.right,
                     .p = screen.cursor};
}

void blank_rows(ScreenWrite& write, int first, int last) {
  write.device.fill_cells({0, first}, (last - first + 1) * write.width(), blank, write.attribute);
}

// Shifts rows first..last up by n (0 < n < their count); the bottom n of them end blank.
void shift_rows_up(ScreenWrite& write, int first, int last, int n) {
  write.device.scroll_cells({0, first + n, write.width() - 1, last}, {0, first}, blank,
                            write.attribute);
  // The scroll blanks only the source rows the moved block leaves uncovered; when n is more than
  // half the rows, the rows between the moved block and the source are blanked here.
  const int count = last - first + 1;
  if (2 * n > count) blank_rows(write, last - n + 1, first + n - 1);
}

// Moves the area down over rows the buffer has below it, at most n rows; returns how far.
int move_area_down(ScreenWrite& write, int n) {
  const int moved = std::min(n, write.buffer.row - 1 - write.area.bottom);
  if (moved <= 0) return 0;
  write.area.top += moved;
  write.area.bottom += moved;
  write.area_moved = true;
  return moved;
}

// Brings the write position back to the area's bottom row; freed rows are blank.
void scroll(ScreenWrite& write) {
  int n = write.p.row - write.area.bottom;
  if (write.area_is_window) {
    n -= move_area_down(write, n);
    if (n >= write.buffer.row) {
      blank_rows(write, write.area.top, write.area.bottom);
    } else if (n > 0) {
      shift_rows_up(write, 0, write.buffer.row - 1, n);
    }
  } else if (n >= write.area.height()) {
    blank_rows(write, write.area.top, write.area.bottom);
  } else {
    shift_rows_up(write, write.area.top, write.area.bottom, n);
  }
  write.p.row = write.area.bottom;
}

void scroll_if_below_area(ScreenWrite& write) {
  if (write.p.row > write.area.bottom) scroll(write);
}

// Storing a character in the last column wraps the write position to the next row; nothing
// scrolls until something is stored there.
void advance(ScreenWrite& write, int cells) {
  write.p.column += cells;
  if (write.p.column >= write.width()) write.p = {0, write.p.row + 1};
}

// Stores the collected run, one piece per row it reaches. A failed piece drops the rest of the run.
void store_run(ScreenWrite& write) {
  std::string_view rest = write.run;
  while (!rest.empty()) {
    scroll_if_below_area(write);
    const auto room = static_cast<std::size_t>(write.width() - write.p.column);
    const std::string_view piece = rest.substr(0, room);
    if (!write.device.write_cells(write.p, piece, write.attribute)) break;
    advance(write, static_cast<int>(piece.size()));
    rest.remove_prefix(piece.size());
  }
  write.run.clear();
}

// The column the write position reaches once the collected run is stored.
int column_after_run(const ScreenWrite& write) {
  const auto cells = static_cast<std::size_t>(write.p.column) + write.run.size();
  return static_cast<int>(cells % static_cast<std::size_t>(write.width()));
}

void collect(ScreenWrite& write, char byte, std::size_t count) {
  if (write.run.size() + count > run_capacity) store_run(write);
  write.run.append(count, byte);
}

void process_byte(ScreenWrite& write, char byte) {
  switch (byte) {
    case bell:
      write.device.beep();  // at once; text collected before it is stored later
      return;
    case tab:
      collect(write, blank,
              static_cast<std::size_t>(tab_stop - column_after_run(write) % tab_stop));
      write.ended_with_text = true;
      return;
    case backspace:
      store_run(write);
      if (write.p.column > 0) --write.p.column;
      break;
    case line_feed:
      store_run(write);
      write.p = {0, write.p.row + 1};
      break;
    case carriage_return:
      store_run(write);
      write.p.column = 0;
      break;
    default:
      collect(write, byte, 1);
      write.ended_with_text = true;
      return;
  }
  write.ended_with_text = false;
}

void carry_out_pending_line_end(ScreenWrite& write) {
  if (!write.console.pending_line_end) return;
  write.console.pending_line_end = false;
  write.p = {0, write.p.row + 1};
  scroll_if_below_area(write);
}

// Settles the write position and returns the cell to show the cursor on. Text that wrapped off the
// bottom-right cell does not scroll yet: the line end is owed to the next write, and the cursor
// stays on that last cell.
Coord end_of_write(ScreenWrite& write) {
  if (write.ended_with_text && write.p == Coord{0, write.area.bottom + 1}) {
    write.console.pending_line_end = true;
    return {write.width() - 1, write.area.bottom};
  }
  scroll_if_below_area(write);
  return write.p;
}

// The window follows an area that moved down the buffer, keeping its own columns.
void show_area(ScreenWrite& write) {
  write.device.set_window(
      {write.window_left, write.area.top, write.window_right, write.area.bottom});
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
  fixed_area_height(console);
  console.pending_line_end = false;
  if (in_stream_mode(console)) return;
  const platform::ScreenInfo screen = query_screen(console);
  const AreaRows area = area_rows(console, screen.size.row);
  for (int row = area.bottom; row >= area.top; --row)
    device(console).fill_cells({0, row}, screen.size.column, blank, screen.attribute);
  device(console).set_cursor_position({0, area.top});
}

void write_raw(Console& console, std::string_view bytes, bool force) {
  start_console(console);
  if (in_stream_mode(console)) {
    write_stream(console, bytes);
    return;
  }
  if (bytes.empty() && !force) return;  // a pending line end stays pending
  ScreenWrite write = begin_write(console);
  carry_out_pending_line_end(write);
  for (const char byte : bytes)
    process_byte(write, byte);
  store_run(write);
  write.device.set_cursor_position(end_of_write(write));
  if (write.area_moved) show_area(write);
  read_window(console);
}

void write_text(Console& console, std::string_view text, bool line_end) {
  if (!text.empty()) write_raw(console, text);
  if (line_end) write_raw(console, "\r\n");
}

TextCell cursor_position(Console& console) {
  start_console(console);
  if (in_stream_mode(console)) return {};
  const platform::ScreenInfo screen = query_screen(console);
  if (console.pending_line_end) {
    return {screen.size.column, area_rows(console, screen.size.row).height()};
  }
  return {screen.cursor.column + 1, screen.cursor.row + 1 - console.window.top};
}

CursorMove set_cursor(Console& console, int row, int column, int visibility) {
  start_console(console);
  const bool row_outside = row != 0 && (row < 1 || row > fixed_area_height(console));
  const bool column_outside = column != 0 && (column < 1 || column > screen_size(console).columns);
  if (row_outside || column_outside) row = column = 0;
  if (row == 0 || column == 0) {
    const TextCell current = cursor_position(console);
    if (row == 0) row = current.row;
    if (column == 0) column = current.column;
  }
  console.pending_line_end = false;
  CursorMove move{false, row, column};
  if (in_stream_mode(console)) return move;
  move.was_visible = device(console).cursor_visible().value_or(false);
  if (visibility != keep_visibility) device(console).set_cursor_visible(visibility != hide_cursor);
  device(console).set_cursor_position({column - 1, console.window.top + row - 1});
  return move;
}

ScreenSize screen_size(Console& console) {
  start_console(console);
  if (in_stream_mode(console)) return {fallback_columns, fallback_rows};
  return {console.window.right + 1, console.window.bottom - console.window.top + 1};
}

void beep(Console& console) {
  start_console(console);
  device(console).beep();
}
