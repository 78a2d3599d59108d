// Where the notes of a tuplet fall: N notes spread evenly over R rows of T ticks each, written as
// one line of row:tick tokens, the row in decimal and the tick in hexadecimal. Pure computation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The nearest integer, ties to even; -32768 when that lies outside the 16-bit range, or when the
// value is infinite or not a number. Works the same under any floating-point rounding mode. A
// float argument promotes to double exactly.
std::int16_t round_to_int16(double value);
std::int16_t round_to_int16(long double value);

// value in decimal digits: no sign, no leading zeros. A negative value is written by its
// magnitude; rows, the only values written this way, are never negative.
std::string decimal_text(int value);

// The low 16 bits of value in upper-case hexadecimal, no leading zeros; 0 gives "0".
std::string hex_text(int value);

// The longest position line: "0:0 " and 254 tokens of at most seven characters ("255:FF ").
inline constexpr std::size_t max_position_line_size = 4 + 254 * 7;

// Room for any position line. The writer stores tokens in whole four-byte pieces, so it may
// touch one byte past the end of the text: hence the spare byte.
struct PositionLineBuffer {
  std::array<char, max_position_line_size + 1> bytes;
};

// The position line written into the caller's buffer, without allocating; the view points into
// the buffer and lasts until it is written again. The inputs are whole numbers with
// 3 <= rows <= 256, 2 <= notes <= rows - 1 and 1 <= ticks <= 256; for anything else the line is
// empty.
std::string_view write_position_line(float rows, float notes, float ticks,
                                     PositionLineBuffer& buffer);

// "0:0 " and then one "row:tick " token for every further note, without a line end; empty for
// inputs outside the range above.
std::string position_line(float rows, float notes, float ticks);
