#include "deepscan/tiffwalk.h"

#include <algorithm>

#include "base/textutil.h"

namespace {
constexpr int kMaxTextChars = 64;
}  // namespace

bool TiffBytes::U16(uint64_t at, uint16_t& v) const {
  if (at > length || length - at < 2) return false;
  const uint8_t* p = base + at;
  v = bigEndian ? uint16_t((p[0] << 8) | p[1]) : uint16_t(p[0] | (p[1] << 8));
  return true;
}

bool TiffBytes::U32(uint64_t at, uint32_t& v) const {
  if (at > length || length - at < 4) return false;
  const uint8_t* p = base + at;
  v = bigEndian ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                : uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  return true;
}

uint32_t TiffTypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

bool ReadTiffEntry(const TiffBytes& t, uint64_t at, TiffEntry& e) {
  if (at > t.length || t.length - at < 12) return false;
  t.U16(at, e.tag);
  t.U16(at + 2, e.type);
  t.U32(at + 4, e.count);
  t.U32(at + 8, e.value);
  e.valueAt = at + 8;
  e.bytes = uint64_t(e.count) * TiffTypeSize(e.type);
  return true;
}

CString TiffText(const TiffBytes& t, const TiffEntry& e) {
  const uint64_t at = e.DataAt();
  if (at >= t.length) return CString();
  const uint64_t n = std::min<uint64_t>({uint64_t(e.count), t.length - at, kMaxTextChars});
  const char* text = reinterpret_cast<const char*>(t.base + at);
  return AnsiInBufToCString(text, size_t(n), text, kMaxTextChars);
}

bool ReadTiffArrayAt(const TiffBytes& t, const TiffEntry& e, uint32_t index, uint32_t& v) {
  if ((e.type != 3 && e.type != 4 && e.type != 13) || index >= e.count) return false;
  const uint32_t size = TiffTypeSize(e.type);
  // Inline elements lie in the value field in the file's byte order, a SHORT in its first two
  // bytes; reading the field as one 32-bit number would shift a big-endian SHORT.
  const uint64_t at = e.DataAt() + uint64_t(index) * size;
  if (e.type == 3) {
    uint16_t s = 0;
    if (!t.U16(at, s)) return false;
    v = s;
    return true;
  }
  return t.U32(at, v);
}

bool TiffWalkGuard::Enter(uint64_t offset) {
  if (count_ >= kMaxDirectories) return false;
  for (uint32_t i = 0; i < count_; ++i)
    if (seen_[i] == offset) return false;
  seen_[count_++] = offset;
  return true;
}
