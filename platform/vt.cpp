#include "platform/vt.h"

namespace platform::vt {
namespace {

constexpr char escape = '\x1b';

// A control sequence introducer and its parameters, left out where they are the default 1.
void control_sequence(std::string& out, int count, char final_byte) {
  out.push_back(escape);
  out.push_back('[');
  if (count != 1) out += std::to_string(count);
  out.push_back(final_byte);
}

}  // namespace

void move_cursor_to(std::string& out, Coord cell) {
  out.push_back(escape);
  out.push_back('[');
  if (cell.row != 0 || cell.column != 0) out += std::to_string(cell.row + 1);
  if (cell.column != 0) {
    out.push_back(';');
    out += std::to_string(cell.column + 1);
  }
  out.push_back('H');
}

void move_cursor_up(std::string& out, int count) {
  control_sequence(out, count, 'A');
}

void move_cursor_down(std::string& out, int count) {
  control_sequence(out, count, 'B');
}

void move_cursor_right(std::string& out, int count) {
  control_sequence(out, count, 'C');
}

void move_cursor_left(std::string& out, int count) {
  control_sequence(out, count, 'D');
}

void carriage_return(std::string& out) {
  out.push_back('\r');
}

void line_feed(std::string& out) {
  out.push_back('\n');
}

void backspace(std::string& out) {
  out.push_back('\b');
}

void erase_to_end_of_row(std::string& out) {
  out += "\x1b[K";
}

void erase_to_end_of_screen(std::string& out) {
  out += "\x1b[J";
}

void show_cursor(std::string& out) {
  out += show_cursor_bytes;
}

void hide_cursor(std::string& out) {
  out += "\x1b[?25l";
}

void set_scroll_region(std::string& out, int top, int bottom) {
  out.push_back(escape);
  out.push_back('[');
  out += std::to_string(top + 1);
  out.push_back(';');
  out += std::to_string(bottom + 1);
  out.push_back('r');
}

void reset_scroll_region(std::string& out) {
  out += "\x1b[r";
}

void bell(std::string& out) {
  out.push_back('\a');
}

}  // namespace platform::vt
