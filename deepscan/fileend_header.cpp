// Formats whose header states the file's size: BMP, CHM, HLP, EPS (DOS binary) and RIFF.
#include "deepscan/fileendrules.h"

namespace {

// {7C01FD10-7BAA-11D0-9E0C-00A0C922E6EC} and {7C01FD11-...}, in their stored byte order.
constexpr uint8_t kChmGuid0[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                   0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr uint8_t kChmGuid1[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                   0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

uint64_t RoundUpToSector(uint64_t n) { return (n + 511) / 512 * 512; }

}  // namespace

int32_t DetectBmpEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint8_t h[256];
  const int32_t got = CopyWanted(c, b, sizeof h, h);
  if (got != kEndCopied) return got;
  // Only the two header sizes whose files state their size reliably end here; the matcher also
  // lets 12 and 108 through, which are left without an end.
  const uint32_t headerSize = FeLe32(h + 14);
  if (FeLe16(h + 6) != 0 || FeLe16(h + 8) != 0 || (headerSize != 40 && headerSize != 124)) return kEndNotValid;
  // A stated size that cannot hold the 14-byte file header and the info header is damaged:
  // the file is kept open-ended rather than listed empty or cut short.
  const uint32_t size = FeLe32(h + 2);
  if (size < 14 + headerSize) return kEndNotDetected;
  c.size = size;
  return kEndKnown;
}

int32_t DetectChmEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint8_t h[256];
  const int32_t got = CopyWanted(c, b, sizeof h, h);
  if (got != kEndCopied) return got;
  // The second GUID is FD11 in the published layout; some compilers write FD10 there again, and
  // their files are as valid.
  if (std::memcmp(h + 24, kChmGuid0, 16) != 0) return kEndNotValid;
  if (std::memcmp(h + 40, kChmGuid1, 16) != 0 && std::memcmp(h + 40, kChmGuid0, 16) != 0) return kEndNotValid;
  // The low half of the file length in the header section behind the 96-byte header. A length
  // that does not reach past the header and that field itself is damaged: open-ended instead.
  const uint32_t size = FeLe32(h + 104);
  if (size < 108 || size < FeLe32(h + 8)) return kEndNotDetected;
  c.size = size;
  return kEndKnown;
}

int32_t DetectHlpEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint8_t h[256];
  const int32_t got = CopyWanted(c, b, sizeof h, h);
  if (got != kEndCopied) return got;
  const uint32_t fileSize = FeLe32(h + 12);
  if (fileSize < 512 || fileSize < FeLe32(h + 4)) return kEndNotValid;
  c.size = fileSize;
  return kEndKnown;
}

int32_t DetectEpsEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint8_t h[512];
  const int32_t got = CopyWanted(c, b, sizeof h, h);
  if (got != kEndCopied) return got;
  // Bytes 28-29 are the checksum word FFFF; 30-31 the first bytes after the 30-byte header.
  if (h[28] != 0xFF || h[29] != 0xFF) return kEndNotValid;
  // PostScript offset and length; the 64-bit sums below cannot wrap.
  const uint64_t psEnd = uint64_t(FeLe32(h + 4)) + FeLe32(h + 8);
  uint64_t size = 0;
  if ((h[30] == 0x25 && h[31] == 0x21) || (h[30] == 0 && h[31] == 0)) {
    // Metafile and TIFF preview offset and length; the PostScript part lies inside them.
    size = uint64_t(FeLe32(h + 12)) + FeLe32(h + 16) + FeLe32(h + 20) + FeLe32(h + 24);
    if (psEnd > size) return kEndNotDetected;
  } else if (h[30] == 0x49 && h[31] == 0x49) {
    size = psEnd;
  } else {
    return kEndNotValid;
  }
  // The header and the two bytes just checked behind it belong to the file: a smaller stated
  // size is damaged, and the file is kept open-ended.
  if (size < 32) return kEndNotDetected;
  c.size = size;
  return kEndKnown;
}

int32_t DetectRiffEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint8_t h[32];
  const int32_t got = CopyWanted(c, b, sizeof h, h);
  if (got != kEndCopied) return got;
  c.size = RoundUpToSector(uint64_t(FeLe32(h + 4)) + 8);
  if (std::memcmp(h + 8, "WAVEfmt ", 8) == 0)
    c.typeId = 53;
  else if (std::memcmp(h + 8, "AVI LIST", 8) == 0)
    c.typeId = 73;
  else if (std::memcmp(h + 8, "ACON", 4) == 0)
    c.typeId = 85;
  else if (std::memcmp(h + 8, "CDR", 3) == 0)
    c.typeId = 118;
  return kEndKnown;
}
