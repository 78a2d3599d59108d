// The real program on a pseudo-terminal, answered key by key as a person would type: the screen,
// seen through a terminal emulator, shows the dialogue row by row, and the line editor's keys work
// in the forms terminals send them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/pty_session.h"

namespace {

constexpr std::string_view left = "\x1b[D";

// Rows with their trailing blanks dropped.
std::vector<std::string> trimmed(std::vector<std::string> rows) {
  for (std::string& row : rows)
    row.erase(row.find_last_not_of(' ') + 1);
  return rows;
}

std::unique_ptr<PtySession> start_program() {
  PtyOptions options = PtyOptions::sized(80, 24);
  options.environment = {"LC_ALL=C.UTF-8"};
  auto session = PtySession::run_program(options);
  EXPECT_TRUE(session->wait_for_text("Rows? "));
  return session;
}

// The keys in `typed`: every character is a key, and so is every escape sequence.
std::vector<std::string_view> keys_of(std::string_view typed) {
  std::vector<std::string_view> keys;
  for (std::size_t start = 0; start < typed.size();) {
    std::size_t end = start + 1;
    if (typed[start] == '\x1b') {
      // ESC, "[" or "O", parameters, and the final byte.
      end = std::min(start + 2, typed.size());
      while (end < typed.size() && (typed[end] < 0x40 || typed[end] > 0x7e))
        ++end;
      end = std::min(end + 1, typed.size());
    }
    keys.push_back(typed.substr(start, end - start));
    start = end;
  }
  return keys;
}

// Types the keys one write at a time, each after the echo of the one before has begun to come in.
void type_slowly(PtySession& session, std::string_view typed) {
  for (const std::string_view key : keys_of(typed)) {
    const ScreenShot before = session.screen_shot();
    session.send(key);
    session.wait_until([&] {
      const ScreenShot now = session.screen_shot();
      return now.rows != before.rows || now.cursor.column != before.cursor.column ||
             now.cursor.row != before.cursor.row || session.ended();
    });
  }
}

TEST(Typing, ASessionOfFifteenLines) {
  const auto session = start_program();
  type_slowly(*session, "3\r2\r6\ry\r2\r4\r3\r6\rmaybe\rn\r");
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->exit_status(), 0);

  std::vector<std::string> expected = {
      "QUV's tuplet calculator for trackers",
      "",
      "Rows? 3",
      "Notes? 2",
      "Ticks per row? 6",
      "0:0 1:3",
      "Another? (y/n) y",
      "",
      "Rows? 2",
      "Rows? 4",
      "Notes? 3",
      "Ticks per row? 6",
      "0:0 1:2 2:4",
      "Another? (y/n) maybe",
      "Another? (y/n) n",
  };
  expected.resize(24);
  EXPECT_EQ(trimmed(session->screen()), expected);
  EXPECT_EQ(session->cursor().row, 15);
  EXPECT_EQ(session->cursor().column, 0);
  EXPECT_TRUE(session->cursor().visible);
}

// "1", "3", Left, "2", Enter is 123 rows; "1", "9", Left, "1" is 119 notes, where 191 would be
// refused.
TEST(Typing, InsertingBeforeTheLastCharacter) {
  const auto session = start_program();
  type_slowly(*session, std::string("13") + std::string(left) + "2");
  // The echo of one key may come in several writes: wait for the last of them.
  EXPECT_TRUE(session->wait_until([&] {
    const ScreenCursor cursor = session->cursor();
    return session->row_text(2).starts_with("Rows? 123 ") && cursor.visible && cursor.column == 8;
  })) << "the 3 redrawn one cell to the right, the cursor standing on it";

  type_slowly(*session, std::string("\r19") + std::string(left) + "1\r6\r");
  ASSERT_TRUE(session->wait_for_text("Another? (y/n) "));
  EXPECT_EQ(trimmed({session->row_text(2), session->row_text(3), session->row_text(4)}),
            (std::vector<std::string>{"Rows? 123", "Notes? 119", "Ticks per row? 6"}));
}

TEST(Typing, BackspaceAsTheTerminalSendsIt) {
  for (const std::string_view backspace : {"\x7f", "\x08"}) {
    SCOPED_TRACE(backspace == "\x7f" ? "DEL" : "Ctrl+H");
    const auto session = start_program();
    type_slowly(*session, std::string("45") + std::string(backspace) + "\r3\r");
    ASSERT_TRUE(session->wait_for_text("Ticks per row? "));
    EXPECT_EQ(trimmed({session->row_text(2), session->row_text(3)}),
              (std::vector<std::string>{"Rows? 4", "Notes? 3"}));
  }
}

// Home and End in every form terminals send: "2", Home, "1", End, "0" is 120.
TEST(Typing, HomeAndEndInEachForm) {
  const std::vector<std::pair<std::string_view, std::string_view>> forms = {
      {"\x1b[H", "\x1b[F"}, {"\x1bOH", "\x1bOF"}, {"\x1b[1~", "\x1b[4~"}, {"\x1b[7~", "\x1b[8~"}};
  for (const auto& [home, end] : forms) {
    SCOPED_TRACE(std::string(home.substr(1)) + " and " + std::string(end.substr(1)));
    const auto session = start_program();
    session->send(std::string("2") + std::string(home) + "1" + std::string(end) + "0\r");
    ASSERT_TRUE(session->wait_for_text("Notes? "));
    EXPECT_EQ(trimmed({session->row_text(2)}), std::vector<std::string>{"Rows? 120"});
  }
}

// Keys typed before a question is asked wait for it: a paste answers the questions in turn.
TEST(Typing, APasteAnswersTheQuestionsInTurn) {
  const auto session = start_program();
  session->send("4\r3\r6\rn\r");
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->exit_status(), 0);
  EXPECT_EQ(trimmed({session->row_text(2), session->row_text(3), session->row_text(4),
                     session->row_text(5), session->row_text(6)}),
            (std::vector<std::string>{"Rows? 4", "Notes? 3", "Ticks per row? 6", "0:0 1:2 2:4",
                                      "Another? (y/n) n"}));
}

}  // namespace
