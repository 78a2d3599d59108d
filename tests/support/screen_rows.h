// What an in-memory screen shows, row by row, for comparing in tests.
#pragma once

#include <string>
#include <vector>

#include "platform/memory_console.h"

using Rows = std::vector<std::string>;

// Every buffer row as its bytes, trailing blanks dropped.
Rows screen_rows(const platform::MemoryConsole& screen);
