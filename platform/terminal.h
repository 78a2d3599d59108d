// The platform console on a POSIX system.
//
// When standard output is a terminal, the screen buffer is a MemoryConsole the size of the terminal
// (all of it window, no rows below), and after every operation the terminal is brought to show what
// that model holds, by the fewest bytes the program can work out, sent in one write. The terminal
// keeps its own scroll-back: rows that scroll off the top of the buffer go there. When the terminal
// changes size, the next operation finds the model resized and the terminal repainted from it.
//
// When standard output is not a terminal there is no screen buffer: bytes go out as they are.
//
// When standard input is a terminal it is switched to key-by-key reading at start(): no line
// editing, no echo, no flow control, and every key but Ctrl+C and Ctrl+\ (which still end the
// process) reaches the program; the bytes become key codes through the key decoder. The terminal's
// own settings and a visible cursor come back on every way out: exit(), destruction, the end of the
// input, and the signals INT, QUIT, TERM and HUP, after which the process ends by that signal.
// Otherwise standard input is read as a stream of bytes.
//
// One Terminal per process: the signal handlers share one record of what to restore.
#pragma once

#include <chrono>
#include <optional>

#include "platform/key_decoder.h"
#include "platform/memory_console.h"
#include "platform/platform.h"
#include "platform/screen_mirror.h"

namespace platform {

class Terminal final : public Device {
 public:
  Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  // Puts the terminal back as start() found it.
  ~Terminal() override;

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

  // The screen buffer the terminal is brought to show; none when standard output is not a terminal
  // (or before start()).
  const MemoryConsole* model() const { return model_ ? &*model_ : nullptr; }

 private:
  // Resizes the model when the terminal's size has changed; true when standard output is a screen.
  bool follow_window_size();
  // Brings the terminal to show the model, in one write, after `changed` rows may have changed.
  void show(RowSpan changed);
  // Follows a resize that happened while no operation ran: the model is resized and repainted.
  void catch_up_with_window();
  // Switches standard input to key-by-key reading; false when it cannot be.
  bool start_keyboard();
  // Milliseconds until an unfinished key (a lone Esc so far) must be finished; none when there is
  // no such key.
  std::optional<int> quiet_time_left() const;

  bool started_ = false;
  std::optional<MemoryConsole> model_;  // only while standard output is a terminal
  TerminalView view_;
  GlyphSet glyphs_;

  bool keyboard_ = false;       // standard input is a terminal in key-by-key mode
  bool keyboard_gone_ = false;  // it has hung up or ended
  KeyDecoder decoder_;
  std::chrono::steady_clock::time_point last_key_byte_{};
};

}  // namespace platform
