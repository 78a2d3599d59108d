// Piped throughput: many calculations through the real program, standard input and standard output
// both on pipes. Reports calculations per second; system calls per calculation are counted
// separately with `strace -c -f`.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

// R N T and the answer y for each calculation, every calculation different, then n.
std::string calculations_input(int count) {
  std::string input;
  for (int i = 0; i < count; ++i) {
    const int rows = 3 + i % 254;
    const int notes = 2 + i % (rows - 2);
    const int ticks = 1 + i % 256;
    input += std::to_string(rows) + "\n" + std::to_string(notes) + "\n" + std::to_string(ticks) +
             "\ny\n";
  }
  return input + "n\n";
}

// Runs the program on `input`; returns the number of bytes it wrote.
std::size_t run_piped(const std::string& input) {
  int to_child[2];
  int from_child[2];
  if (::pipe(to_child) != 0 || ::pipe(from_child) != 0) std::abort();
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(to_child[0], STDIN_FILENO);
    ::dup2(from_child[1], STDOUT_FILENO);
    ::close(to_child[0]);
    ::close(to_child[1]);
    ::close(from_child[0]);
    ::close(from_child[1]);
    ::execl(TUPLETS_BINARY, TUPLETS_BINARY, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  std::thread feeder([&] {
    std::size_t fed = 0;
    while (fed < input.size()) {
      const ssize_t count = ::write(to_child[1], input.data() + fed, input.size() - fed);
      if (count <= 0) break;
      fed += static_cast<std::size_t>(count);
    }
    ::close(to_child[1]);
  });
  std::size_t received = 0;
  char buffer[1 << 16];
  for (ssize_t count; (count = ::read(from_child[0], buffer, sizeof buffer)) > 0;) {
    received += static_cast<std::size_t>(count);
  }
  ::close(from_child[0]);
  feeder.join();
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  return received;
}

void BM_PipedCalculations(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string input = calculations_input(count);
  std::size_t output = 0;
  for (auto _ : state)
    output = run_piped(input);
  state.counters["calculations/s"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["output_bytes"] = static_cast<double>(output);
}
BENCHMARK(BM_PipedCalculations)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
