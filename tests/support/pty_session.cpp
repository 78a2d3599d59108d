#include "tests/support/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/code_page.h"

namespace {

using Clock = std::chrono::steady_clock;

// OSC with a number no terminal uses, ended by ST.
constexpr std::string_view report_mark = "\x1b]7770;report\x1b\\";

void fail(const char* what) {
  std::perror(what);
  std::abort();
}

void make_pipe(int ends[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0) fail("pipe2");
}

void set_nonblocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::string cell_text(const VTermScreenCell& cell) {
  std::string text;
  if (cell.chars[0] == 0) return " ";
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; ++i)
    platform::append_utf8(text, cell.chars[i]);
  return text;
}

int milliseconds_left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long>(left.count(), 0));
}

}  // namespace

// --- The child's side.

void ChildLink::wait_for_go() {
  char byte;
  while (::read(from_test_, &byte, 1) < 0 && errno == EINTR) {
  }
}

void ChildLink::report() {
  std::string_view mark = report_mark;
  while (!mark.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, mark.data(), mark.size());
    if (written > 0) mark.remove_prefix(static_cast<std::size_t>(written));
    if (written < 0 && errno != EINTR) return;
  }
}

// --- The emulator.

struct PtySession::Emulator {
  VTerm* terminal = nullptr;
  VTermScreen* screen = nullptr;
  ~Emulator() {
    if (terminal != nullptr) vterm_free(terminal);
  }
};

namespace {

int on_set_property(VTermProp property, VTermValue* value, void* user);
int on_bell(void* user);
int on_push_line(int columns, const VTermScreenCell* cells, void* user);

const VTermScreenCallbacks screen_callbacks = {
    nullptr, nullptr, nullptr, on_set_property, on_bell, nullptr, on_push_line, nullptr,
};

}  // namespace

// The callbacks reach the session's private fields through this friend-less bridge.
struct EmulatorEvents {
  static void set_cursor_visible(PtySession& session, bool visible);
  static void ring(PtySession& session);
  static void push_line(PtySession& session, std::string text);
};

namespace {

int on_set_property(VTermProp property, VTermValue* value, void* user) {
  if (property == VTERM_PROP_CURSORVISIBLE)
    EmulatorEvents::set_cursor_visible(*static_cast<PtySession*>(user), value->boolean != 0);
  return 1;
}

int on_bell(void* user) {
  EmulatorEvents::ring(*static_cast<PtySession*>(user));
  return 1;
}

int on_push_line(int columns, const VTermScreenCell* cells, void* user) {
  std::string text;
  for (int column = 0; column < columns; ++column) {
    text += cell_text(cells[column]);
    if (cells[column].width > 1) column += cells[column].width - 1;
  }
  EmulatorEvents::push_line(*static_cast<PtySession*>(user), std::move(text));
  return 1;
}

}  // namespace

// --- Starting.

PtySession::PtySession(const PtyOptions& options)
    : options_(options), columns_(options.columns), rows_(options.rows) {
  emulator_ = std::make_unique<Emulator>();
  emulator_->terminal = vterm_new(rows_, columns_);
  vterm_set_utf8(emulator_->terminal, 1);
  emulator_->screen = vterm_obtain_screen(emulator_->terminal);
  vterm_screen_set_callbacks(emulator_->screen, &screen_callbacks, this);
  vterm_screen_reset(emulator_->screen, 1);
  vterm_input_write(emulator_->terminal, options.earlier_output.data(),
                    options.earlier_output.size());
}

void PtySession::start(const std::function<void(ChildLink&)>& child) {
  int input_pipe[2] = {-1, -1};
  if (options_.input_on_pipe) make_pipe(input_pipe);
  int go_pipe[2];
  make_pipe(go_pipe);

  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns_);
  size.ws_row = static_cast<unsigned short>(rows_);
  std::fflush(nullptr);  // nothing buffered may be written twice
  termios settings = options_.settings.value_or(termios{});
  pid_ = ::forkpty(&master_, nullptr, options_.settings ? &settings : nullptr, &size);
  if (pid_ < 0) fail("forkpty");
  if (pid_ == 0) {
    if (options_.input_on_pipe) ::dup2(input_pipe[0], STDIN_FILENO);
    for (const std::string& entry : options_.environment)
      ::putenv(const_cast<char*>(entry.c_str()));
    ::signal(SIGPIPE, SIG_DFL);
    // Only the link's end stays open beside the standard streams (and exec closes it too): a
    // terminal of another session held open here would keep that session from ever hanging up.
    ::dup2(go_pipe[0], 3);
    ::fcntl(3, F_SETFD, FD_CLOEXEC);
    ::close_range(4, ~0U, 0);
    ChildLink link(3);
    child(link);
    ::_exit(127);
  }

  ::close(go_pipe[0]);
  go_ = go_pipe[1];
  if (options_.input_on_pipe) {
    ::close(input_pipe[0]);
    input_ = input_pipe[1];
  } else {
    input_ = master_;
  }
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  set_nonblocking(master_);
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd_ < 0) fail("pidfd_open");
}

std::unique_ptr<PtySession> PtySession::run_program(const PtyOptions& options) {
  return run_command(TUPLETS_BINARY, options);
}

std::unique_ptr<PtySession> PtySession::run_command(const std::string& path,
                                                    const PtyOptions& options) {
  std::unique_ptr<PtySession> session(new PtySession(options));
  session->start(
      [&path](ChildLink&) { ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr)); });
  return session;
}

std::unique_ptr<PtySession> PtySession::run_function(std::function<int(ChildLink&)> body,
                                                     const PtyOptions& options) {
  std::unique_ptr<PtySession> session(new PtySession(options));
  session->start([&body](ChildLink& link) { std::exit(body(link)); });
  return session;
}

PtySession::~PtySession() {
  if (!ended_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    reap(true);
  }
  for (const int fd : {master_, go_, pidfd_})
    if (fd >= 0) ::close(fd);
  if (input_ >= 0 && input_ != master_) ::close(input_);
}

// --- The screen.

void EmulatorEvents::set_cursor_visible(PtySession& session, bool visible) {
  session.cursor_visible_ = visible;
}

void EmulatorEvents::ring(PtySession& session) {
  ++session.bells_;
}

void EmulatorEvents::push_line(PtySession& session, std::string text) {
  session.scrollback_.push_back(std::move(text));
}

std::string PtySession::row_text(int row) const {
  std::string text;
  for (int column = 0; column < columns_; ++column) {
    VTermScreenCell cell{};
    vterm_screen_get_cell(emulator_->screen, VTermPos{row, column}, &cell);
    text += cell_text(cell);
    if (cell.width > 1) column += cell.width - 1;
  }
  return text;
}

std::vector<std::string> PtySession::screen() const {
  std::vector<std::string> rows;
  for (int row = 0; row < rows_; ++row)
    rows.push_back(row_text(row));
  return rows;
}

bool PtySession::shows(std::string_view text) const {
  for (int row = 0; row < rows_; ++row) {
    if (row_text(row).find(text) != std::string::npos) return true;
  }
  return false;
}

ScreenCursor PtySession::cursor() const {
  VTermPos position{};
  vterm_state_get_cursorpos(vterm_obtain_state(emulator_->terminal), &position);
  return {position.col, position.row, cursor_visible_};
}

// --- Output and the child's end.

void PtySession::feed(const char* bytes, std::size_t count) {
  // A mark may arrive in pieces: look again from just before the new bytes.
  std::size_t look_from =
      std::max(received_.size() - std::min(received_.size(), report_mark.size() - 1),
               reports_.empty() ? 0 : reports_.back().second);
  received_.append(bytes, count);
  // The emulator takes the bytes up to each mark, so that the screen can be seen as it stood there.
  for (std::size_t at = received_.find(report_mark, look_from); at != std::string::npos;
       at = received_.find(report_mark, look_from)) {
    look_from = at + report_mark.size();
    vterm_input_write(emulator_->terminal, received_.data() + emulated_, look_from - emulated_);
    emulated_ = look_from;
    reports_.emplace_back(at, look_from);
    report_screens_.push_back(screen_shot());
  }
  vterm_input_write(emulator_->terminal, received_.data() + emulated_,
                    received_.size() - emulated_);
  emulated_ = received_.size();
}

bool PtySession::reap(bool block) {
  if (ended_) return true;
  int status = 0;
  pid_t result;
  while ((result = ::waitpid(pid_, &status, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {
  }
  if (result != pid_) return false;
  ended_ = true;
  if (WIFEXITED(status)) exit_status_ = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end_signal_ = WTERMSIG(status);
  return true;
}

void PtySession::wait_once(Duration timeout) {
  pollfd fds[2] = {{output_ended_ ? -1 : master_, POLLIN, 0}, {ended_ ? -1 : pidfd_, POLLIN, 0}};
  if (::poll(fds, 2, static_cast<int>(timeout.count())) < 0) return;
  if (fds[0].revents != 0) {
    for (;;) {
      char buffer[65536];
      const ssize_t count = ::read(master_, buffer, sizeof buffer);
      if (count > 0) {
        feed(buffer, static_cast<std::size_t>(count));
        continue;
      }
      // EIO: every holder of the terminal's other side has closed it.
      if (count == 0 || (errno != EAGAIN && errno != EINTR)) output_ended_ = true;
      if (count < 0 && errno == EINTR) continue;
      break;
    }
  }
  if (fds[1].revents != 0) reap(false);
}

void PtySession::pump(Duration timeout) {
  wait_once(timeout);
}

bool PtySession::wait_until(const std::function<bool()>& condition, Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pump();
    if (condition()) return true;
    const int left = milliseconds_left(deadline);
    if (left == 0 || (ended_ && output_ended_)) return false;
    wait_once(Duration{left});
  }
}

bool PtySession::wait_for_text(std::string_view text, Duration timeout) {
  return wait_until([&] { return shows(text); }, timeout);
}

bool PtySession::wait_for_exit(Duration timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!(ended_ && output_ended_)) {
    const int left = milliseconds_left(deadline);
    if (left == 0) return false;
    // Once the child has ended, what it wrote is already on the master side.
    if (ended_) {
      pump();
      return true;
    }
    wait_once(Duration{left});
  }
  return true;
}

// --- Driving the child.

void PtySession::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(input_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return;
    // The child takes no more for now: keep its output flowing while waiting for room.
    pollfd fds[2] = {{input_, POLLOUT, 0}, {output_ended_ ? -1 : master_, POLLIN, 0}};
    ::poll(fds, 2, 100);
    if (fds[1].revents != 0) pump();
    if (ended_ || (reap(false) && ended_)) return;
  }
}

void PtySession::close_input() {
  if (input_ >= 0 && input_ != master_) {
    ::close(input_);
    input_ = -1;
  }
}

void PtySession::resize(int columns, int rows) {
  pump();
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ::ioctl(master_, TIOCSWINSZ, &size);
  columns_ = columns;
  rows_ = rows;
  vterm_set_size(emulator_->terminal, rows, columns);
}

void PtySession::signal(int number) {
  if (!ended_) ::kill(pid_, number);
}

void PtySession::hang_up() {
  pump();
  if (input_ == master_) input_ = -1;
  ::close(master_);
  master_ = -1;
  output_ended_ = true;
}

void PtySession::go() {
  const char byte = 'g';
  while (::write(go_, &byte, 1) < 0 && errno == EINTR) {
  }
}

bool PtySession::wait_for_report(Duration timeout) {
  if (!wait_until([&] { return reports_.size() > reports_taken_; }, timeout)) return false;
  ++reports_taken_;
  return true;
}

std::string PtySession::output_before_report(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= reports_.size()) return {};
  const std::size_t from = index == 0 ? 0 : reports_[static_cast<std::size_t>(index) - 1].second;
  return received_.substr(from, reports_[static_cast<std::size_t>(index)].first - from);
}
