// Screen output on an in-memory console: where text lands, how it wraps and scrolls, which control
// characters act, the owed line end at the bottom-right cell, the cursor operations, and the
// fallbacks when the screen cannot be queried or written.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "console/screen.h"
#include "platform/memory_console.h"
#include "tests/support/screen_rows.h"

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using platform::Coord;
using platform::MemoryConsole;
using platform::Rect;

// The console layer on an in-memory screen, started the way the program starts: with clear_screen.
struct Screen {
  MemoryConsole device;
  Console console;

  Screen(Coord size, Rect window) : device(size, window) { start(); }
  explicit Screen(Coord size) : device(size) { start(); }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  void start() {
    console.device = &device;
    clear_screen(console);
  }

  Rows rows() const { return screen_rows(device); }

  // Text put into the buffer directly, as earlier output would have left it.
  void put(int row, std::string_view text) {
    device.write_cells({0, row}, text, platform::default_attribute);
  }
  void put_rows(const Rows& rows) {
    for (int row = 0; row < static_cast<int>(rows.size()); ++row)
      put(row, rows[static_cast<std::size_t>(row)]);
  }
};

// Written bytes as a C string literal would spell them, for test names.
std::string escaped(std::string_view bytes) {
  std::string text = "\"";
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (code >= 32 && code < 127 && byte != '"' && byte != '\\') {
      text.push_back(byte);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", code);
      text += escape;
    }
  }
  return text + "\"";
}

// --- Wrapping at the right edge of a row that is not the bottom row.

struct AfterFullRowCase {
  std::string_view then;  // written after text that exactly fills row 0
  Rows rows;
  Coord cursor;
};

void PrintTo(const AfterFullRowCase& test, std::ostream* out) {
  *out << escaped(test.then);
}

class AfterFullRow : public testing::TestWithParam<AfterFullRowCase> {};

TEST_P(AfterFullRow, ContinuesOnTheNextRow) {
  Screen screen({5, 4});
  write_text(screen.console, "abcde", false);
  write_raw(screen.console, GetParam().then);
  EXPECT_EQ(screen.rows(), GetParam().rows);
  EXPECT_EQ(screen.device.cursor(), GetParam().cursor);
}

INSTANTIATE_TEST_SUITE_P(Cases, AfterFullRow,
                         testing::Values(
                             // The cursor already shows in column 1 of the next row.
                             AfterFullRowCase{"", {"abcde", "", "", ""}, {0, 1}},
                             // A line end leaves one empty row between the text and the cursor.
                             AfterFullRowCase{"\r\n", {"abcde", "", "", ""}, {0, 2}},
                             // A carriage return keeps the new row.
                             AfterFullRowCase{"\r", {"abcde", "", "", ""}, {0, 1}},
                             AfterFullRowCase{"\rx", {"abcde", "x", "", ""}, {1, 1}}));

// --- The bottom row: text that fills it scrolls only when more follows.

class BottomRow : public testing::Test {
 protected:
  // "top" on row 0, the cursor in column 1 of the bottom row.
  BottomRow() {
    write_text(screen.console, "top", true);
    write_text(screen.console, "", true);
  }
  Screen screen{Coord{5, 3}};
};

TEST_F(BottomRow, FillingTheBottomRightCellOwesTheLineEnd) {
  write_text(screen.console, "abcde", false);
  EXPECT_EQ(screen.rows(), (Rows{"top", "", "abcde"}));
  EXPECT_EQ(screen.device.cursor(), (Coord{4, 2}));
  EXPECT_EQ(cursor_position(screen.console), (TextCell{5, 3}));

  // The next write first scrolls one row and goes on in column 1 of the bottom row.
  write_text(screen.console, "x", false);
  EXPECT_EQ(screen.rows(), (Rows{"", "abcde", "x"}));
  EXPECT_EQ(screen.device.cursor(), (Coord{1, 2}));
}

struct BottomRowLineCase {
  std::string_view text;  // written on the bottom row, then a line end
  Rows rows;
};

void PrintTo(const BottomRowLineCase& test, std::ostream* out) {
  *out << escaped(test.text);
}

class BottomRowLine : public BottomRow, public testing::WithParamInterface<BottomRowLineCase> {};

TEST_P(BottomRowLine, ScrollsAndEndsInColumnOneOfTheBottomRow) {
  write_text(screen.console, GetParam().text, true);
  EXPECT_EQ(screen.rows(), GetParam().rows);
  EXPECT_EQ(screen.device.cursor(), (Coord{0, 2}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BottomRowLine,
    testing::Values(
        // One row of scrolling.
        BottomRowLineCase{"ab", {"", "ab", ""}},
        // The owed line end and the written one: two rows, an empty row after the full one.
        BottomRowLineCase{"abcde", {"abcde", "", ""}}));

TEST_F(BottomRow, ZeroCountWriteCarriesOutTheOwedLineEndOnlyWhenForced) {
  write_text(screen.console, "abcde", false);

  write_raw(screen.console, "", false);
  EXPECT_EQ(screen.rows(), (Rows{"top", "", "abcde"}));
  EXPECT_EQ(cursor_position(screen.console), (TextCell{5, 3}));

  write_raw(screen.console, "", true);
  EXPECT_EQ(screen.rows(), (Rows{"", "abcde", ""}));
  EXPECT_EQ(screen.device.cursor(), (Coord{0, 2}));
  EXPECT_EQ(cursor_position(screen.console), (TextCell{1, 3}));

  // Nothing owed: a forced empty write leaves screen and cursor as they are.
  write_text(screen.console, "ab", false);
  write_raw(screen.console, "", true);
  EXPECT_EQ(screen.rows(), (Rows{"", "abcde", "ab"}));
  EXPECT_EQ(screen.device.cursor(), (Coord{2, 2}));
}

TEST_F(BottomRow, SetCursorCancelsTheOwedLineEnd) {
  write_text(screen.console, "abcde", false);
  set_cursor(screen.console, 0, 0, hide_cursor);
  EXPECT_EQ(screen.device.cursor(), (Coord{4, 2}));

  // Nothing scrolls: the next character lands on the cell the cursor stands on.
  write_text(screen.console, "x", false);
  EXPECT_EQ(screen.rows(), (Rows{"top", "", "abcdx"}));
}

// --- Scrolling: the window moves down the buffer while it can, then the buffer shifts.

TEST(Scrolling, WindowMovesDownTheBufferThenTheBufferShifts) {
  Screen screen({6, 6}, {0, 0, 5, 2});

  write_text(screen.console, "1\r\n2\r\n3\r\n4", false);
  // The earlier rows stay reachable above the window.
  EXPECT_EQ(screen.rows(), (Rows{"1", "2", "3", "4", "", ""}));
  EXPECT_EQ(screen.device.window(), (Rect{0, 1, 5, 3}));
  EXPECT_EQ(screen.device.cursor(), (Coord{1, 3}));
  EXPECT_EQ(cursor_position(screen.console), (TextCell{2, 3}));

  // At the end of the buffer the whole buffer shifts and its top row is lost.
  write_text(screen.console, "\r\n5\r\n6\r\n7", false);
  EXPECT_EQ(screen.rows(), (Rows{"2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(screen.device.window(), (Rect{0, 3, 5, 5}));
  EXPECT_EQ(screen.device.cursor(), (Coord{1, 5}));
}

TEST(Scrolling, BufferNoTallerThanTheWindowShiftsOnEveryOverflow) {
  Screen screen({6, 3});
  screen.device.set_attribute(0x1e);
  write_text(screen.console, "1\r\n2\r\n3", true);
  EXPECT_EQ(screen.rows(), (Rows{"2", "3", ""}));
  EXPECT_EQ(screen.device.window(), (Rect{0, 0, 5, 2}));
  // The freed row is blank in the current attribute.
  EXPECT_EQ(screen.device.cell({5, 2}), (platform::Cell{' ', 0x1e}));
}

TEST(Scrolling, WideBufferWrapsAtTheBufferWidthAndTheWindowKeepsItsWidth) {
  Screen screen({10, 5}, {0, 0, 4, 2});
  write_text(screen.console, "abcdefghijkl\r\n2\r\n3", false);
  EXPECT_EQ(screen.rows(), (Rows{"abcdefghij", "kl", "2", "3", ""}));
  EXPECT_EQ(screen.device.window(), (Rect{0, 1, 4, 3}));
}

TEST(Scrolling, AfterTheWindowHeightChangesOnlyTheAreaShiftsAndTheWindowStays) {
  Screen screen({6, 6}, {0, 0, 5, 3});
  screen.put(4, "below");
  screen.device.set_window({0, 0, 5, 1});  // the user makes the window shorter
  for (const char* line : {"1", "2", "3", "4"})
    write_text(screen.console, line, true);
  EXPECT_EQ(screen.rows(), (Rows{"2", "3", "4", "", "below", ""}));
  EXPECT_EQ(screen.device.window(), (Rect{0, 0, 5, 1}));
  EXPECT_EQ(screen.device.cursor(), (Coord{0, 3}));
}

TEST(Scrolling, AfterTheBufferShrinksTextStaysInsideIt) {
  Screen screen({8, 6});
  write_text(screen.console, "1\r\n2\r\n3", false);
  screen.device.resize({8, 4});  // the terminal is made smaller than the text area

  write_text(screen.console, "\r\n4\r\n5\r\n6", false);
  EXPECT_EQ(screen.rows(), (Rows{"3", "4", "5", "6"}));
  EXPECT_EQ(screen.device.cursor(), (Coord{1, 3}));

  write_text(screen.console, "", true);
  EXPECT_EQ(screen.rows(), (Rows{"4", "5", "6", ""}));
  EXPECT_EQ(cursor_position(screen.console), (TextCell{1, 4}));
}

// Many rows at once: line feeds alone never scroll, so a write can end far below the area.
struct LargeScrollCase {
  const char* name;
  Coord size;
  Rect window;
  int window_height_later;  // the user's window height once started; 0: unchanged
  Rows before;
  Coord cursor;
  std::string_view bytes;
  Rows rows;
  Rect window_after;
};

void PrintTo(const LargeScrollCase& test, std::ostream* out) {
  *out << test.name;
}

class LargeScroll : public testing::TestWithParam<LargeScrollCase> {};

TEST_P(LargeScroll, FreedRowsEndBlank) {
  const LargeScrollCase& test = GetParam();
  Screen screen(test.size, test.window);
  if (test.window_height_later > 0) {
    Rect shorter = test.window;
    shorter.bottom = shorter.top + test.window_height_later - 1;
    screen.device.set_window(shorter);
    write_raw(screen.console, "", true);  // a write notices the new window
  }
  screen.put_rows(test.before);
  screen.device.set_cursor_position(test.cursor);
  write_raw(screen.console, test.bytes);
  EXPECT_EQ(screen.rows(), test.rows);
  EXPECT_EQ(screen.device.window(), test.window_after);
}

INSTANTIATE_TEST_SUITE_P(Cases, LargeScroll,
                         testing::Values(LargeScrollCase{"AtLeastTheBufferHeight",
                                                         {4, 4},
                                                         {0, 0, 3, 3},
                                                         0,
                                                         {"a", "b", "c", "d"},
                                                         {1, 3},
                                                         "\n\n\n\n\nx",
                                                         {"", "", "", "x"},
                                                         {0, 0, 3, 3}},
                                         LargeScrollCase{"MoreThanHalfTheBuffer",
                                                         {4, 4},
                                                         {0, 0, 3, 3},
                                                         0,
                                                         {"a", "b", "c", "d"},
                                                         {1, 3},
                                                         "\n\n\nx",
                                                         {"d", "", "", "x"},
                                                         {0, 0, 3, 3}},
                                         LargeScrollCase{"HalfTheBuffer",
                                                         {4, 4},
                                                         {0, 0, 3, 3},
                                                         0,
                                                         {"a", "b", "c", "d"},
                                                         {1, 3},
                                                         "\n\nx",
                                                         {"c", "d", "", "x"},
                                                         {0, 0, 3, 3}},
                                         LargeScrollCase{"PastTheRowsBelowTheWindow",
                                                         {4, 6},
                                                         {0, 0, 3, 2},
                                                         0,
                                                         {"a", "b", "c"},
                                                         {1, 2},
                                                         "\n\n\n\n\nx",
                                                         {"c", "", "", "", "", "x"},
                                                         {0, 3, 3, 5}},
                                         LargeScrollCase{"FarPastTheRowsBelowTheWindow",
                                                         {4, 6},
                                                         {0, 0, 3, 2},
                                                         0,
                                                         {"a", "b", "c"},
                                                         {1, 2},
                                                         "\n\n\n\n\n\n\n\n\n\n\n\nx",
                                                         {"a", "b", "c", "", "", "x"},
                                                         {0, 3, 3, 5}},
                                         LargeScrollCase{"AtLeastTheAreaHeightAfterAWindowChange",
                                                         {4, 6},
                                                         {0, 0, 3, 3},
                                                         2,
                                                         {"a", "b", "c", "d", "e"},
                                                         {1, 3},
                                                         "\n\n\n\nx",
                                                         {"", "", "", "x", "e", ""},
                                                         {0, 0, 3, 1}},
                                         LargeScrollCase{"MoreThanHalfTheAreaAfterAWindowChange",
                                                         {4, 6},
                                                         {0, 0, 3, 3},
                                                         2,
                                                         {"a", "b", "c", "d", "e"},
                                                         {1, 3},
                                                         "\n\n\nx",
                                                         {"d", "", "", "x", "e", ""},
                                                         {0, 0, 3, 1}}),
                         [](const testing::TestParamInfo<LargeScrollCase>& info) {
                           return info.param.name;
                         });

// --- Control characters.

struct ControlCase {
  std::string_view bytes;
  Rows rows;
  Coord cursor;
  int beeps = 0;
};

void PrintTo(const ControlCase& test, std::ostream* out) {
  *out << escaped(test.bytes);
}

class ControlCharacters : public testing::TestWithParam<ControlCase> {};

TEST_P(ControlCharacters, ActOrAreStoredAsGlyphs) {
  Screen screen({6, 3});
  write_raw(screen.console, GetParam().bytes);
  EXPECT_EQ(screen.rows(), GetParam().rows);
  EXPECT_EQ(screen.device.cursor(), GetParam().cursor);
  EXPECT_EQ(screen.device.beeps(), GetParam().beeps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ControlCharacters,
    testing::Values(ControlCase{"ab\bX", {"aX", "", ""}, {2, 0}},
                    // Backspace in column 0 does nothing, and never goes to the row above.
                    ControlCase{"\bX", {"X", "", ""}, {1, 0}},
                    ControlCase{"ab\r\n\bX", {"ab", "X", ""}, {1, 1}},
                    ControlCase{"abcdef\bX", {"abcdef", "X", ""}, {1, 1}},
                    // A line feed alone also returns to the left edge.
                    ControlCase{"ab\ncd", {"ab", "cd", ""}, {2, 1}},
                    ControlCase{"abc\rX", {"Xbc", "", ""}, {1, 0}},
                    // The bell sounds and takes no cell.
                    ControlCase{"a\ab", {"ab", "", ""}, {2, 0}, 1},
                    ControlCase{"\a", {"", "", ""}, {0, 0}, 1},
                    // Every other byte is a glyph.
                    ControlCase{
                        "\0\x0b\x0c\x1b\x7f\xff"sv, {"\0\x0b\x0c\x1b\x7f\xff"s, "", ""}, {0, 1}}));

struct TabCase {
  std::string_view bytes;
  Rows rows;
  Coord cursor;
};

void PrintTo(const TabCase& test, std::ostream* out) {
  *out << escaped(test.bytes);
}

class Tabs : public testing::TestWithParam<TabCase> {};

// Twelve columns: the last tab stop lies past the right edge.
TEST_P(Tabs, WriteSpacesToTheNextMultipleOfEight) {
  Screen screen({12, 3});
  screen.put_rows({"############", "############"});
  write_raw(screen.console, GetParam().bytes);
  EXPECT_EQ(screen.rows(), GetParam().rows);
  EXPECT_EQ(screen.device.cursor(), GetParam().cursor);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Tabs,
    testing::Values(TabCase{"\tx", {"        x###", "############", ""}, {9, 0}},
                    TabCase{"1234567\tx", {"1234567 x###", "############", ""}, {9, 0}},
                    // Six spaces: two end the row, four begin the next.
                    TabCase{"0123456789\tx", {"0123456789", "    x#######", ""}, {5, 1}}));

// --- Long writes: text is stored in runs of at most 1024 bytes.

TEST(LongWrite, RunsLongerThanTheLimitLandWhereOneRunWould) {
  constexpr int width = 64;
  constexpr int height = 40;
  Screen screen({width, height});
  auto letters = [](int count, int shift) {
    std::string text;
    for (int i = 0; i < count; ++i)
      text.push_back(static_cast<char>('a' + (i * 7 + shift) % 26));
    return text;
  };
  const std::string first = letters(1023, 0);
  const std::string second = letters(1500, 3);

  write_text(screen.console, "abc", false);
  // After "abc" and 1023 letters the TAB is in column 2 of row 16: its six spaces no longer fit
  // in the run, which is stored first.
  write_text(screen.console, first + "\tZ" + second, false);

  std::string expected = "abc" + first + std::string(6, ' ') + "Z" + second;
  expected.resize(width * height, ' ');
  for (int row = 0; row < height; ++row) {
    EXPECT_EQ(screen.device.row_text(row),
              expected.substr(static_cast<std::size_t>(row * width), width))
        << "row " << row;
  }
  EXPECT_EQ(screen.device.cursor(), (Coord{(3 + 1023 + 7 + 1500) % width, 39}));
}

// --- The cursor operations.

struct SetCursorCase {
  int row;
  int column;
  int visibility;
  Coord cursor;  // in the buffer afterwards
  bool visible;
  int target_row;
  int target_column;
};

void PrintTo(const SetCursorCase& test, std::ostream* out) {
  *out << "set_cursor(" << test.row << ", " << test.column << ", " << test.visibility << ")";
}

class SetCursor : public testing::TestWithParam<SetCursorCase> {};

// A window on rows 2 to 4 of the buffer; the cursor after "ab" on its first row.
TEST_P(SetCursor, MovesInsideTheAreaAndAlwaysAppliesTheVisibility) {
  const SetCursorCase& test = GetParam();
  Screen screen({6, 6}, {0, 2, 5, 4});
  write_text(screen.console, "ab", false);
  ASSERT_EQ(cursor_position(screen.console), (TextCell{3, 1}));

  const CursorMove move = set_cursor(screen.console, test.row, test.column, test.visibility);
  EXPECT_TRUE(move.was_visible);
  EXPECT_EQ(move.row, test.target_row);
  EXPECT_EQ(move.column, test.target_column);
  EXPECT_EQ(screen.device.cursor(), test.cursor);
  EXPECT_EQ(screen.device.cursor_shown(), test.visible);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetCursor,
    testing::Values(SetCursorCase{3, 6, keep_visibility, {5, 4}, true, 3, 6},
                    SetCursorCase{0, 5, show_cursor, {4, 2}, true, 1, 5},
                    SetCursorCase{2, 0, hide_cursor, {2, 3}, false, 2, 3},
                    SetCursorCase{0, 0, hide_cursor, {2, 2}, false, 1, 3},
                    // Outside the area: the cursor stays, the visibility applies.
                    SetCursorCase{4, 1, hide_cursor, {2, 2}, false, 1, 3},
                    SetCursorCase{-1, 1, hide_cursor, {2, 2}, false, 1, 3},
                    SetCursorCase{1, 7, hide_cursor, {2, 2}, false, 1, 3},
                    SetCursorCase{1, -1, 2, {2, 2}, true, 1, 3}));

TEST(SetCursorVisibility, ReportsWhetherTheCursorWasVisible) {
  Screen screen({6, 3});
  EXPECT_TRUE(set_cursor(screen.console, 0, 0, hide_cursor).was_visible);
  EXPECT_FALSE(set_cursor(screen.console, 0, 0, keep_visibility).was_visible);
  EXPECT_FALSE(set_cursor(screen.console, 0, 0, show_cursor).was_visible);
  EXPECT_TRUE(screen.device.cursor_shown());
}

TEST(ScreenSize, IsTheBufferWidthAndTheWindowHeight) {
  Screen screen({10, 8}, {0, 2, 4, 5});
  const ScreenSize size = screen_size(screen.console);
  EXPECT_EQ(size.columns, 10);
  EXPECT_EQ(size.rows, 4);
}

// --- clear_screen.

TEST(ClearScreen, BlanksTheAreaOnlyAndCancelsTheOwedLineEnd) {
  Screen screen({6, 6}, {0, 2, 5, 4});
  screen.put_rows({"old0", "old1", "", "", "", "old5"});
  write_text(screen.console, "\n\nabcdef",
             false);  // up to the bottom-right cell: a line end is owed
  screen.device.set_attribute(0x1e);

  clear_screen(screen.console);
  EXPECT_EQ(screen.rows(), (Rows{"old0", "old1", "", "", "", "old5"}));
  EXPECT_EQ(screen.device.cell({5, 4}), (platform::Cell{' ', 0x1e}));
  EXPECT_EQ(screen.device.cursor(), (Coord{0, 2}));

  write_text(screen.console, "x", false);
  EXPECT_EQ(screen.rows(), (Rows{"old0", "old1", "x", "", "", "old5"}));
}

// --- Standard output that is not a screen, and screens that fail.

TEST(StreamMode, PassesTheExactBytesThrough) {
  MemoryConsole device = MemoryConsole::stream_only();
  device.limit_stream_writes(3);
  Console console;
  console.device = &device;

  clear_screen(console);
  write_text(console, "", false);
  write_text(console, "a\tb\a\bc", true);
  write_raw(console, "", true);
  write_text(console, "", true);

  EXPECT_EQ(device.stream_output(), "a\tb\a\bc\r\n\r\n");
  EXPECT_EQ(device.beeps(), 0);
  EXPECT_EQ(cursor_position(console), (TextCell{0, 0}));
  EXPECT_EQ(screen_size(console).columns, 80);
  EXPECT_EQ(screen_size(console).rows, 25);
}

TEST(FailingScreen, QueryFailingLaterFallsIntoStreamMode) {
  Screen screen({6, 4}, {0, 1, 5, 3});
  screen.device.set_attribute(0x1e);
  write_text(screen.console, "abc", false);

  // The write that finds the query failing stores its text at the area's top-left in attribute 7.
  screen.device.fail_screen_info(true);
  write_text(screen.console, "de", false);
  EXPECT_EQ(screen.rows(), (Rows{"", "dec", "", ""}));
  EXPECT_EQ(screen.device.cell({0, 1}), (platform::Cell{'d', platform::default_attribute}));

  // From then on, output goes out as bytes.
  write_text(screen.console, "fg", true);
  EXPECT_EQ(screen.device.stream_output(), "fg\r\n");
  EXPECT_EQ(screen.rows(), (Rows{"", "dec", "", ""}));
}

TEST(FailingScreen, FailedCellWritesAreDroppedAndTheRestGoesOn) {
  Screen screen({6, 3});
  screen.device.fail_cell_writes(true);
  write_text(screen.console, "abc", false);
  EXPECT_EQ(screen.device.cursor(), (Coord{0, 0}));  // nothing was stored to move past
  write_text(screen.console, "def", true);
  EXPECT_EQ(screen.rows(), (Rows{"", "", ""}));
  EXPECT_EQ(screen.device.cursor(), (Coord{0, 1}));

  screen.device.fail_cell_writes(false);
  write_text(screen.console, "gh", false);
  EXPECT_EQ(screen.rows(), (Rows{"", "gh", ""}));
}

}  // namespace
