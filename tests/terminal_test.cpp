// The terminal as the platform's screen: Device operations run on a Terminal in a child process on
// a pseudo-terminal, whose output a terminal emulator interprets; the emulator's screen must show
// what a MemoryConsole holds after the same operations.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "calculator/placement.h"
#include "console/console.h"
#include "console/screen.h"
#include "platform/code_page.h"
#include "platform/key_codes.h"
#include "platform/memory_console.h"
#include "platform/terminal.h"
#include "tests/support/pty_session.h"

namespace {

using platform::Coord;
using platform::Device;
using platform::MemoryConsole;
using platform::Rect;
using Operations = std::function<void(Device&)>;

constexpr platform::Attribute grey = platform::default_attribute;

// What a cell holding `byte` must look like on the terminal.
std::string shown(unsigned char byte, bool unicode) {
  const char32_t glyph = platform::glyph_of(byte);
  if (glyph < 0x80) return std::string(1, static_cast<char>(glyph));
  if (!unicode) return "?";
  std::string text;
  platform::append_utf8(text, glyph);
  return text;
}

std::string shown_row(const std::string& bytes, bool unicode) {
  std::string text;
  for (const char byte : bytes)
    text += shown(static_cast<unsigned char>(byte), unicode);
  return text;
}

std::vector<std::string> shown_rows(const MemoryConsole& model, bool unicode) {
  std::vector<std::string> rows;
  for (int row = 0; row < model.size().row; ++row)
    rows.push_back(shown_row(model.row_text(row), unicode));
  return rows;
}

std::string padded(std::string text, int width) {
  text.resize(static_cast<std::size_t>(width), ' ');
  return text;
}

const char* locale_name(bool unicode) {
  return unicode ? "C.UTF-8" : "C";
}

// Runs the stages of operations on a Terminal in a child on a terminal of `size`; the child reports
// after each stage and then stays until released (or killed with the session), so that nothing
// else reaches the screen.
std::unique_ptr<PtySession> run_on_terminal(Coord size, bool unicode,
                                            const std::vector<Operations>& stages) {
  return PtySession::run_function(
      [&](ChildLink& link) {
        std::setlocale(LC_CTYPE, locale_name(unicode));
        platform::Terminal terminal;
        terminal.start();
        for (const Operations& stage : stages) {
          stage(terminal);
          link.report();
        }
        link.wait_for_go();
        return 0;
      },
      PtyOptions::sized(size.column, size.row));
}

// The same stages on a MemoryConsole.
MemoryConsole run_in_memory(Coord size, const std::vector<Operations>& stages) {
  MemoryConsole model(size);
  for (const Operations& stage : stages)
    stage(model);
  return model;
}

void expect_same_screen(PtySession& session, const MemoryConsole& model, bool unicode) {
  EXPECT_EQ(session.screen(), shown_rows(model, unicode));
  const ScreenCursor cursor = session.cursor();
  EXPECT_EQ(cursor.visible, model.cursor_shown());
  // A hidden cursor may be anywhere.
  if (model.cursor_shown()) {
    EXPECT_EQ((Coord{cursor.column, cursor.row}), model.cursor());
  }
}

// Every row of the screen filled with its own text: "r0 ....".
void label_rows(Device& device) {
  const platform::ScreenInfo info = *device.screen_info();
  for (int row = 0; row < info.size.row; ++row) {
    std::string text = std::to_string(row);
    text.insert(0, 1, 'r');
    text.push_back(' ');
    while (static_cast<int>(text.size()) < info.size.column)
      text.push_back(static_cast<char>('a' + (row + static_cast<int>(text.size())) % 26));
    device.write_cells({0, row}, text, grey);
  }
}

// --- The same operations on the terminal and in memory.

struct ScreenCase {
  const char* name;
  Coord size;
  bool unicode;
  Operations operations;
};

std::ostream& operator<<(std::ostream& out, const ScreenCase& screen_case) {
  return out << screen_case.name;
}

std::string all_bytes() {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte)
    bytes.push_back(static_cast<char>(byte));
  return bytes;
}

void show_all_bytes(Device& device) {
  const std::string bytes = all_bytes();
  for (int row = 0; row < 8; ++row)
    device.write_cells({0, row}, std::string_view(bytes).substr(row * 32u, 32), grey);
  device.set_cursor_position({31, 7});
}

// Many operations of every kind at random places, to shake out the choice of sequences.
void random_operations(Device& device) {
  std::mt19937 random(20240611);
  const Coord size = device.screen_info()->size;
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const std::string texts[] = {
      "a",          "hello",  "  ", "xyz xyz xyz", std::string(30, 'w'), "\xb0\xb1\xdb",
      "\x01\x1b[H", " tail  "};
  for (int step = 0; step < 400; ++step) {
    switch (pick(0, 7)) {
      case 0:
      case 1:
        device.write_cells({pick(-2, size.column), pick(0, size.row - 1)},
                           texts[pick(0, std::size(texts) - 1)], grey);
        break;
      case 2:
        device.fill_cells({pick(0, size.column - 1), pick(0, size.row - 1)},
                          pick(0, size.column * 3), pick(0, 1) == 0 ? ' ' : '.', grey);
        break;
      case 3: {
        const int top = pick(0, size.row - 1);
        const int bottom = pick(top, size.row - 1);
        device.scroll_cells({0, top, size.column - 1, bottom}, {0, top - pick(1, 3)}, ' ', grey);
        break;
      }
      case 4:
        device.scroll_cells({pick(0, 5), pick(0, 3), pick(5, size.column), pick(3, size.row)},
                            {pick(-3, 8), pick(-3, 5)}, pick(0, 1) == 0 ? ' ' : '+', grey);
        break;
      case 5:
        device.set_cursor_position({pick(-1, size.column), pick(-1, size.row)});
        break;
      case 6:
        device.set_cursor_visible(pick(0, 3) != 0);
        break;
      case 7:
        device.scroll_cells({0, pick(1, 3), size.column - 1, size.row - 1}, {0, 0}, ' ', grey);
        break;
    }
  }
}

const ScreenCase screen_cases[] = {
    {"WritesClipAndOverwrite",
     {20, 6},
     true,
     [](Device& device) {
       device.write_cells({0, 0}, "first row", grey);
       device.write_cells({10, 1}, "cut off at the right edge", grey);
       device.write_cells({-3, 2}, "abcdef", grey);  // the cells left of column 0 are dropped
       device.write_cells({0, 9}, "below the buffer", grey);
       device.write_cells({2, 0}, "XY", grey);
       device.write_cells({0, 3}, "a long line of text", grey);
       device.write_cells({4, 3}, "    ", grey);
       device.write_cells({0, 4}, "trailing blanks", grey);
       device.write_cells({5, 4}, "          ", grey);
       device.set_cursor_position({7, 2});
     }},
    {"Fills",
     {30, 8},
     true,
     [](Device& device) {
       device.fill_cells({0, 0}, 30 * 8, '#', grey);
       device.fill_cells({25, 2}, 20, '.', grey);     // on into the next row
       device.fill_cells({3, 0}, 4, 0, grey);         // byte 0 shows blank
       device.fill_cells({0, 5}, 100000, ' ', grey);  // to the end of the buffer, no further
       device.fill_cells({10, 1}, 0, '!', grey);
       device.set_cursor_position({0, 5});
     }},
    {"ClearsAfterText",
     {24, 10},
     true,
     [](Device& device) {
       label_rows(device);
       device.fill_cells({0, 2}, 24 * 3, ' ', grey);   // rows 2 to 4; the rows below stay
       device.fill_cells({5, 6}, 19 + 24, ' ', grey);  // the end of row 6 and row 7
       for (int row = 9; row >= 0; --row)
         device.fill_cells({0, row}, 24, ' ', grey);
       device.write_cells({0, 0}, "title", grey);
       device.set_cursor_position({0, 1});
     }},
    {"CursorMovesAndVisibility",
     {10, 4},
     true,
     [](Device& device) {
       device.set_cursor_position({3, 2});
       device.set_cursor_visible(false);
       device.write_cells({0, 0}, "0123456789", grey);
       device.set_cursor_position({9, 3});
       device.set_cursor_visible(true);
       device.set_cursor_position({10, 0});  // outside: refused, the cursor stays
       device.set_cursor_position({-1, 1});
       device.set_cursor_position({4, 0});
       device.set_cursor_position({0, 0});
       device.set_cursor_position({9, 0});
       device.set_cursor_position({9, 3});
       device.set_cursor_position({2, 3});
       device.set_cursor_position({2, 1});  // straight up
       device.set_cursor_position({1, 1});  // one back
       device.set_cursor_position({3, 0});
       device.set_cursor_position({0, 1});  // to the start of the next row
       device.set_cursor_position({0, 2});  // down to the left edge
       device.set_cursor_position({0, 3});
     }},
    {"CursorLeftHidden",
     {10, 4},
     true,
     [](Device& device) {
       device.write_cells({0, 1}, "hidden", grey);
       device.set_cursor_visible(false);
       device.set_cursor_position({6, 1});
     }},
    {"GlyphsInUtf8", {32, 8}, true, show_all_bytes},
    {"GlyphsInTheCLocale", {32, 8}, false, show_all_bytes},
    {"BottomRightCell",
     {12, 4},
     true,
     [](Device& device) {
       label_rows(device);
       device.write_cells({11, 3}, "Z", grey);
       device.set_cursor_position({11, 3});
       device.write_cells({6, 3}, "abcdef", grey);
       device.write_cells({11, 3}, "!", grey);
       device.set_cursor_position({11, 3});
     }},
    {"TextAreaScrollsAlone",
     {20, 10},
     true,
     [](Device& device) {
       label_rows(device);
       // The top seven rows move up by one, then by three; the rows below stay.
       device.scroll_cells({0, 1, 19, 6}, {0, 0}, ' ', grey);
       device.write_cells({0, 6}, "new row 6", grey);
       device.scroll_cells({0, 3, 19, 6}, {0, 0}, ' ', grey);
       device.set_cursor_position({0, 6});
     }},
    {"BlocksMoveSideways",
     {20, 10},
     true,
     [](Device& device) {
       label_rows(device);
       device.scroll_cells({2, 2, 10, 4}, {5, 3}, '+', grey);
       device.scroll_cells({0, 0, 19, 9}, {-4, 1}, ' ', grey);
       device.scroll_cells({0, 0, 19, 5}, {0, 2}, ' ', grey);
     }},
    {"RandomOperations", {17, 7}, true, random_operations},
    {"RandomOperationsInTheCLocale", {23, 5}, false, random_operations},
};

// Passes every operation on to `device`, and calls `after_step` after each one that may change what
// the screen shows.
class SteppingDevice final : public Device {
 public:
  SteppingDevice(Device& device, std::function<void()> after_step)
      : device_(device), after_step_(std::move(after_step)) {}

  void start() override { device_.start(); }
  std::optional<platform::ScreenInfo> screen_info() override { return device_.screen_info(); }
  bool write_cells(Coord at, std::string_view bytes, platform::Attribute attribute) override {
    const bool written = device_.write_cells(at, bytes, attribute);
    after_step_();
    return written;
  }
  void fill_cells(Coord start, int count, unsigned char byte,
                  platform::Attribute attribute) override {
    device_.fill_cells(start, count, byte, attribute);
    after_step_();
  }
  void scroll_cells(Rect source, Coord destination, unsigned char fill_byte,
                    platform::Attribute fill_attribute) override {
    device_.scroll_cells(source, destination, fill_byte, fill_attribute);
    after_step_();
  }
  bool set_cursor_position(Coord cell) override {
    const bool moved = device_.set_cursor_position(cell);
    after_step_();
    return moved;
  }
  std::optional<bool> cursor_visible() override { return device_.cursor_visible(); }
  void set_cursor_visible(bool visible) override {
    device_.set_cursor_visible(visible);
    after_step_();
  }
  bool set_window(Rect window) override { return device_.set_window(window); }
  void beep() override { device_.beep(); }
  long write_stream(const char* bytes, std::size_t count) override {
    return device_.write_stream(bytes, count);
  }
  bool is_keyboard() override { return device_.is_keyboard(); }
  int read_keys(platform::KeyCode* into, int room) override {
    return device_.read_keys(into, room);
  }
  void wait_for_keys(int timeout_ms) override { device_.wait_for_keys(timeout_ms); }
  long read_stream(char* into, std::size_t room) override {
    return device_.read_stream(into, room);
  }

 private:
  Device& device_;
  std::function<void()> after_step_;
};

ScreenShot shot_of(const MemoryConsole& model, bool unicode) {
  return {shown_rows(model, unicode),
          {model.cursor().column, model.cursor().row, model.cursor_shown()}};
}

class SameScreen : public testing::TestWithParam<ScreenCase> {};

// After every single operation, not only at the end: a wrong step that a later one happens to
// cover up would still leave the user looking at a wrong screen for a while.
TEST_P(SameScreen, AsTheModelAfterEveryOperation) {
  const ScreenCase& screen_case = GetParam();
  MemoryConsole model(screen_case.size);
  std::vector<ScreenShot> expected;
  SteppingDevice stepping_model(model,
                                [&] { expected.push_back(shot_of(model, screen_case.unicode)); });
  screen_case.operations(stepping_model);

  const auto session =
      run_on_terminal(screen_case.size, screen_case.unicode, {[&](Device& terminal) {
                        ChildLink link(-1);
                        SteppingDevice stepping(terminal, [&] { link.report(); });
                        screen_case.operations(stepping);
                      }});
  ASSERT_TRUE(
      session->wait_until([&] { return session->screens_at_reports().size() > expected.size(); }));
  const std::vector<ScreenShot>& seen = session->screens_at_reports();
  for (std::size_t step = 0; step < expected.size(); ++step) {
    SCOPED_TRACE(testing::Message() << "after operation " << step);
    ASSERT_EQ(seen[step].rows, expected[step].rows);
    ASSERT_EQ(seen[step].cursor.visible, expected[step].cursor.visible);
    // A hidden cursor may be anywhere.
    if (expected[step].cursor.visible) {
      ASSERT_EQ(seen[step].cursor.column, expected[step].cursor.column);
      ASSERT_EQ(seen[step].cursor.row, expected[step].cursor.row);
    }
  }
  expect_same_screen(*session, model, screen_case.unicode);
}

INSTANTIATE_TEST_SUITE_P(Terminal, SameScreen, testing::ValuesIn(screen_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Scrolling the whole screen.

TEST(TerminalScroll, RowsLeavingTheTopGoToTheScrollBack) {
  const Coord size{20, 5};
  const Operations operations = [](Device& device) {
    for (int row = 0; row < 5; ++row)
      device.write_cells({0, row}, "line " + std::to_string(row), grey);
    for (int line = 5; line < 8; ++line) {
      device.scroll_cells({0, 1, 19, 4}, {0, 0}, ' ', grey);
      device.write_cells({0, 4}, "line " + std::to_string(line), grey);
    }
    // Two rows at once.
    device.scroll_cells({0, 2, 19, 4}, {0, 0}, ' ', grey);
    device.set_cursor_position({0, 4});
  };
  const MemoryConsole model = run_in_memory(size, {operations});
  const auto session = run_on_terminal(size, true, {operations});
  ASSERT_TRUE(session->wait_for_report());
  expect_same_screen(*session, model, true);
  EXPECT_EQ(
      session->scrollback(),
      (std::vector<std::string>{padded("line 0", 20), padded("line 1", 20), padded("line 2", 20),
                                padded("line 3", 20), padded("line 4", 20)}));
}

TEST(TerminalScroll, AScrollIsLineFeedsNotARepaint) {
  const auto session =
      run_on_terminal({40, 12}, true, {Operations(label_rows), [](Device& device) {
                                         device.scroll_cells({0, 1, 39, 11}, {0, 0}, ' ', grey);
                                       }});
  ASSERT_TRUE(session->wait_for_report());
  ASSERT_TRUE(session->wait_for_report());
  // To the bottom row, one line feed, back to the cursor: a few bytes, no row written again.
  const std::string sent = session->output_before_report(1);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), '\n'), 1) << sent;
  EXPECT_LE(sent.size(), 16u) << sent;
  const MemoryConsole labelled = run_in_memory({40, 12}, {Operations(label_rows)});
  EXPECT_EQ(session->scrollback(), std::vector<std::string>{labelled.row_text(0)});
}

TEST(TerminalScroll, TheBottomRightCellNeverScrolls) {
  const auto session = run_on_terminal({8, 3}, true, {[](Device& device) {
                                         device.write_cells({0, 0}, "top row", grey);
                                         device.write_cells({0, 2}, "bottom!!", grey);
                                         device.set_cursor_visible(false);
                                         device.write_cells({7, 2}, "?", grey);
                                         device.write_cells({7, 2}, "X", grey);
                                         device.set_cursor_visible(true);
                                       }});
  ASSERT_TRUE(session->wait_for_report());
  EXPECT_TRUE(session->scrollback().empty());
  EXPECT_EQ(session->row_text(0), "top row ");
  EXPECT_EQ(session->row_text(2), "bottom!X");
}

// --- What never reaches the terminal as it is.

TEST(TerminalText, ControlBytesShowAsGlyphsAndNeverActOnTheTerminal) {
  const std::string hostile = std::string("\x1b[2J\x1b]0;title\x07\r\n\b\t", 13) + '\0' +
                              "\x9b"
                              "2J";
  const Coord size{30, 3};
  const std::vector<Operations> stages = {[](Device& device) {
                                            device.write_cells({0, 0}, "before", grey);
                                          },
                                          [&](Device& device) {
                                            device.write_cells({0, 1}, hostile, grey);
                                          }};
  const MemoryConsole model = run_in_memory(size, stages);
  for (const bool unicode : {true, false}) {
    SCOPED_TRACE(locale_name(unicode));
    const auto session = run_on_terminal(size, unicode, stages);
    ASSERT_TRUE(session->wait_for_report());
    ASSERT_TRUE(session->wait_for_report());
    expect_same_screen(*session, model, unicode);
    EXPECT_EQ(session->bells(), 0);
    // The text goes out as its glyphs; around them only the layer's own cursor moves.
    std::string sent = session->output_before_report(1);
    const std::string glyphs = shown_row(hostile, unicode);
    const std::size_t text_at = sent.find(glyphs);
    ASSERT_NE(text_at, std::string::npos) << sent;
    sent.erase(text_at, glyphs.size());
    for (const unsigned char byte : sent) {
      EXPECT_TRUE((byte >= 32 && byte < 127) || byte == 0x1b || byte == '\r' || byte == '\n' ||
                  byte == '\b')
          << "byte " << int{byte} << " in " << sent;
    }
    EXPECT_EQ(sent.find("\x1b[2J"), std::string::npos);
    EXPECT_EQ(sent.find("\x1b]"), std::string::npos);
  }
}

TEST(TerminalText, BeepRingsTheBell) {
  const auto session = run_on_terminal({10, 2}, true,
                                       {[](Device& device) {
                                          device.write_cells({0, 0}, "ding", grey);
                                        },
                                        [](Device& device) { device.beep(); }});
  ASSERT_TRUE(session->wait_for_report());
  ASSERT_TRUE(session->wait_for_report());
  EXPECT_EQ(session->bells(), 1);
  EXPECT_EQ(session->output_before_report(1), "\a");
}

// --- Resizing.

// Writes the model's rows and cursor to `path`, one row per line, then the cursor.
void save_model(const platform::Terminal& terminal, const std::string& path) {
  std::ofstream file(path, std::ios::binary);
  const MemoryConsole& model = *terminal.model();
  file << model.size().column << ' ' << model.size().row << ' ' << model.cursor().column << ' '
       << model.cursor().row << ' ' << model.cursor_shown() << '\n';
  for (int row = 0; row < model.size().row; ++row)
    file << model.row_text(row) << '\n';
}

struct SavedModel {
  Coord size;
  Coord cursor;
  bool cursor_shown = true;
  std::vector<std::string> rows;  // as shown
};

SavedModel load_model(const std::string& path, bool unicode) {
  std::ifstream file(path, std::ios::binary);
  SavedModel saved;
  file >> saved.size.column >> saved.size.row >> saved.cursor.column >> saved.cursor.row >>
      saved.cursor_shown;
  file.ignore(1);
  for (int row = 0; row < saved.size.row; ++row) {
    std::string bytes(static_cast<std::size_t>(saved.size.column), ' ');
    file.read(bytes.data(), saved.size.column);
    file.ignore(1);
    saved.rows.push_back(shown_row(bytes, unicode));
  }
  return saved;
}

std::string temporary_path() {
  char path[] = "/tmp/terminal_test_XXXXXX";
  const int fd = ::mkstemp(path);
  ::close(fd);
  return path;
}

TEST(TerminalResize, TheNextOperationFindsTheModelResizedAndTheScreenRepainted) {
  const auto session = PtySession::run_function(
      [](ChildLink& link) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
        platform::Terminal terminal;
        terminal.start();
        label_rows(terminal);
        terminal.set_cursor_position({5, 8});
        for (int step = 0; step < 3; ++step) {
          link.report();
          link.wait_for_go();
          const Coord size = terminal.screen_info()->size;
          terminal.write_cells({0, 0}, std::to_string(size.column) + "x" + std::to_string(size.row),
                               grey);
        }
        link.report();
        link.wait_for_go();
        return 0;
      },
      PtyOptions::sized(30, 10));
  MemoryConsole model({30, 10});
  label_rows(model);
  model.set_cursor_position({5, 8});
  ASSERT_TRUE(session->wait_for_report());

  for (const Coord size : {Coord{20, 6}, Coord{40, 12}, Coord{3, 2}}) {
    SCOPED_TRACE(testing::Message() << size.column << "x" << size.row);
    session->resize(size.column, size.row);
    session->go();
    model.resize(size);
    model.write_cells({0, 0}, std::to_string(size.column) + "x" + std::to_string(size.row), grey);
    ASSERT_TRUE(session->wait_for_report());
    expect_same_screen(*session, model, true);
  }
}

// The console's kind of work (a text area of the height at the start, rows written at its foot,
// scrolled up) while the terminal changes size faster than the program can follow, down to a single
// cell. Nothing may break, and once the size holds still the terminal shows the model.
TEST(TerminalResize, RapidResizesDownToOneCell) {
  const std::string path = temporary_path();
  static constexpr Coord final_size{17, 6};
  const auto session = PtySession::run_function(
      [&path](ChildLink& link) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
        platform::Terminal terminal;
        terminal.start();
        const int area_height = terminal.screen_info()->size.row;
        // Until the test has gone through its sizes and settled on the last one.
        for (int step = 0; step < 1000000; ++step) {
          const Coord size = terminal.screen_info()->size;  // may be stale at once
          if (size == final_size && step > 0) break;
          const std::string text = "step " + std::to_string(step) + " of the run";
          terminal.scroll_cells({0, 1, size.column - 1, area_height - 1}, {0, 0}, ' ', grey);
          terminal.write_cells({0, area_height - 1}, text, grey);
          terminal.write_cells({size.column - 3, size.row - 1}, "\xdb\xdb\xdb\xdb", grey);
          terminal.fill_cells({size.column / 2, size.row / 2}, size.column, '.', grey);
          terminal.set_cursor_position({size.column - 1, size.row - 1});
          terminal.set_cursor_visible(step % 3 != 0);
          terminal.set_window({0, 0, size.column - 1, size.row - 1});
        }
        terminal.write_cells({0, 0}, "settled", grey);
        terminal.set_cursor_visible(true);
        save_model(terminal, path);
        link.report();
        link.wait_for_go();
        return 0;
      },
      PtyOptions::sized(40, 12));

  const Coord sizes[] = {{1, 1}, {2, 3}, {80, 24}, {5, 1}, {1, 7}, {33, 2}, {120, 40}, {3, 3}};
  for (int round = 0; round < 400 && !session->ended(); ++round) {
    const Coord size = sizes[round % std::size(sizes)];
    session->resize(size.column, size.row);
    // Let the child get some operations in at this size, but not necessarily all of them.
    const std::size_t before = session->received().size();
    session->wait_until([&] { return session->received().size() > before; },
                        std::chrono::seconds(1));
  }
  session->resize(final_size.column, final_size.row);
  ASSERT_TRUE(session->wait_for_report(std::chrono::seconds(60)));
  const SavedModel saved = load_model(path, true);
  std::remove(path.c_str());
  EXPECT_EQ(saved.size, final_size);
  EXPECT_EQ(session->screen(), saved.rows);
  EXPECT_EQ(session->cursor().column, saved.cursor.column);
  EXPECT_EQ(session->cursor().row, saved.cursor.row);
  EXPECT_EQ(session->row_text(0).substr(0, 7), "settled");
  EXPECT_FALSE(session->ended());
}

// --- Standard output that is not a terminal.

TEST(TerminalStream, OutputThatIsNotATerminalGetsThePlainBytes) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(ends[1], STDOUT_FILENO);
    ::close(ends[0]);
    platform::Terminal terminal;
    terminal.start();
    const bool screen = terminal.screen_info().has_value();
    const bool cells = terminal.write_cells({0, 0}, "cells", grey);
    terminal.set_cursor_visible(false);
    terminal.beep();
    const char text[] = "bytes\r\n\x07\x1b[2J\t";
    terminal.write_stream(text, sizeof text - 1);
    const char verdict[] = {screen ? 'S' : '-', cells ? 'C' : '-'};
    terminal.write_stream(verdict, 2);
    std::_Exit(0);
  }
  ::close(ends[1]);
  std::string output;
  char buffer[256];
  ssize_t count;
  while ((count = ::read(ends[0], buffer, sizeof buffer)) > 0)
    output.append(buffer, static_cast<std::size_t>(count));
  ::close(ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(output, "bytes\r\n\x07\x1b[2J\t--");
}

// --- The real program on a terminal, its input on a pipe.

struct Calculation {
  int rows;
  int notes;
  int ticks;
};

const std::string title = "QUV's tuplet calculator for trackers";

std::string typed_input(const std::vector<Calculation>& calculations) {
  std::string input;
  for (std::size_t i = 0; i < calculations.size(); ++i) {
    const Calculation& calculation = calculations[i];
    input += std::to_string(calculation.rows) + "\n" + std::to_string(calculation.notes) + "\n" +
             std::to_string(calculation.ticks) + "\n" + (i + 1 < calculations.size() ? "y" : "n") +
             "\n";
  }
  return input;
}

// The program's console operations for these calculations, with the same texts, on a screen of
// `size` in memory. (Numbers from a stream are read without prompts; the yes/no question is still
// written.)
MemoryConsole program_screen(Coord size, const std::vector<Calculation>& calculations) {
  MemoryConsole screen(size);
  std::string answers;
  for (std::size_t i = 0; i < calculations.size(); ++i)
    answers += i + 1 < calculations.size() ? "y\n" : "n\n";
  screen.set_stream_input(answers);
  Console console;
  console.device = &screen;
  clear_screen(console);
  write_text(console, title, true);
  for (const Calculation& calculation : calculations) {
    write_text(console, "", true);
    write_text(
        console,
        position_line(static_cast<float>(calculation.rows), static_cast<float>(calculation.notes),
                      static_cast<float>(calculation.ticks)),
        false);
    write_text(console, "", true);
    read_line(console, "Another? (y/n) ", false, true);
  }
  return screen;
}

std::unique_ptr<PtySession> run_program_on(Coord size, const std::string& input,
                                           const std::string& earlier_output = {}) {
  PtyOptions options = PtyOptions::sized(size.column, size.row);
  options.input_on_pipe = true;
  options.environment = {"LC_ALL=C.UTF-8"};
  options.earlier_output = earlier_output;
  auto session = PtySession::run_program(options);
  session->send(input);
  session->close_input();
  return session;
}

TEST(TerminalProgram, StartsOnABlankWindowWithTheTitle) {
  const auto session = run_program_on({80, 24}, "", "$ ls\r\nfiles of an earlier program\r\n$ ");
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->exit_status(), 0);
  EXPECT_EQ(session->row_text(0), padded(title, 80));
  for (int row = 1; row < 24; ++row)
    EXPECT_EQ(session->row_text(row), std::string(80, ' ')) << "row " << row;
  // The calculation's opening empty line: the cursor waits on row 2, under an empty row 1.
  EXPECT_EQ(session->cursor().row, 2);
  EXPECT_EQ(session->cursor().column, 0);
  EXPECT_TRUE(session->cursor().visible);
}

TEST(TerminalProgram, CalculationsScrollIntoTheScrollBack) {
  const Coord size{80, 10};
  const std::vector<Calculation> calculations(6, Calculation{13, 4, 6});
  const auto session = run_program_on(size, typed_input(calculations));
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->exit_status(), 0);
  const MemoryConsole expected = program_screen(size, calculations);
  EXPECT_EQ(session->screen(), shown_rows(expected, true));
  EXPECT_EQ((Coord{session->cursor().column, session->cursor().row}), expected.cursor());
  // The title, then three rows per calculation (an empty row, the position line, the question),
  // then the cursor's row: all but the ten on view have gone to the scroll-back in order.
  const std::vector<std::string> rows_written = [&] {
    std::vector<std::string> rows = {title};
    for (int i = 0; i < 6; ++i) {
      rows.insert(rows.end(), {"", "0:0 3:2 6:3 9:4 ", "Another? (y/n) "});
    }
    return rows;
  }();
  ASSERT_EQ(session->scrollback().size(), rows_written.size() + 1 - 10);
  for (std::size_t row = 0; row < session->scrollback().size(); ++row)
    EXPECT_EQ(session->scrollback()[row], padded(rows_written[row], 80));
}

TEST(TerminalProgram, LongPositionLinesWrap) {
  // "0:0 " and 254 tokens, 1659 bytes: 20 rows and a part at 80 columns, 21 full rows at 79; on 23
  // rows the first line ends exactly in the bottom-right cell.
  const std::vector<Calculation> calculations = {{256, 255, 256}, {256, 255, 256}};
  for (const Coord size : {Coord{80, 24}, Coord{79, 24}, Coord{79, 23}}) {
    SCOPED_TRACE(testing::Message() << size.column << "x" << size.row);
    const auto session = run_program_on(size, typed_input(calculations));
    ASSERT_TRUE(session->wait_for_exit());
    EXPECT_EQ(session->exit_status(), 0);
    const MemoryConsole expected = program_screen(size, calculations);
    EXPECT_EQ(session->screen(), shown_rows(expected, true));
    EXPECT_EQ((Coord{session->cursor().column, session->cursor().row}), expected.cursor());
  }
}

// --- The terminal as the keyboard.

// Settings a terminal might have before the program starts: the system's defaults, with a few
// marks of a user's own (another erase key, a tab expansion, a longer VTIME) that must all survive.
termios users_settings() {
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) std::abort();
  termios settings{};
  ::tcgetattr(slave, &settings);
  ::close(master);
  ::close(slave);
  settings.c_cc[VERASE] = 0x08;
  settings.c_cc[VTIME] = 3;
  settings.c_iflag |= IXANY;
  settings.c_oflag |= TAB3;
  return settings;
}

void expect_same_settings(const termios& after, const termios& before) {
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  for (std::size_t i = 0; i < NCCS; ++i)
    EXPECT_EQ(after.c_cc[i], before.c_cc[i]) << "c_cc[" << i << "]";
  EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

// A program that hides the cursor and reads keys until 'q' (then exit(0)) or the keyboard's end.
int hide_and_read_keys(ChildLink& link) {
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);  // Ctrl+\ dumps no core here
  std::setlocale(LC_CTYPE, "C.UTF-8");
  platform::Terminal terminal;
  terminal.start();
  terminal.write_cells({0, 0}, "ready", grey);
  terminal.set_cursor_visible(false);
  link.report();
  for (;;) {
    terminal.wait_for_keys(-1);
    platform::KeyCode codes[16];
    const int count = terminal.read_keys(codes, 16);
    if (count < 0) return 3;
    for (int i = 0; i < count; ++i)
      if (codes[i] == 'q') std::exit(0);
  }
}

struct Ending {
  const char* name;
  std::function<void(PtySession&)> end;
  int exit_status;  // -1: ended by a signal
  int end_signal;
};

const Ending endings[] = {
    {"NormalExit", [](PtySession& session) { session.send("q"); }, 0, 0},
    {"CtrlC", [](PtySession& session) { session.send("\x03"); }, -1, SIGINT},
    {"CtrlBackslash", [](PtySession& session) { session.send("\x1c"); }, -1, SIGQUIT},
    {"Terminate", [](PtySession& session) { session.signal(SIGTERM); }, -1, SIGTERM},
    {"HangUpSignal", [](PtySession& session) { session.signal(SIGHUP); }, -1, SIGHUP},
};

void PrintTo(const Ending& ending, std::ostream* out) {
  *out << ending.name;
}

class TerminalEnding : public testing::TestWithParam<Ending> {};

TEST_P(TerminalEnding, PutsTheTerminalBackAndEndsAsAsked) {
  const Ending& ending = GetParam();
  PtyOptions options = PtyOptions::sized(40, 5);
  options.settings = users_settings();
  const auto session = PtySession::run_function(hide_and_read_keys, options);
  ASSERT_TRUE(session->wait_for_report());
  termios during{};
  ::tcgetattr(session->master(), &during);
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u) << "key-by-key while running";
  EXPECT_FALSE(session->cursor().visible);

  ending.end(*session);
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->exit_status(), ending.exit_status);
  EXPECT_EQ(session->end_signal(), ending.end_signal);
  termios after{};
  ASSERT_EQ(::tcgetattr(session->master(), &after), 0);
  expect_same_settings(after, *options.settings);
  EXPECT_TRUE(session->cursor().visible);
  EXPECT_EQ(session->row_text(0).substr(0, 6), "ready ") << "no line end written";
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalEnding, testing::ValuesIn(endings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalKeyboard, TheRealProgramPutsTheTerminalBack) {
  for (const bool interrupted : {false, true}) {
    SCOPED_TRACE(interrupted ? "Ctrl+C at the second question" : "answered to the end");
    PtyOptions options = PtyOptions::sized(80, 24);
    options.settings = users_settings();
    options.environment = {"LC_ALL=C.UTF-8"};
    const auto session = PtySession::run_program(options);
    ASSERT_TRUE(session->wait_for_text("Rows? "));
    if (interrupted) {
      session->send("13\r4");
      ASSERT_TRUE(session->wait_for_text("Notes? 4"));
      session->send("\x03");
    } else {
      session->send("13\r4\r6\rn\r");
    }
    ASSERT_TRUE(session->wait_for_exit());
    EXPECT_EQ(session->exit_status(), interrupted ? -1 : 0);
    EXPECT_EQ(session->end_signal(), interrupted ? SIGINT : 0);
    termios after{};
    ASSERT_EQ(::tcgetattr(session->master(), &after), 0);
    expect_same_settings(after, *options.settings);
    EXPECT_TRUE(session->cursor().visible);
    if (interrupted) {
      // The line being typed stays as it was; no line end follows it.
      EXPECT_EQ((Coord{session->cursor().column, session->cursor().row}), (Coord{8, 3}));
    } else {
      EXPECT_TRUE(session->shows("0:0 3:2 6:3 9:4 "));
    }
  }
}

TEST(TerminalKeyboard, ClosingTheTerminalEndsTheProgramBySighup) {
  const auto session = PtySession::run_program(PtyOptions::sized(80, 24));
  ASSERT_TRUE(session->wait_for_text("Rows? "));
  session->hang_up();
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->end_signal(), SIGHUP);
}

// A program that shows every key code it reads, taking at most `portion` at a time, as decimal
// numbers row after row.
std::function<int(ChildLink&)> show_key_codes(int portion) {
  return [portion](ChildLink& link) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    platform::Terminal terminal;
    terminal.start();
    const Coord size = terminal.screen_info()->size;
    link.report();
    std::string shown;
    for (;;) {
      terminal.wait_for_keys(-1);
      std::vector<platform::KeyCode> codes(static_cast<std::size_t>(portion));
      const int count = terminal.read_keys(codes.data(), portion);
      if (count < 0) return 0;
      if (count > portion) {
        terminal.write_cells({0, 0}, "more codes than room", grey);
        return 4;
      }
      for (int i = 0; i < count; ++i)
        shown += std::to_string(codes[static_cast<std::size_t>(i)]) + " ";
      for (int row = 0; row * size.column < static_cast<int>(shown.size()); ++row)
        terminal.write_cells({0, row}, shown.substr(static_cast<std::size_t>(row * size.column)),
                             grey);
    }
  };
}

std::string screen_text(const PtySession& session) {
  std::string text;
  for (const std::string& row : session.screen())
    text += row;
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string codes_text(const std::vector<platform::KeyCode>& codes) {
  std::string text;
  for (const platform::KeyCode code : codes)
    text += std::to_string(code) + " ";
  return text.substr(0, text.size() - 1);
}

TEST(TerminalKeyboard, KeysArriveAsTheirCodes) {
  const auto session = PtySession::run_function(show_key_codes(3), PtyOptions::sized(80, 10));
  ASSERT_TRUE(session->wait_for_report());
  std::vector<platform::KeyCode> expected;
  auto typed = [&](std::string_view bytes, std::vector<platform::KeyCode> codes) {
    session->send(bytes);
    expected.insert(expected.end(), codes.begin(), codes.end());
    return session->wait_until([&] { return screen_text(*session) == codes_text(expected); });
  };
  EXPECT_TRUE(typed("a", {'a'}));
  // Keys the terminal would otherwise keep for itself: flow control, suspend, literal next,
  // discard; Enter and Ctrl+J stay apart.
  EXPECT_TRUE(typed("\x13\x11\x1a\x16\x0f", {19, 17, 26, 22, 15}));
  EXPECT_TRUE(typed("\r\n", {platform::key_enter, platform::key_line_feed}));
  EXPECT_TRUE(typed("\x7f", {platform::key_backspace}));
  EXPECT_TRUE(typed("\xc3\xa9", {0x82}));  // é in code page 437
  EXPECT_TRUE(typed("\x1b[D\x1bOH", {platform::key_left, platform::key_home}));
  // A lone Esc: its code comes once the keyboard has been quiet a moment, with no further key.
  EXPECT_TRUE(typed("\x1b", {platform::key_escape}));
  // A sequence split in two writes some milliseconds apart is still one key.
  session->send("\x1b[");
  session->wait_until([] { return false; }, std::chrono::milliseconds(15));
  EXPECT_TRUE(typed("C", {platform::key_right}));
  EXPECT_TRUE(typed("b", {'b'}));
}

TEST(TerminalKeyboard, APasteLosesNothingWhenTakenInPortions) {
  const auto session = PtySession::run_function(show_key_codes(7), PtyOptions::sized(200, 60));
  ASSERT_TRUE(session->wait_for_report());
  std::string paste;
  std::vector<platform::KeyCode> expected;
  for (int i = 0; i < 600; ++i) {
    const char byte = static_cast<char>('!' + i % 90);
    paste.push_back(byte);
    expected.push_back(static_cast<unsigned char>(byte));
  }
  session->send(paste);
  EXPECT_TRUE(session->wait_until([&] { return screen_text(*session) == codes_text(expected); }))
      << screen_text(*session);
}

TEST(TerminalKeyboard, AResizeIsRepaintedWhileWaitingForKeys) {
  const auto session = PtySession::run_function(
      [](ChildLink& link) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
        platform::Terminal terminal;
        terminal.start();
        label_rows(terminal);
        terminal.set_cursor_position({3, 2});
        link.report();
        for (;;) {
          terminal.wait_for_keys(-1);
          platform::KeyCode codes[8];
          if (terminal.read_keys(codes, 8) < 0) return 0;
        }
      },
      PtyOptions::sized(30, 8));
  ASSERT_TRUE(session->wait_for_report());
  MemoryConsole model({30, 8});
  label_rows(model);
  model.set_cursor_position({3, 2});
  for (const Coord size : {Coord{20, 5}, Coord{45, 10}}) {
    session->resize(size.column, size.row);
    model.resize(size);
    EXPECT_TRUE(session->wait_until([&] { return session->screen() == shown_rows(model, true); }));
    EXPECT_EQ((Coord{session->cursor().column, session->cursor().row}), model.cursor());
  }
}

TEST(TerminalKeyboard, ResizesDuringAQuestionBreakNothing) {
  PtyOptions options = PtyOptions::sized(80, 24);
  options.environment = {"LC_ALL=C.UTF-8"};
  const auto session = PtySession::run_program(options);
  ASSERT_TRUE(session->wait_for_text("Rows? "));
  session->send("1");
  const Coord sizes[] = {{1, 1}, {2, 3}, {10, 4}, {80, 24}, {5, 2}, {120, 50}, {3, 1}};
  for (int round = 0; round < 60; ++round) {
    const Coord size = sizes[round % std::size(sizes)];
    session->resize(size.column, size.row);
    if (round % 5 == 0) session->send("3\x7f");  // typed and rubbed out again
  }
  session->resize(80, 24);
  session->send("3\r4\r6\rn\r");
  ASSERT_TRUE(session->wait_for_exit());
  EXPECT_EQ(session->exit_status(), 0);
  EXPECT_TRUE(session->shows("0:0 3:2 6:3 9:4 ")) << testing::PrintToString(session->screen());
  EXPECT_TRUE(session->shows("Another? (y/n) n"));
}

}  // namespace
