// The key codes the line editor acts on. Characters are their own code (0 to 255); a key without a
// character has its extended number * 256 + 255.
#pragma once

#include "platform/platform.h"

namespace platform {

constexpr KeyCode extended_key(int number) {
  return number * 256 + 255;
}

inline constexpr KeyCode key_backspace = 8;
inline constexpr KeyCode key_tab = 9;
inline constexpr KeyCode key_line_feed = 10;  // Ctrl+J, Ctrl+Enter
inline constexpr KeyCode key_enter = 13;
inline constexpr KeyCode key_escape = 27;

inline constexpr KeyCode key_home = extended_key(0x47);
inline constexpr KeyCode key_up = extended_key(0x48);
inline constexpr KeyCode key_page_up = extended_key(0x49);
inline constexpr KeyCode key_left = extended_key(0x4B);
inline constexpr KeyCode key_right = extended_key(0x4D);
inline constexpr KeyCode key_end = extended_key(0x4F);
inline constexpr KeyCode key_down = extended_key(0x50);
inline constexpr KeyCode key_page_down = extended_key(0x51);
inline constexpr KeyCode key_insert = extended_key(0x52);
inline constexpr KeyCode key_delete = extended_key(0x53);

}  // namespace platform
