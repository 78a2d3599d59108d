#include "console/stream_source.h"

int take_byte(StreamSource& source, platform::Device& device) {
  if (source.next == source.end) {
    if (source.ended) return -1;
    const long count = device.read_stream(source.buffer.data(), source.buffer.size());
    if (count <= 0) {
      source.ended = true;
      return -1;
    }
    source.next = 0;
    source.end = static_cast<std::size_t>(count);
  }
  return static_cast<unsigned char>(source.buffer[source.next++]);
}

void give_back(StreamSource& source) {
  // After the end of the data no byte was taken, and stepping back would deliver a stale one again.
  if (source.ended && source.next == source.end) return;
  // The byte just taken is still in the buffer: a refill only happens when the buffer is used up,
  // and the byte it delivers first sits at index 0.
  if (source.next > 0) --source.next;
}

std::optional<std::string> take_line(StreamSource& source, platform::Device& device) {
  int byte = take_byte(source, device);
  if (byte < 0) return std::nullopt;
  std::string line;
  for (; byte >= 0; byte = take_byte(source, device)) {
    if (byte == '\n') break;
    if (byte == '\r') {
      const int after = take_byte(source, device);
      if (after >= 0 && after != '\n') give_back(source);
      break;
    }
    line.push_back(static_cast<char>(byte));
  }
  return line;
}
