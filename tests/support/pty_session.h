// A program on a pseudo-terminal whose output goes through a terminal emulator (libvterm), so that
// a test sees the screen as a user would: rows of text, the cursor, the scroll-back, the bell.
//
//   auto session = PtySession::run_program(PtyOptions::sized(80, 24));
//   ASSERT_TRUE(session->wait_for_text("Rows? "));
//   session->send("4\r");
//
// Every wait pumps the child's output into the emulator until its condition holds or its time is
// up; nothing sleeps for a fixed time.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct PtyOptions {
  int columns = 80;
  int rows = 24;
  // Standard input on a pipe instead of the terminal (standard output and error stay on it).
  bool input_on_pipe = false;
  // "NAME=value" entries added to the child's environment.
  std::vector<std::string> environment;
  // What the screen shows before the child starts, as an earlier program (a shell) left it.
  std::string earlier_output;
  // The terminal's settings at the start; the system's defaults when none.
  std::optional<termios> settings;

  static PtyOptions sized(int columns, int rows) {
    PtyOptions options;
    options.columns = columns;
    options.rows = rows;
    return options;
  }
};

struct ScreenCursor {
  int column = 0;  // 0-based
  int row = 0;
  bool visible = true;
};

// The screen at one moment.
struct ScreenShot {
  std::vector<std::string> rows;  // as PtySession::row_text() gives them
  ScreenCursor cursor;
};

// The child's end of a step-by-step exchange with the test, for functions run in the child.
class ChildLink {
 public:
  explicit ChildLink(int from_test) : from_test_(from_test) {}
  // Blocks until the test calls PtySession::go().
  void wait_for_go();
  // Writes a mark to standard output (an operating-system command that terminals ignore), so the
  // test knows that everything written before it has reached the screen.
  static void report();

 private:
  int from_test_;
};

class PtySession {
 public:
  using Duration = std::chrono::milliseconds;
  static constexpr Duration default_timeout{10000};

  // The real program (TUPLETS_BINARY), with no arguments.
  static std::unique_ptr<PtySession> run_program(const PtyOptions& options = {});
  // Any program, with no arguments.
  static std::unique_ptr<PtySession> run_command(const std::string& path,
                                                 const PtyOptions& options = {});
  // `body` in a forked child whose standard streams are on the terminal; the child exits with
  // body's result, through exit() so that its atexit handlers run.
  static std::unique_ptr<PtySession> run_function(std::function<int(ChildLink&)> body,
                                                  const PtyOptions& options = {});

  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;
  // Kills the child if it still runs.
  ~PtySession();

  // --- The screen, as far as output has been pumped.
  int columns() const { return columns_; }
  int rows() const { return rows_; }
  // One row as UTF-8, every column included (blank cells as spaces).
  std::string row_text(int row) const;
  std::vector<std::string> screen() const;
  // Whether `text` shows in some row.
  bool shows(std::string_view text) const;
  ScreenCursor cursor() const;
  ScreenShot screen_shot() const { return {screen(), cursor()}; }
  // Rows that left the top of the screen, oldest first, as UTF-8 like row_text().
  const std::vector<std::string>& scrollback() const { return scrollback_; }
  int bells() const { return bells_; }
  // Every byte the child wrote to the terminal.
  const std::string& received() const { return received_; }

  // --- Waiting. Each returns whether its condition came true in time.
  bool wait_until(const std::function<bool()>& condition, Duration timeout = default_timeout);
  bool wait_for_text(std::string_view text, Duration timeout = default_timeout);
  // Until the child has ended and all of its output is in.
  bool wait_for_exit(Duration timeout = default_timeout);
  // Takes in whatever output arrives within `timeout` (0: only what is there now).
  void pump(Duration timeout = Duration{0});

  // --- Driving the child.
  // Bytes to standard input: typed keys on the terminal, or data on the pipe.
  void send(std::string_view bytes);
  // Closes the input pipe (input_on_pipe only).
  void close_input();
  // Gives the terminal a new size; the child gets SIGWINCH.
  void resize(int columns, int rows);
  void signal(int number);
  // Closes the terminal as a closed window would: the child's session gets SIGHUP. The screen is
  // no longer updated afterwards.
  void hang_up();
  // For run_function(): releases the child's ChildLink::wait_for_go().
  void go();
  // For run_function(): waits until the next ChildLink::report() has come in, and with it all that
  // the child wrote before.
  bool wait_for_report(Duration timeout = default_timeout);
  // What the child wrote after report `index` - 1 (or from its start) and before report `index`,
  // the marks left out. Empty for a report that has not come in.
  std::string output_before_report(int index) const;
  // The screen as it stood at each report that has come in, in order.
  const std::vector<ScreenShot>& screens_at_reports() const { return report_screens_; }

  // --- The end.
  bool ended() const { return ended_; }
  int exit_status() const { return exit_status_; }  // -1 unless it exited
  int end_signal() const { return end_signal_; }    // 0 unless a signal ended it
  pid_t pid() const { return pid_; }
  // The terminal's master side, for tcgetattr() and the like.
  int master() const { return master_; }

 private:
  friend struct EmulatorEvents;
  struct Emulator;
  explicit PtySession(const PtyOptions& options);
  void start(const std::function<void(ChildLink&)>& child);
  void feed(const char* bytes, std::size_t count);
  bool reap(bool block);
  // Waits up to `timeout` for output or the child's end; takes in what came.
  void wait_once(Duration timeout);

  PtyOptions options_;
  int columns_ = 0;
  int rows_ = 0;
  pid_t pid_ = -1;
  int master_ = -1;
  int input_ = -1;  // where send() writes: the master or the input pipe
  int go_ = -1;     // test -> child
  int pidfd_ = -1;  // readable once the child has ended
  // Where each report's mark starts and ends in received_.
  std::vector<std::pair<std::size_t, std::size_t>> reports_;
  std::size_t reports_taken_ = 0;  // reports that wait_for_report() has returned
  std::vector<ScreenShot> report_screens_;
  std::size_t emulated_ = 0;  // bytes of received_ given to the emulator
  bool output_ended_ = false;
  bool ended_ = false;
  int exit_status_ = -1;
  int end_signal_ = 0;

  std::unique_ptr<Emulator> emulator_;
  std::vector<std::string> scrollback_;
  int bells_ = 0;
  bool cursor_visible_ = true;
  std::string received_;
};
