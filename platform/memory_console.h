// A platform console held entirely in memory: a screen buffer of cells of any size, a window onto
// it, a cursor, the current attribute, a scripted keyboard and scripted standard streams. Tests run
// the console layer on it and read back what it holds; the terminal keeps one as its model of the
// screen.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct Cell {
  unsigned char byte = ' ';
  Attribute attribute = default_attribute;
  friend bool operator==(const Cell&, const Cell&) = default;
};

class MemoryConsole final : public Device {
 public:
  // A screen buffer of `size` cells, all blank, with `window` on view, the cursor visible in the
  // top-left cell.
  MemoryConsole(Coord size, Rect window);
  // A buffer that is all window.
  explicit MemoryConsole(Coord size);
  // Standard output that is not a screen: screen_info() fails and written bytes are collected.
  static MemoryConsole stream_only();

  // --- Reading back.
  Coord size() const { return size_; }
  Rect window() const { return window_; }
  Coord cursor() const { return cursor_; }
  bool cursor_shown() const { return cursor_visible_; }
  const Cell& cell(Coord at) const;
  // The bytes of one buffer row, trailing blanks included.
  std::string row_text(int row) const;
  int beeps() const { return beeps_; }
  // Bytes written to standard output as a stream.
  const std::string& stream_output() const { return stream_output_; }
  // How many times standard input has been read as a stream.
  int stream_reads() const { return stream_reads_; }

  // --- Arranging.
  void set_attribute(Attribute attribute) { attribute_ = attribute; }
  // A new buffer size; cells keep their place where they still fit, new cells are blank, the window
  // becomes the whole buffer and the cursor is kept inside it.
  void resize(Coord size);
  // Make screen_info() fail (as when standard output stops being a screen).
  void fail_screen_info(bool fail) { screen_info_fails_ = fail; }
  // Make write_cells() fail.
  void fail_cell_writes(bool fail) { cell_writes_fail_ = fail; }
  // Keys that read_keys() will deliver, in order. When they run out and `then_close` is set,
  // read_keys() answers that the keyboard has gone.
  void type_keys(const std::vector<KeyCode>& keys, bool then_close = true);
  // Standard input as a stream (not a keyboard) holding these bytes.
  void set_stream_input(std::string_view bytes);
  // Limit how many bytes one write_stream() call takes, to exercise partial writes (0: no limit).
  void limit_stream_writes(std::size_t bytes) { stream_write_limit_ = bytes; }
  // Limit how many bytes one read_stream() call delivers, as a pipe fed in small pieces does
  // (0: no limit).
  void limit_stream_reads(std::size_t bytes) { stream_read_limit_ = bytes; }

  // --- Device.
  void start() override;
  std::optional<ScreenInfo> screen_info() override;
  bool write_cells(Coord at, std::string_view bytes, Attribute attribute) override;
  void fill_cells(Coord start, int count, unsigned char byte, Attribute attribute) override;
  void scroll_cells(Rect source, Coord destination, unsigned char fill_byte,
                    Attribute fill_attribute) override;
  bool set_cursor_position(Coord cell) override;
  std::optional<bool> cursor_visible() override;
  void set_cursor_visible(bool visible) override;
  bool set_window(Rect window) override;
  void beep() override;
  long write_stream(const char* bytes, std::size_t count) override;
  bool is_keyboard() override;
  int read_keys(KeyCode* into, int room) override;
  void wait_for_keys(int timeout_ms) override;
  long read_stream(char* into, std::size_t room) override;

 private:
  MemoryConsole() = default;
  bool inside(Coord at) const;
  Cell& at(Coord cell);

  bool is_screen_ = true;
  Coord size_{};
  Rect window_{};
  std::vector<Cell> cells_;  // row after row
  Coord cursor_{};
  bool cursor_visible_ = true;
  Attribute attribute_ = default_attribute;
  int beeps_ = 0;
  bool screen_info_fails_ = false;
  bool cell_writes_fail_ = false;

  std::string stream_output_;
  std::size_t stream_write_limit_ = 0;

  bool is_keyboard_ = false;
  std::deque<KeyCode> keys_;
  bool keyboard_closes_ = false;

  std::string stream_input_;
  std::size_t stream_input_next_ = 0;
  std::size_t stream_read_limit_ = 0;
  int stream_reads_ = 0;
};

}  // namespace platform
