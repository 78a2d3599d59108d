// The position line: every valid input in one pass, and single lines.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "calculator/placement.h"

namespace {

// Every valid rows / notes / ticks, each line written into one reused buffer: the allocation-free
// path. Reports the bytes of text produced.
void BM_WholeInputSpace(benchmark::State& state) {
  PositionLineBuffer buffer;
  std::int64_t bytes = 0;
  std::int64_t lines = 0;
  for (auto _ : state) {
    for (int rows = 3; rows <= 256; ++rows) {
      for (int notes = 2; notes <= rows - 1; ++notes) {
        for (int ticks = 1; ticks <= 256; ++ticks) {
          const std::string_view line =
              write_position_line(static_cast<float>(rows), static_cast<float>(notes),
                                  static_cast<float>(ticks), buffer);
          benchmark::DoNotOptimize(line.data());
          bytes += static_cast<std::int64_t>(line.size());
          ++lines;
        }
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(lines);
  state.counters["lines"] = benchmark::Counter(static_cast<double>(lines) / state.iterations());
  state.counters["text_bytes"] =
      benchmark::Counter(static_cast<double>(bytes) / state.iterations());
}
BENCHMARK(BM_WholeInputSpace)->Unit(benchmark::kMillisecond)->Iterations(1);

// One line through the allocating `position_line`, as the dialogue calls it: a short line and the
// longest one.
void BM_PositionLine(benchmark::State& state) {
  const auto rows = static_cast<float>(state.range(0));
  const auto notes = static_cast<float>(state.range(1));
  const auto ticks = static_cast<float>(state.range(2));
  std::int64_t bytes = 0;
  for (auto _ : state) {
    std::string line = position_line(rows, notes, ticks);
    bytes += static_cast<std::int64_t>(line.size());
    benchmark::DoNotOptimize(line);
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_PositionLine)->Args({13, 4, 6})->Args({256, 255, 256});

// The same lines into a reused buffer.
void BM_WritePositionLine(benchmark::State& state) {
  const auto rows = static_cast<float>(state.range(0));
  const auto notes = static_cast<float>(state.range(1));
  const auto ticks = static_cast<float>(state.range(2));
  PositionLineBuffer buffer;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    const std::string_view line = write_position_line(rows, notes, ticks, buffer);
    benchmark::DoNotOptimize(line.data());
    benchmark::ClobberMemory();
    bytes += static_cast<std::int64_t>(line.size());
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_WritePositionLine)->Args({13, 4, 6})->Args({256, 255, 256});

}  // namespace

BENCHMARK_MAIN();
