#include "calculator/placement.h"

#include <cstring>

namespace {

constexpr char digit_characters[] = "0123456789ABCDEF";

// Writes value in the given base at out, most significant digit first, without leading zeros;
// returns the end.
constexpr char* put_digits(char* out, std::uint32_t value, std::uint32_t base) {
  char reversed[32] = {};
  int count = 0;
  do {
    reversed[count++] = digit_characters[value % base];
    value /= base;
  } while (value != 0);
  while (count > 0)
    *out++ = reversed[--count];
  return out;
}

// One half of a token, kept in four bytes so that it is copied in one move.
struct TokenPiece {
  std::array<char, 4> bytes{};
  std::uint8_t size = 0;
};

// Every value below 256 in the given base, followed by `separator`.
constexpr std::array<TokenPiece, 256> make_pieces(std::uint32_t base, char separator) {
  std::array<TokenPiece, 256> pieces{};
  for (std::uint32_t value = 0; value < pieces.size(); ++value) {
    char* end = put_digits(pieces[value].bytes.data(), value, base);
    *end++ = separator;
    pieces[value].size = static_cast<std::uint8_t>(end - pieces[value].bytes.data());
  }
  return pieces;
}

// "row:" for every row a token can name: rows stay below R, which is at most 256.
constexpr std::array<TokenPiece, 256> row_pieces = make_pieces(10, ':');

// "tick " for every tick a token can hold: a tick equal to T is carried, so ticks stay below 256.
constexpr std::array<TokenPiece, 256> tick_pieces = make_pieces(16, ' ');

char* put_piece(char* out, const TokenPiece& piece) {
  std::memcpy(out, piece.bytes.data(), piece.bytes.size());
  return out + piece.size;
}

char* put_token(char* out, int row, std::uint32_t tick) {
  out = put_piece(out, row_pieces[static_cast<std::size_t>(row)]);
  return put_piece(out, tick_pieces[tick]);
}

// Both widths share one rounding: it uses only truncation, comparison and an exact difference, so
// the floating-point rounding mode plays no part.
template <typename Real>
std::int16_t nearest_int16(Real value) {
  // Below -32768.5 or from 32767.5 on, the nearest integer (ties to even) is out of range; the
  // test also fails for not-a-number.
  if (!(value >= Real(-32768.5) && value < Real(32767.5))) return -32768;
  const int toward_zero = static_cast<int>(value);
  const int below = toward_zero - (value < toward_zero ? 1 : 0);
  // Exact: the difference is below one and a multiple of the value's last digit.
  const Real above_below = value - below;
  const bool round_up = above_below > Real(0.5) || (above_below == Real(0.5) && (below & 1) != 0);
  return static_cast<std::int16_t>(below + (round_up ? 1 : 0));
}

// Positions are handled as whole numbers of 2^-52 rows: the row in the high bits, the fraction of
// the row in the low 52. A position is at least one step, which is more than one row, so it is a
// multiple of 2^-52; below 256 rows it needs at most 60 bits. Scaling by a power of two and
// truncating are exact, so nothing is rounded on the way in.
constexpr int fraction_bits = 52;
constexpr double fixed_point_scale = 0x1p52;
constexpr std::uint64_t fraction_mask = (std::uint64_t{1} << fraction_bits) - 1;

// product / 2^52 rounded to the nearest integer, ties to even: a remainder of exactly one half
// rounds up only when the quotient is odd.
std::uint64_t rounded_fixed_point(std::uint64_t product) {
  constexpr std::uint64_t half = std::uint64_t{1} << (fraction_bits - 1);
  const std::uint64_t odd = (product >> fraction_bits) & 1;
  return (product + half - 1 + odd) >> fraction_bits;
}

bool is_whole_in(float value, float lowest, float highest) {
  return value >= lowest && value <= highest &&
         static_cast<float>(static_cast<int>(value)) == value;
}

}  // namespace

std::int16_t round_to_int16(double value) {
  return nearest_int16(value);
}

std::int16_t round_to_int16(long double value) {
  return nearest_int16(value);
}

std::string decimal_text(int value) {
  char digits[16];
  // The magnitude, computed in unsigned arithmetic so that the most negative int has one too.
  const auto magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  return std::string(digits, put_digits(digits, magnitude, 10));
}

std::string hex_text(int value) {
  char digits[8];
  const std::uint32_t low_bits = static_cast<std::uint32_t>(value) & 0xFFFFu;
  return std::string(digits, put_digits(digits, low_bits, 16));
}

std::string_view write_position_line(float rows, float notes, float ticks,
                                     PositionLineBuffer& buffer) {
  // Only there does a line fit the buffer and the fixed-point form below hold.
  if (!is_whole_in(rows, 3, 256) || !is_whole_in(notes, 2, rows - 1) || !is_whole_in(ticks, 1, 256))
    return {};
  const auto whole_ticks = static_cast<std::uint32_t>(ticks);

  char* const begin = buffer.bytes.data();
  char* out = put_token(begin, 0, 0);  // the first note sits at row 0, tick 0

  // The quotient and each sum are rounded to nearest, ties to even: the mode the program sets at
  // start. The position is accumulated note by note; k × step would differ in the last bits, and
  // those bits decide ticks that lie at a halfway point in exact arithmetic.
  const double step = static_cast<double>(rows) / static_cast<double>(notes);
  const auto note_count = static_cast<int>(notes);
  double position = 0;
  // Each note sits at row floor(position) and tick round((position - row) × T), ties to even; a
  // tick equal to T starts the next row. That is where working from the nearest row boundary puts
  // it too, with fewer branches. After N steps the position reaches the end of the tuplet, the
  // first row of what follows, which gets no token.
  for (int note = 2; note <= note_count; ++note) {
    position += step;
    const auto fixed =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(position * fixed_point_scale));
    auto row = static_cast<int>(fixed >> fraction_bits);
    // The tick comes from the exact product of the fraction and T (at most 52 + 9 bits): a
    // product rounded to double could land on a halfway point that the exact one misses.
    auto tick =
        static_cast<std::uint32_t>(rounded_fixed_point((fixed & fraction_mask) * whole_ticks));
    if (tick == whole_ticks) {
      ++row;
      tick = 0;
    }
    out = put_token(out, row, tick);
  }
  return {begin, static_cast<std::size_t>(out - begin)};
}

std::string position_line(float rows, float notes, float ticks) {
  PositionLineBuffer buffer;
  return std::string(write_position_line(rows, notes, ticks, buffer));
}
