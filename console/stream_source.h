// Standard input as a stream of bytes, read through the buffer of the console record: one system
// call fills the buffer, the bytes are then taken one at a time, and exactly what is taken counts
// as consumed.
#pragma once

#include <optional>
#include <string>

#include "console/console.h"

// Takes the next byte (0 to 255), or -1 at the end of the data. Once the end has been seen the
// stream is not read again.
int take_byte(StreamSource& source, platform::Device& device);

// Gives back the byte just taken, so that the next take_byte delivers it again. After a take_byte
// that found the end of the data there is nothing to give back, and nothing happens.
void give_back(StreamSource& source);

// Takes the bytes up to the next line end (a line feed, or a carriage return with or without a line
// feed after it); the line end is consumed and not part of the text. A last line without a line end
// counts as a line. No value when no byte at all was left.
std::optional<std::string> take_line(StreamSource& source, platform::Device& device);
