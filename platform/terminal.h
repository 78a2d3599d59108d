// The platform console on a POSIX system: standard input and standard output as the process got
// them.
#pragma once

#include "platform/platform.h"

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
};

}  // namespace platform
