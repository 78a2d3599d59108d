#include "platform/terminal.h"

#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/vt.h"

namespace platform {
namespace {

// --- Putting the terminal back.
//
// The one piece of state outside the console record: what the exit and signal handlers need to put
// the terminal back. A signal handler can reach nothing else, so it is file-static. start() writes
// it before the terminal is changed; restore_terminal() reads it.
struct Restoration {
  termios keyboard_settings{};                  // the terminal's own, as start() found them
  volatile std::sig_atomic_t keyboard_set = 0;  // they have been changed
  volatile std::sig_atomic_t screen = 0;        // standard output is a terminal
};
Restoration restoration;

// Async-signal-safe: only tcsetattr() and write().
void restore_terminal() {
  if (restoration.keyboard_set != 0)
    ::tcsetattr(STDIN_FILENO, TCSANOW, &restoration.keyboard_settings);
  if (restoration.screen != 0) {
    // Whatever the cursor was left as, a shell prompt wants it seen.
    [[maybe_unused]] const ssize_t written =
        ::write(STDOUT_FILENO, vt::show_cursor_bytes, sizeof vt::show_cursor_bytes - 1);
  }
}

void restore_at_exit() {
  restore_terminal();
}

// The signals that end the process: the terminal is put back, then the signal ends the process by
// its default action, so that the shell sees the usual status. The signal stays blocked while this
// runs, so the raised one is delivered as soon as it returns.
void end_by_signal(int number) {
  restore_terminal();
  ::signal(number, SIG_DFL);
  ::raise(number);
}

constexpr int ending_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

void end_by_signals() {
  struct sigaction action {};
  action.sa_handler = end_by_signal;
  sigemptyset(&action.sa_mask);
  for (const int number : ending_signals)
    sigaddset(&action.sa_mask, number);  // one restoration at a time
  for (const int number : ending_signals) {
    struct sigaction current {};
    // A signal the process was started to ignore (nohup, a background job) stays ignored.
    if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(number, &action, nullptr);
  }
}

// SIGWINCH only has to interrupt the wait for keys, so that a resize is repainted while the
// program idles. It is blocked at all other times, so none slips in between a look at the window
// size and the wait.
void wake_on_resize(int) {}

void catch_resizes() {
  struct sigaction action {};
  action.sa_handler = wake_on_resize;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGWINCH, &action, nullptr);
  sigset_t resize;
  sigemptyset(&resize);
  sigaddset(&resize, SIGWINCH);
  ::sigprocmask(SIG_BLOCK, &resize, nullptr);
}

// The signal mask for the wait: as it is, with SIGWINCH let through.
sigset_t mask_waking_on_resize() {
  sigset_t mask;
  ::sigprocmask(SIG_SETMASK, nullptr, &mask);
  sigdelset(&mask, SIGWINCH);
  return mask;
}

// Key-by-key settings from the terminal's own: no line editing and no echo; the signal keys
// Ctrl+C and Ctrl+\ kept, but no suspend key and no other special keys (IEXTEN), so that Ctrl+Z,
// Ctrl+V and Ctrl+O reach the program; no flow control, so Ctrl+S and Ctrl+Q reach it too and
// output never freezes; Enter gives 13 and Ctrl+J 10; bytes keep all eight bits. Output is left
// alone.
termios key_by_key(termios settings) {
  settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
  settings.c_lflag |= ISIG;
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP);
  settings.c_cc[VINTR] = 0x03;  // Ctrl+C
  settings.c_cc[VQUIT] = 0x1c;  // Ctrl+Backslash
  settings.c_cc[VSUSP] = _POSIX_VDISABLE;
#ifdef VDSUSP
  settings.c_cc[VDSUSP] = _POSIX_VDISABLE;
#endif
  // A read returns as soon as one byte is there; reads are made only when poll says one is.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return settings;
}

// When the terminal does not tell its size.
constexpr Coord fallback_size{80, 24};
// Beyond this the model would cost more memory than any real screen needs.
constexpr Coord largest_size{2048, 1024};

Coord window_size() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
    return fallback_size;
  return {std::min<int>(size.ws_col, largest_size.column),
          std::min<int>(size.ws_row, largest_size.row)};
}

// Whether the character set of the locale that the program chose (LC_CTYPE) is UTF-8.
bool locale_is_utf8() {
  std::string codeset = ::nl_langinfo(CODESET);
  std::erase(codeset, '-');
  std::transform(codeset.begin(), codeset.end(), codeset.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return codeset == "utf8";
}

bool fits_one_cell(char32_t glyph) {
  return ::wcwidth(static_cast<wchar_t>(glyph)) == 1;
}

// Sends all the bytes, repeating only after a partial write or an interruption. False when the
// terminal took them not all.
bool send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno == EINTR) {
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Someone made the terminal non-blocking: wait until it takes more.
      pollfd ready{STDOUT_FILENO, POLLOUT, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Rows that cells from `start` on, `count` of them, row after row, fall in.
RowSpan rows_of(Coord start, int count, int width) {
  if (count <= 0 || width <= 0) return {};
  const long last_cell = static_cast<long>(start.column) + count - 1;
  return {start.row, static_cast<int>(std::min<long>(start.row + last_cell / width, INT_MAX))};
}

}  // namespace

Terminal::~Terminal() {
  if (!started_) return;
  restore_terminal();
  restoration.keyboard_set = 0;
  restoration.screen = 0;
}

void Terminal::start() {
  if (started_) return;
  started_ = true;
  const bool screen = ::isatty(STDOUT_FILENO) == 1;
  const bool keyboard = ::isatty(STDIN_FILENO) == 1;
  if (screen) {
    glyphs_ = make_glyph_set(locale_is_utf8(), fits_one_cell);
    const Coord size = window_size();
    model_.emplace(size);
    forget_view(view_, size);
    restoration.screen = 1;
    catch_resizes();
  }
  if (screen || keyboard) {
    std::atexit(restore_at_exit);
    end_by_signals();
  }
  if (keyboard) keyboard_ = start_keyboard();
}

bool Terminal::start_keyboard() {
  termios own{};
  if (::tcgetattr(STDIN_FILENO, &own) != 0) return false;
  restoration.keyboard_settings = own;
  restoration.keyboard_set = 1;  // from here on, a signal puts the settings back
  const termios keys = key_by_key(own);
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
    restoration.keyboard_set = 0;
    return false;
  }
  decoder_ = make_key_decoder(locale_is_utf8(), own.c_cc[VERASE]);
  return true;
}

bool Terminal::follow_window_size() {
  if (!model_) return false;
  const Coord size = window_size();
  if (size != model_->size()) {
    model_->resize(size);
    forget_view(view_, size);
  }
  return true;
}

void Terminal::catch_up_with_window() {
  if (follow_window_size() && !view_.cells_known) show({});
}

void Terminal::show(RowSpan changed) {
  std::string out;
  bring_view_to(view_, *model_, glyphs_, changed, out);
  // The terminal may show anything after a failed write: the next operation repaints it all.
  if (!send_all(out)) forget_view(view_, model_->size());
}

std::optional<ScreenInfo> Terminal::screen_info() {
  if (!follow_window_size()) return std::nullopt;
  show({});
  return model_->screen_info();
}

bool Terminal::write_cells(Coord at, std::string_view bytes, Attribute attribute) {
  if (!follow_window_size()) return false;
  const bool written = model_->write_cells(at, bytes, attribute);
  show({at.row, at.row});
  return written;
}

void Terminal::fill_cells(Coord start, int count, unsigned char byte, Attribute attribute) {
  if (!follow_window_size()) return;
  model_->fill_cells(start, count, byte, attribute);
  show(rows_of(start, count, model_->size().column));
}

void Terminal::scroll_cells(Rect source, Coord destination, unsigned char fill_byte,
                            Attribute fill_attribute) {
  if (!follow_window_size()) return;
  const Coord size = model_->size();
  const std::optional<RowShift> shift = upward_row_shift(source, destination, size);
  model_->scroll_cells(source, destination, fill_byte, fill_attribute);
  const RowSpan all_rows{0, size.row - 1};
  if (!shift || !view_.cells_known) {
    show(all_rows);
    return;
  }
  std::string out;
  if (shift->top == 0 && shift->bottom == size.row - 1) {
    // The whole screen moves up: line feeds on the bottom row, so that the rows leaving the top go
    // into the terminal's scroll-back as any scrolling output would.
    shift_view_up(view_, *shift, out);
    bring_view_to(view_, *model_, glyphs_, all_rows, out);
  } else {
    // Part of the screen: a scroll region where that is shorter than redrawing what changed.
    TerminalView scrolled = view_;
    shift_view_up(scrolled, *shift, out);
    bring_view_to(scrolled, *model_, glyphs_, all_rows, out);
    std::string redrawn;
    TerminalView redrawn_view = view_;
    bring_view_to(redrawn_view, *model_, glyphs_, all_rows, redrawn);
    if (redrawn.size() <= out.size()) {
      out = std::move(redrawn);
      view_ = std::move(redrawn_view);
    } else {
      view_ = std::move(scrolled);
    }
  }
  if (!send_all(out)) forget_view(view_, size);
}

bool Terminal::set_cursor_position(Coord cell) {
  if (!follow_window_size()) return false;
  const bool moved = model_->set_cursor_position(cell);
  show({});
  return moved;
}

std::optional<bool> Terminal::cursor_visible() {
  if (!follow_window_size()) return std::nullopt;
  show({});
  return model_->cursor_visible();
}

void Terminal::set_cursor_visible(bool visible) {
  if (!follow_window_size()) return;
  model_->set_cursor_visible(visible);
  show({});
}

bool Terminal::set_window(Rect window) {
  if (!follow_window_size()) return false;
  show({});
  // The terminal shows the whole buffer; no other window can be placed.
  const Coord size = model_->size();
  return window == Rect{0, 0, size.column - 1, size.row - 1};
}

void Terminal::beep() {
  if (!model_) return;
  model_->beep();
  std::string out;
  vt::bell(out);
  send_all(out);
}

long Terminal::write_stream(const char* bytes, std::size_t count) {
  for (;;) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, count);
    if (written >= 0 || errno != EINTR) return written;
  }
}

// Settled once at start(): what standard input is does not change while the program runs.
bool Terminal::is_keyboard() {
  return keyboard_;
}

std::optional<int> Terminal::quiet_time_left() const {
  if (!decode_pending(decoder_)) return std::nullopt;
  using std::chrono::microseconds;
  const auto quiet =
      std::chrono::duration_cast<microseconds>(std::chrono::milliseconds(escape_quiet_ms) -
                                               (std::chrono::steady_clock::now() - last_key_byte_));
  // Rounded up, so that the wait does not end just before the time.
  return static_cast<int>(std::max<long>((quiet.count() + 999) / 1000, 0));
}

int Terminal::read_keys(KeyCode* into, int room) {
  catch_up_with_window();
  if (!keyboard_ || keyboard_gone_) return -1;
  if (room <= 0) return 0;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (::poll(&input, 1, 0) <= 0 || input.revents == 0) {
    // Nothing more came: an Esc that has waited out its quiet time is the Esc key.
    if (quiet_time_left() == 0) {
      if (const std::optional<KeyCode> code = decode_quiet(decoder_)) {
        into[0] = *code;
        return 1;
      }
    }
    return 0;
  }
  // One code per byte at most: bytes beyond `room` stay in the terminal for the next call.
  unsigned char bytes[512];
  const ssize_t count =
      ::read(STDIN_FILENO, bytes, std::min(static_cast<std::size_t>(room), sizeof bytes));
  if (count < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  if (count <= 0) {
    keyboard_gone_ = true;  // hung up (EIO) or ended
    return -1;
  }
  last_key_byte_ = std::chrono::steady_clock::now();
  int taken = 0;
  for (ssize_t i = 0; i < count; ++i) {
    if (const std::optional<KeyCode> code = decode_byte(decoder_, bytes[i])) into[taken++] = *code;
  }
  return taken;
}

void Terminal::wait_for_keys(int timeout_ms) {
  catch_up_with_window();
  if (!keyboard_ || keyboard_gone_) return;
  int wait_ms = timeout_ms;
  if (const std::optional<int> quiet = quiet_time_left()) {
    if (*quiet == 0) return;
    wait_ms = wait_ms < 0 ? *quiet : std::min(wait_ms, *quiet);
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(STDIN_FILENO, &readable);
  const timespec timeout{wait_ms / 1000, (wait_ms % 1000) * 1000000L};
  const sigset_t mask = mask_waking_on_resize();
  // Sleeps in the kernel until a byte (or the end) comes, the time is up, or a resize signal.
  ::pselect(STDIN_FILENO + 1, &readable, nullptr, nullptr, wait_ms < 0 ? nullptr : &timeout, &mask);
  catch_up_with_window();
}

long Terminal::read_stream(char* into, std::size_t room) {
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, into, room);
    if (count >= 0) return count;
    if (errno != EINTR) return 0;
  }
}

}  // namespace platform
