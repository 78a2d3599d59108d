#include "calculator/placement.h"

#include <cmath>

// Placeholder until the placement is built.
std::int16_t round_to_int16(double value) {
  if (!(value > -32768.5 && value < 32767.5)) return -32768;
  return static_cast<std::int16_t>(std::nearbyint(value));
}

std::int16_t round_to_int16(long double value) {
  return round_to_int16(static_cast<double>(value));
}

std::string decimal_text(int value) {
  return std::to_string(value);
}

std::string hex_text(int value) {
  static constexpr char digits[] = "0123456789ABCDEF";
  unsigned bits = static_cast<unsigned>(value) & 0xFFFFu;
  std::string text;
  do {
    text.insert(text.begin(), digits[bits % 16]);
    bits /= 16;
  } while (bits != 0);
  return text;
}

std::string position_line(float rows, float notes, float ticks) {
  std::string line = "0:0 ";
  const double step = static_cast<double>(rows) / notes;
  double position = 0;
  for (;;) {
    position += step;
    const int nearest = round_to_int16(position);
    if (nearest == rows || position > rows) break;
    const int row = static_cast<int>(std::floor(position));
    const int tick = static_cast<int>(std::nearbyint((position - row) * ticks));
    if (tick == ticks) {
      line += decimal_text(row + 1) + ":0 ";
    } else {
      line += decimal_text(row) + ":" + hex_text(tick) + " ";
    }
  }
  return line;
}
