#pragma once
// A cached texture handed out before its pixels exist: its wrappers draw a transparent
// blank until the thread filling it publishes the finished texture. The filling thread
// publishes once; any thread reads.
#include <atomic>
#include <cstdint>

class TextureFill {
 public:
  explicit TextureFill(uint32_t blank) : _blank(blank) {}
  TextureFill(const TextureFill&) = delete;
  TextureFill& operator=(const TextureFill&) = delete;

  // A 1 x 1 transparent texture of the same share group, complete from the start.
  uint32_t blankTexture() const { return _blank; }
  // The finished texture, 0 until published. Once non-zero it is complete in every context of
  // the group: the filling thread finished its GL work before publishing.
  uint32_t texture() const { return _texture.load(std::memory_order_acquire); }
  void publish(uint32_t texture) { _texture.store(texture, std::memory_order_release); }

 private:
  const uint32_t _blank;
  std::atomic<uint32_t> _texture{0};
};
