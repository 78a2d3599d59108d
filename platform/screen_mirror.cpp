#include "platform/screen_mirror.h"

#include <algorithm>

#include "platform/code_page.h"
#include "platform/vt.h"

namespace platform {
namespace {

// What a sequence costs on the line. The terminal driver may turn a line feed into CR LF.
std::size_t cost(const std::string& bytes) {
  return bytes.size() + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// A move within the screen from a known, not wrap-pending cell, by relative steps only.
std::string relative_move(Coord from, Coord to) {
  std::string vertical;
  if (to.row > from.row) vt::move_cursor_down(vertical, to.row - from.row);
  if (to.row < from.row) vt::move_cursor_up(vertical, from.row - to.row);

  std::string horizontal;
  if (to.column == from.column) {
  } else if (to.column == 0) {
    vt::carriage_return(horizontal);
  } else if (to.column > from.column) {
    vt::move_cursor_right(horizontal, to.column - from.column);
  } else {
    vt::move_cursor_left(horizontal, from.column - to.column);
    std::string back_steps;
    for (int step = to.column; step < from.column && back_steps.size() < horizontal.size(); ++step)
      vt::backspace(back_steps);
    if (back_steps.size() < horizontal.size()) horizontal = back_steps;
    std::string from_left;
    vt::carriage_return(from_left);
    vt::move_cursor_right(from_left, to.column);
    if (from_left.size() < horizontal.size()) horizontal = from_left;
  }
  std::string best = vertical + horizontal;

  // Down to column 0: CR unless there already, then line feeds (never from the bottom row, so they
  // never scroll).
  if (to.column == 0 && to.row > from.row) {
    std::string feeds;
    if (from.column != 0) vt::carriage_return(feeds);
    for (int row = from.row; row < to.row && cost(feeds) < cost(best); ++row)
      vt::line_feed(feeds);
    if (cost(feeds) < cost(best)) best = feeds;
  }
  return best;
}

// Puts the terminal's cursor on `target` by the cheapest sequence. `to_act` is set when a character
// or an erase follows, which needs the cursor out of a pending wrap; merely showing the cursor on
// the last column does not.
void move_cursor(TerminalCursor& cursor, Coord target, bool to_act, std::string& out) {
  if (cursor.known && cursor.at == target && (!cursor.wrap_pending || !to_act)) return;
  std::string best;
  vt::move_cursor_to(best, target);
  if (cursor.known) {
    std::string relative;
    Coord from = cursor.at;
    if (cursor.wrap_pending) {
      vt::carriage_return(relative);
      from.column = 0;
    }
    relative += relative_move(from, target);
    if (cost(relative) < cost(best)) best = relative;
  }
  out += best;
  cursor = TerminalCursor{true, target, false};
}

std::size_t index_of(Coord size, Coord cell) {
  return static_cast<std::size_t>(cell.row) * static_cast<std::size_t>(size.column) +
         static_cast<std::size_t>(cell.column);
}

// Writes cells `first` to `last` of a row; the cursor ends after them.
void write_run(TerminalCursor& cursor, const unsigned char* target, int row, int first, int last,
               int width, const GlyphSet& glyphs, std::string& out) {
  move_cursor(cursor, {first, row}, true, out);
  for (int column = first; column <= last; ++column)
    out += glyphs.text[target[column]];
  if (last == width - 1) {
    cursor = TerminalCursor{true, {width - 1, row}, true};
  } else {
    cursor.at.column = last + 1;
  }
}

// The bytes that turn row `row` of the terminal from `shown` into `target` (both shown_as bytes).
// With `erase_tail` the differing cells in the row's blank tail are erased by EL instead of
// written over with blanks; false when there is no such cell.
bool draw_row(TerminalCursor& cursor, const unsigned char* shown, const unsigned char* target,
              int row, int width, const GlyphSet& glyphs, bool erase_tail, std::string& out) {
  int tail = width;
  while (tail > 0 && target[tail - 1] == shown_blank)
    --tail;
  int erase_from = width;
  if (erase_tail) {
    erase_from = tail;
    while (erase_from < width && shown[erase_from] == target[erase_from])
      ++erase_from;
    if (erase_from == width) return false;
  }

  int run_first = -1;
  int run_last = -1;
  for (int column = 0; column < erase_from; ++column) {
    if (shown[column] == target[column]) continue;
    if (run_first >= 0) {
      // Writing the unchanged cells in between again is cheaper than stepping over them.
      std::size_t gap_cost = 0;
      for (int between = run_last + 1; between < column; ++between)
        gap_cost += glyphs.text[target[between]].size();
      std::string step;
      vt::move_cursor_right(step, column - run_last - 1);
      if (gap_cost <= step.size()) {
        run_last = column;
        continue;
      }
      write_run(cursor, target, row, run_first, run_last, width, glyphs, out);
    }
    run_first = column;
    run_last = column;
  }
  if (run_first >= 0) write_run(cursor, target, row, run_first, run_last, width, glyphs, out);
  if (erase_from < width) {
    move_cursor(cursor, {erase_from, row}, true, out);
    vt::erase_to_end_of_row(out);
  }
  return true;
}

bool is_blank_row(const unsigned char* cells, int width) {
  return std::all_of(cells, cells + width, [](unsigned char cell) { return cell == shown_blank; });
}

}  // namespace

GlyphSet make_glyph_set(bool unicode, bool (*fits_one_cell)(char32_t)) {
  GlyphSet glyphs;
  for (int byte = 0; byte < 256; ++byte) {
    std::string& text = glyphs.text[static_cast<std::size_t>(byte)];
    const char32_t glyph = glyph_of(static_cast<unsigned char>(byte));
    if (glyph < 0x80) {
      text.push_back(static_cast<char>(glyph));  // glyph_of() gives no control character
    } else if (unicode && fits_one_cell(glyph)) {
      append_utf8(text, glyph);
    } else {
      text.push_back('?');
    }
    int first = 0;
    while (glyphs.text[static_cast<std::size_t>(first)] != text)
      ++first;
    glyphs.shown_as[static_cast<std::size_t>(byte)] = static_cast<unsigned char>(first);
  }
  return glyphs;
}

void forget_view(TerminalView& view, Coord size) {
  view.size = size;
  view.cells_known = false;
  view.cells.assign(static_cast<std::size_t>(size.column) * static_cast<std::size_t>(size.row), 0);
  view.cursor = {};
  view.cursor_shown.reset();
}

void bring_view_to(TerminalView& view, const MemoryConsole& model, const GlyphSet& glyphs,
                   RowSpan changed, std::string& out) {
  const Coord size = model.size();
  if (view.size != size) forget_view(view, size);
  const int width = size.column;
  const bool show = model.cursor_shown();

  // Hidden first, so that the cursor is not seen hopping about while cells are drawn.
  if (!show && view.cursor_shown != false) {
    vt::hide_cursor(out);
    view.cursor_shown = false;
  }

  if (!view.cells_known) {
    // Unknown contents (and maybe a scroll region left behind by another program): start blank.
    vt::reset_scroll_region(out);
    view.cursor = {};
    move_cursor(view.cursor, {0, 0}, true, out);
    vt::erase_to_end_of_screen(out);
    std::fill(view.cells.begin(), view.cells.end(), shown_blank);
    view.cells_known = true;
    changed = {0, size.row - 1};
  }
  changed.first = std::max(changed.first, 0);
  changed.last = std::min(changed.last, size.row - 1);
  if (changed.first > changed.last) changed = {0, -1};

  std::vector<unsigned char> target(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(std::max(changed.last + 1, 0)));
  for (int row = changed.first; row <= changed.last; ++row) {
    for (int column = 0; column < width; ++column)
      target[index_of(size, {column, row})] = glyphs.shown_as[model.cell({column, row}).byte];
  }
  auto shown_row = [&](int row) { return view.cells.data() + index_of(size, {0, row}); };
  auto target_row = [&](int row) { return target.data() + index_of(size, {0, row}); };

  // Several rows to blank at the bottom: one ED blanks them all, when nothing shows below them.
  int rows_to_blank = 0;
  int first_to_blank = -1;
  for (int row = changed.last; row >= changed.first && is_blank_row(target_row(row), width);
       --row) {
    if (is_blank_row(shown_row(row), width)) continue;
    ++rows_to_blank;
    first_to_blank = row;
  }
  bool blank_below = true;
  for (int row = changed.last + 1; row < size.row && rows_to_blank >= 2 && blank_below; ++row)
    blank_below = is_blank_row(shown_row(row), width);
  if (rows_to_blank >= 2 && blank_below) {
    move_cursor(view.cursor, {0, first_to_blank}, true, out);
    vt::erase_to_end_of_screen(out);
    std::fill(view.cells.begin() + static_cast<long>(index_of(size, {0, first_to_blank})),
              view.cells.end(), shown_blank);
  }

  for (int row = changed.first; row <= changed.last; ++row) {
    if (std::equal(shown_row(row), shown_row(row) + width, target_row(row))) continue;
    TerminalCursor cursor_writing = view.cursor;
    std::string writing;
    draw_row(cursor_writing, shown_row(row), target_row(row), row, width, glyphs, false, writing);
    TerminalCursor cursor_erasing = view.cursor;
    std::string erasing;
    if (draw_row(cursor_erasing, shown_row(row), target_row(row), row, width, glyphs, true,
                 erasing) &&
        cost(erasing) < cost(writing)) {
      writing = std::move(erasing);
      cursor_writing = cursor_erasing;
    }
    out += writing;
    view.cursor = cursor_writing;
    std::copy(target_row(row), target_row(row) + width, shown_row(row));
  }

  if (show) {
    move_cursor(view.cursor, model.cursor(), false, out);
    if (view.cursor_shown != true) {
      vt::show_cursor(out);
      view.cursor_shown = true;
    }
  }
}

std::optional<RowShift> upward_row_shift(Rect source, Coord destination, Coord size) {
  const Rect clipped{std::max(source.left, 0), std::max(source.top, 0),
                     std::min(source.right, size.column - 1),
                     std::min(source.bottom, size.row - 1)};
  if (clipped.left > clipped.right || clipped.top > clipped.bottom) return std::nullopt;
  destination.column += clipped.left - source.left;
  destination.row += clipped.top - source.top;
  const int rows = clipped.top - destination.row;
  if (clipped.left != 0 || clipped.right != size.column - 1 || destination.column != 0 ||
      rows <= 0) {
    return std::nullopt;
  }
  const int top = std::max(destination.row, 0);
  return RowShift{top, clipped.bottom, std::min(rows, clipped.bottom - top + 1)};
}

void shift_view_up(TerminalView& view, RowShift shift, std::string& out) {
  const Coord size = view.size;
  const bool whole_screen = shift.top == 0 && shift.bottom == size.row - 1;
  if (!whole_screen) vt::set_scroll_region(out, shift.top, shift.bottom);
  if (!whole_screen) view.cursor = {};  // DECSTBM homes the cursor
  move_cursor(view.cursor, {0, shift.bottom}, true, out);
  for (int row = 0; row < shift.rows; ++row)
    vt::line_feed(out);
  if (!whole_screen) {
    vt::reset_scroll_region(out);
    view.cursor = {};
  }

  const auto row_start = [&](int row) {
    return view.cells.begin() + static_cast<long>(index_of(size, {0, row}));
  };
  std::copy(row_start(shift.top + shift.rows), row_start(shift.bottom + 1), row_start(shift.top));
  std::fill(row_start(shift.bottom + 1 - shift.rows), row_start(shift.bottom + 1), shown_blank);
}

}  // namespace platform
