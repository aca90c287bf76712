#pragma once
// Reads a little-endian byte message with every read checked against its end: the first
// shortfall sticks, names what was missing, and every later read returns 0 or nothing. Message
// readers derive from it for their compound fields. Not shared between threads.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class ByteReader {
 public:
  ByteReader(const unsigned char* bytes, size_t size) : _p(bytes), _left(bytes ? size : 0) {}

  bool ok() const { return _error.empty(); }
  const std::string& error() const { return _error; }
  size_t left() const { return _left; }
  // Records the failure unless one is already recorded.
  void fail(const std::string& why) {
    if (ok()) _error = why;
  }
  // Whether n more bytes are there; fails naming `what` when not.
  bool take(size_t n, const char* what) {
    if (!ok()) return false;
    if (n > _left) {
      _error = std::string("the message ends inside ") + what;
      return false;
    }
    return true;
  }

  unsigned char u8(const char* what) {
    if (!take(1, what)) return 0;
    const unsigned char v = *_p;
    advance(1);
    return v;
  }
  uint32_t u32(const char* what) {
    if (!take(4, what)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(_p[i]) << (8 * i);
    advance(4);
    return v;
  }
  int32_t i32(const char* what) { return int32_t(u32(what)); }
  double f32(const char* what) {
    const uint32_t v = u32(what);
    float f;
    std::memcpy(&f, &v, 4);
    return ok() ? double(f) : 0.0;
  }
  double f64(const char* what) {
    if (!take(8, what)) return 0;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(_p[i]) << (8 * i);
    advance(8);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
  }
  std::string text(size_t n, const char* what) {
    if (!take(n, what)) return std::string();
    std::string s(reinterpret_cast<const char*>(_p), n);
    advance(n);
    return s;
  }

 protected:
  void advance(size_t n) {
    _p += n;
    _left -= n;
  }

  const unsigned char* _p;
  size_t _left;
  std::string _error;
};
