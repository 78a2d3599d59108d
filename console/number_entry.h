// Number entry: which piece of a typed line, or of the input stream, is the number, and the exact
// single-precision value it denotes. Everything but read_number is pure or works only on the
// character source it is given.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "console/console.h"

// The longest item; what follows a longer run of characters begins the next item.
inline constexpr std::size_t item_limit = 67;

// One item as collected from a character source.
struct Item {
  std::string text;         // at most item_limit bytes, never a line feed or carriage return
  bool floating = false;    // the floating marker: the item takes the floating route
  bool data_ended = false;  // the data ended before any character of an item (blanks aside)
};

// The text of one entered line, without its line end, as a character source. Every byte is an
// ordinary character; only the end of the line is the end of the data.
struct LineSource {
  std::string_view line;
  std::size_t next = 0;
};

// Skips the blanks before an item, collects it and consumes the delimiter after it.
Item next_item(LineSource& source);
// The same on standard input, read through the one stream source of the run: what this read
// leaves unread, or gives back, is where the next read begins.
Item next_item(StreamSource& source, platform::Device& device);

// The binary32 value of an item, by the 32-bit integer, 64-bit integer or floating route.
float convert_item(std::string_view item, bool floating);

// The value of the first item of a typed line; 0 when it holds no number.
float parse_number(std::string_view line);
