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

// Keys the line editor ignores but a keyboard still sends. Their numbers follow the PC keyboard.
inline constexpr KeyCode key_alt_escape = extended_key(0x01);
inline constexpr KeyCode key_alt_backspace = extended_key(0x0E);
inline constexpr KeyCode key_shift_tab = extended_key(0x0F);  // Alt+Tab too
inline constexpr KeyCode key_alt_enter = extended_key(0x1C);
inline constexpr KeyCode key_f1 = extended_key(0x3B);  // F2 to F10 follow in order
inline constexpr KeyCode key_f11 = extended_key(0x85);
inline constexpr KeyCode key_f12 = extended_key(0x86);
// The middle keypad key without NumLock.
inline constexpr KeyCode key_keypad_5 = extended_key(0x4C);
inline constexpr KeyCode key_ctrl_left = extended_key(0x73);
inline constexpr KeyCode key_ctrl_right = extended_key(0x74);
inline constexpr KeyCode key_ctrl_end = extended_key(0x75);
inline constexpr KeyCode key_ctrl_home = extended_key(0x77);
inline constexpr KeyCode key_ctrl_up = extended_key(0x8D);
inline constexpr KeyCode key_ctrl_down = extended_key(0x91);
inline constexpr KeyCode key_ctrl_tab = extended_key(0x94);
// Any other key without a character; the PC keyboard has no key of this number.
inline constexpr KeyCode key_unknown = extended_key(0xFE);

}  // namespace platform
