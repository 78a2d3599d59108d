#include "console/keyboard.h"

namespace {

constexpr int queue_capacity = KeyQueue::slots - 1;

int queued(const KeyQueue& queue) {
  return (queue.next_free - queue.oldest + KeyQueue::slots) % KeyQueue::slots;
}

}  // namespace

void poll_keyboard(Console& console) {
  if (console.keyboard_gone) return;
  KeyQueue& queue = console.keys;
  const int room = queue_capacity - queued(queue);
  std::array<platform::KeyCode, queue_capacity> arrived;
  const int count = console.device->read_keys(arrived.data(), room);
  if (count < 0) {
    console.keyboard_gone = true;
    return;
  }
  for (int i = 0; i < count; ++i) {
    queue.codes[static_cast<std::size_t>(queue.next_free)] = arrived[static_cast<std::size_t>(i)];
    queue.next_free = (queue.next_free + 1) % KeyQueue::slots;
  }
}

bool key_waiting(Console& console) {
  poll_keyboard(console);
  return queued(console.keys) > 0;
}

std::optional<platform::KeyCode> take_key(Console& console) {
  poll_keyboard(console);
  KeyQueue& queue = console.keys;
  if (queued(queue) == 0) return std::nullopt;
  const platform::KeyCode code = queue.codes[static_cast<std::size_t>(queue.oldest)];
  queue.oldest = (queue.oldest + 1) % KeyQueue::slots;
  return code;
}
