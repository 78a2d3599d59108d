// The real program with standard input and standard output on pipes.
#include <gtest/gtest.h>

#include "tests/support/process.h"

namespace {

TEST(Piped, ExampleRunGivesExactBytes) {
  const RunResult result = run_tuplets("13\n4\n6\nn\n");
  EXPECT_EQ(result.output,
            "QUV's tuplet calculator for trackers\r\n\r\n0:0 3:2 6:3 9:4 \r\nAnother? (y/n) \r\n");
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
