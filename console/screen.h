// Screen output: where text lands in the screen buffer, how it wraps at the right edge and scrolls
// at the bottom of the text area, which control characters act, and when the visible cursor moves.
// When standard output is not a screen (stream mode) every write passes its bytes through unchanged
// and the cursor operations do nothing visible.
#pragma once

#include <string_view>

#include "console/console.h"

// A cell of the text area, 1-based: column 1 is buffer column 0, row 1 is the window's top row.
struct TextCell {
  int column = 0;
  int row = 0;
  friend bool operator==(const TextCell&, const TextCell&) = default;
};

struct ScreenSize {
  int columns = 0;
  int rows = 0;
};

// What set_cursor() found and did: whether the cursor was visible before, and the target cell.
struct CursorMove {
  bool was_visible = false;
  int row = 0;
  int column = 0;
};

// Visibility arguments of set_cursor(); any other non-zero value shows the cursor too.
inline constexpr int keep_visibility = -1;
inline constexpr int hide_cursor = 0;
inline constexpr int show_cursor = 1;

// First contact with the platform console, done once by whichever operation comes first.
void start_console(Console& console);

bool in_stream_mode(const Console& console);

// The single write primitive under write_text and the line editor's echo. A zero-count write with
// `force` carries out a pending line end and places the cursor.
void write_raw(Console& console, std::string_view bytes, bool force = false);

TextCell cursor_position(Console& console);

// row, column: 1-based, 0 keeps the current one; visibility: keep_visibility, hide_cursor or any
// other value to show it. An out-of-area position is ignored and only the visibility applies.
CursorMove set_cursor(Console& console, int row, int column, int visibility);

ScreenSize screen_size(Console& console);

void beep(Console& console);
