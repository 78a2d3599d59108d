#include "console/line_entry.h"

#include "console/keyboard.h"
#include "console/stream_source.h"
#include "platform/key_codes.h"

namespace {

using platform::KeyCode;

// The cell n text positions after `from` (before it when n is negative), rows of `columns` cells.
TextCell cell_after(TextCell from, int n, int columns) {
  const int index = (from.column - 1) + n;
  int rows_down = index / columns;
  if (index % columns < 0) --rows_down;  // round towards minus infinity
  return {index - rows_down * columns + 1, from.row + rows_down};
}

void hide(Console& console) {
  set_cursor(console, 0, 0, hide_cursor);
}

// Removes `count` characters at the insertion point, redraws the tail moved left over blanks, and
// puts the cursor back on the insertion point's cell.
void delete_characters(Console& console, EditState& state, int count) {
  hide(console);
  state.text.erase(static_cast<std::size_t>(state.pos), static_cast<std::size_t>(count));
  write_raw(console, std::string_view(state.text).substr(static_cast<std::size_t>(state.pos)));
  write_raw(console, std::string(static_cast<std::size_t>(count), ' '));
  set_cursor(console, state.cursor.row, state.cursor.column, keep_visibility);
}

// Inserts `characters` at the insertion point, redraws from there to the end of the text and puts
// the cursor after the new characters, also when the redraw has scrolled the text area.
void insert_characters(Console& console, EditState& state, std::string_view characters) {
  hide(console);
  const TextCell start = state.cursor;
  const int old_length = static_cast<int>(state.text.size());
  const int inserted = static_cast<int>(characters.size());
  state.text.insert(static_cast<std::size_t>(state.pos), characters);
  write_raw(console, std::string_view(state.text).substr(static_cast<std::size_t>(state.pos)));
  const TextCell after_write = cursor_position(console);

  const int tail = old_length - state.pos;
  const TextCell end_of_text = cell_after(start, inserted + tail, state.columns);
  const bool scrolled = end_of_text.row > state.rows + 1 ||
                        (end_of_text.row == state.rows + 1 && end_of_text.column > 1);
  if (tail > 0 && scrolled) {
    // The text area moved up under the text: step back over the old tail from where the write
    // ended.
    state.cursor = after_write;
    move_cursor_by(console, state, -tail);
  } else {
    state.cursor = start;
    move_cursor_by(console, state, inserted);
  }
  state.pos += inserted;
}

// Acts on one key by the editor's key table; keys not in it change nothing.
void act_on_key(Console& console, EditState& state, KeyCode key) {
  const int length = static_cast<int>(state.text.size());
  switch (key) {
    case platform::key_tab:
      insert_characters(console, state,
                        std::string(static_cast<std::size_t>(8 - state.pos % 8), ' '));
      return;
    case platform::key_backspace:
      if (state.pos > 0) {
        move_cursor_by(console, state, -1);
        --state.pos;
        delete_characters(console, state, 1);
      }
      return;
    case platform::key_delete:
      if (state.pos < length) {
        delete_characters(console, state, 1);
      } else {
        beep(console);
      }
      return;
    case platform::key_escape:
      move_cursor_by(console, state, -state.pos);
      state.pos = 0;
      if (length > 0) delete_characters(console, state, length);
      return;
    case platform::key_left:
      if (state.pos > 0) {
        move_cursor_by(console, state, -1);
        --state.pos;
      }
      return;
    case platform::key_right:
      if (state.pos < length) {
        move_cursor_by(console, state, 1);
        ++state.pos;
      }
      return;
    case platform::key_home:
      move_cursor_by(console, state, -state.pos);
      state.pos = 0;
      return;
    case platform::key_end:
      move_cursor_by(console, state, length - state.pos);
      state.pos = length;
      return;
    case platform::key_up:
      if (state.pos >= state.columns) {
        move_cursor_by(console, state, -state.columns);
        state.pos -= state.columns;
      }
      return;
    case platform::key_down:
      if (state.pos + state.columns <= length) {
        move_cursor_by(console, state, state.columns);
        state.pos += state.columns;
      }
      return;
    default:
      if (key >= 32 && key <= 255) {
        const char character = static_cast<char>(key);
        insert_characters(console, state, std::string_view(&character, 1));
      }
      return;
  }
}

bool ends_line(KeyCode key) {
  return key == platform::key_enter || key == platform::key_line_feed;
}

}  // namespace

void move_cursor_by(Console& console, EditState& state, int n) {
  state.cursor = cell_after(state.cursor, n, state.columns);
  // On a stream cursor moves have no effect, and this one must not leave a line end in the output.
  if (!in_stream_mode(console) && state.cursor.row == state.rows + 1 && state.cursor.column == 1) {
    // Just past the bottom-right cell: a line end scrolls the text area and lands on the last row.
    set_cursor(console, state.rows, state.columns, keep_visibility);
    write_raw(console, "\r\n");
    return;
  }
  set_cursor(console, state.cursor.row, state.cursor.column, keep_visibility);
}

std::optional<std::string> edit_line(Console& console) {
  EditState state;
  const ScreenSize size = screen_size(console);
  state.columns = size.columns;
  state.rows = size.rows;
  const bool was_visible = set_cursor(console, 0, 0, show_cursor).was_visible;

  for (;;) {
    state.cursor = cursor_position(console);
    while (!key_waiting(console)) {
      if (console.keyboard_gone) return std::nullopt;
      console.device->wait_for_keys(-1);
    }
    const std::optional<KeyCode> key = take_key(console);
    if (!key) continue;
    act_on_key(console, state, *key);
    set_cursor(console, 0, 0, show_cursor);
    if (ends_line(*key)) break;
  }

  state.cursor = cursor_position(console);
  move_cursor_by(console, state, static_cast<int>(state.text.size()) - state.pos);
  set_cursor(console, 0, 0, was_visible ? show_cursor : hide_cursor);
  return state.text;
}

std::optional<std::string> read_line(Console& console, std::string_view prompt,
                                     bool question_suffix, bool line_end) {
  write_raw(console, {}, true);  // a line end still owed by earlier output comes first
  write_text(console, prompt, false);
  if (question_suffix) write_text(console, "? ", false);
  // A keyboard gets the line editor; a file or a pipe gives its next line, with nothing echoed.
  std::optional<std::string> text = console.device->is_keyboard()
                                        ? edit_line(console)
                                        : take_line(console.stream, *console.device);
  if (!text) return std::nullopt;
  if (line_end) write_text(console, "", true);
  return text;
}
