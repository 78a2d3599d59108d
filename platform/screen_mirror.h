// What the terminal shows, as far as the program knows, and the bytes that bring it to show what a
// model screen buffer holds: only the cells that differ, the cursor's place and its visibility.
// Nothing here does I/O; the bytes are appended to a string that the caller sends.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/memory_console.h"
#include "platform/platform.h"

namespace platform {

// How each cell byte is put on the terminal.
struct GlyphSet {
  std::array<std::string, 256> text;  // the bytes sent for a cell that holds this byte
  // The first byte that looks the same (0 and 32 are both blank, say): cells are compared by what
  // they show, not by what they hold.
  std::array<unsigned char, 256> shown_as{};
};

// The code page 437 glyphs in UTF-8 when `unicode` is set, else ASCII with '?' for every byte that
// is not printable ASCII. A glyph that `fits_one_cell` rejects shows as '?' as well, so that every
// cell takes exactly one column. Byte 0 shows blank. No control byte is ever sent.
GlyphSet make_glyph_set(bool unicode, bool (*fits_one_cell)(char32_t));

// GlyphSet::shown_as of a blank cell: byte 0 shows blank and comes first.
inline constexpr unsigned char shown_blank = 0;

// Where the terminal's cursor stands, when known.
struct TerminalCursor {
  bool known = false;
  Coord at;
  // A character went into the last column of the row: the cursor shows in that column, but the
  // next character would go to the next row (and at the bottom scroll the screen), and relative
  // moves from here differ between terminals. Only an absolute move or CR is safe.
  bool wrap_pending = false;
};

struct TerminalView {
  Coord size;
  bool cells_known = false;          // false before the first paint and after a resize or a failure
  std::vector<unsigned char> cells;  // GlyphSet::shown_as of what each cell shows, row after row
  TerminalCursor cursor;
  std::optional<bool> cursor_shown;  // none while unknown
};

// Rows of the model that may differ from the view, inclusive. Empty when `first` > `last`.
struct RowSpan {
  int first = 0;
  int last = -1;
};

// Rows `top` to `bottom` of a screen buffer, moved up by `rows` rows.
struct RowShift {
  int top = 0;
  int bottom = 0;
  int rows = 0;
  friend bool operator==(const RowShift&, const RowShift&) = default;
};

// Forgets everything the terminal shows: the next bring_view_to() repaints it all.
void forget_view(TerminalView& view, Coord size);

// Appends the bytes that make the terminal show `model`: the cells of the `changed` rows that
// differ from the view (every row when the view is not known), then the cursor and its visibility.
// The cursor is placed only while it is shown. The view then matches the model.
void bring_view_to(TerminalView& view, const MemoryConsole& model, const GlyphSet& glyphs,
                   RowSpan changed, std::string& out);

// What MemoryConsole::scroll_cells(source, destination, ...) does to a buffer of `size`, when it
// moves full-width rows straight up: the rows from the block's new top to its bottom move up, the
// rows it leaves are filled. None for any other move.
std::optional<RowShift> upward_row_shift(Rect source, Coord destination, Coord size);

// The terminal scrolls `shift` by line feeds on its last row. When the shift is the whole screen,
// the rows that leave the top go into the terminal's scroll-back; otherwise a scroll region limits
// it. The freed rows show blank. Requires a known view.
void shift_view_up(TerminalView& view, RowShift shift, std::string& out);

}  // namespace platform
