// Number entry: which piece of a typed line, or of the input stream, is the number, and the exact
// single-precision value it denotes.
#pragma once

#include <string_view>

#include "console/console.h"

// The value of the first item of a typed line; 0 when it holds no number.
float parse_number(std::string_view line);
