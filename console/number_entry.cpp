#include "console/number_entry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>
#include <type_traits>

#include "console/line_entry.h"
#include "console/screen.h"
#include "console/stream_source.h"

// Two choices the program makes where the number syntax leaves room:
// - A "nan" item yields the default quiet NaN with the typed sign; a parenthesised payload is read
//   past and not used. A floating item that holds no number at all ("-." for instance) yields +0,
//   like any other text without a number; a typed zero keeps its sign ("-0.0" gives -0).
// - White space before a decimal integer is what isspace() reports under the user's character-type
//   locale (LC_CTYPE), as the C library's strtoul skips it; so whether a byte above 127 counts
//   depends on that locale (in the C and UTF-8 locales none does). The floating route is
//   independent of every locale: it skips only the six ASCII white-space characters and its
//   decimal point is always ".".

namespace {

constexpr int end_of_data = -1;

// --- Collecting an item.

bool is_blank(int c) {
  return c == ' ' || c == '\t';
}

struct LineChars {
  LineSource& source;
  int take() {
    if (source.next >= source.line.size()) return end_of_data;
    return static_cast<unsigned char>(source.line[source.next++]);
  }
  void put_back() {
    if (source.next > 0) --source.next;
  }
};

struct StreamChars {
  StreamSource& source;
  platform::Device& device;
  int take() { return take_byte(source, device); }
  void put_back() { give_back(source); }
};

// After a carriage return: a line feed that follows belongs to the same line end.
template <typename Chars>
void consume_line_feed(Chars& chars) {
  const int after = chars.take();
  if (after != end_of_data && after != '\n') chars.put_back();
}

template <typename Chars>
Item collect_item(Chars chars) {
  Item item;
  int c = chars.take();
  while (is_blank(c))
    c = chars.take();
  if (c == end_of_data) {
    item.data_ended = true;
    return item;
  }

  bool quoted = false;
  bool ampersand = false;
  for (;;) {
    // A line end ends the item even inside quotes, and with it this read.
    if (c == '\n') return item;
    if (c == '\r') {
      consume_line_feed(chars);
      return item;
    }
    if (!quoted && c == ',') return item;
    if (!quoted && is_blank(c)) break;

    if (c == '"') {
      if (quoted) {
        quoted = false;
      } else if (item.text.empty()) {
        quoted = true;
      } else {
        item.text.push_back('"');
      }
    } else if (c == '&') {
      item.text.push_back('&');
      ampersand = true;
    } else if ((c == 'D' || c == 'd') && !ampersand) {
      // D is an exponent letter like E (after "&" it is a hexadecimal digit).
      item.text.push_back(c == 'D' ? 'E' : 'e');
      item.floating = true;
    } else {
      item.text.push_back(static_cast<char>(c));
      if (!ampersand && (c == '.' || c == 'E' || c == 'e' || c == 'D' || c == 'd')) {
        item.floating = true;
      }
    }

    c = chars.take();
    if (item.text.size() == item_limit || c == end_of_data) break;
  }

  // The item ended at a blank, at the length limit or at the end of the data: consume the blanks
  // and the delimiter that follow, so that the next read begins at the next item.
  while (is_blank(c))
    c = chars.take();
  if (c == end_of_data || c == '\n' || c == ',') return item;
  if (c == '\r') {
    consume_line_feed(chars);
    return item;
  }
  chars.put_back();
  return item;
}

// --- Integer routes.

bool is_decimal_digit(char c) {
  return c >= '0' && c <= '9';
}

// The value of a hexadecimal digit, or -1.
int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "&H", "&O", "&B" or "&" and digits of that radix; wraps modulo the width of Unsigned.
template <typename Unsigned>
Unsigned radix_value(std::string_view text) {
  unsigned radix = 8;
  std::size_t digits_at = 1;
  switch (text[1]) {
    case 'H':
    case 'h':
      radix = 16;
      digits_at = 2;
      break;
    case 'O':
    case 'o':
      digits_at = 2;
      break;
    case 'B':
    case 'b':
      radix = 2;
      digits_at = 2;
      break;
    default:
      break;
  }
  Unsigned value = 0;
  for (std::size_t i = digits_at; i < text.size(); ++i) {
    const int digit = hex_digit_value(text[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= radix) break;
    value = static_cast<Unsigned>(value * radix + static_cast<unsigned>(digit));
  }
  return value;
}

// White space, a sign and decimal digits, as strtoul reads them. Items on the integer routes are
// short enough (at most 18 characters) that the digits never exceed the width.
template <typename Unsigned>
Unsigned decimal_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  Unsigned value = 0;
  for (; i < text.size() && is_decimal_digit(text[i]); ++i)
    value = static_cast<Unsigned>(value * 10u + static_cast<unsigned>(text[i] - '0'));
  return negative ? static_cast<Unsigned>(-value) : value;
}

template <typename Signed>
float integer_route(std::string_view item) {
  using Unsigned = std::make_unsigned_t<Signed>;
  const std::size_t start = item.find_first_not_of(' ');
  if (start == std::string_view::npos) return 0.0f;
  const std::string_view text = item.substr(start);
  const Unsigned value = text.size() >= 2 && text[0] == '&' ? radix_value<Unsigned>(text)
                                                            : decimal_value<Unsigned>(text);
  // Read as two's complement, then one rounding straight to binary32.
  return static_cast<float>(static_cast<Signed>(value));
}

// --- Floating route.

bool is_ascii_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether `text` begins with the word, in any mix of ASCII case (no locale involved).
bool starts_with_letters(std::string_view text, std::string_view lower_case_word) {
  if (text.size() < lower_case_word.size()) return false;
  for (std::size_t i = 0; i < lower_case_word.size(); ++i) {
    const char c = text[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != lower_case_word[i]) return false;
  }
  return true;
}

// Exponents beyond this put any non-zero significand far outside the range of binary64.
constexpr std::int64_t exponent_cap = 1'000'000'000;

// An optional sign and decimal digits from `at`. Returns where they end, or `at` when there is no
// digit (the exponent letter is then not part of the number).
std::size_t scan_exponent(std::string_view text, std::size_t at, std::int64_t& exponent) {
  std::size_t i = at;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !is_decimal_digit(text[i])) return at;
  std::int64_t value = 0;
  for (; i < text.size() && is_decimal_digit(text[i]); ++i)
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), exponent_cap);
  exponent = negative ? -value : value;
  return i;
}

// The number at the start of `text` (after any sign), in the form of `format`: digits with an
// optional point, then an optional exponent ("e" for decimal, "p" for hexadecimal).
struct NumberText {
  std::size_t length = 0;  // 0: no number
  // Roughly where the leading non-zero digit stands, in powers of the exponent's base: positive
  // for magnitudes far above 1, negative far below. Decides overflow against underflow.
  std::int64_t scale = 0;
};

NumberText scan_number(std::string_view text, std::chars_format format) {
  const bool hex = format == std::chars_format::hex;
  const auto is_digit = [hex](char c) {
    return hex ? hex_digit_value(c) >= 0 : is_decimal_digit(c);
  };
  const std::int64_t bits_per_digit = hex ? 4 : 1;

  std::size_t i = 0;
  std::int64_t integer_digits = 0;
  std::optional<std::int64_t>
      leading;  // position of the first non-zero digit: 0 units, -1 first fraction
  for (; i < text.size() && is_digit(text[i]); ++i, ++integer_digits) {
    if (!leading && text[i] != '0') leading = integer_digits;
  }
  if (leading) *leading = integer_digits - 1 - *leading;
  std::int64_t fraction_digits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && is_digit(text[i]); ++i) {
      ++fraction_digits;
      if (!leading && text[i] != '0') leading = -fraction_digits;
    }
  }
  if (integer_digits == 0 && fraction_digits == 0) return {};

  std::int64_t exponent = 0;
  const std::string_view exponent_letters = hex ? "pP" : "eE";
  if (i < text.size() && exponent_letters.find(text[i]) != std::string_view::npos) {
    const std::size_t after = scan_exponent(text, i + 1, exponent);
    if (after > i + 1) i = after;
  }
  return {i, leading.value_or(0) * bits_per_digit + exponent};
}

// The magnitude of the number at the start of `text`, correctly rounded to binary64; nullopt when
// `text` does not begin with one.
std::optional<double> scan_magnitude(std::string_view text) {
  if (starts_with_letters(text, "inf")) return std::numeric_limits<double>::infinity();

  std::chars_format format = std::chars_format::general;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    // "0x" without a hexadecimal number after it is read as the 0 before the x.
    const NumberText hex = scan_number(text.substr(2), std::chars_format::hex);
    if (hex.length > 0) {
      text = text.substr(2);
      format = std::chars_format::hex;
    }
  }
  const NumberText number = scan_number(text, format);
  if (number.length == 0) return std::nullopt;

  // from_chars reads exactly this text, in no locale, rounding to nearest with ties to even; out
  // of range it leaves the value alone and the scale tells overflow from underflow.
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + number.length, value, format);
  if (result.ec == std::errc::result_out_of_range) {
    return number.scale >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

float floating_route(std::string_view item) {
  std::size_t i = 0;
  while (i < item.size() && is_ascii_space(item[i]))
    ++i;
  bool negative = false;
  if (i < item.size() && (item[i] == '+' || item[i] == '-')) {
    negative = item[i] == '-';
    ++i;
  }
  const std::string_view text = item.substr(i);

  double value = 0.0;
  if (starts_with_letters(text, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (const std::optional<double> magnitude = scan_magnitude(text)) {
    value = *magnitude;
  } else {
    return 0.0f;
  }
  // The second rounding, binary64 to binary32: deliberately separate from the first.
  return static_cast<float>(negative ? -value : value);
}

}  // namespace

Item next_item(LineSource& source) {
  return collect_item(LineChars{source});
}

Item next_item(StreamSource& source, platform::Device& device) {
  return collect_item(StreamChars{source, device});
}

float convert_item(std::string_view item, bool floating) {
  if (floating) return floating_route(item);
  // Up to 9 decimal characters always fit 32 bits and up to 18 always fit 64 bits; radix forms
  // wrap in 64 bits.
  if (item.size() <= 9) return integer_route<std::int32_t>(item);
  if (item.size() <= 18 || item.front() == '&') return integer_route<std::int64_t>(item);
  return floating_route(item);
}

float parse_number(std::string_view line) {
  LineSource source{line};
  const Item item = next_item(source);
  return convert_item(item.text, item.floating);
}

std::optional<float> read_number(Console& console, std::string_view prompt) {
  start_console(console);
  if (console.device->is_keyboard()) {
    const std::optional<std::string> line = read_line(console, prompt, true, true);
    if (!line) return std::nullopt;
    return parse_number(*line);
  }
  const Item item = next_item(console.stream, *console.device);
  if (item.data_ended) return std::nullopt;
  return convert_item(item.text, item.floating);
}
