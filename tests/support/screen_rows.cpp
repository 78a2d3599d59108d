#include "tests/support/screen_rows.h"

Rows screen_rows(const platform::MemoryConsole& screen) {
  Rows rows;
  for (int row = 0; row < screen.size().row; ++row) {
    std::string text = screen.row_text(row);
    text.erase(text.find_last_not_of(' ') + 1);
    rows.push_back(text);
  }
  return rows;
}
