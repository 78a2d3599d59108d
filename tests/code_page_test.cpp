// Code page 437 glyphs and their way back from typed characters.
#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace {

using platform::byte_of;
using platform::glyph_of;

TEST(CodePage, EveryByteRoundTripsThroughItsGlyph) {
  for (int byte = 1; byte < 256; ++byte) {
    const auto back = byte_of(glyph_of(static_cast<unsigned char>(byte)));
    ASSERT_TRUE(back.has_value()) << byte;
    EXPECT_EQ(*back, byte);
  }
}

TEST(CodePage, KnownGlyphs) {
  struct Case {
    unsigned char byte;
    char32_t glyph;
  };
  const Case cases[] = {{0, U' '},         {1, U'\u263A'},    {7, U'\u2022'},    {27, U'\u2190'},
                        {'A', U'A'},       {127, U'\u2302'},  {0x82, U'\u00E9'}, {0xB0, U'\u2591'},
                        {0xDB, U'\u2588'}, {0xE1, U'\u00DF'}, {0xFF, U'\u00A0'}};
  for (const Case& c : cases)
    EXPECT_EQ(glyph_of(c.byte), c.glyph) << int{c.byte};
}

TEST(CodePage, CharactersWithoutAGlyphHaveNoByte) {
  EXPECT_FALSE(byte_of(U'\u20AC').has_value());  // euro sign
  EXPECT_FALSE(byte_of(U'\u4E2D').has_value());
  EXPECT_FALSE(byte_of(U'\U0001F3B5').has_value());
}

TEST(CodePage, Utf8Encoding) {
  std::string text;
  for (char32_t c : {U'A', U'\u00E9', U'\u2591', U'\U0001F3B5'})
    platform::append_utf8(text, c);
  EXPECT_EQ(text, "A\xC3\xA9\xE2\x96\x91\xF0\x9F\x8E\xB5");
}

}  // namespace
