// The terminal as the screen, measured on a pseudo-terminal whose output goes through a terminal
// emulator.
//
// - EchoBytes: bytes the terminal receives for one character echoed at the end of a typed line,
//   at the Device level: hide the cursor, write the character's cell, put the cursor one to the
//   right, show the cursor. Counters: the median and the largest over a line, and the echo into the
//   last column (whose cursor goes on to the next row).
// - EchoBytesOfTheProgram: the same through the real line editor: the bytes that reach the terminal
//   for each character typed at "Rows? " up to and past the end of the row.
// - KeystrokeToEcho: from a key sent to the terminal to its echo showing (the character on the
//   screen, the cursor after it), over 1000 keys typed at "Rows? ". Counters: median and 99th
//   percentile in milliseconds.
// - IdleCpu: the program waiting at its first question for ten seconds: CPU time used and the
//   times it woke up (voluntary context switches). Both should be near zero.
// - StartupToTitle: from starting the program to its title showing on the terminal, side by side
//   with a minimal C program that clears the screen and writes the same line. Counters: medians in
//   milliseconds and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/terminal.h"
#include "tests/support/pty_session.h"

namespace {

constexpr platform::Attribute grey = platform::default_attribute;
constexpr int columns = 80;
constexpr int prompt_row = 2;
const std::string prompt = "Rows? ";

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Echoes characters from just after the prompt to the end of the row, reporting after each.
int echo_a_line(ChildLink& link) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  platform::Terminal terminal;
  terminal.start();
  const platform::Coord size = terminal.screen_info()->size;
  terminal.fill_cells({0, 0}, size.column * size.row, ' ', grey);
  terminal.write_cells({0, prompt_row}, prompt, grey);
  terminal.set_cursor_position({static_cast<int>(prompt.size()), prompt_row});
  link.report();
  for (int column = static_cast<int>(prompt.size()); column < size.column; ++column) {
    terminal.set_cursor_visible(false);
    terminal.write_cells({column, prompt_row}, std::string(1, static_cast<char>('0' + column % 10)),
                         grey);
    if (column + 1 < size.column) {
      terminal.set_cursor_position({column + 1, prompt_row});
    } else {
      terminal.set_cursor_position({0, prompt_row + 1});
    }
    terminal.set_cursor_visible(true);
    link.report();
  }
  link.wait_for_go();
  return 0;
}

void EchoBytes(benchmark::State& state) {
  std::vector<double> bytes;
  double last_column_bytes = 0;
  for (auto _ : state) {
    auto session = PtySession::run_function(echo_a_line, PtyOptions::sized(columns, 24));
    const int echoes = columns - static_cast<int>(prompt.size());
    for (int report = 0; report <= echoes; ++report) {
      if (!session->wait_for_report()) {
        state.SkipWithError("the child stopped reporting");
        return;
      }
    }
    bytes.clear();
    for (int echo = 1; echo <= echoes; ++echo)
      bytes.push_back(static_cast<double>(session->output_before_report(echo).size()));
    last_column_bytes = bytes.back();
  }
  state.counters["median_bytes"] = median(bytes);
  state.counters["max_bytes"] = *std::max_element(bytes.begin(), bytes.end());
  state.counters["last_column_bytes"] = last_column_bytes;
}
BENCHMARK(EchoBytes)->Iterations(1)->Unit(benchmark::kMillisecond);

// The real program at its first question on an 80 x 24 terminal; none when the prompt never came.
std::unique_ptr<PtySession> program_at_prompt() {
  PtyOptions options = PtyOptions::sized(columns, 24);
  options.environment = {"LC_ALL=C.UTF-8"};
  auto session = PtySession::run_program(options);
  if (!session->wait_for_text(prompt)) return nullptr;
  return session;
}

// Types the `index`th character of a line typed at the prompt on `prompt_row` and waits until its
// echo shows: the character in its cell and the cursor visible in the next one. False when it
// never showed.
bool type_and_see_echo(PtySession& session, int prompt_row, int index) {
  const int cell = static_cast<int>(prompt.size()) + index;
  const int row = prompt_row + cell / columns;
  const int column = cell % columns;
  const char typed = static_cast<char>('0' + index % 10);
  session.send(std::string(1, typed));
  return session.wait_until([&] {
    const ScreenCursor cursor = session.cursor();
    return cursor.visible &&
           cursor.row * columns + cursor.column == cell + 1 + prompt_row * columns &&
           session.row_text(row)[static_cast<std::size_t>(column)] == typed;
  });
}

void EchoBytesOfTheProgram(benchmark::State& state) {
  std::vector<double> bytes;
  for (auto _ : state) {
    const auto session = program_at_prompt();
    if (!session) {
      state.SkipWithError("no prompt");
      return;
    }
    const int prompt_row = session->cursor().row;
    bytes.clear();
    // Up to and including the last column of the row.
    for (int index = 0; index < columns - static_cast<int>(prompt.size()); ++index) {
      const std::size_t before = session->received().size();
      if (!type_and_see_echo(*session, prompt_row, index)) {
        state.SkipWithError("the echo did not show");
        return;
      }
      bytes.push_back(static_cast<double>(session->received().size() - before));
    }
  }
  state.counters["median_bytes"] = median(bytes);
  state.counters["max_bytes"] = *std::max_element(bytes.begin(), bytes.end());
  state.counters["last_column_bytes"] = bytes.back();
}
BENCHMARK(EchoBytesOfTheProgram)->Iterations(1)->Unit(benchmark::kMillisecond);

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

void KeystrokeToEcho(benchmark::State& state) {
  constexpr int keys = 1000;
  std::vector<double> latencies;
  for (auto _ : state) {
    const auto session = program_at_prompt();
    if (!session) {
      state.SkipWithError("no prompt");
      return;
    }
    const int prompt_row = session->cursor().row;
    latencies.clear();
    for (int index = 0; index < keys; ++index) {
      const auto sent = std::chrono::steady_clock::now();
      if (!type_and_see_echo(*session, prompt_row, index)) {
        state.SkipWithError("the echo did not show");
        return;
      }
      latencies.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent)
              .count());
    }
  }
  state.counters["median_ms"] = median(latencies);
  state.counters["p99_ms"] = percentile(latencies, 0.99);
}
BENCHMARK(KeystrokeToEcho)->Iterations(1)->Unit(benchmark::kMillisecond);

// CPU nanoseconds and voluntary context switches of a process so far.
std::pair<double, double> cpu_and_wakeups(pid_t pid) {
  double cpu_ns = 0;
  std::ifstream(("/proc/" + std::to_string(pid) + "/schedstat").c_str()) >> cpu_ns;
  std::ifstream status(("/proc/" + std::to_string(pid) + "/status").c_str());
  double wakeups = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
      std::istringstream(line.substr(line.find(':') + 1)) >> wakeups;
  }
  return {cpu_ns, wakeups};
}

void IdleCpu(benchmark::State& state) {
  double cpu_ms = 0;
  double wakeups = 0;
  for (auto _ : state) {
    const auto session = program_at_prompt();
    if (!session) {
      state.SkipWithError("no prompt");
      return;
    }
    const auto before = cpu_and_wakeups(session->pid());
    std::this_thread::sleep_for(std::chrono::seconds(10));  // the idle time being measured
    const auto after = cpu_and_wakeups(session->pid());
    cpu_ms = (after.first - before.first) / 1e6;
    wakeups = after.second - before.second;
  }
  state.counters["cpu_ms_in_10s"] = cpu_ms;
  state.counters["wakeups_in_10s"] = wakeups;
}
BENCHMARK(IdleCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

const std::string title = "QUV's tuplet calculator for trackers";

// Milliseconds from starting `path` on a terminal to its title showing there.
double time_to_title(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  auto session = PtySession::run_command(path, PtyOptions::sized(columns, 24));
  if (!session->wait_for_text(title)) return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void StartupToTitle(benchmark::State& state) {
  std::vector<double> program;
  std::vector<double> reference;
  for (auto _ : state) {
    // Side by side, so that both see the same load on the machine.
    reference.push_back(time_to_title(REFERENCE_TITLE_BINARY));
    program.push_back(time_to_title(TUPLETS_BINARY));
  }
  state.counters["program_ms"] = median(program);
  state.counters["reference_ms"] = median(reference);
  state.counters["ratio"] = median(program) / median(reference);
}
BENCHMARK(StartupToTitle)->Iterations(41)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
