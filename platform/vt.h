// The VT100 / ECMA-48 control sequences the terminal is driven with, each named once with its
// effect. Every one of them is understood by any terminal in use today. Each function appends its
// sequence to `out`, so that the bytes of one screen update can be gathered and sent at once.
// Rows and columns are 0-based here, as in the screen buffer; the sequences themselves count
// from 1.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform::vt {

// CUP: puts the cursor on `cell`, from anywhere, even from the pending-wrap state that follows a
// character written into the last column.
void move_cursor_to(std::string& out, Coord cell);

// CUU, CUD, CUF, CUB: move the cursor by `count` cells (at least 1) up, down, right or left. They
// stop at the screen's edges and never scroll.
void move_cursor_up(std::string& out, int count);
void move_cursor_down(std::string& out, int count);
void move_cursor_right(std::string& out, int count);
void move_cursor_left(std::string& out, int count);

// CR: to column 0 of the cursor's row; also ends a pending wrap.
void carriage_return(std::string& out);

// LF: one row down in the same column (the terminal driver may add a CR). On the bottom row of the
// scroll region the region scrolls up one row; on the bottom row of the whole screen the top row
// goes into the terminal's scroll-back.
void line_feed(std::string& out);

// BS: one column left; nothing in column 0.
void backspace(std::string& out);

// EL 0: blanks the cells from the cursor to the end of its row; the cursor stays.
void erase_to_end_of_row(std::string& out);

// ED 0: blanks the cells from the cursor to the end of the screen; the cursor stays.
void erase_to_end_of_screen(std::string& out);

// DECTCEM: shows or hides the cursor.
void show_cursor(std::string& out);
// The same for a signal handler, which may not build strings.
inline constexpr char show_cursor_bytes[] = "\x1b[?25h";
void hide_cursor(std::string& out);

// DECSTBM: limits scrolling to the rows `top` to `bottom`; the cursor goes to the top-left cell of
// the screen.
void set_scroll_region(std::string& out, int top, int bottom);

// DECSTBM without parameters: the whole screen scrolls again; the cursor goes to the top-left cell.
void reset_scroll_region(std::string& out);

// BEL: sounds the terminal's bell (or flashes it), without holding anything up.
void bell(std::string& out);

}  // namespace platform::vt
