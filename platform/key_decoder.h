// Turns the bytes a terminal sends for keys into key codes, one byte at a time, so that a key whose
// bytes arrive in several reads decodes exactly as if read at once.
//
// Pure: no I/O and no clock. Esc alone and Esc starting a sequence look the same until the next
// byte, so the caller keeps the time: while decode_pending says a key is unfinished and no byte has
// come for escape_quiet_ms, it calls decode_quiet.
//
// Every byte fed gives at most one code, and broken input never swallows the byte that broke it:
// a reader that takes no more bytes than it has room for codes loses nothing typed.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "platform/platform.h"

namespace platform {

// How long the keyboard must stay quiet after an Esc before it counts as the Esc key. A terminal
// writes a key's whole sequence at once, so the wait only covers a sequence split in transit; a
// person rarely types Esc and another key this close together.
inline constexpr int escape_quiet_ms = 50;

// Parameter and intermediate bytes kept of one escape sequence; longer sequences are dropped whole.
inline constexpr std::size_t max_sequence_bytes = 16;

enum class KeyDecoderState : unsigned char {
  ground,             // between keys
  escape,             // after Esc
  escape_escape,      // after Esc Esc: Alt+Esc, or Alt with a key that sends a sequence
  control_sequence,   // after Esc [
  console_function,   // after Esc [ [, the Linux console's F1 to F5
  single_shift,       // after Esc O
  utf8_continuation,  // inside a character of two to four bytes
};

struct KeyDecoder {
  // Settings.
  bool utf8 = false;                  // characters arrive in UTF-8; otherwise one byte each
  unsigned char erase_character = 0;  // a further byte for Backspace; 0 when there is none

  // The key in progress.
  KeyDecoderState state = KeyDecoderState::ground;
  bool alt = false;  // an Esc came first: the key was typed with Alt

  // A UTF-8 character: its bits so far, the bytes still to come and the range the next must be in.
  char32_t character = 0;
  int continuation_bytes = 0;
  unsigned char next_low = 0x80;
  unsigned char next_high = 0xBF;

  // An escape sequence: its parameter and intermediate bytes.
  std::array<unsigned char, max_sequence_bytes> sequence{};
  std::size_t sequence_length = 0;
  bool sequence_too_long = false;
};

// utf8: the locale's character set is UTF-8. erase_character: the terminal's erase character,
// which gives Backspace like DEL and Ctrl+H do (ignored when it is 0, Esc, Enter or Ctrl+J, which
// the editor cannot do without, and, with utf8, a byte that is part of a character).
KeyDecoder make_key_decoder(bool utf8, unsigned char erase_character);

// Feeds one byte; gives the code of the key it completes, if any.
std::optional<KeyCode> decode_byte(KeyDecoder& decoder, unsigned char byte);

// No byte followed within escape_quiet_ms: finishes the key in progress. A lone Esc gives Esc
// (27), Esc Esc gives Alt+Esc, and an unfinished sequence or character gives nothing.
std::optional<KeyCode> decode_quiet(KeyDecoder& decoder);

// Whether a key is unfinished, so that the caller should call decode_quiet after the quiet time.
bool decode_pending(const KeyDecoder& decoder);

}  // namespace platform
