#include "deepscan/fileend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/heap.h"
#include "parsefilesystem/exfat/exfatdirhitinfo.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Put64(Bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void PutText(Bytes& b, size_t at, const std::string& s) { std::memcpy(b.data() + at, s.data(), s.size()); }

CarveCandidate Candidate(int32_t type, uint64_t lba) {
  CarveCandidate c;
  c.typeId = type;
  c.startLba = lba;
  return c;
}

// A buffer of whole sectors at LBA 1000 with the file at its start, padded with filler.
struct Placed {
  Bytes data;
  uint64_t lba = 1000;
};
Placed Place(const Bytes& file, size_t sectors = 16, uint8_t filler = 0x5A) {
  Placed p;
  p.data.assign(sectors * 512, filler);
  std::memcpy(p.data.data(), file.data(), std::min(file.size(), p.data.size()));
  return p;
}

struct Outcome {
  int32_t status;
  uint64_t size;
  int32_t type;
};
Outcome Detect(int32_t type, const Bytes& file, size_t sectors = 16) {
  Placed p = Place(file, sectors);
  CarveCandidate c = Candidate(type, p.lba);
  const int32_t r = DetectFileEnd(c, p.lba, p.data.data(), p.data.size());
  EXPECT_EQ(r, c.status);
  if (c.details) FreeMem(c.details);
  return {r, c.size, c.typeId};
}

// The bounds of a wanted range against a buffer of 16 sectors at LBA 1000.
TEST(CopyCandidateWindow, BoundsRules) {
  struct Case {
    const char* what;
    uint64_t start;
    uint64_t offset;
    uint32_t wanted;
    int32_t result;
    uint64_t first, end;  // stored range for 3
  };
  const Case cases[] = {
      {"nothing wanted", 1000, 0, 0, kEndNotValid, 0, 0},
      {"more than the window", 1000, 0, kMaxWantedBytes + 1, kEndNotValid, 0, 0},
      {"the whole window may be asked for", 1000, 0, kMaxWantedBytes, kEndNeedsMore, 1000, 1000 + 0x30000},
      {"wholly before the buffer", 900, 0, 512, kEndNotValid, 0, 0},
      {"ends in the sector before the buffer", 990, 0, 10 * 512, kEndNotValid, 0, 0},
      {"straddles the buffer start", 990, 0, 11 * 512, kEndNeedsMore, 990, 1001},
      {"straddles the buffer end", 1010, 0, 10 * 512, kEndNeedsMore, 1010, 1020},
      {"just after the buffer", 1016, 0, 512, kEndNeedsMore, 1016, 1017},
      {"starts at the far limit", 1016 + kMaxNeededSectors - 1, 0, 512, kEndNeedsMore,
       1016 + kMaxNeededSectors - 1, 1016 + kMaxNeededSectors},
      {"starts past the far limit", 1016 + kMaxNeededSectors, 0, 512, kEndNotValid, 0, 0},
      {"ends exactly on the buffer's last byte", 1000, 0, 16 * 512, kEndCopied, 0, 0},
      {"one byte more", 1000, 0, 16 * 512 + 1, kEndNeedsMore, 1000, 1016},
      {"offset inside a sector", 1000, 700, 10, kEndCopied, 0, 0},
      {"offset that wraps", 1000, ~0ull - 5, 10, kEndNotValid, 0, 0},
  };
  Bytes buffer(16 * 512);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint8_t(i * 7);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    CarveCandidate c = Candidate(62, k.start);
    c.currentOffset = k.offset;
    c.wanted = k.wanted;
    Bytes dest(k.wanted <= 16 * 512 ? k.wanted : 1);
    EXPECT_EQ(CopyCandidateWindow(c, 1000, buffer.data(), buffer.size(), dest.data()), k.result);
    if (k.result == kEndNeedsMore) {
      EXPECT_EQ(c.firstNeededLba, k.first);
      EXPECT_EQ(c.endNeededLba, k.end);
    }
    if (k.result == kEndCopied) {
      const size_t from = (k.start - 1000) * 512 + k.offset;
      EXPECT_EQ(0, std::memcmp(dest.data(), buffer.data() + from, k.wanted));
    }
  }
}

// RAR 4: marker, main header, one file block whose data follows it, end block.
Bytes RarArchive(uint32_t dataBytes, bool withEnd = true) {
  Bytes b;
  auto block = [&](uint8_t type, uint16_t flags, uint16_t headerSize, uint32_t added) {
    const size_t at = b.size();
    b.resize(at + headerSize + ((flags & 0x8000) ? added : 0), 0x33);
    b[at + 2] = type;
    Put16(b, at + 3, flags);
    Put16(b, at + 5, headerSize);
    if (flags & 0x8000) Put32(b, at + 7, added);
  };
  block(0x72, 0x1A21, 7, 0);
  block(0x73, 0, 13, 0);
  block(0x74, 0x8000, 32, dataBytes);
  if (withEnd) block(0x7B, 0x4000, 7, 0);
  return b;
}

TEST(DetectFileEnd, RarWalksItsBlocks) {
  const Bytes rar = RarArchive(3000);
  EXPECT_EQ(Detect(62, rar).status, kEndKnown);
  EXPECT_EQ(Detect(62, rar).size, rar.size());
  Bytes bad = rar;
  bad[7 + 13 + 32 + 3000 + 2] = 0x99;  // an unknown block type where the end block stands
  EXPECT_EQ(Detect(62, bad).status, kEndNotValid);
  Bytes zeroHeader = RarArchive(10);
  Put16(zeroHeader, 7 + 5, 0);  // a main header of size 0 would never move on
  EXPECT_EQ(Detect(62, zeroHeader).status, kEndNotValid);
}

TEST(DetectFileEnd, RarResumesWhereItStopped) {
  // The file's data run past the buffer: the missing range is the next header's, and a later
  // buffer that holds only that header finishes the walk.
  const uint32_t dataBytes = 20 << 20;
  const Bytes rar = RarArchive(dataBytes);
  const uint64_t start = 1000;
  Bytes first(rar.begin(), rar.begin() + 16 * 512);
  CarveCandidate c = Candidate(62, start);
  ASSERT_EQ(DetectFileEnd(c, start, first.data(), first.size()), kEndNeedsMore);
  const uint64_t endHeader = 7 + 13 + 32 + dataBytes;
  EXPECT_EQ(c.currentOffset, endHeader);
  EXPECT_EQ(c.firstNeededLba, start + endHeader / 512);
  const uint64_t laterLba = c.firstNeededLba - 4;
  Bytes later(rar.begin() + (laterLba - start) * 512, rar.end());
  later.resize(16 * 512, 0);
  ASSERT_EQ(DetectFileEnd(c, laterLba, later.data(), later.size()), kEndKnown);
  EXPECT_EQ(c.size, rar.size());
}

TEST(DetectFileEnd, HeaderSizedFormats) {
  Bytes bmp(256, 0);
  PutText(bmp, 0, "BM");
  Put32(bmp, 2, 70000);
  Bytes bmp108 = bmp, bmpReserved = bmp;
  Put32(bmp, 14, 40);
  Put32(bmp108, 14, 108);
  Put32(bmpReserved, 14, 124);
  Put16(bmpReserved, 6, 1);
  Bytes bmp124 = bmp;
  Put32(bmp124, 14, 124);
  // Stated sizes against the 14-byte file header plus the info header.
  auto bmpSized = [&](const Bytes& base, uint32_t size) {
    Bytes b = base;
    Put32(b, 2, size);
    return b;
  };

  const uint8_t guid0[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                             0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
  Bytes chm(256, 0);
  PutText(chm, 0, "ITSF");
  std::memcpy(chm.data() + 24, guid0, 16);
  std::memcpy(chm.data() + 40, guid0, 16);
  chm[40] = 0x11;
  Put32(chm, 104, 123456);
  Bytes chmBadGuid = chm;
  chmBadGuid[41] ^= 1;
  auto chmSized = [&](uint32_t size, uint32_t headerSize) {
    Bytes b = chm;
    Put32(b, 8, headerSize);
    Put32(b, 104, size);
    return b;
  };

  // The header of a CHM written by a Debian compiler (10452 bytes; FD10 written twice).
  Bytes realChm = {
      0x49, 0x54, 0x53, 0x46, 0x03, 0x00, 0x00, 0x00, 0x60, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x00, 0xA8, 0xDE, 0xB6, 0x09, 0x04, 0x00, 0x00, 0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
      0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC, 0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
      0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x78, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x54, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xCC, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0xFE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD4, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x49, 0x54, 0x53, 0x50, 0x01, 0x00, 0x00, 0x00};

  Bytes hlp(256, 0);
  Put32(hlp, 0, 0x00035F3F);
  Put32(hlp, 4, 600);
  Put32(hlp, 12, 4000);
  Bytes hlpSmall = hlp, hlpBeforeDir = hlp;
  Put32(hlpSmall, 12, 511);
  Put32(hlpBeforeDir, 12, 599);

  Bytes eps(512, 0);
  Put32(eps, 0, 0xC6D3D0C5);
  Put32(eps, 4, 30);
  Put32(eps, 8, 5000);
  Put32(eps, 12, 0);
  Put32(eps, 16, 0);
  Put32(eps, 20, 5030);
  Put32(eps, 24, 20000);
  eps[28] = eps[29] = 0xFF;
  Bytes epsPs = eps, epsText = eps, epsBad = eps;
  PutText(eps, 30, "%!");
  epsPs[30] = epsPs[31] = 0x49;
  epsBad[29] = 0;
  Bytes epsNoSizes = eps, epsPsOutside = eps, epsPsTiny = epsPs;
  for (size_t at = 12; at < 28; at += 4) Put32(epsNoSizes, at, 0);
  Put32(epsNoSizes, 4, 0);
  Put32(epsNoSizes, 8, 0);
  Put32(epsPsOutside, 8, 25001);  // 30 + 25001 runs past the 25030 bytes the previews state
  Put32(epsPsTiny, 8, 1);

  struct Case {
    const char* what;
    int32_t type;
    Bytes file;
    int32_t status;
    uint64_t size;
  };
  const Case cases[] = {
      {"BMP header 40", 48, bmp, kEndKnown, 70000},
      {"BMP header 124", 48, bmp124, kEndKnown, 70000},
      {"BMP header 108", 48, bmp108, kEndNotValid, 0},
      {"BMP reserved field set", 48, bmpReserved, kEndNotValid, 0},
      {"BMP stating size 0", 48, bmpSized(bmp, 0), kEndNotDetected, 0},
      {"BMP one byte short of its headers", 48, bmpSized(bmp, 53), kEndNotDetected, 0},
      {"BMP of its headers only", 48, bmpSized(bmp, 54), kEndKnown, 54},
      {"BMP 124 one byte short of its headers", 48, bmpSized(bmp124, 137), kEndNotDetected, 0},
      {"BMP 124 of its headers only", 48, bmpSized(bmp124, 138), kEndKnown, 138},
      {"CHM", 39, chm, kEndKnown, 123456},
      {"CHM wrong second GUID", 39, chmBadGuid, kEndNotValid, 0},
      {"CHM with the first GUID twice", 39, realChm, kEndKnown, 10452},
      {"CHM stating size 0", 39, chmSized(0, 96), kEndNotDetected, 0},
      {"CHM ending inside its size field", 39, chmSized(107, 96), kEndNotDetected, 0},
      {"CHM ending after its size field", 39, chmSized(108, 96), kEndKnown, 108},
      {"CHM smaller than its stated header", 39, chmSized(200, 201), kEndNotDetected, 0},
      {"HLP", 41, hlp, kEndKnown, 4000},
      {"HLP below one sector", 41, hlpSmall, kEndNotValid, 0},
      {"HLP ends before its directory", 41, hlpBeforeDir, kEndNotValid, 0},
      {"EPS with previews", 146, eps, kEndKnown, 25030},
      {"EPS with zero bytes after the header", 146, epsText, kEndKnown, 25030},
      {"EPS by its PostScript part", 146, epsPs, kEndKnown, 5030},
      {"EPS without the checksum word", 146, epsBad, kEndNotValid, 0},
      {"EPS stating no sizes", 146, epsNoSizes, kEndNotDetected, 0},
      {"EPS whose PostScript runs past the previews", 146, epsPsOutside, kEndNotDetected, 0},
      {"EPS whose PostScript ends inside the header", 146, epsPsTiny, kEndNotDetected, 0},
      {"a type without end detection", 59, bmp, kEndNotDetected, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Outcome o = Detect(k.type, k.file);
    EXPECT_EQ(o.status, k.status);
    // Only a known end gives a size: a damaged one must not list an empty or cut file.
    EXPECT_EQ(o.size, k.status == kEndKnown ? k.size : 0u);
  }
}

TEST(DetectFileEnd, RiffRoundsToSectorsAndRefinesTheForm) {
  struct Case {
    uint32_t chunkSize;
    std::string form;
    uint64_t size;
    int32_t type;
  };
  const Case cases[] = {
      {1016, "WAVEfmt ", 1024, 53}, {1024, "WAVEfmt ", 1536, 53}, {5000, "AVI LIST", 5120, 73},
      {100, "ACONanih", 512, 85},   {100, "CDR9vrsn", 512, 118}, {100, "WEBPVP8 ", 512, 147},
      {0xFFFFFFFF, "WAVEfmt ", 0x100000200ull, 53},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.form + " " + std::to_string(k.chunkSize));
    Bytes riff(64, 0);
    PutText(riff, 0, "RIFF");
    Put32(riff, 4, k.chunkSize);
    PutText(riff, 8, k.form);
    const Outcome o = Detect(147, riff);
    EXPECT_EQ(o.status, kEndKnown);
    EXPECT_EQ(o.size, k.size);
    EXPECT_EQ(o.type, k.type);
  }
}

// Known ASF objects (header, data) in their stored byte order.
const uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kAsfData[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

Bytes AsfObjects(std::initializer_list<std::pair<const uint8_t*, uint64_t>> objects, size_t total) {
  Bytes b(total, 0);
  size_t at = 0;
  for (const auto& [guid, size] : objects) {
    std::memcpy(b.data() + at, guid, 16);
    Put64(b, at + 16, size);
    at += size_t(size);
  }
  return b;
}

TEST(DetectFileEnd, AsfObjectWalk) {
  Bytes two = AsfObjects({{kAsfHeader, 1000}, {kAsfData, 600}}, 4096);
  two[1600] = 0x77;  // an unknown GUID follows
  const Outcome o = Detect(108, two);
  EXPECT_EQ(o.status, kEndKnown);
  EXPECT_EQ(o.size, 1600u);
  EXPECT_EQ(Detect(108, AsfObjects({{kAsfHeader, 1000}}, 4096)).status, kEndNotValid);
  EXPECT_EQ(Detect(108, AsfObjects({{kAsfHeader, 0}}, 4096)).status, kEndNotValid);
  // An object size that would carry the walk past 2^64 ends it like an unknown object.
  EXPECT_EQ(Detect(108, AsfObjects({{kAsfHeader, 1000}, {kAsfData, 600}, {kAsfData, ~0ull - 100}}, 4096)).size, 1600u);
  // The walk's object count survives a pause for data.
  Bytes far = AsfObjects({{kAsfHeader, 1000}, {kAsfData, 20000}}, 24000);
  std::memset(far.data() + 21000, 0x77, 16);
  CarveCandidate c = Candidate(108, 1000);
  ASSERT_EQ(DetectFileEnd(c, 1000, far.data(), 16 * 512), kEndNeedsMore);
  EXPECT_EQ(c.currentOffset, 21000u);
  ASSERT_EQ(DetectFileEnd(c, 1000, far.data(), 47 * 512), kEndKnown);
  EXPECT_EQ(c.size, 21000u);
}

Bytes Mkv(const Bytes& headerSize, const Bytes& segmentSize, size_t headerBody) {
  Bytes b = {0x1A, 0x45, 0xDF, 0xA3};
  b.insert(b.end(), headerSize.begin(), headerSize.end());
  b.resize(b.size() + headerBody, 0x42);
  for (uint8_t x : {0x18, 0x53, 0x80, 0x67}) b.push_back(x);
  b.insert(b.end(), segmentSize.begin(), segmentSize.end());
  b.resize(2048, 0);
  return b;
}

TEST(DetectFileEnd, MatroskaSegmentSize) {
  struct Case {
    const char* what;
    Bytes file;
    int32_t status;
    uint64_t size;
  };
  const Case cases[] = {
      {"one-byte sizes", Mkv({0x9F}, {0x81}, 31), kEndKnown, 4 + 1 + 31 + 4 + 1 + 1},
      {"a segment above 4 GiB keeps all its bits",
       Mkv({0x9F}, {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10}, 31), kEndKnown,
       4 + 1 + 31 + 4 + 8 + 0x100000010ull},
      {"a header size of three bytes", Mkv({0x20, 0x00, 0x1F}, {0x81}, 31), kEndNotValid, 0},
      {"a header that leaves no room", Mkv({0x40, 0x07, 0xE1}, {0x81}, 0), kEndNotValid, 0},
      {"an unknown segment size", Mkv({0x9F}, {0xFF}, 31), kEndNotDetected, 0},
      {"another element after the header", Mkv({0x9F}, {0x81}, 30), kEndNotValid, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Outcome o = Detect(86, k.file);
    EXPECT_EQ(o.status, k.status);
    if (k.status == kEndKnown) {
      EXPECT_EQ(o.size, k.size);
    }
  }
}

// Directory sectors of file sets of four entries (file, stream, two names), four to a sector.
Bytes ExfatRun(size_t sectors, uint32_t dirBytes = 4096) {
  Bytes b(sectors * 512, 0);
  for (size_t set = 0; set < sectors * 4; ++set) {
    const size_t at = set * 128;
    b[at] = 0x85;
    b[at + 1] = 3;
    Put16(b, at + 4, 0x10);
    Put32(b, at + 8, (45u << 25) | (1u << 21) | (1u << 16));
    b[at + 32] = 0xC0;
    b[at + 35] = 2;
    Put64(b, at + 32 + 8, dirBytes);
    Put32(b, at + 32 + 20, uint32_t(10 + set));
    Put64(b, at + 32 + 24, dirBytes);
    b[at + 64] = 0xC1;
    b[at + 96] = 0xC1;
    for (int i = 0; i < 15; ++i) Put16(b, at + 64 + 2 + 2 * i, 'A' + i);
    Put16(b, at + 96 + 2, 'Z');
  }
  return b;
}

TEST(DetectFileEnd, ExfatDirectoryRunStopsAtItsLastDirectorySector) {
  Bytes run = ExfatRun(10);
  run.resize(32 * 512, 0);
  CarveCandidate c = Candidate(231, 1000);
  ASSERT_EQ(DetectFileEnd(c, 1000, run.data(), run.size()), kEndKnown);
  EXPECT_EQ(c.wanted, 8192u);
  ASSERT_NE(c.details, nullptr);
  ExfatDirHitInfo info;
  std::memcpy(&info, c.details, sizeof info);
  EXPECT_EQ(+info.kind, 2u);
  EXPECT_EQ(+info.lba, 1000u);
  EXPECT_EQ(+info.sectors, 10u);
  EXPECT_EQ(+info.smallestDirSize, 4096u);
  EXPECT_EQ(+info.smallestDirCount, 40u);
  EXPECT_EQ(+info.entryCount, 24u);
  EXPECT_EQ(+info.lowestCluster, 10u);
  EXPECT_EQ(+info.highestCluster, 49u);
  EXPECT_EQ(+info.entries[0].kind, 231);
  FreeMem(c.details);

  // A run that reaches the buffer's end waits for the next block with its whole range.
  const Bytes longRun = ExfatRun(16);
  c = Candidate(231, 1000);
  ASSERT_EQ(DetectFileEnd(c, 1000, longRun.data(), longRun.size()), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, 1000u);
  EXPECT_EQ(c.endNeededLba, 1024u);
  EXPECT_EQ(c.details, nullptr);
}

}  // namespace

namespace {

// Damaged and random bytes behind each rule's signature: every answer is one of the four codes,
// a pending answer names a sane range, and nothing is read outside the buffer (the sanitizer
// build checks that).
TEST(DetectFileEnd, HostileBytesGiveAnAnswer) {
  const int32_t types[] = {39, 41, 48, 62, 86, 108, 146, 147, 228, 231, 46, 46, 51, 51, 54, 64, 66, 75, 82, 36, 61};
  const std::vector<std::vector<uint8_t>> heads = {
      {'I', 'T', 'S', 'F'}, {0x3F, 0x5F, 0x03, 0x00}, {'B', 'M'}, {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00},
      {0x1A, 0x45, 0xDF, 0xA3}, {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11}, {0xC5, 0xD0, 0xD3, 0xC6},
      {'R', 'I', 'F', 'F'}, {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F}, {0x85, 0x02},
      {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x40, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0},
      {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x40, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A, 0, 0, 0, 8},
      {'I', 'I', 0x2A, 0x00, 0x08, 0, 0, 0}, {'M', 'M', 0x00, 0x2A, 0, 0, 0, 0x08}, {'I', 'D', '3', 3, 0},
      {'F', 'L', 'V', 1, 5, 0, 0, 0, 9}, {'.', 'R', 'M', 'F', 0, 0, 0, 0x12},
      {'A', 'C', '1', '0', '1', '5', 0, 0}, {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00},
      {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, {'P', 'K', 3, 4}};
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return uint8_t(seed >> 16);
  };
  for (size_t t = 0; t < std::size(types); ++t) {
    for (int round = 0; round < 300; ++round) {
      // Mostly small values, so that sizes and counts land inside the buffer now and then.
      const size_t sectors = 1 + next() % 24;
      Bytes buffer(sectors * 512);
      for (uint8_t& b : buffer) b = (next() & 3) ? uint8_t(next() & 0x0F) : next();
      const uint64_t startSector = next() % sectors;
      std::memcpy(buffer.data() + startSector * 512, heads[t].data(), heads[t].size());
      CarveCandidate c;
      c.typeId = types[t];
      c.startLba = 5000 + startSector;
      const int32_t r = DetectFileEnd(c, 5000, buffer.data(), buffer.size());
      ASSERT_TRUE(r == kEndNotDetected || r == kEndNeedsMore || r == kEndKnown || r == kEndNotValid) << r;
      if (r == kEndNeedsMore) {
        EXPECT_LE(c.firstNeededLba, c.endNeededLba);
        // The same bytes as the end of the input decide every file type or leave it waiting.
        const int32_t last = DetectFileEndAtInputEnd(c, 5000, buffer.data(), buffer.size(), 5000 + sectors);
        ASSERT_TRUE(last == kEndNotDetected || last == kEndNeedsMore || last == kEndKnown || last == kEndNotValid);
      }
      if (c.details) FreeMem(c.details);
    }
  }
}

}  // namespace
