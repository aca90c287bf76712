// Any bytes into the array-frame reader, as a stream of frames: each frame is refused, wanting
// more, or decoded and encoded back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zeltvtk/ArrayFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t offset = 0;
  while (offset < size) {
    zeltvtk::ArrayMessage message;
    size_t consumed = 0;
    std::string error;
    const auto result = zeltvtk::ArrayFrame::decode(data + offset, size - offset, 1 << 16, message, consumed, error);
    if (result != zeltvtk::ArrayFrame::Parse::Complete) return 0;
    std::string again;
    zeltvtk::ArrayFrame::encode(message.name, message.bytes.data(), message.bytes.size(), message.tag, again);
    if (again.size() != consumed || std::memcmp(again.data(), data + offset, consumed) != 0) std::abort();
    offset += consumed;
  }
  return 0;
}
