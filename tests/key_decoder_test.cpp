// Terminal bytes to key codes: every key a terminal sends, fed whole and split at every byte, and
// what broken, cut-short and unknown input must never do (insert a character, swallow a key,
// stick).
#include "platform/key_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/key_codes.h"

namespace {

using namespace platform;

// One code per byte at most is what lets the terminal read no more bytes than it has room for.
static_assert(
    std::is_same_v<decltype(decode_byte(std::declval<KeyDecoder&>(), 0)), std::optional<KeyCode>>);
static_assert(escape_quiet_ms > 0 && escape_quiet_ms <= 50);

struct Settings {
  bool utf8 = true;
  unsigned char erase = 0x7F;
};
constexpr Settings latin{false, 0x7F};

// Stands in the expected codes for "some code the line editor ignores": an extended code that is
// none of its editing keys.
constexpr KeyCode ignored = -1;

bool is_editing_key(KeyCode code) {
  for (KeyCode key : {key_delete, key_left, key_right, key_home, key_end, key_up, key_down}) {
    if (code == key) return true;
  }
  return false;
}

bool matches(const std::vector<KeyCode>& expected, const std::vector<KeyCode>& actual) {
  if (expected.size() != actual.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == ignored ? actual[i] <= 255 || is_editing_key(actual[i])
                               : expected[i] != actual[i])
      return false;
  }
  return true;
}

std::string shown(const std::vector<KeyCode>& codes) {
  std::string text = "{";
  for (KeyCode code : codes) {
    char number[16];
    std::snprintf(number, sizeof number, code == ignored ? " ignored" : " 0x%X", code);
    text += number;
  }
  return text + " }";
}

void feed(KeyDecoder& decoder, std::string_view bytes, std::vector<KeyCode>& codes) {
  for (char byte : bytes) {
    if (auto code = decode_byte(decoder, static_cast<unsigned char>(byte))) codes.push_back(*code);
  }
}

void finish(KeyDecoder& decoder, std::vector<KeyCode>& codes) {
  if (auto code = decode_quiet(decoder)) codes.push_back(*code);
  EXPECT_FALSE(decode_pending(decoder));
}

// The bytes read in one go, then a quiet keyboard.
std::vector<KeyCode> decode_whole(Settings settings, std::string_view bytes) {
  KeyDecoder decoder = make_key_decoder(settings.utf8, settings.erase);
  std::vector<KeyCode> codes;
  feed(decoder, bytes, codes);
  finish(decoder, codes);
  return codes;
}

// The bytes in two reads split at `split`, the way the terminal meets them: between the reads it
// asks whether a key is pending and keeps the decoder (a plain record) for the next read.
std::vector<KeyCode> decode_split(Settings settings, std::string_view bytes, std::size_t split) {
  KeyDecoder first = make_key_decoder(settings.utf8, settings.erase);
  std::vector<KeyCode> codes;
  for (std::size_t i = 0; i < split; ++i) {
    feed(first, bytes.substr(i, 1), codes);
    (void)decode_pending(first);
  }
  const bool pending = decode_pending(first);
  KeyDecoder second = first;
  EXPECT_EQ(decode_pending(second), pending);
  feed(second, bytes.substr(split), codes);
  finish(second, codes);
  return codes;
}

struct Case {
  const char* name;
  std::string bytes;
  std::vector<KeyCode> codes;
  Settings settings = {};
};

std::string esc(std::string_view rest) {
  std::string bytes(1, '\x1b');
  bytes += rest;
  return bytes;
}

// One key each: the sequences terminals send.
const std::vector<Case>& key_cases() {
  static const std::vector<Case> cases = {
      // Arrows, both forms; Shift acts as the key alone, Ctrl and Alt are other keys.
      {"Up", esc("[A"), {key_up}},
      {"Down", esc("[B"), {key_down}},
      {"Right", esc("[C"), {key_right}},
      {"Left", esc("[D"), {key_left}},
      {"Up SS3", esc("OA"), {key_up}},
      {"Down SS3", esc("OB"), {key_down}},
      {"Right SS3", esc("OC"), {key_right}},
      {"Left SS3", esc("OD"), {key_left}},
      {"Shift+Left", esc("[1;2D"), {key_left}},
      {"Shift+Up", esc("[1;2A"), {key_up}},
      {"Ctrl+Left", esc("[1;5D"), {key_ctrl_left}},
      {"Ctrl+Right", esc("[1;5C"), {key_ctrl_right}},
      {"Ctrl+Up", esc("[1;5A"), {key_ctrl_up}},
      {"Ctrl+Down", esc("[1;5B"), {key_ctrl_down}},
      {"Ctrl+Shift+Left", esc("[1;6D"), {key_ctrl_left}},
      {"Alt+Left", esc("[1;3D"), {extended_key(0x9B)}},
      {"Alt+Shift+Left", esc("[1;4D"), {extended_key(0x9B)}},
      {"Ctrl+Alt+Left", esc("[1;7D"), {extended_key(0x9B)}},
      {"Meta+Left", esc("[1;9D"), {extended_key(0x9B)}},
      {"Alt+Up", esc("[1;3A"), {extended_key(0x98)}},
      {"Alt+Down", esc("[1;3B"), {extended_key(0xA0)}},
      {"Alt+Right", esc("[1;3C"), {extended_key(0x9D)}},
      {"Super+Left", esc("[1;17D"), {ignored}},
      {"Ctrl+Left, modifier first", esc("[5D"), {key_ctrl_left}},
      {"Ctrl+Left, SS3 with modifier", esc("O5D"), {key_ctrl_left}},
      {"Shift+Up, SS3 with modifier", esc("O2A"), {key_up}},
      {"Up with parameter 1", esc("[1A"), {key_up}},
      {"Shift+Up, rxvt", esc("[a"), {key_up}},
      {"Shift+Left, rxvt", esc("[d"), {key_left}},
      {"Ctrl+Up, rxvt", esc("Oa"), {key_ctrl_up}},
      {"Ctrl+Right, rxvt", esc("Oc"), {key_ctrl_right}},
      {"Alt+Up, rxvt", esc("\x1b[A"), {extended_key(0x98)}},
      {"Alt+Delete, rxvt", esc("\x1b[3~"), {extended_key(0xA3)}},
      {"Alt+F1, rxvt", esc("\x1bOP"), {extended_key(0x68)}},
      // Home, End, Delete in all their forms.
      {"Home CSI H", esc("[H"), {key_home}},
      {"Home SS3 H", esc("OH"), {key_home}},
      {"Home 1~", esc("[1~"), {key_home}},
      {"Home 7~", esc("[7~"), {key_home}},
      {"End CSI F", esc("[F"), {key_end}},
      {"End SS3 F", esc("OF"), {key_end}},
      {"End 4~", esc("[4~"), {key_end}},
      {"End 8~", esc("[8~"), {key_end}},
      {"Delete", esc("[3~"), {key_delete}},
      {"Shift+Home", esc("[1;2H"), {key_home}},
      {"Shift+Delete", esc("[3;2~"), {key_delete}},
      {"Shift+Delete, rxvt", esc("[3$"), {key_delete}},
      {"Ctrl+Home", esc("[1;5H"), {key_ctrl_home}},
      {"Ctrl+End", esc("[1;5F"), {key_ctrl_end}},
      {"Ctrl+Home, rxvt", esc("[7^"), {key_ctrl_home}},
      {"Ctrl+Shift+End, rxvt", esc("[8@"), {key_ctrl_end}},
      {"Ctrl+Delete", esc("[3;5~"), {extended_key(0x93)}},
      {"Ctrl+Delete, rxvt", esc("[3^"), {extended_key(0x93)}},
      {"Alt+Delete", esc("[3;3~"), {extended_key(0xA3)}},
      {"Alt+Home", esc("[1;3H"), {extended_key(0x97)}},
      // Keys the editor ignores.
      {"Insert", esc("[2~"), {key_insert}},
      {"Shift+Insert", esc("[2;2~"), {key_insert}},
      {"Page Up", esc("[5~"), {key_page_up}},
      {"Page Down", esc("[6~"), {key_page_down}},
      {"Ctrl+Page Up", esc("[5;5~"), {extended_key(0x84)}},
      {"Shift+Tab", esc("[Z"), {key_shift_tab}},
      {"F1 SS3", esc("OP"), {key_f1}},
      {"F2 SS3", esc("OQ"), {extended_key(0x3C)}},
      {"F3 SS3", esc("OR"), {extended_key(0x3D)}},
      {"F4 SS3", esc("OS"), {extended_key(0x3E)}},
      {"F1 11~", esc("[11~"), {key_f1}},
      {"F4 14~", esc("[14~"), {extended_key(0x3E)}},
      {"F5", esc("[15~"), {extended_key(0x3F)}},
      {"F6", esc("[17~"), {extended_key(0x40)}},
      {"F10", esc("[21~"), {extended_key(0x44)}},
      {"F11", esc("[23~"), {key_f11}},
      {"F12", esc("[24~"), {key_f12}},
      {"Shift+F1", esc("[1;2P"), {extended_key(0x54)}},
      {"Ctrl+F1 SS3", esc("O5P"), {extended_key(0x5E)}},
      {"Alt+F12", esc("[24;3~"), {extended_key(0x8C)}},
      {"Ctrl+F5", esc("[15;5~"), {extended_key(0x62)}},
      {"F13", esc("[25~"), {ignored}},
      {"F1 Linux console", esc("[[A"), {key_f1}},
      {"F5 Linux console", esc("[[E"), {extended_key(0x3F)}},
      {"Linux console, unknown", esc("[[Z"), {ignored}},
      {"Keypad 5 CSI E", esc("[E"), {key_keypad_5}},
      {"Keypad 5 SS3 E", esc("OE"), {key_keypad_5}},
      {"Keypad 5 CSI G", esc("[G"), {key_keypad_5}},
      {"Paste start", esc("[200~"), {ignored}},
      {"Focus in", esc("[I"), {ignored}},
      {"Device attributes", esc("[?1;2c"), {ignored}},
      {"Mouse report", esc("[<0;10;5M"), {ignored}},
      {"Sub-parameters", esc("[1:2A"), {ignored}},
      {"Three parameters", esc("[1;5;2A"), {ignored}},
      {"Intermediate", esc("[1 q"), {ignored}},
      {"Huge parameter", esc("[99999999999999~"), {ignored}},
      {"SS3 unknown", esc("Oz"), {ignored}},
      {"Modifier 0", esc("[1;0D"), {key_left}},
      // The keypad in application mode carries its characters.
      {"Keypad Enter", esc("OM"), {key_enter}},
      {"Ctrl+keypad Enter", esc("O5M"), {key_line_feed}},
      {"Alt+keypad Enter", esc("O3M"), {extended_key(0xA6)}},
      {"Keypad 0", esc("Op"), {'0'}},
      {"Keypad 5", esc("Ou"), {'5'}},
      {"Keypad 9", esc("Oy"), {'9'}},
      {"Keypad *", esc("Oj"), {'*'}},
      {"Keypad +", esc("Ok"), {'+'}},
      {"Keypad ,", esc("Ol"), {','}},
      {"Keypad -", esc("Om"), {'-'}},
      {"Keypad .", esc("On"), {'.'}},
      {"Keypad /", esc("Oo"), {'/'}},
      {"Keypad =", esc("OX"), {'='}},
      {"Ctrl+keypad 1", esc("O5q"), {ignored}},
      // Esc alone and Alt with a key.
      {"Esc", esc(""), {key_escape}},
      {"Alt+A", esc("a"), {extended_key(0x1E)}},
      {"Alt+Shift+A", esc("A"), {extended_key(0x1E)}},
      {"Alt+Q", esc("q"), {extended_key(0x10)}},
      {"Alt+M", esc("m"), {extended_key(0x32)}},
      {"Alt+1", esc("1"), {extended_key(0x78)}},
      {"Alt+0", esc("0"), {extended_key(0x81)}},
      {"Alt+=", esc("="), {extended_key(0x83)}},
      {"Alt+/", esc("/"), {extended_key(0x35)}},
      {"Alt+Space", esc(" "), {ignored}},
      {"Alt+[", esc("["), {extended_key(0x1A)}},
      {"Alt+O", esc("O"), {extended_key(0x18)}},
      {"Alt+Esc", esc("\x1b"), {key_alt_escape}},
      {"Alt+Backspace", esc("\x7f"), {key_alt_backspace}},
      {"Alt+Ctrl+H", esc("\x08"), {key_alt_backspace}},
      {"Alt+Enter", esc("\r"), {key_alt_enter}},
      {"Alt+Tab", esc("\t"), {key_shift_tab}},
      {"Alt+Ctrl+A", esc("\x01"), {ignored}},
      {"Alt+e acute", esc("\xC3\xA9"), {ignored}},
      {"Alt+euro", esc("\xE2\x82\xAC"), {ignored}},
      {"Alt+byte 233", esc("\xE9"), {ignored}, latin},
      // Characters.
      {"e acute", "\xC3\xA9", {0x82}},
      {"sharp s", "\xC3\x9F", {0xE1}},
      {"no-break space", "\xC2\xA0", {0xFF}},
      {"light shade", "\xE2\x96\x91", {0xB0}},
      {"house", "\xE2\x8C\x82", {127}},
      {"euro, no glyph", "\xE2\x82\xAC", {}},
      {"CJK, no glyph", "\xE4\xB8\xAD", {}},
      {"note, four bytes, no glyph", "\xF0\x9F\x8E\xB5", {}},
      {"highest code point, no glyph", "\xF4\x8F\xBF\xBF", {}},
      {"C1 control, no glyph", "\xC2\x85", {}},
      // Glyphs of control bytes: the text cannot hold them, and they must not act as keys.
      {"left arrow glyph is not Esc", "\xE2\x86\x90", {}},
      {"eighth note glyph is not Enter", "\xE2\x99\xAA", {}},
      {"inverse bullet glyph is not Backspace", "\xE2\x97\x98", {}},
  };
  return cases;
}

// Plain bytes, several keys in a row, malformed and broken input, and the settings.
const std::vector<Case>& mixed_cases() {
  static const std::vector<Case> cases = {
      {"empty", "", {}},
      {"letters", "aZ~ 0", {'a', 'Z', '~', ' ', '0'}},
      {"Backspace as DEL", "\x7f", {key_backspace}},
      {"Backspace as Ctrl+H", "\x08", {key_backspace}},
      {"Tab", "\t", {key_tab}},
      {"Enter", "\r", {key_enter}},
      {"Ctrl+J", "\n", {key_line_feed}},
      {"other control bytes",
       std::string("\x00\x01\x04\x0b\x0c\x1a\x1c\x1f", 8),
       {0, 1, 4, 11, 12, 26, 28, 31}},
      {"text with keys", "1" + esc("[D") + "2\r", {'1', key_left, '2', key_enter}},
      {"characters around a sequence",
       "\xC3\xA9" + esc("[3~") + "\xC3\xA9",
       {0x82, key_delete, 0x82}},
      {"a paste of arrows",
       esc("[A") + esc("[B") + esc("OC") + esc("OD"),
       {key_up, key_down, key_right, key_left}},
      {"Esc Esc Esc: Esc", esc("\x1b\x1b"), {key_escape}},
      {"Esc Esc Esc Esc: Alt+Esc", esc("\x1b\x1b\x1b"), {key_alt_escape}},
      {"Esc Esc then a letter: the letter", esc("\x1b") + "a", {'a'}},
      // Sequences broken by a byte that cannot be part of them: the byte stands.
      {"CSI broken by Enter", esc("[1;5") + "\r", {key_enter}},
      {"CSI broken by a sequence", esc("[1") + esc("[A"), {key_up}},
      {"CSI broken by DEL", esc("[") + "\x7f", {key_backspace}},
      {"CSI broken by a character", esc("[2") + "\xC3\xA9", {0x82}},
      {"CSI broken by Esc, then Esc", esc("[") + esc(""), {key_escape}},
      {"SS3 broken by Tab", esc("O") + "\t", {key_tab}},
      {"SS3 with a parameter broken by Enter", esc("O5") + "\r", {key_enter}},
      {"Linux console broken by Enter", esc("[[") + "\r", {key_enter}},
      // Sequences cut short by a quiet keyboard give no character.
      {"CSI cut short", esc("[1;5"), {}},
      {"SS3 cut short", esc("O5"), {}},
      {"Linux console cut short", esc("[["), {}},
      {"rxvt Alt prefix cut short", esc("\x1b["), {}},
      // Overlong sequences are dropped whole, and what follows is decoded as usual.
      {"overlong CSI", esc("[" + std::string(100, '1') + "A") + "b", {'b'}},
      {"overlong CSI of separators", esc("[" + std::string(40, ';') + "~") + esc("[A"), {key_up}},
      {"overlong CSI broken", esc("[" + std::string(40, '2')) + "\r", {key_enter}},
      {"overlong SS3", esc("O" + std::string(30, '5') + "P") + "c", {'c'}},
      // Malformed UTF-8: no code for the broken part, and the byte that broke it stands.
      {"stray continuation", "\x80", {}},
      {"stray continuations then a letter", "\xA9\xBFz", {'z'}},
      {"overlong slash, C0", "\xC0\xAF", {}},
      {"overlong, C1", "\xC1\xBF", {}},
      {"overlong, three bytes", "\xE0\x80\xAF", {}},
      {"overlong, four bytes", "\xF0\x80\x80\xAF", {}},
      {"surrogate", "\xED\xA0\x80", {}},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {}},
      {"never a lead byte", "\xF5\x80\x80\x80\xFF\xFE", {}},
      {"truncated by a letter", "\xC3z", {'z'}},
      {"truncated three-byte by a letter", "\xE2\x96z", {'z'}},
      {"truncated by Enter", "\xE2\x96\r", {key_enter}},
      {"truncated by a sequence", "\xC3" + esc("[A"), {key_up}},
      {"truncated by a character", "\xC3\xC3\xA9", {0x82}},
      {"truncated by the end", "\xF0\x9F\x8E", {}},
      {"Alt with a broken character", esc("\xC3") + "a", {'a'}},
      {"Alt with a stray byte", esc("\x80") + "a", {'a'}},
      // One byte one character when the character set is not UTF-8.
      {"bytes 128 to 255", "\x80\xC3\xA9\xFF", {0x80, 0xC3, 0xA9, 0xFF}, latin},
      {"DEL without UTF-8", "\x7f", {key_backspace}, latin},
      {"sequence without UTF-8", "\xE9" + esc("[D"), {0xE9, key_left}, latin},
      // The terminal's erase character.
      {"erase ^H: DEL still erases", "\x7f\x08", {key_backspace, key_backspace}, {true, 0x08}},
      {"erase #", "a#", {'a', key_backspace}, {true, '#'}},
      {"erase #: Alt+#", esc("#"), {key_alt_backspace}, {true, '#'}},
      {"erase ^U", "\x15", {key_backspace}, {true, 0x15}},
      {"erase disabled: byte 0 is Ctrl+@", std::string(1, '\0'), {0}, {true, 0}},
      {"erase Esc is not honoured", esc("[A"), {key_up}, {true, 0x1B}},
      {"erase Enter is not honoured", "\r", {key_enter}, {true, '\r'}},
      {"erase byte 233 without UTF-8", "\xE9", {key_backspace}, {false, 0xE9}},
      {"erase byte 195 not honoured with UTF-8", "\xC3\xA9", {0x82}, {true, 0xC3}},
  };
  return cases;
}

void expect_decodes(const Case& c) {
  SCOPED_TRACE(c.name);
  const std::vector<KeyCode> whole = decode_whole(c.settings, c.bytes);
  EXPECT_TRUE(matches(c.codes, whole)) << "expected " << shown(c.codes) << ", got " << shown(whole);
  for (std::size_t split = 0; split <= c.bytes.size(); ++split) {
    EXPECT_EQ(decode_split(c.settings, c.bytes, split), whole) << "split at " << split;
  }
}

TEST(KeyDecoder, KeysWholeAndSplitAtEveryByte) {
  for (const Case& c : key_cases())
    expect_decodes(c);
}

TEST(KeyDecoder, MixedInputWholeAndSplitAtEveryByte) {
  for (const Case& c : mixed_cases())
    expect_decodes(c);
}

TEST(KeyDecoder, EscThenQuietThenBytesAreSeparateKeys) {
  KeyDecoder decoder = make_key_decoder(true, 0x7F);
  EXPECT_EQ(decode_byte(decoder, 0x1B), std::nullopt);
  EXPECT_TRUE(decode_pending(decoder));
  EXPECT_EQ(decode_quiet(decoder), key_escape);
  EXPECT_FALSE(decode_pending(decoder));
  EXPECT_EQ(decode_quiet(decoder), std::nullopt);
  EXPECT_EQ(decode_byte(decoder, '['), '[');
  EXPECT_EQ(decode_byte(decoder, 'A'), 'A');
}

TEST(KeyDecoder, PendingExactlyWhileAKeyIsUnfinished) {
  struct Step {
    std::string bytes;
    bool pending;
  };
  const Step steps[] = {{"a", false},        {esc(""), true},       {esc("["), true},
                        {esc("[1;"), true},  {esc("[1;5D"), false}, {esc("O"), true},
                        {esc("[["), true},   {esc("\x1b"), true},   {"\xC3", true},
                        {"\xC3\xA9", false}, {"\x80", false},       {"\xED\xA0", false},
                        {"\xE0\x80", false}, {"\xF4\x90", false},   {esc("a"), false}};
  for (const Step& step : steps) {
    KeyDecoder decoder = make_key_decoder(true, 0x7F);
    std::vector<KeyCode> codes;
    feed(decoder, step.bytes, codes);
    EXPECT_EQ(decode_pending(decoder), step.pending) << shown(codes);
  }
}

// Every proper beginning of a key's sequence, the keyboard then falling quiet, gives no character:
// a lone Esc is Esc, and anything longer gives at most one code the editor ignores.
TEST(KeyDecoder, CutShortSequencesGiveNoCharacter) {
  for (const Case& c : key_cases()) {
    for (std::size_t length = 1; length < c.bytes.size(); ++length) {
      const std::string prefix = c.bytes.substr(0, length);
      const std::vector<KeyCode> codes = decode_whole(c.settings, prefix);
      SCOPED_TRACE(std::string(c.name) + ", first " + std::to_string(length) + " bytes");
      if (prefix == "\x1b") {
        EXPECT_EQ(codes, std::vector<KeyCode>{key_escape});
      } else {
        EXPECT_LE(codes.size(), 1u);
        for (KeyCode code : codes)
          EXPECT_TRUE(code > 255 && !is_editing_key(code)) << code;
      }
    }
  }
}

// Every proper beginning of a key's sequence, broken by a byte that cannot continue it, gives
// exactly that byte's key: nothing from the broken part, and nothing swallowed.
TEST(KeyDecoder, BrokenSequencesKeepTheByteThatBrokeThem) {
  const std::pair<std::string, KeyCode> breakers[] = {
      {"\r", key_enter}, {"\x7f", key_backspace}, {"\xC3\xA9", 0x82}, {esc("[D"), key_left}};
  for (const Case& c : key_cases()) {
    if (!c.settings.utf8) continue;
    // After a lone Esc these bytes are Alt with a key, so breaking starts after two bytes.
    const std::size_t first = c.bytes[0] == '\x1b' ? 2 : 1;
    for (std::size_t length = first; length < c.bytes.size(); ++length) {
      for (const auto& [breaker, code] : breakers) {
        SCOPED_TRACE(std::string(c.name) + ", first " + std::to_string(length) + " bytes");
        EXPECT_EQ(decode_whole(c.settings, c.bytes.substr(0, length) + breaker),
                  std::vector<KeyCode>{code});
      }
    }
  }
}

// Escape sequences that name no key of the editor, of every shape: Esc [ with parameters,
// intermediates and every final byte, Esc O, the Linux console's Esc [ [, each with an Alt prefix,
// and Esc before every byte. None may give a character or a control code: nothing is inserted and
// no editing key other than the one named fires.
TEST(KeyDecoder, NoSequenceOutsideTheKeyTableGivesACharacter) {
  const std::string_view parameters[] = {"",      "1",         "2",  "1;2",    "1;5",
                                         "3;3",   "15;2",      "?1", "<0;1;1", "1:2",
                                         "1;2;3", "999999999", "5",  ";",      "24;16"};
  const std::string_view intermediates[] = {"", " ", "!", "$", "'", "\""};
  const std::string_view keypad_finals = "MIXjklmnopqrstuvwxy";
  std::vector<std::string> sequences;
  for (int final_byte = 0x40; final_byte <= 0x7E; ++final_byte) {
    const std::string final_text(1, static_cast<char>(final_byte));
    for (std::string_view p : parameters) {
      for (std::string_view i : intermediates) {
        // rxvt ends its Shift sequences in '$' after the key's number: Esc [ 2 $ is Shift+Insert.
        const bool rxvt_shift =
            i == "$" && !p.empty() && p.find_first_not_of("0123456789") == std::string_view::npos;
        if (rxvt_shift) continue;
        sequences.push_back(esc("[").append(p).append(i).append(final_text));
      }
    }
    sequences.push_back(esc("[[").append(final_text));
    if (keypad_finals.find(static_cast<char>(final_byte)) == std::string_view::npos) {
      for (std::string_view p : {"", "2", "5", "1;3"}) {
        sequences.push_back(esc("O").append(p).append(final_text));
      }
    }
  }
  const std::size_t unprefixed = sequences.size();
  for (std::size_t i = 0; i < unprefixed; ++i)
    sequences.push_back(esc(sequences[i]));
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '[' && byte != 'O' && byte != 0x1B) {
      sequences.push_back(esc(std::string(1, static_cast<char>(byte))));
    }
  }

  int checked = 0;
  for (const std::string& sequence : sequences) {
    for (bool utf8 : {true, false}) {
      const std::vector<KeyCode> codes = decode_whole({utf8, 0x7F}, sequence);
      ASSERT_LE(codes.size(), 1u) << sequence;
      for (KeyCode code : codes)
        ASSERT_GT(code, 255) << sequence;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

// Random bytes rich in the pieces of sequences: the decoder never sticks (after a quiet keyboard
// nothing is pending and a letter is a letter), and splitting the bytes changes nothing.
TEST(KeyDecoder, RandomInputNeverSticks) {
  const std::string alphabet = std::string("\x1b\x1b\x1b[[O;;12356789~$^@ADHFPZMapqa\r\x7f\t\x01") +
                               "\x80\xA9\xC3\xE2\x96\xF0\x9F\xED\xFF";
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i)
      bytes += alphabet[random() % alphabet.size()];
    for (bool utf8 : {true, false}) {
      const Settings settings{utf8, 0x7F};
      KeyDecoder decoder = make_key_decoder(utf8, 0x7F);
      std::vector<KeyCode> codes;
      feed(decoder, bytes, codes);
      finish(decoder, codes);
      ASSERT_LE(codes.size(), bytes.size());
      ASSERT_EQ(decode_byte(decoder, 'z'), 'z');
      const std::size_t split = random() % (bytes.size() + 1);
      ASSERT_EQ(decode_split(settings, bytes, split), decode_whole(settings, bytes));
    }
  }
}

}  // namespace
