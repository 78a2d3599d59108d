// The line editor on an in-memory console with scripted keys: what is returned, what the screen
// shows and where the cursor stands, including at the edges of the text area where the editor's
// own writes scroll it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "console/keyboard.h"
#include "console/line_entry.h"
#include "console/screen.h"
#include "platform/key_codes.h"
#include "platform/memory_console.h"
#include "tests/support/screen_rows.h"

namespace {

using platform::Coord;
using platform::KeyCode;
using platform::MemoryConsole;
using namespace platform;  // key codes
using Keys = std::vector<KeyCode>;

// Keys for the characters of a text.
Keys typed(std::string_view text) {
  Keys keys;
  for (const char c : text)
    keys.push_back(static_cast<unsigned char>(c));
  return keys;
}

Keys operator+(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The console on an in-memory screen of `columns` x `rows`, cleared as at program start. When the
// scripted keys run out the keyboard closes, so a script without Enter leaves the editor mid-line
// and the screen as the last key left it.
struct Editor {
  MemoryConsole device;
  Console console;

  explicit Editor(Coord size) : device(size) {
    console.device = &device;
    clear_screen(console);
  }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  std::optional<std::string> ask(std::string_view prompt, const Keys& keys, bool suffix = true) {
    device.type_keys(keys);
    return read_line(console, prompt, suffix, true);
  }

  Rows rows() const { return screen_rows(device); }
  // The cursor as the text area's 1-based column and row.
  TextCell cursor() const { return {device.cursor().column + 1, device.cursor().row + 1}; }
};

TEST(LineEditor, TypedLineIsReturnedAndTheRowEnded) {
  Editor editor({20, 4});
  editor.device.type_keys(typed("12") + Keys{key_enter, key_line_feed});
  EXPECT_EQ(read_line(editor.console, "Rows", true, true), "12");
  EXPECT_EQ(editor.rows(), (Rows{"Rows? 12", "", "", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{1, 2}));
  EXPECT_TRUE(editor.device.cursor_shown());

  EXPECT_EQ(read_line(editor.console, "Another? (y/n) ", false, true), "");
  EXPECT_EQ(editor.rows(), (Rows{"Rows? 12", "Another? (y/n)", "", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{1, 3}));
}

// Each script ends without Enter, so the screen and cursor are those after its last key.
struct EditCase {
  const char* name;
  Keys keys;
  std::string shown;  // the prompt row, trailing blanks dropped
  int cursor_column;  // 1-based
  int beeps;
};

class EditKeys : public testing::TestWithParam<EditCase> {};

TEST_P(EditKeys, ShowTheTextAndPlaceTheCursor) {
  const EditCase& c = GetParam();
  Editor editor({30, 4});
  EXPECT_EQ(editor.ask("Rows", c.keys), std::nullopt);  // the keyboard closed before Enter
  EXPECT_EQ(editor.rows()[0], c.shown);
  EXPECT_EQ(editor.cursor(), (TextCell{c.cursor_column, 1}));
  EXPECT_EQ(editor.device.beeps(), c.beeps);
}

INSTANTIATE_TEST_SUITE_P(
    LineEditor, EditKeys,
    testing::Values(
        EditCase{"InsertRedrawsTheTail", typed("13") + Keys{key_left} + typed("2"), "Rows? 123", 9,
                 0},
        EditCase{"BackspaceAndLeftAtStartDoNothing", Keys{key_backspace, key_left}, "Rows?", 7, 0},
        EditCase{"RightAtEndDoesNothing", typed("ab") + Keys{key_right}, "Rows? ab", 9, 0},
        EditCase{"DeleteAtEndBeeps", typed("ab") + Keys{key_delete}, "Rows? ab", 9, 1},
        EditCase{"DeleteInsidePullsTheTailLeft",
                 typed("abc") + Keys{key_home, key_right, key_delete}, "Rows? ac", 8, 0},
        EditCase{"BackspaceInside", typed("abc") + Keys{key_left, key_backspace}, "Rows? ac", 8, 0},
        EditCase{"EscBlanksTheText", typed("abc") + Keys{key_left, key_escape}, "Rows?", 7, 0},
        EditCase{"TabFirstIsEightSpaces", Keys{key_tab} + typed("x"), "Rows?         x", 16, 0},
        EditCase{"TabAfterThreeIsFive", typed("abc") + Keys{key_tab} + typed("x"),
                 "Rows? abc     x", 16, 0},
        EditCase{"HomeAndEnd",
                 typed("ab") + Keys{key_home} + typed("<") + Keys{key_end} + typed(">"),
                 "Rows? <ab>", 11, 0},
        EditCase{"UpAndDownWithoutRoomDoNothing", typed("ab") + Keys{key_up, key_left, key_down},
                 "Rows? ab", 8, 0},
        EditCase{"IgnoredKeysChangeNothing",
                 typed("a") +
                     Keys{extended_key(0x3B), key_insert, key_page_up, key_page_down,
                          extended_key(0x0F), extended_key(0x73), 26, 4, 0, 31} +
                     typed("b"),
                 "Rows? ab", 9, 0},
        EditCase{"Byte127IsACharacter", Keys{127}, "Rows? \x7f", 8, 0},
        EditCase{"HighBytesAreCharacters", Keys{0x82, 0xFF}, "Rows? \x82\xFF", 9, 0}),
    [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

TEST(LineEditor, EditsAreReturnedExactly) {
  Editor editor({30, 4});
  const Keys keys = typed("1") + Keys{key_escape} + typed(" 2x") + Keys{key_backspace} +
                    typed("5 ") + Keys{key_home, key_delete, key_end} + Keys{key_enter};
  EXPECT_EQ(editor.ask("Rows", keys), "25 ");
}

TEST(LineEditor, KeysTypedAheadGoToTheNextQuestion) {
  Editor editor({30, 6});
  editor.device.type_keys(typed("4\r3\r"));
  EXPECT_EQ(read_line(editor.console, "Rows", true, true), "4");
  EXPECT_EQ(read_line(editor.console, "Notes", true, true), "3");
  EXPECT_EQ(editor.rows(), (Rows{"Rows? 4", "Notes? 3", "", "", "", ""}));
}

TEST(LineEditor, UpAndDownMoveByARowOfText) {
  Editor editor({10, 6});
  // "Rows? " takes 6 cells; 12 characters run onto the next row.
  const Keys keys =
      typed("abcdefghijkl") + Keys{key_up} + typed("U") + Keys{key_left, key_down} + typed("D");
  EXPECT_EQ(editor.ask("Rows", keys), std::nullopt);
  EXPECT_EQ(editor.rows(), (Rows{"Rows? abUc", "defghijkDl", "", "", "", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{10, 2}));
}

// Typing into the bottom-right cell scrolls at once; typing goes on in column 1 of the last row.
TEST(LineEditor, TypingIntoTheBottomRightCellScrolls) {
  Editor editor({10, 2});
  write_text(editor.console, "title", true);
  EXPECT_EQ(editor.ask("Rows", typed("1234")), std::nullopt);
  EXPECT_EQ(editor.rows(), (Rows{"Rows? 1234", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{1, 2}));

  Editor next({10, 2});
  write_text(next.console, "title", true);
  EXPECT_EQ(next.ask("Rows", typed("12345") + Keys{key_enter}), "12345");
  EXPECT_EQ(next.rows(), (Rows{"5", ""}));
  EXPECT_EQ(next.cursor(), (TextCell{1, 2}));
}

// Text filling a row that is not the last leaves the cursor at the start of the next row.
TEST(LineEditor, TypingIntoTheLastColumnMovesToTheNextRow) {
  Editor editor({10, 3});
  EXPECT_EQ(editor.ask("Rows", typed("1234")), std::nullopt);
  EXPECT_EQ(editor.rows(), (Rows{"Rows? 1234", "", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{1, 2}));
}

TEST(LineEditor, TextEndingInTheLastColumnGetsAnEmptyRowAfterEnter) {
  Editor editor({10, 5});
  EXPECT_EQ(editor.ask("Rows", typed("1234") + Keys{key_enter}), "1234");
  EXPECT_EQ(editor.rows(), (Rows{"Rows? 1234", "", "", "", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{1, 3}));
}

// An insertion whose tail ends in the bottom-right cell does not scroll yet.
TEST(LineEditor, InsertionWhoseTailReachesTheBottomRightCell) {
  Editor editor({10, 2});
  write_text(editor.console, "title", true);
  const Keys keys =
      typed("abcdefghijklm") + Keys{key_left, key_left, key_left, key_left, key_left} + typed("X");
  EXPECT_EQ(editor.ask("Rows", keys), std::nullopt);
  // The tail reached the bottom-right cell without scrolling yet.
  EXPECT_EQ(editor.rows(), (Rows{"Rows? abcd", "efghXijklm"}));
  EXPECT_EQ(editor.cursor(), (TextCell{6, 2}));
}

// Inserting inside a text whose tail then runs past the last row scrolls the text area; the
// cursor stands right after the inserted character.
TEST(LineEditor, InsertionWhoseTailScrollsKeepsTheCursorAfterIt) {
  Editor editor({10, 2});
  write_text(editor.console, "title", true);
  const Keys keys =
      typed("abcdefghijklm") + Keys{key_left, key_left, key_left, key_left, key_left} + typed("XY");
  EXPECT_EQ(editor.ask("Rows", keys), std::nullopt);
  EXPECT_EQ(editor.rows(), (Rows{"efghXYijkl", "m"}));
  EXPECT_EQ(editor.cursor(), (TextCell{7, 1}));
}

// A Tab at the end of the text in the next-to-last column of the last row: the write scrolls, the
// move from the remembered cell is refused, and the cursor stays after the spaces.
TEST(LineEditor, TabAcrossTheBottomEdgeLeavesTheCursorAfterItsSpaces) {
  Editor editor({10, 2});
  write_text(editor.console, "title", true);
  EXPECT_EQ(editor.ask("Rows", typed("abc") + Keys{key_tab}), std::nullopt);
  EXPECT_EQ(editor.rows(), (Rows{"Rows? abc", ""}));
  EXPECT_EQ(editor.cursor(), (TextCell{5, 2}));
}

// When the start of a long line has scrolled two rows above the window, Home cannot reach it: the
// cursor stays, the insertion point goes to 0, and the returned text still follows the edits.
TEST(LineEditor, HomeOnALineWhoseStartScrolledAway) {
  Editor editor({10, 2});
  const Keys keys = typed("abcdefghijklmnopqrstu") + Keys{key_home} + typed("<") + Keys{key_end} +
                    typed(">") + Keys{key_enter};
  EXPECT_EQ(editor.ask("Rows", keys), "<abcdefghijklmnopqrstu>");
}

TEST(LineEditor, PastedLinesLoseNothing) {
  Editor editor({80, 25});
  const std::string long_line(700, '7');
  editor.device.type_keys(typed(long_line + "\r" + "3\r"));
  EXPECT_EQ(read_line(editor.console, "Rows", true, true), long_line);
  EXPECT_EQ(read_line(editor.console, "Notes", true, true), "3");
}

// With standard output a file, the echo goes out as plain bytes.
TEST(LineEditor, StreamOutputGetsThePromptTheEchoAndTheLineEnd) {
  MemoryConsole device = MemoryConsole::stream_only();
  Console console;
  console.device = &device;
  device.type_keys(typed("12") + Keys{key_enter} + typed("ab") + Keys{key_backspace, key_enter});
  EXPECT_EQ(read_line(console, "Rows", true, true), "12");
  EXPECT_EQ(read_line(console, "Another? (y/n) ", false, true), "a");
  EXPECT_EQ(device.stream_output(), "Rows? 12\r\nAnother? (y/n) ab \r\n");
}

// Cursor moves have no effect on a stream, not even the one that would scroll at the bottom-right.
TEST(LineEditor, StreamOutputNeverGetsALineEndFromACursorMove) {
  MemoryConsole device = MemoryConsole::stream_only();
  Console console;
  console.device = &device;
  // From the start of the text, 2081 positions on is the cell after the bottom-right cell of an
  // 80 x 25 screen.
  const std::string text(2081, 'x');
  device.type_keys(typed(text) + Keys{key_home, key_end, key_enter});
  EXPECT_EQ(read_line(console, "Rows", true, true), text);
  EXPECT_EQ(device.stream_output(), "Rows? " + text + "\r\n");
}

TEST(LineEditor, CursorVisibilityIsGivenBack) {
  Editor editor({20, 4});
  set_cursor(editor.console, 0, 0, hide_cursor);
  EXPECT_EQ(editor.ask("Rows", typed("1") + Keys{key_enter}), "1");
  EXPECT_FALSE(editor.device.cursor_shown());
}

}  // namespace
