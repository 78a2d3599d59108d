// Code page 437, the character set the screen buffer's bytes are shown in: every byte has a glyph,
// the control bytes included. Used to show cells on a Unicode terminal and to turn typed Unicode
// characters back into bytes.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The character shown for `byte`. Byte 0 shows as a blank.
char32_t glyph_of(unsigned char byte);

// The byte whose glyph is `character`; none when code page 437 has no such glyph. Characters below
// 128 are their own byte.
std::optional<unsigned char> byte_of(char32_t character);

// Appends `character` encoded as UTF-8.
void append_utf8(std::string& text, char32_t character);

}  // namespace platform
