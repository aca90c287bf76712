#include "ClientStateLayout.h"

#include <cstdint>

namespace ClientStateLayout {

namespace {

constexpr size_t FIXED_SIZE = 243;

int32_t i32(const unsigned char* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

}  // namespace

bool readID(const unsigned char* bytes, size_t size, int& id) {
  if (!bytes || size < FIXED_SIZE || bytes[0] == 0) return false;
  size_t pos = 1, expected = FIXED_SIZE;
  bool anyPaletteFlag = false, anyPalette = false;
  for (int hand = 0; hand < 2; ++hand) {
    const unsigned char flags = bytes[pos];
    const bool flag2 = flags & 1, flag4 = flags & 2, flag3 = flags & 4, flag1 = flags & 8;
    const size_t extra = (flag2 ? 2 : 0) + (flag3 ? 1 : 0);
    pos += 7 + extra;
    expected += extra + (flag1 || flag4 ? 40 : 0);
    anyPaletteFlag = anyPaletteFlag || flag2;
    anyPalette = anyPalette || flag2 || flag3;
    if (pos > size) return false;
  }
  const size_t kindAt = pos + 3;
  pos += 4 + (anyPaletteFlag ? 3 : 0);
  if (pos + 8 > size) return false;
  id = i32(bytes + pos);
  const int32_t companion = i32(bytes + pos + 4);
  expected += (anyPaletteFlag ? 3 : 0) + (anyPalette ? 24 : 0) + (companion >= 0 ? 48 : 0);
  switch (bytes[kindAt]) {
    case 1: expected += 12; break;
    case 2: expected += 24; break;
    case 3: expected += 36; break;
    case 4: {
      if (expected + 8 > size) return false;
      const int32_t n = i32(bytes + expected + 4);
      if (n < 0) return false;
      expected += 8 + size_t(n);
      break;
    }
    default: break;
  }
  return expected == size;
}

}  // namespace ClientStateLayout
