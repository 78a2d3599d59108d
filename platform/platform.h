// The platform console the program talks to: one screen buffer of cells with a window onto it and a
// cursor, a keyboard that delivers key codes, and the standard streams as plain bytes.
//
// Two implementations stand behind this interface: MemoryConsole, a screen buffer in memory that
// tests can make any size and inspect, and Terminal, which keeps such a buffer as its model and
// mirrors it onto a POSIX terminal. The console layer above is written against this interface only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// A cell of the screen buffer, 0-based.
struct Coord {
  int column = 0;
  int row = 0;
  friend bool operator==(const Coord&, const Coord&) = default;
};

// A rectangle of cells, all four edges inclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Colours of a cell. The program never changes them; it writes in whatever attribute is current.
using Attribute = std::uint16_t;
inline constexpr Attribute default_attribute = 7;  // light grey on black

struct ScreenInfo {
  Coord size;           // columns and rows of the whole buffer
  Coord cursor;         // the cell the cursor stands on
  Rect window;          // the part of the buffer on view
  Attribute attribute;  // the attribute new text takes
};

// 0 to 255: a character. Otherwise a key without a character: its extended number * 256 + 255.
using KeyCode = std::int32_t;

class Device {
 public:
  virtual ~Device() = default;

  // First contact. When standard input is a keyboard it is switched to key-by-key reading; the
  // system keeps its own signal keys, so Ctrl+C still ends the process.
  virtual void start() = 0;

  // --- The screen buffer. When standard output is not a screen, screen_info() has no value and the
  // other screen operations change nothing.

  virtual std::optional<ScreenInfo> screen_info() = 0;

  // Stores the bytes as cells of one row from `at` on, in `attribute`. Cells that would fall
  // outside the buffer are dropped. False when the write failed as a whole.
  virtual bool write_cells(Coord at, std::string_view bytes, Attribute attribute) = 0;

  // Sets `count` cells, from `start` on and row after row, to `byte` in `attribute`; stops at the
  // end of the buffer.
  virtual void fill_cells(Coord start, int count, unsigned char byte, Attribute attribute) = 0;

  // Moves the cells of `source` (clipped to the buffer) so that its top-left cell lands on
  // `destination` (what falls outside the buffer is lost). Cells of `source` that the moved block
  // does not cover afterwards are set to `fill_byte` in `fill_attribute`.
  virtual void scroll_cells(Rect source, Coord destination, unsigned char fill_byte,
                            Attribute fill_attribute) = 0;

  // Moves the cursor; false, and the cursor stays, when the cell is outside the buffer.
  virtual bool set_cursor_position(Coord cell) = 0;

  virtual std::optional<bool> cursor_visible() = 0;
  virtual void set_cursor_visible(bool visible) = 0;

  // Shows `window` of the buffer; false, and nothing moves, when it does not lie inside the buffer.
  virtual bool set_window(Rect window) = 0;

  // Sounds the bell without holding up the program.
  virtual void beep() = 0;

  // --- Standard output as a byte stream (used when it is not a screen).

  // Writes what it can of the bytes; returns how many were written, or -1 on failure.
  virtual long write_stream(const char* bytes, std::size_t count) = 0;

  // --- The keyboard.

  // Whether standard input is a keyboard (as opposed to a file or a pipe).
  virtual bool is_keyboard() = 0;

  // Moves at most `room` waiting key codes into `into` without blocking and returns how many;
  // input beyond `room` stays where it is for a later call. Returns -1 once the keyboard has gone
  // (no key can ever come).
  virtual int read_keys(KeyCode* into, int room) = 0;

  // Sleeps until a key may be waiting, or until `timeout_ms` milliseconds have passed (-1: no
  // limit). May return early; callers look again.
  virtual void wait_for_keys(int timeout_ms) = 0;

  // --- Standard input as a byte stream (used when it is not a keyboard).

  // Blocks until some bytes are there; returns how many were read into `into`, 0 at the end of the
  // data (a failed read counts as the end).
  virtual long read_stream(char* into, std::size_t room) = 0;
};

}  // namespace platform
