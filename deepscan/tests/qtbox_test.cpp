// QuickTime boxes: the top-level walk that ends carved MOV/MP4 files, and the parse of a moov
// box into the sample offsets of its first video track, over well-formed and hostile boxes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "base/heap.h"
#include "base/heap_testing.h"
#include "base/packedtime.h"
#include "deepscan/fileend.h"
#include "deepscan/qtbox.h"
#include "deepscan/tests/qtboxbuilder.h"
#include "scanbase/videodetail.h"

namespace {

using namespace qtb;

constexpr uint64_t kBufferLba = 1000;

struct WalkResult {
  int32_t status;
  uint64_t size;
  int32_t type;
  uint64_t firstNeeded;
};

// The file at the start of a buffer of `sectors` sectors (zeros after it).
WalkResult Walk(const Bytes& file, uint64_t sectors, int32_t type = 72, bool atInputEnd = false) {
  Bytes buffer(sectors * 512, 0);
  std::memcpy(buffer.data(), file.data(), std::min(file.size(), buffer.size()));
  CarveCandidate c{};
  c.typeId = type;
  c.startLba = kBufferLba;
  const int32_t r = atInputEnd ? DetectFileEndAtInputEnd(c, kBufferLba, buffer.data(), buffer.size(), kBufferLba + sectors)
                               : DetectFileEnd(c, kBufferLba, buffer.data(), buffer.size());
  return {r, c.size, c.typeId, c.firstNeededLba};
}

const Bytes kFtyp = Box("ftyp", Cat({Text("isom"), Be32(512), Text("isomiso2avc1mp41")}));
const Bytes kMoov = Moov(Mvhd(100, 1000, 2000));
const Bytes kMdat = Box("mdat", Bytes(3000, 0x55));

TEST(WalkQtAtoms, EndsWhereTheBoxesEnd) {
  struct Case {
    const char* what;
    Bytes file;
    int32_t status;
    uint64_t size;
  };
  const Bytes zeroBox = Be32(0);
  const std::vector<Case> cases = {
      {"ftyp mdat moov, then size 0", Cat({kFtyp, kMdat, kMoov, Box("free", {}, 0)}), kEndKnown,
       kFtyp.size() + kMdat.size() + kMoov.size()},
      {"a second mdat before any moov", Cat({kFtyp, kMdat, kMdat, kMoov}), kEndNotValid, 0},
      {"ftyp moov mdat mdat: ends at the second mdat", Cat({kFtyp, kMoov, kMdat, kMdat}), kEndKnown,
       kFtyp.size() + kMoov.size() + kMdat.size()},
      {"a second moov ends it", Cat({kFtyp, kMoov, kMdat, kMoov, kMdat}), kEndKnown,
       kFtyp.size() + kMoov.size() + kMdat.size()},
      {"a type that is not four letters or digits", Cat({kFtyp, kMoov, kMdat, Box("\xA9too", Bytes(20))}),
       kEndKnown, kFtyp.size() + kMoov.size() + kMdat.size()},
      {"a box smaller than its header", Cat({kFtyp, kMoov, kMdat, Box("free", {}, 4), Box("free", {})}), kEndKnown,
       kFtyp.size() + kMoov.size() + kMdat.size()},
      {"a 64-bit size smaller than its header", Cat({kFtyp, kMoov, kMdat, Box64("free", 15, {}), Box("free", {})}),
       kEndKnown, kFtyp.size() + kMoov.size() + kMdat.size()},
      {"a 64-bit size is walked whole", Cat({kFtyp, kMoov, Box64("mdat", 16 + 100, Bytes(100)), Box("uuid", Bytes(8))}),
       kEndKnown, kFtyp.size() + kMoov.size() + 116 + 16},
      {"no mdat", Cat({kFtyp, kMoov}), kEndNotValid, 0},
      {"no moov", Cat({kFtyp, kMdat}), kEndNotValid, 0},
  };
  for (const Case& k : cases) {
    const WalkResult r = Walk(k.file, 64);
    EXPECT_EQ(r.status, k.status) << k.what;
    if (k.status == kEndKnown) {
      EXPECT_EQ(r.size, k.size) << k.what;
      EXPECT_EQ(r.type, 67) << k.what << ": every file of the family is shown as a movie";
    } else {
      EXPECT_EQ(r.type, 72) << k.what;
    }
  }
}

// A box of exactly 4 GiB has 0 in its low 32 bits: the walk moves 4 GiB on and waits for the
// header there instead of reading the same box for ever.
TEST(WalkQtAtoms, SizesAreFull64Bit) {
  const Bytes file = Cat({kFtyp, kMoov, Box64("mdat", 0x100000000ull, Bytes(64))});
  const WalkResult r = Walk(file, 64);
  ASSERT_EQ(r.status, kEndNeedsMore);
  EXPECT_EQ(r.firstNeeded, kBufferLba + (kFtyp.size() + kMoov.size() + 0x100000000ull) / 512);

  // The 32-bit form of a size just below 4 GiB, likewise.
  const Bytes big = Cat({kFtyp, kMoov, Box("mdat", Bytes(64), 0xFFFFFFF0)});
  EXPECT_EQ(Walk(big, 64).firstNeeded, kBufferLba + (kFtyp.size() + kMoov.size() + 0xFFFFFFF0ull) / 512);
}

// A file whose boxes run past the block waits for the next block and resumes where it stopped;
// one that ends exactly at the end of the input is decided there.
TEST(WalkQtAtoms, ResumesAcrossBlocksAndEndsAtTheInputEnd) {
  Bytes file = Cat({kFtyp, kMoov, Box("mdat", Bytes(4096 - kFtyp.size() - kMoov.size() - 8, 0x11))});
  ASSERT_EQ(file.size(), 4096u);
  Bytes buffer(16 * 512, 0);
  std::memcpy(buffer.data(), file.data(), file.size());
  CarveCandidate c{};
  c.typeId = 71;
  c.startLba = kBufferLba;
  EXPECT_EQ(DetectFileEnd(c, kBufferLba, buffer.data(), 4096), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, kBufferLba + 8);
  EXPECT_EQ(DetectFileEnd(c, kBufferLba, buffer.data(), buffer.size()), kEndKnown);
  EXPECT_EQ(c.size, 4096u);

  const WalkResult atEnd = Walk(file, 8, 72, true);
  EXPECT_EQ(atEnd.status, kEndKnown);
  EXPECT_EQ(atEnd.size, 4096u);
}

// A run of box-like bytes does not keep the walk going for ever.
TEST(WalkQtAtoms, ManySmallBoxesEndTheWalk) {
  Bytes file = Cat({kFtyp, kMoov, kMdat});
  const Bytes free = Box("free", {});
  for (int i = 0; i < 20000; ++i) file.insert(file.end(), free.begin(), free.end());
  const WalkResult r = Walk(file, file.size() / 512 + 2);
  EXPECT_EQ(r.status, kEndKnown);
  EXPECT_LT(r.size, file.size());
}

// Parses a moov given as its bytes at device position 0x1234.
MoovInfo* Parse(const Bytes& moov) { return ParseMoovBox({moov.data(), moov.size()}, 0x1234); }

std::vector<uint32_t> Offsets(const MoovInfo* info) {
  const ChunkTable* t = ChunkTablesOf(info->tables)[0];
  return std::vector<uint32_t>(ChunkTableEntries(t), ChunkTableEntries(t) + t->count);
}

TEST(ParseMoov, SampleOffsetsFollowTheSampleToChunkRuns) {
  // Chunks 1-2 hold two samples each, chunks 3-4 one: c0, c0+s0, c1, c1+s2, c2, c3.
  const Bytes tables = Cat({Stsc({{1, 2}, {3, 1}}), Stsz({10, 20, 30, 40, 50, 60}), Stco({1000, 5000, 9000, 13000})});
  MoovInfo* info = Parse(Moov(Cat({Mvhd(100, 1000, 7000), Trak("vide", tables)})));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(Offsets(info), (std::vector<uint32_t>{1000, 1010, 5000, 5030, 9000, 13000}));
  EXPECT_EQ(uint64_t(info->position), 0x1234u);
  EXPECT_EQ(info->boxSize, uint32_t(Moov(Cat({Mvhd(100, 1000, 7000), Trak("vide", tables)})).size()));
  // The track's media header is walked last: 5000 / 1000.
  EXPECT_EQ(info->durationSeconds, 5u);
  FreeMoovInfo(info);

  // The low 32 bits of 64-bit chunk offsets.
  const Bytes wide = Cat({Stsc({{1, 1}}), Stsz({9, 9, 9, 9, 9}), Co64({0x100000010ull, 0x20, 0x30, 0x40, 0x50})});
  info = Parse(Moov(Trak("vide", wide)));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(Offsets(info), (std::vector<uint32_t>{0x10, 0x20, 0x30, 0x40, 0x50}));
  FreeMoovInfo(info);
}

TEST(ParseMoov, TheVideoTrackIsFoundBehindASoundTrack) {
  const Bytes sound = Trak("soun", Cat({Stsc({{1, 3}}), StszUniform(4, 9), Stco({100, 200, 300})}));
  MoovInfo* info = Parse(Moov(Cat({Mvhd(0, 1, 1), sound, SimpleVideoTrak(6)})));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(Offsets(info), (std::vector<uint32_t>{4096, 14096, 24096, 34096, 44096, 54096}));
  FreeMoovInfo(info);
  // Only the first video track counts.
  info = Parse(Moov(Cat({SimpleVideoTrak(6, 100), SimpleVideoTrak(7, 900)})));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(Offsets(info).front(), 100u);
  EXPECT_EQ(Offsets(info).size(), 6u);
  FreeMoovInfo(info);
}

TEST(ParseMoov, UnusableMoovsGiveNothing) {
  struct Case {
    const char* what;
    Bytes moov;
  };
  const std::vector<Case> cases = {
      {"four samples", Moov(SimpleVideoTrak(4))},
      {"sound only", Moov(Trak("soun", Cat({Stsc({{1, 1}}), Stsz({5, 5, 5, 5, 5}), Stco({1, 2, 3, 4, 5})})))},
      {"more sizes than the chunks hold", Moov(Trak("vide", Cat({Stsc({{1, 1}}), Stsz({5, 5, 5, 5, 5, 5}), Stco({1, 2, 3, 4, 5})})))},
      {"first chunks going back", Moov(Trak("vide", Cat({Stsc({{3, 1}, {1, 2}}), Stsz({1, 2, 3, 4, 5, 6}), Stco({1, 2, 3, 4})})))},
      {"first chunk 0", Moov(Trak("vide", Cat({Stsc({{0, 2}, {2, 1}}), Stsz({1, 2, 3, 4, 5, 6}), Stco({1, 2, 3, 4})})))},
      {"the last run starting past the chunks", Moov(Trak("vide", Cat({Stsc({{9, 1}}), Stsz({1, 2, 3, 4, 5}), Stco({1, 2, 3, 4, 5})})))},
  };
  for (const Case& k : cases) {
    MoovInfo* info = Parse(k.moov);
    EXPECT_EQ(info, nullptr) << k.what;
    FreeMoovInfo(info);
  }
}

// Creation times: seconds since 1904 as the program has always counted them; 0 wraps to 2040.
TEST(ParseMoov, CreationTimesAndVersions) {
  const char* tz = getenv("TZ");
  const std::string saved = tz ? tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  MoovInfo* info = Parse(Moov(Cat({Mvhd(0, 600, 6000), Trak("vide", Cat({Stsc({{1, 1}}), Stsz({1, 1, 1, 1, 1}),
                                                                            Stco({1, 2, 3, 4, 5})}), 0, 0, 9)})));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ((info->createTime >> 26) + 1980, 2040u);
  EXPECT_EQ(info->durationSeconds, 0u) << "a media header with time scale 0 gives 0";
  FreeMoovInfo(info);

  // 2016-05-07 08:09:10 UTC as seconds since 1904; the program's epoch puts it 8 hours earlier.
  const uint32_t stamp = 3545453350u;
  info = Parse(Moov(Cat({SimpleVideoTrak(5), Mvhd(stamp, 1000, 61500), Mvhd(7, 1, 1, 1)})));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->createTime, PackTime(2016, 5, 7, 0, 9, 10));
  EXPECT_EQ(info->durationSeconds, 61u) << "the version-1 header after it is passed over";
  FreeMoovInfo(info);
  if (tz) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

// Hostile sample tables: counts past their boxes, counts that overflow 32 bits, a uniform size
// claiming four billion samples, children that claim more than their parents hold, nesting
// without end. Every read stays inside the moov (the sanitizer build checks) and the work stays
// small.
TEST(ParseMoov, HostileTablesStayInsideTheirBoxes) {
  const auto started = std::chrono::steady_clock::now();
  const Bytes good = Cat({Stsc({{1, 1}}), Stsz({5, 5, 5, 5, 5}), Stco({1, 2, 3, 4, 5})});
  struct Case {
    const char* what;
    Bytes moov;
  };
  // Entry counts whose byte counts wrap in 32 bits to a small number.
  const Bytes stcoWrap = FullBox("stco", 0, Cat({Be32(0x40000001), Be32(1), Be32(2), Be32(3), Be32(4), Be32(5)}));
  const Bytes co64Wrap = FullBox("co64", 0, Cat({Be32(0x20000001), Be64(1), Be64(2)}));
  const Bytes stscWrap = FullBox("stsc", 0, Cat({Be32(0x15555556), Be32(1), Be32(1), Be32(1)}));
  const Bytes stszWrap = FullBox("stsz", 0, Cat({Be32(0), Be32(0x40000001), Be32(5), Be32(5)}));
  Bytes nested = SimpleVideoTrak(6);
  for (int i = 0; i < 2000; ++i) nested = Box("trak", nested);
  const std::vector<Case> cases = {
      {"stco count wraps", Moov(Trak("vide", Cat({Stsc({{1, 1}}), Stsz({5, 5, 5, 5, 5}), stcoWrap})))},
      {"co64 count wraps", Moov(Trak("vide", Cat({Stsc({{1, 1}}), Stsz({5, 5, 5, 5, 5}), co64Wrap})))},
      {"stsc count wraps", Moov(Trak("vide", Cat({stscWrap, Stsz({5, 5, 5, 5, 5}), Stco({1, 2, 3, 4, 5})})))},
      {"stsz count wraps", Moov(Trak("vide", Cat({Stsc({{1, 1}}), stszWrap, Stco({1, 2, 3, 4, 5})})))},
      {"four billion uniform samples in one chunk",
       Moov(Trak("vide", Cat({Stsc({{1, 0xFFFFFFFF}}), StszUniform(1, 0xFFFFFFFF), Stco({1})})))},
      {"uniform samples with runs that would wrap",
       Moov(Trak("vide", Cat({Stsc({{1, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}}), StszUniform(7, 0xFFFFFFFF), Stco({1, 2})})))},
      {"a child larger than its parent", Moov(Box("trak", Box("mdia", good), 30))},
      {"a sample table past the moov", Box("moov", Trak("vide", good), 40)},
      {"nesting two thousand deep", Moov(nested)},
  };
  const uint64_t before = GetHeapUsageTotal();
  for (const Case& k : cases) {
    // The moov on a heap block of its exact size, so a read past it is caught.
    const Bytes m = k.moov;
    const size_t claimed = std::min<size_t>(m.size(), std::max<uint32_t>(8, uint32_t(m[0]) << 24 | uint32_t(m[1]) << 16 | uint32_t(m[2]) << 8 | m[3]));
    std::vector<uint8_t> exact(m.begin(), m.begin() + long(claimed));
    MoovInfo* info = ParseMoovBox({exact.data(), exact.size()}, 0);
    EXPECT_EQ(info, nullptr) << k.what;
    FreeMoovInfo(info);
  }
  EXPECT_EQ(GetHeapUsageTotal(), before);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

// The stored sample table ends inside the moov: what lies after the moov's end is not read,
// even when it would make the table whole.
TEST(ParseMoov, ChildrenAreCutAtTheirParentsEnd) {
  const Bytes stco = Stco({100, 200, 300, 400, 500});
  const Bytes track = Trak("vide", Cat({Stsc({{1, 1}}), Stsz({5, 5, 5, 5, 5}), stco}));
  const Bytes whole = Moov(track);
  MoovInfo* info = ParseMoovBox({whole.data(), whole.size()}, 0);
  ASSERT_NE(info, nullptr);
  FreeMoovInfo(info);
  // The same bytes, but the moov says it ends 8 bytes before the last two entries.
  info = ParseMoovBox({whole.data(), whole.size() - 8}, 0);
  EXPECT_EQ(info, nullptr);
  FreeMoovInfo(info);
}

// The moov end rule: the box size from the block, the box read in place, the MoovInfo as the
// candidate's details; a box that runs past the data waits for it.
TEST(ParseMoov, TheEndRuleParsesInPlaceAndWaitsForLongBoxes) {
  const Bytes moov = Moov(SimpleVideoTrak(80));
  ASSERT_GT(moov.size(), 512u);
  Bytes buffer(8 * 512, 0);
  std::memcpy(buffer.data() + 512 + 100, moov.data(), moov.size());
  CarveCandidate c{};
  c.typeId = 201;
  c.startLba = kBufferLba + 1;
  c.currentOffset = 100;
  ASSERT_EQ(DetectFileEnd(c, kBufferLba, buffer.data(), 2 * 512), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, kBufferLba + 1);
  ASSERT_EQ(DetectFileEnd(c, kBufferLba, buffer.data(), buffer.size()), kEndKnown);
  ASSERT_NE(c.details, nullptr);
  const auto* info = static_cast<MoovInfo*>(c.details);
  EXPECT_EQ(uint64_t(info->position), (kBufferLba + 1) * 512 + 100);
  EXPECT_EQ(Offsets(info).size(), 80u);
  EXPECT_EQ(c.size, 0u);
  FreeMoovInfo(static_cast<MoovInfo*>(c.details));

  // A size field below a header, or cut by the end of the input, is no moov.
  for (uint32_t size : {0u, 7u}) {
    Bytes bad = buffer;
    const Bytes field = Be32(size);
    std::memcpy(bad.data() + 512 + 100, field.data(), 4);
    CarveCandidate d{};
    d.typeId = 201;
    d.startLba = kBufferLba + 1;
    d.currentOffset = 100;
    EXPECT_EQ(DetectFileEnd(d, kBufferLba, bad.data(), bad.size()), kEndNotValid) << size;
  }
  CarveCandidate e{};
  e.typeId = 201;
  e.startLba = kBufferLba + 1;
  e.currentOffset = 100;
  EXPECT_EQ(DetectFileEndAtInputEnd(e, kBufferLba, buffer.data(), 2 * 512, kBufferLba + 2), kEndNotValid);
}

}  // namespace
