// Line entry: a prompt, then one line typed and edited by the user in the line editor.
#pragma once

#include <optional>
#include <string>

#include "console/console.h"
#include "console/screen.h"

// What the line editor works with while one line is typed.
struct EditState {
  std::string text;  // every byte 32 to 255
  int pos = 0;       // insertion point, 0 to text.size()
  TextCell cursor;   // the cell of the insertion point, as far as the editor knows
  int columns = 0;   // C: columns of the text area
  int rows = 0;      // H: rows of the text area
};

// Lets the user type and edit one line, starting at the cursor; returns it on Enter (without the
// Enter). No value when the keyboard has gone before Enter.
std::optional<std::string> edit_line(Console& console);

// Moves the cursor n text positions along the line from state.cursor, row after row; the cell just
// past the bottom-right cell scrolls the text area up by one row.
void move_cursor_by(Console& console, EditState& state, int n);
