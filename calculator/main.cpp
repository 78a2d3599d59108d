// tuplets: where the notes of a tuplet fall in a tracker pattern.
#include <cfenv>
#include <clocale>

#include "calculator/dialogue.h"
#include "console/console.h"
#include "platform/terminal.h"

int main() {
  // Ties go to the even neighbour in every rounding the placement and the range tests rely on.
  std::fesetround(FE_TONEAREST);
  // Character classification and case mapping follow the user's locale; nothing else does.
  std::setlocale(LC_CTYPE, "");

  platform::Terminal terminal;
  Console console;
  console.device = &terminal;
  clear_screen(console);
  write_text(console, "QUV's tuplet calculator for trackers", true);
  for (;;)
    run_calculation(console);
}
