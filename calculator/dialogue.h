// The calculator's dialogue: one calculation after another, each asking for rows, notes and ticks
// per row, writing where the notes fall and asking whether to go on.
#pragma once

#include "console/console.h"

// One calculation, from its empty line to the accepted yes/no answer. Returns on "Y"; on "N", or
// when the input has ended, it ends the program.
void run_calculation(Console& console);

// Ends the process with exit status 0, writing nothing on the way out.
[[noreturn]] void end_program();
