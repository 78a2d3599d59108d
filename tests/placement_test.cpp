// The placement of a tuplet's notes and the text of the position line.
#include "calculator/placement.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

// "0:0 " followed by each token and one space.
std::string line_of(const std::vector<std::string>& tokens) {
  std::string line = "0:0 ";
  for (const std::string& token : tokens)
    line += token + " ";
  return line;
}

struct LineCase {
  float rows, notes, ticks;
  std::vector<std::string> tokens;  // after the first, "0:0"
};

TEST(PositionLine, WritesTheTokensOfEachNote) {
  const LineCase cases[] = {
      {3, 2, 6, {"1:3"}},
      {3, 2, 7, {"1:4"}},
      {3, 2, 1, {"1:0"}},  // halfway through a row with one tick: tick 0, the even one
      {3, 2, 256, {"1:80"}},
      {4, 2, 6, {"2:0"}},  // exactly on a row boundary
      {6, 3, 4, {"2:0", "4:0"}},
      {4, 3, 6, {"1:2", "2:4"}},
      {5, 3, 6, {"1:4", "3:2"}},
      {13, 4, 6, {"3:2", "6:3", "9:4"}},  // products 1.5 and 4.5 go to the even tick
      {255, 2, 3, {"127:2"}},
      // Accumulated positions lie just above 7/6 and 35/6: 1:1, not 1:0; 6:0, not 5:2.
      {7, 6, 3, {"1:1", "2:1", "3:2", "4:2", "6:0"}},
      // Accumulated positions lie just below 7.7 and 9.9, where 7 × step and 9 × step lie above.
      {11, 10, 5, {"1:1", "2:1", "3:2", "4:2", "5:2", "6:3", "7:3", "8:4", "9:4"}},
      // The exact product of 0.7 (as a double) and 5 lies just below 3.5: 1:3, not 1:4.
      {17, 10, 5, {"1:3", "3:2", "5:0", "6:4", "8:2", "10:1", "11:4", "13:3", "15:1"}},
      // Likewise just below 17.5: 1:11, not 1:12.
      {11, 6, 21, {"1:11", "3:E", "5:A", "7:7", "9:3"}},
      // Ticks of 2 = T near 9.82 and 10.91 are carried to the next row.
      {12, 11, 2, {"1:0", "2:0", "3:1", "4:1", "5:1", "6:1", "7:1", "8:1", "10:0", "11:0"}},
      {12, 7, 1, {"2:0", "3:0", "5:0", "7:0", "9:0", "10:0"}},
      {6, 5, 12, {"1:2", "2:5", "3:7", "4:A"}},
      {10, 3, 16, {"3:5", "6:B"}},
      {256, 3, 256, {"85:55", "170:AB"}},
      {256, 2, 1, {"128:0"}},
      {100, 7, 255, {"14:49", "28:92", "42:DB", "57:24", "71:6D", "85:B6"}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " / " << c.notes << " / " << c.ticks);
    EXPECT_EQ(position_line(c.rows, c.notes, c.ticks), line_of(c.tokens));
  }
}

TEST(PositionLine, ExactProductDecidesTicksThatADoubleProductWouldTie) {
  // The exact product lies just above 12.5 here, where the product rounded to double is 12.5.
  EXPECT_EQ(position_line(253, 38, 19).substr(0, 8), "0:0 6:D ");
}

TEST(PositionLine, LongestLineSkipsTickEightyAndNeverWritesOneHundred) {
  // Row k at tick k up to 127:7F, then row k at tick k + 1 from 128:81 to 254:FF.
  std::vector<std::string> tokens;
  for (int row = 1; row <= 254; ++row) {
    const int tick = row <= 127 ? row : row + 1;
    char token[16];
    std::snprintf(token, sizeof token, "%d:%X", row, static_cast<unsigned>(tick));
    tokens.push_back(token);
  }
  const std::string line = position_line(256, 255, 256);
  EXPECT_EQ(line, line_of(tokens));
  EXPECT_LE(line.size(), max_position_line_size);
}

TEST(PositionLine, InputsOutsideTheirRangeGiveAnEmptyLine) {
  const float infinity = std::numeric_limits<float>::infinity();
  const float not_a_number = std::numeric_limits<float>::quiet_NaN();
  const float cases[][3] = {
      {2, 1, 6},
      {257, 2, 6},
      {4, 4, 6},
      {4, 1, 6},
      {3, 1000, 6},
      {20, -3, 6},
      {20, 0, 6},
      {4, 3, 0},
      {4, 3, 257},
      {3.5f, 2, 6},
      {10, 2.5f, 6},
      {10, 3, 6.5f},
      {infinity, 3, 6},
      {not_a_number, 2, 6},
      {10, not_a_number, 6},
      {10, 3, infinity},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c[0] << " / " << c[1] << " / " << c[2]);
    EXPECT_EQ(position_line(c[0], c[1], c[2]), "");
  }
}

struct RoundCase {
  double value;
  int nearest;
};

constexpr double infinity = std::numeric_limits<double>::infinity();

const RoundCase round_cases[] = {
    {0, 0},
    {2.5, 2},
    {3.5, 4},
    {-2.5, -2},
    {0.5, 0},
    {-0.5, 0},
    {1.5, 2},
    {2.6, 3},
    {0.49999999999999994, 0},
    {256.4, 256},
    {256.5, 256},
    {257.5, 258},
    {-3, -3},
    {32767, 32767},
    {32767.49, 32767},
    {32767.5, -32768},
    {-32768, -32768},
    {-32767.5, -32768},
    {-32768.5, -32768},
    {-32768.51, -32768},
    {-32766.5, -32766},
    {1e10, -32768},
    {-40000, -32768},
    {infinity, -32768},
    {-infinity, -32768},
    {std::numeric_limits<double>::quiet_NaN(), -32768},
};

TEST(RoundToInt16, RoundsTiesToEvenAndGivesTheLowestValueOutOfRange) {
  for (const RoundCase& c : round_cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    EXPECT_EQ(round_to_int16(c.value), c.nearest);
    EXPECT_EQ(round_to_int16(static_cast<long double>(c.value)), c.nearest);
    const auto single = static_cast<float>(c.value);
    if (static_cast<double>(single) == c.value || std::isnan(c.value)) {
      EXPECT_EQ(round_to_int16(single), c.nearest);
    }
  }
}

TEST(RoundToInt16, GivesTheSameUnderEveryRoundingMode) {
  const int saved = std::fegetround();
  for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    for (const RoundCase& c : round_cases) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", value " << c.value);
      EXPECT_EQ(round_to_int16(c.value), c.nearest);
      EXPECT_EQ(round_to_int16(static_cast<long double>(c.value)), c.nearest);
    }
  }
  std::fesetround(saved);
}

TEST(RoundToInt16, UsesTheFullWidthOfAnExtendedValue) {
  if constexpr (std::numeric_limits<long double>::digits < 64) {
    GTEST_SKIP() << "long double has no more significand bits than double here";
  } else {
    // Just beside a halfway point, closer than a double can tell.
    EXPECT_EQ(round_to_int16(2.5L + 0x1p-60L), 3);
    EXPECT_EQ(round_to_int16(3.5L - 0x1p-60L), 3);
    EXPECT_EQ(round_to_int16(0.5L + 0x1p-63L), 1);
    EXPECT_EQ(round_to_int16(32767.5L - 0x1p-48L), 32767);
  }
}

TEST(TokenText, DecimalHasNoSignNorLeadingZeros) {
  const std::pair<int, const char*> cases[] = {
      {0, "0"},     {7, "7"},         {10, "10"}, {100, "100"},
      {255, "255"}, {32767, "32767"}, {-5, "5"},  {std::numeric_limits<int>::min(), "2147483648"},
  };
  for (const auto& [value, text] : cases)
    EXPECT_EQ(decimal_text(value), text) << "value " << value;
}

TEST(TokenText, HexIsUpperCaseLow16BitsWithoutLeadingZeros) {
  const std::pair<int, const char*> cases[] = {
      {0, "0"},        {9, "9"},     {10, "A"},         {15, "F"},
      {16, "10"},      {255, "FF"},  {256, "100"},      {0xABCD, "ABCD"},
      {65535, "FFFF"}, {65536, "0"}, {0x12345, "2345"}, {-1, "FFFF"},
  };
  for (const auto& [value, text] : cases)
    EXPECT_EQ(hex_text(value), text) << "value " << value;
}

// Reads a whole number in the given base at line[at], as a token writes it: at least one digit,
// upper-case, no leading zero unless the number is 0. Advances `at`; -1 when malformed.
long parse_token_number(const std::string_view line, std::size_t& at, int base) {
  const std::size_t start = at;
  long value = 0;
  while (at < line.size()) {
    const char c = line[at];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = value * base + digit;
    ++at;
  }
  const std::size_t length = at - start;
  if (length == 0 || (length > 1 && line[start] == '0')) return -1;
  return value;
}

// What is wrong with the line of rows / notes / ticks, measured against the placement worked out
// note by note from the nearest row boundary, stopping when the position reaches the end of the
// tuplet, with every tick product taken exactly in extended precision (the program instead works
// on the significand as an integer, in the closed form). Also checks the shape: N − 1 tokens after
// "0:0 ", rows 1 to 255, ticks up to FF. Empty when the line is right. Needs rounding to nearest.
std::string fault_in_line(int rows, int notes, int ticks, std::string_view line) {
  if (line.substr(0, 4) != "0:0 ") return "does not begin with \"0:0 \"";
  const double step = static_cast<double>(rows) / notes;
  std::size_t at = 4;
  double position = 0;
  for (int note = 2;; ++note) {
    position += step;
    const long nearest = std::lrint(position);
    if (nearest == rows || position > rows) {
      if (note != notes + 1) return "the end reached after " + std::to_string(note - 1) + " steps";
      break;
    }
    long expected_row;
    long expected_tick;
    if (nearest >= position) {
      expected_tick = std::lrint(static_cast<long double>(position - (nearest - 1)) * ticks);
      expected_row = expected_tick == ticks ? nearest : nearest - 1;
      if (expected_tick == ticks) expected_tick = 0;
    } else {
      expected_tick = std::lrint(static_cast<long double>(position - nearest) * ticks);
      expected_row = nearest;
    }
    const auto where = [note] { return "note " + std::to_string(note) + ": "; };
    const long row = parse_token_number(line, at, 10);
    const bool colon = row >= 0 && at < line.size() && line[at++] == ':';
    const long tick = colon ? parse_token_number(line, at, 16) : -1;
    const bool space = tick >= 0 && at < line.size() && line[at++] == ' ';
    if (!space) return where() + "malformed or missing token";
    if (row < 1 || row > 255 || tick > 0xFF) return where() + "row or tick out of range";
    if (row != expected_row || tick != expected_tick)
      return where() + "wrote " + std::to_string(row) + ":" + hex_text(tick) + ", expected " +
             std::to_string(expected_row) + ":" + hex_text(expected_tick);
  }
  if (at != line.size()) return "more than N - 1 tokens after \"0:0 \"";
  return {};
}

TEST(PositionLine, EveryValidInputMatchesTheNoteByNotePlacement) {
  if constexpr (std::numeric_limits<long double>::digits < 64) {
    GTEST_SKIP() << "the check needs an exact product: long double has fewer than 64 "
                    "significand bits here";
  } else {
    const int saved = std::fegetround();
    ASSERT_EQ(std::fesetround(FE_TONEAREST), 0);
    PositionLineBuffer buffer;
    long lines = 0;
    int faults = 0;
    constexpr int most_faults_shown = 20;
    for (int rows = 3; rows <= 256; ++rows) {
      for (int notes = 2; notes <= rows - 1; ++notes) {
        for (int ticks = 1; ticks <= 256 && faults < most_faults_shown; ++ticks) {
          ++lines;
          const std::string_view line =
              write_position_line(static_cast<float>(rows), static_cast<float>(notes),
                                  static_cast<float>(ticks), buffer);
          const std::string fault = fault_in_line(rows, notes, ticks, line);
          if (fault.empty()) continue;
          ++faults;
          ADD_FAILURE() << rows << " / " << notes << " / " << ticks << ", " << fault
                        << "\n  line: " << line;
        }
      }
    }
    std::fesetround(saved);
    EXPECT_EQ(faults, 0);
    if (faults < most_faults_shown) {
      EXPECT_EQ(lines, 8'290'560);
    }
  }
}

}  // namespace
