// The platform console on a POSIX system.
//
// When standard output is a terminal, the screen buffer is a MemoryConsole the size of the terminal
// (all of it window, no rows below), and after every operation the terminal is brought to show what
// that model holds, by the fewest bytes the program can work out, sent in one write. The terminal
// keeps its own scroll-back: rows that scroll off the top of the buffer go there. When the terminal
// changes size, the next operation finds the model resized and the terminal repainted from it.
//
// When standard output is not a terminal there is no screen buffer: bytes go out as they are.
// Standard input is read as a stream of bytes.
#pragma once

#include <optional>

#include "platform/memory_console.h"
#include "platform/platform.h"
#include "platform/screen_mirror.h"

namespace platform {

class Terminal final : public Device {
 public:
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

  bool started_ = false;
  std::optional<MemoryConsole> model_;  // only while standard output is a terminal
  TerminalView view_;
  GlyphSet glyphs_;
};

}  // namespace platform
