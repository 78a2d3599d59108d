// The console as the calculator sees it: one state record for the whole run and its four
// operations. Screen output, line entry, number entry and keyboard reading each add their own
// helpers in their own headers; they all work on this record.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

// Key codes typed ahead of the line editor, oldest first. A ring of 512 slots holds 511 codes.
struct KeyQueue {
  static constexpr int slots = 512;
  std::array<platform::KeyCode, slots> codes{};
  int oldest = 0;     // slot of the oldest code
  int next_free = 0;  // slot the next code goes to; equal to `oldest` when empty
};

// Standard input read as a stream of bytes, through a buffer of our own. Bytes are taken one at a
// time; the last byte taken can be given back and is then taken again first.
struct StreamSource {
  std::array<char, 4096> buffer{};
  std::size_t next = 0;  // index of the next byte to take
  std::size_t end = 0;   // bytes in the buffer
  bool ended = false;    // the end of the data has been seen
};

struct Console {
  platform::Device* device = nullptr;  // the platform console; set before the first operation
  bool started = false;                // first use done

  // Screen output.
  platform::Rect window{};        // remembered window rectangle (right = buffer width - 1); all 0
                                  // when the query failed, which means stream mode
  int area_height = 0;            // rows of the text area, fixed at first need; 0 until then
  bool pending_line_end = false;  // text wrapped off the bottom-right cell; the line end is owed

  // Keyboard reading.
  KeyQueue keys;
  bool keyboard_gone = false;  // the keyboard closed: no key will ever come

  // Number entry and the yes/no question when standard input is not a keyboard.
  StreamSource stream;
};

// The four operations. None reports an error; the two that read answer no value only when the input
// has ended for good (standard input at its end), after which the program has nothing left to do.

void clear_screen(Console& console);
void write_text(Console& console, std::string_view text, bool line_end);
std::optional<std::string> read_line(Console& console, std::string_view prompt,
                                     bool question_suffix, bool line_end);
std::optional<float> read_number(Console& console, std::string_view prompt);
