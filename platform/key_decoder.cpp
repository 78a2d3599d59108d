#include "platform/key_decoder.h"

#include <string_view>

#include "platform/code_page.h"
#include "platform/key_codes.h"

namespace platform {
namespace {

// --- Bytes with a meaning of their own.

constexpr unsigned char escape_byte = 0x1B;
constexpr unsigned char delete_byte = 0x7F;  // what most terminals send for Backspace
constexpr unsigned char control_sequence_introducer = '[';  // Esc [ (CSI)
constexpr unsigned char single_shift_introducer = 'O';      // Esc O (SS3)
constexpr unsigned char console_function_introducer = '[';  // Esc [ [ on the Linux console
constexpr unsigned char parameter_separator = ';';

// The structure of an escape sequence after its introducer: parameter bytes, then intermediate
// bytes, then one final byte.
bool is_parameter_byte(unsigned char byte) {
  return byte >= 0x30 && byte <= 0x3F;
}
bool is_intermediate_byte(unsigned char byte) {
  return byte >= 0x20 && byte <= 0x2F;
}
bool is_final_byte(unsigned char byte) {
  return byte >= 0x40 && byte <= 0x7E;
}
bool is_digit(unsigned char byte) {
  return byte >= '0' && byte <= '9';
}

// --- Modifiers, as xterm numbers them in a sequence's parameter: 1 + the sum of these bits.

constexpr int shift_bit = 1;
constexpr int alt_bit = 2;
constexpr int ctrl_bit = 4;
constexpr int meta_bit = 8;
constexpr int known_modifier_bits = shift_bit | alt_bit | ctrl_bit | meta_bit;

// The codes of one key alone and with each modifier, picked as the PC keyboard does: Alt (or Meta)
// first, then Ctrl, then Shift.
struct KeyRow {
  KeyCode plain;
  KeyCode shift;
  KeyCode ctrl;
  KeyCode alt;
};

constexpr KeyCode pc_key(int number) {
  return extended_key(number);
}

// Shift with a navigation key acts as the key alone.
constexpr KeyRow up_key{key_up, key_up, key_ctrl_up, pc_key(0x98)};
constexpr KeyRow down_key{key_down, key_down, key_ctrl_down, pc_key(0xA0)};
constexpr KeyRow right_key{key_right, key_right, key_ctrl_right, pc_key(0x9D)};
constexpr KeyRow left_key{key_left, key_left, key_ctrl_left, pc_key(0x9B)};
constexpr KeyRow home_key{key_home, key_home, key_ctrl_home, pc_key(0x97)};
constexpr KeyRow end_key{key_end, key_end, key_ctrl_end, pc_key(0x9F)};
constexpr KeyRow page_up_key{key_page_up, key_page_up, pc_key(0x84), pc_key(0x99)};
constexpr KeyRow page_down_key{key_page_down, key_page_down, pc_key(0x76), pc_key(0xA1)};
constexpr KeyRow insert_key{key_insert, key_insert, pc_key(0x92), pc_key(0xA2)};
constexpr KeyRow delete_key{key_delete, key_delete, pc_key(0x93), pc_key(0xA3)};
constexpr KeyRow keypad_5_key{key_keypad_5, key_keypad_5, pc_key(0x8F), key_unknown};
constexpr KeyRow tab_key{key_tab, key_shift_tab, key_ctrl_tab, key_shift_tab};

constexpr KeyRow function_key(int number) {
  if (number == 11) return {key_f11, pc_key(0x87), pc_key(0x89), pc_key(0x8B)};
  if (number == 12) return {key_f12, pc_key(0x88), pc_key(0x8A), pc_key(0x8C)};
  const int offset = number - 1;
  return {key_f1 + offset * 256, pc_key(0x54 + offset), pc_key(0x5E + offset),
          pc_key(0x68 + offset)};
}

// Keypad keys in application mode carry their character, as with NumLock on.
constexpr KeyRow keypad_key(char character) {
  return {character, character, key_unknown, key_unknown};
}
constexpr KeyRow keypad_enter_key{key_enter, key_enter, key_line_feed, pc_key(0xA6)};
constexpr KeyRow keypad_slash_key{'/', '/', pc_key(0x95), pc_key(0xA4)};
constexpr KeyRow keypad_star_key{'*', '*', pc_key(0x96), pc_key(0x37)};
constexpr KeyRow keypad_minus_key{'-', '-', pc_key(0x8E), pc_key(0x4A)};
constexpr KeyRow keypad_plus_key{'+', '+', pc_key(0x90), pc_key(0x4E)};

KeyCode code_with_modifier(const KeyRow& row, int modifier_bits) {
  if ((modifier_bits & ~known_modifier_bits) != 0) return key_unknown;  // Super, Hyper and such
  if ((modifier_bits & (alt_bit | meta_bit)) != 0) return row.alt;
  if ((modifier_bits & ctrl_bit) != 0) return row.ctrl;
  if ((modifier_bits & shift_bit) != 0) return row.shift;
  return row.plain;
}

// The bits of an xterm modifier parameter; an absent or 0 parameter means none.
int modifier_bits_of(int parameter) {
  return parameter <= 1 ? 0 : parameter - 1;
}

// --- Keys named by the final byte of Esc [ or Esc O, with the modifier bits the final implies.

struct FinalKey {
  unsigned char final_byte;
  KeyRow row;
  int implied_modifiers;
};

// Both forms: xterm, VTE, the Linux console, rxvt and others send these.
constexpr FinalKey common_final_keys[] = {
    {'A', up_key, 0},          {'B', down_key, 0},        {'C', right_key, 0},
    {'D', left_key, 0},        {'H', home_key, 0},        {'F', end_key, 0},
    {'E', keypad_5_key, 0},    {'P', function_key(1), 0}, {'Q', function_key(2), 0},
    {'R', function_key(3), 0}, {'S', function_key(4), 0},
};

constexpr FinalKey control_sequence_final_keys[] = {
    {'G', keypad_5_key, 0},     // the Linux console's middle keypad key
    {'Z', tab_key, shift_bit},  // Shift+Tab
    {'a', up_key, shift_bit},   // rxvt's Shift+arrows
    {'b', down_key, shift_bit}, {'c', right_key, shift_bit}, {'d', left_key, shift_bit},
};

constexpr FinalKey single_shift_final_keys[] = {
    {'a', up_key, ctrl_bit},  // rxvt's Ctrl+arrows
    {'b', down_key, ctrl_bit},
    {'c', right_key, ctrl_bit},
    {'d', left_key, ctrl_bit},
    // The keypad in application mode.
    {'M', keypad_enter_key, 0},
    {'I', tab_key, 0},
    {'X', keypad_key('='), 0},
    {'j', keypad_star_key, 0},
    {'k', keypad_plus_key, 0},
    {'l', keypad_key(','), 0},
    {'m', keypad_minus_key, 0},
    {'n', keypad_key('.'), 0},
    {'o', keypad_slash_key, 0},
    {'p', keypad_key('0'), 0},
    {'q', keypad_key('1'), 0},
    {'r', keypad_key('2'), 0},
    {'s', keypad_key('3'), 0},
    {'t', keypad_key('4'), 0},
    {'u', keypad_key('5'), 0},
    {'v', keypad_key('6'), 0},
    {'w', keypad_key('7'), 0},
    {'x', keypad_key('8'), 0},
    {'y', keypad_key('9'), 0},
};

template <std::size_t count>
const FinalKey* find_final_key(const FinalKey (&keys)[count], unsigned char final_byte) {
  for (const FinalKey& key : keys) {
    if (key.final_byte == final_byte) return &key;
  }
  return nullptr;
}

// --- Keys named by a number: Esc [ number ~, or rxvt's finals that carry the modifier.

struct NumberedKey {
  int number;
  KeyRow row;
};

constexpr NumberedKey numbered_keys[] = {
    {1, home_key},         {2, insert_key},        {3, delete_key},        {4, end_key},
    {5, page_up_key},      {6, page_down_key},     {7, home_key},          {8, end_key},
    {11, function_key(1)}, {12, function_key(2)},  {13, function_key(3)},  {14, function_key(4)},
    {15, function_key(5)}, {17, function_key(6)},  {18, function_key(7)},  {19, function_key(8)},
    {20, function_key(9)}, {21, function_key(10)}, {23, function_key(11)}, {24, function_key(12)},
};

constexpr unsigned char numbered_key_final = '~';
constexpr unsigned char rxvt_shift_final = '$';  // an intermediate byte elsewhere
constexpr unsigned char rxvt_ctrl_final = '^';
constexpr unsigned char rxvt_ctrl_shift_final = '@';

const KeyRow* find_numbered_key(int number) {
  for (const NumberedKey& key : numbered_keys) {
    if (key.number == number) return &key.row;
  }
  return nullptr;
}

// --- Esc followed by a character: Alt with that key. The PC numbers go by the key's place on a
// US layout, row by row, its character shifted or not.

struct KeyboardRow {
  std::string_view plain;
  std::string_view shifted;
  int first_number;
};

constexpr KeyboardRow keyboard_rows[] = {
    {"1234567890-=", "!@#$%^&*()_+", 0x78},
    {"qwertyuiop[]", "QWERTYUIOP{}", 0x10},
    {"asdfghjkl;'`", "ASDFGHJKL:\"~", 0x1E},
    {"\\zxcvbnm,./", "|ZXCVBNM<>?", 0x2B},
};

// --- The decoder's steps.

// Parameters of a sequence: at most two numbers separated by ';' (the key's number or 1, then the
// modifier), none of them private or with sub-parameters.
struct Parameters {
  bool valid = true;
  int count = 0;
  int values[2] = {0, 0};
};

Parameters parse_parameters(const KeyDecoder& decoder) {
  Parameters parameters;
  if (decoder.sequence_length == 0) return parameters;
  parameters.count = 1;
  for (std::size_t index = 0; index < decoder.sequence_length; ++index) {
    const unsigned char byte = decoder.sequence[index];
    if (is_digit(byte)) {
      int& value = parameters.values[parameters.count - 1];
      if (value < 10000) value = value * 10 + (byte - '0');
    } else if (byte == parameter_separator && parameters.count < 2) {
      ++parameters.count;
    } else {
      parameters.valid = false;
      break;
    }
  }
  return parameters;
}

int alt_bits(const KeyDecoder& decoder) {
  return decoder.alt ? alt_bit : 0;
}

// Esc [ ... final.
KeyCode control_sequence_key(const KeyDecoder& decoder, unsigned char final_byte) {
  const Parameters parameters = parse_parameters(decoder);
  if (!parameters.valid) return key_unknown;
  const FinalKey* key = find_final_key(common_final_keys, final_byte);
  if (key == nullptr) key = find_final_key(control_sequence_final_keys, final_byte);
  if (key != nullptr) {
    // Esc [ 1 ; modifier A, or the older Esc [ modifier A.
    const int modifier = parameters.values[parameters.count == 2 ? 1 : 0];
    return code_with_modifier(
        key->row, modifier_bits_of(modifier) | key->implied_modifiers | alt_bits(decoder));
  }
  if (parameters.count == 0) return key_unknown;
  const KeyRow* row = find_numbered_key(parameters.values[0]);
  if (row == nullptr) return key_unknown;
  int modifier_bits = 0;
  if (final_byte == numbered_key_final) {
    modifier_bits = parameters.count == 2 ? modifier_bits_of(parameters.values[1]) : 0;
  } else if (parameters.count != 1) {
    return key_unknown;
  } else if (final_byte == rxvt_shift_final) {
    modifier_bits = shift_bit;
  } else if (final_byte == rxvt_ctrl_final) {
    modifier_bits = ctrl_bit;
  } else if (final_byte == rxvt_ctrl_shift_final) {
    modifier_bits = ctrl_bit | shift_bit;
  } else {
    return key_unknown;
  }
  return code_with_modifier(*row, modifier_bits | alt_bits(decoder));
}

// Esc O ... final; the modifier, when there is one, is the last parameter.
KeyCode single_shift_key(const KeyDecoder& decoder, unsigned char final_byte) {
  const Parameters parameters = parse_parameters(decoder);
  if (!parameters.valid) return key_unknown;
  const FinalKey* key = find_final_key(common_final_keys, final_byte);
  if (key == nullptr) key = find_final_key(single_shift_final_keys, final_byte);
  if (key == nullptr) return key_unknown;
  const int modifier = parameters.count == 0 ? 0 : parameters.values[parameters.count - 1];
  return code_with_modifier(
      key->row, modifier_bits_of(modifier) | key->implied_modifiers | alt_bits(decoder));
}

// Esc followed by a byte below 128 that starts no sequence.
KeyCode alt_key(unsigned char byte) {
  if (byte == '\r') return key_alt_enter;
  if (byte == '\t') return tab_key.alt;
  for (const KeyboardRow& row : keyboard_rows) {
    for (const std::string_view keys : {row.plain, row.shifted}) {
      const std::size_t place = keys.find(static_cast<char>(byte));
      if (place != std::string_view::npos)
        return pc_key(row.first_number + static_cast<int>(place));
    }
  }
  return key_unknown;
}

bool is_backspace(const KeyDecoder& decoder, unsigned char byte) {
  return byte == delete_byte || byte == key_backspace ||
         (decoder.erase_character != 0 && byte == decoder.erase_character);
}

void reset(KeyDecoder& decoder) {
  decoder.state = KeyDecoderState::ground;
  decoder.alt = false;
  decoder.continuation_bytes = 0;
  decoder.sequence_length = 0;
  decoder.sequence_too_long = false;
}

void begin_sequence(KeyDecoder& decoder, KeyDecoderState state) {
  decoder.state = state;
  decoder.sequence_length = 0;
  decoder.sequence_too_long = false;
}

void keep_sequence_byte(KeyDecoder& decoder, unsigned char byte) {
  if (decoder.sequence_length < decoder.sequence.size()) {
    decoder.sequence[decoder.sequence_length++] = byte;
  } else {
    decoder.sequence_too_long = true;
  }
}

// The code of a complete UTF-8 character.
std::optional<KeyCode> character_code(const KeyDecoder& decoder, char32_t character) {
  if (decoder.alt) return key_unknown;
  const std::optional<unsigned char> byte = byte_of(character);
  // The glyphs of the control bytes (a musical note is 13, an arrow 27) stand for characters the
  // text cannot hold; they must not act as Enter or Esc.
  if (!byte || *byte < ' ') return std::nullopt;
  return *byte;
}

// The first byte of a UTF-8 character of two to four bytes; the ranges rule out overlong forms,
// surrogates and code points beyond U+10FFFF.
std::optional<KeyCode> begin_utf8_character(KeyDecoder& decoder, unsigned char byte, bool alt) {
  reset(decoder);
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (byte >= 0xC2 && byte <= 0xDF) {
    decoder.continuation_bytes = 1;
    decoder.character = byte & 0x1F;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    decoder.continuation_bytes = 2;
    decoder.character = byte & 0x0F;
    if (byte == 0xE0) low = 0xA0;
    if (byte == 0xED) high = 0x9F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    decoder.continuation_bytes = 3;
    decoder.character = byte & 0x07;
    if (byte == 0xF0) low = 0x90;
    if (byte == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;  // a stray continuation byte, or a byte that starts nothing
  }
  decoder.state = KeyDecoderState::utf8_continuation;
  decoder.alt = alt;
  decoder.next_low = low;
  decoder.next_high = high;
  return std::nullopt;
}

// A byte where a key starts.
std::optional<KeyCode> begin_key(KeyDecoder& decoder, unsigned char byte) {
  reset(decoder);
  if (byte == escape_byte) {
    decoder.state = KeyDecoderState::escape;
    return std::nullopt;
  }
  if (is_backspace(decoder, byte)) return key_backspace;
  if (byte < 0x80 || !decoder.utf8) return byte;
  return begin_utf8_character(decoder, byte, false);
}

// The key in progress is broken by `byte`: drop it and take the byte as the start of a key.
std::optional<KeyCode> interrupt(KeyDecoder& decoder, unsigned char byte) {
  return begin_key(decoder, byte);
}

std::optional<KeyCode> after_escape(KeyDecoder& decoder, unsigned char byte) {
  if (byte == control_sequence_introducer) {
    begin_sequence(decoder, KeyDecoderState::control_sequence);
    return std::nullopt;
  }
  if (byte == single_shift_introducer) {
    begin_sequence(decoder, KeyDecoderState::single_shift);
    return std::nullopt;
  }
  if (byte == escape_byte) {
    decoder.state = KeyDecoderState::escape_escape;
    return std::nullopt;
  }
  if (byte >= 0x80 && decoder.utf8) return begin_utf8_character(decoder, byte, true);
  reset(decoder);
  if (is_backspace(decoder, byte)) return key_alt_backspace;
  if (byte >= 0x80) return key_unknown;
  return alt_key(byte);
}

// Esc Esc: rxvt sends Alt with a key that has a sequence as Esc and that sequence; otherwise it was
// Alt+Esc. Alt+Esc does nothing, so when any other key follows at once (a further Esc included),
// only that key is given: one code per byte leaves no room for both.
std::optional<KeyCode> after_escape_escape(KeyDecoder& decoder, unsigned char byte) {
  if (byte == control_sequence_introducer || byte == single_shift_introducer) {
    begin_sequence(decoder, byte == control_sequence_introducer ? KeyDecoderState::control_sequence
                                                                : KeyDecoderState::single_shift);
    decoder.alt = true;
    return std::nullopt;
  }
  return interrupt(decoder, byte);
}

std::optional<KeyCode> in_control_sequence(KeyDecoder& decoder, unsigned char byte) {
  if (decoder.sequence_length == 0 && !decoder.sequence_too_long &&
      byte == console_function_introducer) {
    decoder.state = KeyDecoderState::console_function;
    return std::nullopt;
  }
  bool all_digits = decoder.sequence_length > 0 && !decoder.sequence_too_long;
  for (std::size_t index = 0; index < decoder.sequence_length; ++index) {
    all_digits = all_digits && is_digit(decoder.sequence[index]);
  }
  const bool rxvt_final = byte == rxvt_shift_final && all_digits;
  if (is_final_byte(byte) || rxvt_final) {
    const std::optional<KeyCode> code =
        decoder.sequence_too_long ? std::nullopt
                                  : std::optional<KeyCode>(control_sequence_key(decoder, byte));
    reset(decoder);
    return code;
  }
  if (is_parameter_byte(byte) || is_intermediate_byte(byte)) {
    keep_sequence_byte(decoder, byte);
    return std::nullopt;
  }
  return interrupt(decoder, byte);
}

std::optional<KeyCode> in_console_function(KeyDecoder& decoder, unsigned char byte) {
  if (!is_final_byte(byte)) return interrupt(decoder, byte);
  const int modifier_bits = alt_bits(decoder);
  reset(decoder);
  if (byte >= 'A' && byte <= 'E')
    return code_with_modifier(function_key(byte - 'A' + 1), modifier_bits);
  return key_unknown;
}

std::optional<KeyCode> in_single_shift(KeyDecoder& decoder, unsigned char byte) {
  if (is_final_byte(byte)) {
    const std::optional<KeyCode> code =
        decoder.sequence_too_long ? std::nullopt
                                  : std::optional<KeyCode>(single_shift_key(decoder, byte));
    reset(decoder);
    return code;
  }
  if (is_parameter_byte(byte)) {
    keep_sequence_byte(decoder, byte);
    return std::nullopt;
  }
  return interrupt(decoder, byte);
}

std::optional<KeyCode> in_utf8_character(KeyDecoder& decoder, unsigned char byte) {
  if (byte < decoder.next_low || byte > decoder.next_high) return interrupt(decoder, byte);
  decoder.character = (decoder.character << 6) | (byte & 0x3F);
  decoder.next_low = 0x80;
  decoder.next_high = 0xBF;
  if (--decoder.continuation_bytes > 0) return std::nullopt;
  const std::optional<KeyCode> code = character_code(decoder, decoder.character);
  reset(decoder);
  return code;
}

// An erase character the editor can live with.
unsigned char usable_erase_character(bool utf8, unsigned char erase_character) {
  switch (erase_character) {
    case escape_byte:
    case key_enter:
    case key_line_feed:
      return 0;
    default:
      return utf8 && erase_character >= 0x80 ? 0 : erase_character;
  }
}

}  // namespace

KeyDecoder make_key_decoder(bool utf8, unsigned char erase_character) {
  KeyDecoder decoder;
  decoder.utf8 = utf8;
  decoder.erase_character = usable_erase_character(utf8, erase_character);
  return decoder;
}

std::optional<KeyCode> decode_byte(KeyDecoder& decoder, unsigned char byte) {
  switch (decoder.state) {
    case KeyDecoderState::ground:
      return begin_key(decoder, byte);
    case KeyDecoderState::escape:
      return after_escape(decoder, byte);
    case KeyDecoderState::escape_escape:
      return after_escape_escape(decoder, byte);
    case KeyDecoderState::control_sequence:
      return in_control_sequence(decoder, byte);
    case KeyDecoderState::console_function:
      return in_console_function(decoder, byte);
    case KeyDecoderState::single_shift:
      return in_single_shift(decoder, byte);
    case KeyDecoderState::utf8_continuation:
      return in_utf8_character(decoder, byte);
  }
  return interrupt(decoder, byte);
}

std::optional<KeyCode> decode_quiet(KeyDecoder& decoder) {
  std::optional<KeyCode> code;
  const bool nothing_collected = decoder.sequence_length == 0 && !decoder.sequence_too_long;
  switch (decoder.state) {
    case KeyDecoderState::escape:
      code = key_escape;
      break;
    case KeyDecoderState::escape_escape:
      code = key_alt_escape;
      break;
    case KeyDecoderState::control_sequence:  // Esc [ alone was Alt+[
      if (nothing_collected && !decoder.alt) code = alt_key(control_sequence_introducer);
      break;
    case KeyDecoderState::single_shift:  // Esc O alone was Alt+O
      if (nothing_collected && !decoder.alt) code = alt_key(single_shift_introducer);
      break;
    default:
      break;
  }
  reset(decoder);
  return code;
}

bool decode_pending(const KeyDecoder& decoder) {
  return decoder.state != KeyDecoderState::ground;
}

}  // namespace platform
