// Where the notes of a tuplet fall: N notes spread evenly over R rows of T ticks each, written as
// one line of row:tick tokens, the row in decimal and the tick in hexadecimal. Pure computation.
#pragma once

#include <cstdint>
#include <string>

// The nearest integer, ties to even; -32768 when that lies outside the 16-bit range, or when the
// value is infinite or not a number.
std::int16_t round_to_int16(double value);
std::int16_t round_to_int16(long double value);

// v in decimal digits: no sign, no leading zeros.
std::string decimal_text(int value);

// The low 16 bits of v in upper-case hexadecimal, no leading zeros; 0 gives "0".
std::string hex_text(int value);

// "0:0 " and then one "row:tick " token for every further note, without a line end. The inputs are
// whole numbers with 3 <= rows <= 256, 2 <= notes <= rows - 1 and 1 <= ticks <= 256.
std::string position_line(float rows, float notes, float ticks);
