#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

struct Pipe {
  int read_end = -1;
  int write_end = -1;
};

Pipe make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) std::abort();
  return {ends[0], ends[1]};
}

}  // namespace

RunResult run_tuplets(std::string_view input, const std::vector<std::string>& environment) {
  const Pipe in = make_pipe();
  const Pipe out = make_pipe();
  const Pipe err = make_pipe();
  const pid_t child = ::fork();
  if (child < 0) std::abort();
  if (child == 0) {
    ::dup2(in.read_end, STDIN_FILENO);
    ::dup2(out.write_end, STDOUT_FILENO);
    ::dup2(err.write_end, STDERR_FILENO);
    for (const std::string& entry : environment)
      ::putenv(const_cast<char*>(entry.c_str()));
    ::signal(SIGPIPE, SIG_DFL);
    ::execl(TUPLETS_BINARY, TUPLETS_BINARY, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in.read_end);
  ::close(out.write_end);
  ::close(err.write_end);

  // Feed and drain at once, so that neither side can block the other.
  ::signal(SIGPIPE, SIG_IGN);
  RunResult result;
  std::size_t fed = 0;
  int stdin_fd = in.write_end;
  if (input.empty()) {
    ::close(stdin_fd);
    stdin_fd = -1;
  }
  int open_outputs = 2;
  pollfd fds[3] = {{out.read_end, POLLIN, 0}, {err.read_end, POLLIN, 0}, {stdin_fd, POLLOUT, 0}};
  while (open_outputs > 0) {
    fds[2].fd = stdin_fd;
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        (i == 0 ? result.output : result.errors).append(buffer, static_cast<std::size_t>(count));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_outputs;
      }
    }
    if (stdin_fd >= 0 && fds[2].revents != 0) {
      const ssize_t count = ::write(stdin_fd, input.data() + fed, input.size() - fed);
      if (count > 0) fed += static_cast<std::size_t>(count);
      if (count < 0 || fed == input.size()) {
        ::close(stdin_fd);
        stdin_fd = -1;
      }
    }
  }
  if (stdin_fd >= 0) ::close(stdin_fd);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.end_signal = WTERMSIG(status);
  return result;
}
