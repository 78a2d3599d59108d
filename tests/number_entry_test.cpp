// Number entry: the item a read takes, the route it converts by, and the exact binary32 result.
#include "console/number_entry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "calculator/placement.h"
#include "console/stream_source.h"
#include "platform/memory_console.h"
#include "tests/support/process.h"

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float not_a_number = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

// Compares bit for bit, so that -0 differs from +0; any NaN matches a NaN.
void expect_same_float(float actual, float expected) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << actual;
  } else {
    EXPECT_EQ(bits(actual), bits(expected)) << actual << " instead of " << expected;
  }
}

struct TypedLine {
  std::string line;
  float value;
};

TEST(ParseNumber, TypedLines) {
  const std::string sixteen_f(16, 'F');
  const std::vector<TypedLine> table = {
      {"", 0},
      {"  \t ", 0},
      {"  7  ", 7},
      {"-3", -3},
      {"+3", 3},
      {"abc", 0},
      {"12abc", 12},
      {"1,2", 1},
      {"1 2", 1},
      {"\"1,5\"", 1},
      {"\"1\"2", 12},
      {",5", 0},
      {"1e2", 100},
      {"1d2", 100},
      {"1D2", 100},
      {"12e", 12},
      {".5", 0.5f},
      {"5.", 5},
      {"1.5.5", 1.5f},
      {"0.1", 0.100000001490116119384765625f},
      {"&HFF", 255},
      {"&hff", 255},
      {"&O17", 15},
      {"&17", 15},
      {"&B101", 5},
      {"&HE", 14},
      {"&H1.5", 1},
      {"&", 0},
      {"&H", 0},
      {"&O", 0},
      {"&B", 0},
      {"&8", 0},
      {"&B2", 0},
      {"&H1G", 1},
      {"&HFFFFFFF", 268435456},
      {"&HFFFFFFFF", 4294967296.0f},
      {"&H" + sixteen_f, -1},
      {"&H1" + std::string(16, '0'), 0},
      {"16777217", 16777216},
      {"16777219", 16777220},
      {"1234567890", 1234567936},
      {"1e39", infinity},
      {"1e99", infinity},
      {"1e999", infinity},
      {"-1e39", -infinity},
      {"1e-50", 0},
      {"inf", 0},
      {"infinity", 0},
      {"nan", 0},
      {"inf.", infinity},
      {"-Infinite", -infinity},
      {"nan.", not_a_number},
      {"0x10", 0},
      {"0x1.8p1", 3},
      {"1.00000005960464477539062500001", 1},
      {std::string(66, '0') + "15", 1},
  };
  for (const TypedLine& row : table) {
    SCOPED_TRACE("line \"" + row.line + "\"");
    expect_same_float(parse_number(row.line), row.value);
  }
}

// Cases beyond the usual ones that each catch a specific wrong turn.
TEST(ParseNumber, RoutesRoundAsTheyMust) {
  const std::vector<TypedLine> table = {
      // 64-bit integers round once, straight to binary32 (through binary64 they would end on the
      // even neighbour below): 2^60 + 2^36 + 1 and 2^59 + 2^35 + 1.
      {"&H1000001000000001", 0x1p60f + 0x1p37f},
      {"576460786663161857", 0x1p59f + 0x1p36f},
      // 19 digits and more take the floating route and round twice: 2^62 + 2^38 + 1.
      {"4611686293305294849", 0x1p62f},
      // Radix forms wrap in 64 bits, also past 18 characters.
      {"&H8000000000000000", -0x1p63f},
      {"&H123456789ABCDEF01", static_cast<float>(std::int64_t{0x23456789ABCDEF01})},
      {"&O1777777777777777777777", -1},
      {"&B" + std::string(64, '1'), -1},
      // Decimal integers never wrap; 18 characters stay on the integer route.
      {"-99999999999999999", -99999999999999999.0f},
      // Spaces before a radix form are skipped, other white space is not.
      {"\" &H10\"", 16},
      {"\"\t&H10\"", 0},
      {"\"\v\f5\"", 5},
      {"\"\t-5\"", -5},
      // A NUL byte is an ordinary character.
      {std::string("4\0"
                   "2",
                   3),
       4},
      // Floating route edges.
      {"0x", 0},
      {"0x.8p1", 1},
      {"0X1.P-2", 0.25f},
      {"0x1d.8p1", 61},  // d is taken as the exponent letter e, a hexadecimal digit here
      {"0x1.8pz", 1.5f},
      {"0x00000000000000001p4", 16},  // 21 characters: floating route without a marker
      {"1e+", 1},
      {"1e-2x", static_cast<float>(0.01)},
      {"-.", 0},
      {"-0.0", -0.0f},
      {"+.5", 0.5f},
      {"\"\t\v 2.5\"", 2.5f},
      {"INF.", infinity},
      {"-nan(1F).", -not_a_number},
      {"3.4028235e38", std::numeric_limits<float>::max()},
      {"3.40282357e38", infinity},
      {"1e-45", std::numeric_limits<float>::denorm_min()},
      {"1e-46", 0},
      {"1e-320", 0},
      {"-1e-99999999999999999999", -0.0f},
      {"1e99999999999999999999", infinity},
      {"0e99999999999999999999", 0},
  };
  for (const TypedLine& row : table) {
    SCOPED_TRACE("line \"" + row.line + "\"");
    expect_same_float(parse_number(row.line), row.value);
  }
  EXPECT_TRUE(std::signbit(parse_number("-nan.")));
}

TEST(ConvertItem, TheMarkerAndTheLengthChooseTheRoute) {
  // The same text converts differently on each route.
  expect_same_float(convert_item("1e2", false), 1);
  expect_same_float(convert_item("1e2", true), 100);
  expect_same_float(convert_item("0x1p3", true), 8);
  expect_same_float(convert_item("0x1p3", false), 0);
  expect_same_float(convert_item("inf", true), infinity);
  expect_same_float(convert_item("", false), 0);
  expect_same_float(convert_item("", true), 0);
}

TEST(NextItem, CollectsOneItemFromALine) {
  struct Case {
    std::string line;
    std::string item;
    bool floating;
    std::size_t next;  // where the next item would begin
  };
  const std::vector<Case> cases = {
      {"  12  ,3", "12", false, 7},
      {"1d5 x", "1e5", true, 4},
      {"&hd.e1", "&hd.e1", false, 6},
      {"\"a b\"c\" d", "a bc\"", false, 8},
      {"\"\"\"x\"", "x", false, 5},
      {"x\r\ny", "x", false, 3},
      {"x \ry", "x", false, 3},
      {"x\ry", "x", false, 2},
      {"\"1\n2\"", "1", false, 3},
      {"1.5,", "1.5", true, 4},
      {std::string(70, '7'), std::string(67, '7'), false, 67},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("line \"" + c.line + "\"");
    LineSource source{c.line};
    const Item item = next_item(source);
    EXPECT_EQ(item.text, c.item);
    EXPECT_EQ(item.floating, c.floating);
    EXPECT_FALSE(item.data_ended);
    EXPECT_EQ(source.next, c.next);
  }
  LineSource blank{" \t "};
  EXPECT_TRUE(next_item(blank).data_ended);
}

// --- Standard input as a stream.

struct StreamRun {
  std::vector<std::optional<float>> values;  // every read up to and including the first "ended"
  std::string written;                       // what the reads wrote to standard output
};

// Reads numbers from `input` until the data has ended, the stream delivering at most `piece`
// bytes per read (0: all at once).
StreamRun read_all(std::string_view input, std::size_t piece) {
  platform::MemoryConsole device = platform::MemoryConsole::stream_only();
  device.set_stream_input(input);
  device.limit_stream_reads(piece);
  Console console;
  console.device = &device;
  StreamRun run;
  for (int reads = 0; reads < 1000; ++reads) {
    run.values.push_back(read_number(console, "Rows"));
    if (!run.values.back()) break;
  }
  // Once ended, a read stays ended.
  if (!read_number(console, "Rows")) run.values.push_back(std::nullopt);
  run.written = device.stream_output();
  return run;
}

struct StreamCase {
  std::string input;
  std::vector<float> values;  // the reads before the end of the data
};

class StreamPieces : public testing::TestWithParam<std::size_t> {};

TEST_P(StreamPieces, ReadsBeginWhereTheLastOneStopped) {
  const std::string zeros(66, '0');
  const std::vector<StreamCase> cases = {
      {"4,3,6\n", {4, 3, 6}},
      {"5 6\n", {5, 6}},
      {"\n7\n", {0, 7}},
      {"12abc 7\n", {12, 7}},
      {zeros + "15\n", {1, 5}},
      {"1\r\n2\r\n", {1, 2}},
      {"1\r2\r", {1, 2}},
      {"1\r\r2", {1, 0, 2}},
      {"1 \r\n\r\n2", {1, 0, 2}},
      {"1 \r5", {1, 5}},
      {"3\r", {3}},
      {"7", {7}},
      {"", {}},
      {"  \t", {}},
      {"  \t\n", {0}},
      {"1, 2 ,3\n", {1, 2, 3}},
      {"1,,2", {1, 0, 2}},
      {"\"4,5\" 6\n", {4, 6}},
      {"\"1\n2\"", {1, 2}},
      {"1.5e3 &HFF\t\t-2d1\n", {1500, 255, -20}},
      {"\"\",", {0}},
      {zeros + "1,", {1}},
      {zeros + "1 \t\r\n9", {1, 9}},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE("input \"" + c.input + "\"");
    const StreamRun run = read_all(c.input, GetParam());
    ASSERT_EQ(run.values.size(), c.values.size() + 2);
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      ASSERT_TRUE(run.values[i].has_value()) << "read " << i;
      expect_same_float(*run.values[i], c.values[i]);
    }
    EXPECT_FALSE(run.values[c.values.size()].has_value());
    EXPECT_FALSE(run.values[c.values.size() + 1].has_value());
    EXPECT_EQ(run.written, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamPieces, testing::Values(0, 1, 2, 3),
                         [](const auto& info) { return "piece" + std::to_string(info.param); });

TEST(ReadNumber, LeavesTheRestOfTheLineInTheStream) {
  platform::MemoryConsole device = platform::MemoryConsole::stream_only();
  device.set_stream_input("5 6 rest\n12abc  7 , next\n");
  device.limit_stream_reads(2);
  Console console;
  console.device = &device;
  expect_same_float(read_number(console, "Rows").value(), 5);
  EXPECT_EQ(take_line(console.stream, device), "6 rest");
  expect_same_float(read_number(console, "Rows").value(), 12);
  EXPECT_EQ(take_line(console.stream, device), "7 , next");
  EXPECT_FALSE(read_number(console, "Rows").has_value());
}

TEST(ReadNumber, StreamStaysBuffered) {
  std::string input;
  for (int i = 0; i < 1000; ++i)
    input += std::to_string(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "," : " ");
  platform::MemoryConsole device = platform::MemoryConsole::stream_only();
  device.set_stream_input(input);
  Console console;
  console.device = &device;
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(read_number(console, "Rows"), static_cast<float>(i));
  EXPECT_FALSE(read_number(console, "Rows").has_value());
  // Under 6000 bytes: two fills of the buffer and one read that finds the end.
  EXPECT_LE(device.stream_reads(), 3);
}

// --- The real program on pipes.

TEST(ReadNumber, PipedNumbersReachTheDialogue) {
  const std::string start = "QUV's tuplet calculator for trackers\r\n\r\n";
  const RunResult result = run_tuplets("2 4,\"3\"\t&H6\r\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.output.substr(0, result.output.find("Another")),
            start + position_line(4, 3, 6) + "\r\n");

  // The data ends while a number is still wanted: the program ends, writing nothing more.
  const RunResult ended = run_tuplets("4\n3\n");
  EXPECT_EQ(ended.exit_status, 0);
  EXPECT_EQ(ended.output, start);
}

// --- Public decimal-to-binary vectors through the floating and integer routes.

struct VectorCount {
  int lines = 0;
  int checked = 0;
  int too_long = 0;       // beyond the item limit: such a line is more than one item
  int twice_rounded = 0;  // on the floating route, where two roundings differ from one
  int integers = 0;       // on an integer route
  int once_rounded = 0;   // on an integer route, where one rounding differs from two
};

// Lines: float16, float32 and float64 bit patterns (and float128), then the text. An item with a
// point or an exponent letter, or longer than 18 characters, takes the floating route and must
// equal the binary64 value rounded again to binary32; shorter digit strings take an integer route,
// whose single rounding is the float32 column.
VectorCount check_vector_file(const std::filesystem::path& path, std::string& joined) {
  VectorCount count;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty()) continue;
    ++count.lines;
    std::istringstream fields(line);
    std::string half, single, dual, quad, text;
    fields >> half >> single >> dual >> quad >> text;
    if (text.empty()) {
      ADD_FAILURE() << "malformed line in " << path << ": " << line;
      continue;
    }
    if (text.size() > item_limit) {
      ++count.too_long;
      continue;
    }
    const auto once = static_cast<std::uint32_t>(std::stoul(single, nullptr, 16));
    const double binary64 = std::bit_cast<double>(std::stoull(dual, nullptr, 16));
    const bool floating = text.find_first_of(".eEdD") != std::string::npos || text.size() > 18;
    const std::uint32_t expected = floating ? bits(static_cast<float>(binary64)) : once;
    const bool rounding_twice_differs = once != bits(static_cast<float>(binary64));
    if (floating && rounding_twice_differs) ++count.twice_rounded;
    if (!floating) ++count.integers;
    if (!floating && rounding_twice_differs) ++count.once_rounded;
    EXPECT_EQ(bits(parse_number(text)), expected) << text << " in " << path.filename();
    ++count.checked;
    joined += text + "\n";
  }
  return count;
}

TEST(PeerVectors, ConvertExactly) {
  const std::filesystem::path folder = PEER_VECTORS_DIR;
  if (!std::filesystem::is_directory(folder)) {
    GTEST_SKIP() << "no test vectors at " << folder;
  }
  std::string joined;
  int total = 0;
  for (const char* name : {"more-test-cases.txt", "lemire-fast-float.txt", "tencent-rapidjson.txt",
                           "freetype-2-7.txt"}) {
    const std::filesystem::path path = folder / name;
    if (!std::filesystem::exists(path)) {
      ADD_FAILURE() << "missing " << path;
      continue;
    }
    const VectorCount count = check_vector_file(path, joined);
    std::cout << name << ": " << count.checked << " checked, " << count.integers
              << " of them on an integer route; one and two roundings differ on "
              << count.once_rounded << " integer and " << count.twice_rounded << " floating items; "
              << count.too_long << " skipped as longer than " << item_limit << " characters\n";
    EXPECT_GT(count.checked, 0) << name;
    EXPECT_EQ(count.checked + count.too_long, count.lines) << name;
    total += count.checked;
  }
  // The data set as shipped: a run that checks far fewer has lost its input somewhere.
  EXPECT_GE(total, 10000);

  // The same items one after another through the stream, crossing buffer refills.
  platform::MemoryConsole device = platform::MemoryConsole::stream_only();
  device.set_stream_input(joined);
  Console console;
  console.device = &device;
  std::istringstream items(joined);
  std::string text;
  int streamed = 0;
  while (std::getline(items, text)) {
    const std::optional<float> value = read_number(console, "Rows");
    ASSERT_TRUE(value.has_value()) << text;
    ASSERT_EQ(bits(*value), bits(parse_number(text))) << text;
    ++streamed;
  }
  EXPECT_FALSE(read_number(console, "Rows").has_value());
  EXPECT_EQ(streamed, total);
}

}  // namespace
