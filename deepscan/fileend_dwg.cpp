// Drawings of the R13 to R15 formats: the section locator records in the file header give the
// end of the last section. Other versions are found but left open-ended.
#include "deepscan/fileendrules.h"

namespace {

constexpr uint32_t kDwgHead = 0x10000;
constexpr uint32_t kLocatorsAt = 25, kLocatorBytes = 9, kMaxLocators = 100;
// The sentinel that opens the preview image area the header points to.
constexpr uint8_t kImageSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                        0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};

bool IsLocatorVersion(const uint8_t* p) {
  static const char* const kVersions[] = {"AC1015", "AC1014", "AC1013", "AC1012"};
  if (p[6] != 0 || p[7] != 0) return false;
  for (const char* v : kVersions)
    if (std::memcmp(p, v, 6) == 0) return true;
  return false;
}

}  // namespace

int32_t DetectDwgEnd(CarveCandidate& c, const FileEndBuffer& b) {
  const uint8_t* p = nullptr;
  uint32_t avail = 0;
  const int32_t r = ViewWanted(c, b, kDwgHead, p, avail);
  if (r != kEndCopied) return r;
  // A size of 0 leaves the drawing open-ended: it is sized by the distance to the next hit.
  c.size = 0;
  if (avail < kLocatorsAt || !IsLocatorVersion(p)) return kEndKnown;
  const uint32_t image = FeLe32(p + 13);
  const uint32_t count = FeLe32(p + 21);
  if (image == 0 || image > kDwgHead - 16 || uint64_t(image) + 16 > avail || count < 1 || count > kMaxLocators ||
      kLocatorsAt + count * kLocatorBytes > avail || std::memcmp(p + image, kImageSentinel, 16) != 0)
    return kEndKnown;
  // The record with the largest address (the first of equal ones) holds the last section.
  const uint8_t* last = p + kLocatorsAt;
  for (uint32_t i = 1; i < count; ++i) {
    const uint8_t* rec = p + kLocatorsAt + i * kLocatorBytes;
    if (FeLe32(rec + 1) > FeLe32(last + 1)) last = rec;
  }
  // The header fields are 32-bit: a sum past that is a damaged record, not a drawing of 4 GiB.
  const uint64_t end = uint64_t(FeLe32(last + 1)) + FeLe32(last + 5);
  if (end <= UINT32_MAX) c.size = end;
  return kEndKnown;
}
