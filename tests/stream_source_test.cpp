// The buffered reader of standard input: bytes in order across refills, one give-back, lines.
#include "console/stream_source.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/memory_console.h"

namespace {

struct Stream {
  platform::MemoryConsole device = platform::MemoryConsole::stream_only();
  StreamSource source;
  Stream(std::string_view input, std::size_t piece) {
    device.set_stream_input(input);
    device.limit_stream_reads(piece);
  }
  int take() { return take_byte(source, device); }
};

TEST(StreamSource, GiveBackWorksAcrossARefill) {
  Stream stream("ab", 1);
  EXPECT_EQ(stream.take(), 'a');
  EXPECT_EQ(stream.take(), 'b');  // a second read of the device
  give_back(stream.source);
  EXPECT_EQ(stream.take(), 'b');
  EXPECT_EQ(stream.take(), -1);
}

TEST(StreamSource, NothingToGiveBackAfterTheEnd) {
  for (std::size_t piece : {0, 1}) {
    Stream stream("xy", piece);
    EXPECT_EQ(stream.take(), 'x');
    EXPECT_EQ(stream.take(), 'y');
    EXPECT_EQ(stream.take(), -1);
    give_back(stream.source);  // must not bring back the y
    EXPECT_EQ(stream.take(), -1);
    EXPECT_EQ(stream.take(), -1);
  }
}

TEST(StreamSource, BytesAboveSevenBitsArePositive) {
  Stream stream("\xff\x80", 0);
  EXPECT_EQ(stream.take(), 0xff);
  EXPECT_EQ(stream.take(), 0x80);
}

TEST(StreamSource, TakesLinesWithAnyLineEnd) {
  for (std::size_t piece : {0, 1, 2}) {
    Stream stream("one\r\ntwo\rthree\n\nlast", piece);
    EXPECT_EQ(take_line(stream.source, stream.device), "one");
    EXPECT_EQ(take_line(stream.source, stream.device), "two");
    EXPECT_EQ(take_line(stream.source, stream.device), "three");
    EXPECT_EQ(take_line(stream.source, stream.device), "");
    EXPECT_EQ(take_line(stream.source, stream.device), "last");
    EXPECT_EQ(take_line(stream.source, stream.device), std::nullopt);
  }
}

}  // namespace
