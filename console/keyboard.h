// Keyboard reading: key codes from the platform's keyboard, kept in the key queue until the line
// editor takes them. Keys typed ahead of a question stay queued for it.
#pragma once

#include <optional>

#include "console/console.h"

// Moves waiting keys into the queue, as many as it has room for; the rest wait at the keyboard, so
// that nothing typed or pasted is lost.
void poll_keyboard(Console& console);

// Polls, then says whether a key is queued.
bool key_waiting(Console& console);

// Polls, then takes the oldest queued key; none when the queue is empty.
std::optional<platform::KeyCode> take_key(Console& console);
