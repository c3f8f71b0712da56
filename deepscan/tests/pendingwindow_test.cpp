#include "deepscan/pendingwindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/heap.h"
#include "base/heap_testing.h"
#include "core/filetypetable.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/fileend.h"
#include "scanbase/scanhitstore.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kBlock = kCarveBlockSectors;

class PendingWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBlockHitLists();
    BeginPendingWindow();
  }
  void TearDown() override {
    EndPendingWindow();
    for (auto& list : BlockHitLists())
      for (SectorHit& h : list)
        if (h.detail) FreeMem(h.detail);
    ClearBlockHitLists();
  }

  // A block whose every byte is its index, unless given.
  static const Bytes& BlockOf(uint64_t index) {
    static Bytes b;
    b.assign(kCarveBlockBytes, uint8_t(index));
    return b;
  }
  static void Feed(uint64_t index) { AdvancePendingWindow(BlockOf(index).data(), index * kBlock); }

  static CarveCandidate Pending(int32_t type, uint64_t start, uint64_t first, uint64_t end) {
    CarveCandidate c;
    c.typeId = type;
    c.startLba = start;
    c.status = kEndNeedsMore;
    c.firstNeededLba = first;
    c.endNeededLba = end;
    return c;
  }
  static SectorHit* HitAt(uint64_t lba, uint8_t kind) {
    auto& lists = BlockHitLists();
    if ((lba >> kHitBlockShift) >= lists.size()) return nullptr;
    for (SectorHit& h : lists[lba >> kHitBlockShift])
      if (h.lba == lba && h.kind == kind) return &h;
    return nullptr;
  }
};

TEST_F(PendingWindowTest, KeepsRangesInOrderAndRefusesImpossibleOnes) {
  EXPECT_TRUE(AddPendingCandidate(Pending(59, 1, 500, 600)));
  EXPECT_TRUE(AddPendingCandidate(Pending(59, 2, 100, 200)));
  EXPECT_TRUE(AddPendingCandidate(Pending(59, 3, 500, 700)));
  EXPECT_TRUE(AddPendingCandidate(Pending(59, 4, 100, 100)));
  EXPECT_TRUE(AddPendingCandidate(Pending(59, 5, 1000, 1000 + kMaxNeededSectors)));
  EXPECT_FALSE(AddPendingCandidate(Pending(59, 6, 1000, 1001 + kMaxNeededSectors)));
  EXPECT_FALSE(AddPendingCandidate(Pending(59, 7, 300, 299)));
  std::vector<uint64_t> order;
  for (const CarveCandidate& c : PendingCandidateList()) order.push_back(c.startLba);
  EXPECT_EQ(order, (std::vector<uint64_t>{2, 4, 1, 3, 5}));
}

TEST_F(PendingWindowTest, WindowAppendsSlidesAndRestarts) {
  // A candidate that needs blocks 0 to 12 pulls each into the window but never fits it.
  ASSERT_TRUE(AddPendingCandidate(Pending(59, 0, 0, 13 * kBlock - 1)));
  const CarveWindowT& w = CarveWindow();
  for (uint64_t b = 0; b < 12; ++b) Feed(b);
  EXPECT_EQ(w.blockCount, 12u);
  EXPECT_EQ(w.firstLba, 0u);
  EXPECT_EQ(w.lastLba, 12 * kBlock - 1);
  Feed(12);
  EXPECT_EQ(w.blockCount, 12u);
  EXPECT_EQ(w.firstLba, kBlock);
  EXPECT_EQ(w.lastLba, 13 * kBlock - 1);
  EXPECT_EQ(w.buffer[0], 1);
  EXPECT_EQ(w.buffer[11 * kCarveBlockBytes], 12);
  EXPECT_EQ(w.buffer[12 * kCarveBlockBytes - 1], 12);
  EXPECT_EQ(PendingCandidateList().size(), 1u);

  // A window of five blocks followed by a block twelve blocks after its first starts anew.
  EndPendingWindow();
  BeginPendingWindow();
  ASSERT_TRUE(AddPendingCandidate(Pending(59, 20 * kBlock, 20 * kBlock, 34 * kBlock)));
  for (uint64_t b = 20; b < 25; ++b) Feed(b);
  EXPECT_EQ(w.blockCount, 5u);
  Feed(32);
  EXPECT_EQ(w.blockCount, 1u);
  EXPECT_EQ(w.firstLba, 32 * kBlock);
  EXPECT_EQ(w.buffer[0], 32);
}

// Many slides in a row: whether the window moves inside its buffer or is copied back to the
// front, it always holds its twelve blocks in order.
TEST_F(PendingWindowTest, LongSlidesKeepEveryBlockInOrder) {
  ASSERT_TRUE(AddPendingCandidate(Pending(59, 0, 0, 40 * kBlock)));
  const CarveWindowT& w = CarveWindow();
  for (uint64_t b = 0; b < 40; ++b) {
    Feed(b);
    const uint64_t first = b < 12 ? 0 : b - 11;
    ASSERT_EQ(w.firstLba, first * kBlock) << b;
    ASSERT_EQ(w.blockCount, uint32_t(b - first + 1)) << b;
    for (uint64_t i = 0; i < w.blockCount; ++i) {
      ASSERT_EQ(w.buffer[i * kCarveBlockBytes], uint8_t(first + i)) << b << " " << i;
      ASSERT_EQ(w.buffer[(i + 1) * kCarveBlockBytes - 1], uint8_t(first + i)) << b << " " << i;
    }
  }
}

TEST_F(PendingWindowTest, BlocksNobodyNeedsLeaveTheWindowAlone) {
  ASSERT_TRUE(AddPendingCandidate(Pending(59, 0, 5 * kBlock, 6 * kBlock)));
  Feed(2);
  EXPECT_EQ(CarveWindow().blockCount, 0u);
  EXPECT_EQ(PendingCandidateList().size(), 1u);
}

TEST_F(PendingWindowTest, SkippedRangeIsDroppedAndItsFileKept) {
  // A file at block 4 needs blocks 5 to 7; the reader jumps from block 4 to block 9.
  const uint64_t start = 4 * kBlock + 100;
  StoreBlockHit(SectorHit{62, kEndNeedsMore, start, 0, nullptr});
  ASSERT_TRUE(AddPendingCandidate(Pending(62, start, 5 * kBlock, 7 * kBlock + 10)));
  Feed(4);
  EXPECT_EQ(PendingCandidateList().size(), 1u);
  Feed(9);
  EXPECT_TRUE(PendingCandidateList().empty());
  // Sized up to the next hit later, not lost.
  EXPECT_EQ(+HitAt(start, 62)->endStatus, kEndNotDetected);
}

TEST_F(PendingWindowTest, CandidatesLeftAtTheEndKeepTheirFiles) {
  const uint64_t start = 100;
  StoreBlockHit(SectorHit{62, kEndNeedsMore, start, 0, nullptr});
  ASSERT_TRUE(AddPendingCandidate(Pending(62, start, 3 * kBlock, 3 * kBlock + 1)));
  EndPendingWindow();
  EXPECT_EQ(+HitAt(start, 62)->endStatus, kEndNotDetected);
  EXPECT_TRUE(PendingCandidateList().empty());
  EXPECT_EQ(CarveWindow().buffer, nullptr);
}

// RAR 4 bytes: marker, main header, a file block of dataBytes, the end block.
Bytes RarArchive(uint32_t dataBytes) {
  Bytes b;
  auto block = [&](uint8_t type, uint16_t flags, uint16_t headerSize, uint32_t added) {
    const size_t at = b.size();
    b.resize(at + headerSize + ((flags & 0x8000) ? added : 0), 0x33);
    b[at + 2] = type;
    b[at + 3] = uint8_t(flags);
    b[at + 4] = uint8_t(flags >> 8);
    b[at + 5] = uint8_t(headerSize);
    b[at + 6] = uint8_t(headerSize >> 8);
    if (flags & 0x8000)
      for (int i = 0; i < 4; ++i) b[at + 7 + i] = uint8_t(added >> (8 * i));
  };
  block(0x72, 0x1A21, 7, 0);
  block(0x73, 0, 13, 0);
  block(0x74, 0x8000, 32, dataBytes);
  block(0x7B, 0x4000, 7, 0);
  return b;
}

TEST_F(PendingWindowTest, RarSpanningTwentyMegabytesResolvesOnRetry) {
  // The archive starts late in block 0; its end block lies 20 MiB later, in block 2.
  const uint64_t start = 16000;
  const Bytes rar = RarArchive(20 << 20);
  Bytes image(4 * kCarveBlockBytes, 0x11);
  std::memcpy(image.data() + start * 512, rar.data(), rar.size());

  CarveCandidate c;
  c.typeId = 62;
  c.startLba = start;
  ASSERT_EQ(DetectFileEnd(c, 0, image.data(), kCarveBlockBytes), kEndNeedsMore);
  StoreBlockHit(SectorHit{62, kEndNeedsMore, start, 0, nullptr});
  ASSERT_TRUE(AddPendingCandidate(c));
  for (uint64_t b = 0; b < 4 && !PendingCandidateList().empty(); ++b)
    AdvancePendingWindow(image.data() + b * kCarveBlockBytes, b * kBlock);
  EXPECT_TRUE(PendingCandidateList().empty());
  const SectorHit* h = HitAt(start, 62);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(+h->endStatus, kEndKnown);
  EXPECT_EQ(+h->size, rar.size());
}

// Files that run up to the end of the input are decided with the data present once it ended:
// a RAW file in the last blocks (which wants 88 MiB from its start) gets its exact end and its
// maker's type; a picture whose end marker never came stays an open-ended file.
TEST_F(PendingWindowTest, FilesAtTheEndOfTheInputAreDecidedWithTheDataPresent) {
  // A little-endian TIFF in block 1 whose strip ends 3 MiB after its start, made by a NIKON.
  const uint64_t raw = kBlock + 100;
  Bytes tiff = {'I', 'I', 0x2A, 0, 8, 0, 0, 0, 3, 0};
  auto entry = [&tiff](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    for (uint32_t v : {uint32_t(tag) | (uint32_t(type) << 16), count, value})
      for (int i = 0; i < 4; ++i) tiff.push_back(uint8_t(v >> (8 * i)));
  };
  entry(271, 2, 18, 50);
  entry(273, 4, 1, 0x1000);
  entry(279, 4, 1, 0x300000 - 0x1000);
  tiff.resize(50, 0);
  const std::string maker = "NIKON CORPORATION";
  tiff.insert(tiff.end(), maker.begin(), maker.end());
  tiff.push_back(0);
  // A JPEG late in block 2 whose scan runs to the input's end without an end marker.
  const uint64_t jpeg = 2 * kBlock + 9000;
  const Bytes jpg = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x11, 0x22, 0x33};
  const uint64_t inputEnd = 2 * kBlock + 12000;  // not a whole number of blocks
  Bytes image(3 * kCarveBlockBytes, 0);
  std::memcpy(image.data() + raw * 512, tiff.data(), tiff.size());
  std::memcpy(image.data() + jpeg * 512, jpg.data(), jpg.size());
  std::memset(image.data() + jpeg * 512 + jpg.size(), 0x44, (inputEnd - jpeg) * 512 - jpg.size());

  InitFileTypeTables();  // the RAW types keep their camera details as photos
  AllocBlockStateMap(3);
  for (uint64_t b = 1; b < 3; ++b) {
    // Each block's new candidates, then the window, as the consumer does.
    for (auto [start, type] : {std::pair{raw, 51}, std::pair{jpeg, 46}}) {
      if (start / kBlock != b) continue;
      CarveCandidate c;
      c.typeId = type;
      c.startLba = start;
      ASSERT_EQ(DetectFileEnd(c, b * kBlock, image.data() + b * kCarveBlockBytes, kCarveBlockBytes), kEndNeedsMore);
      StoreBlockHit(SectorHit{uint8_t(type), kEndNeedsMore, start, 0, nullptr});
      ASSERT_TRUE(AddPendingCandidate(c));
    }
    AdvancePendingWindow(image.data() + b * kCarveBlockBytes, b * kBlock);
    SetBlockState(b, kBlockHandled);
  }
  ASSERT_EQ(PendingCandidateList().size(), 2u);
  ResolvePendingAtInputEnd(inputEnd);
  EXPECT_EQ(PendingCandidateList().size(), 1u);
  EndPendingWindow();
  const SectorHit* r = HitAt(raw, 92);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(+r->endStatus, kEndKnown);
  EXPECT_EQ(+r->size, 0x300000u);
  const void* detail = r->detail;  // a packed field: copied before it is compared
  EXPECT_NE(detail, nullptr);
  const SectorHit* j = HitAt(jpeg, 46);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(+j->endStatus, kEndNotDetected);
}

// A file crossing from block 0 into block 1 waits while a queued block far ahead is handled;
// the sequential pass then brings block 1, and the file gets its exact end. Once its last needed
// block was handled without resolving it, a later block drops it to an open-ended file.
TEST_F(PendingWindowTest, BlockJumpingAheadKeepsCandidatesOfTheSequentialPass) {
  const uint64_t start = kBlock - 2;
  const Bytes rar = RarArchive(3000);
  Bytes image(2 * kCarveBlockBytes, 0x11);
  std::memcpy(image.data() + start * 512, rar.data(), rar.size());
  const Bytes far(kCarveBlockBytes, 0x22);

  struct Step {
    uint64_t lba;  // the block handed over
    const uint8_t* data;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    uint8_t status;
    uint64_t size;
  };
  const Case cases[] = {
      {"far block, then the next one", {{0, image.data()}, {9 * kBlock, far.data()},
                                        {kBlock, image.data() + kCarveBlockBytes}}, kEndKnown, rar.size()},
      {"two far blocks in a row", {{0, image.data()}, {8 * kBlock, far.data()}, {9 * kBlock, far.data()},
                                   {kBlock, image.data() + kCarveBlockBytes}}, kEndKnown, rar.size()},
      {"its block was handled before", {{0, image.data()}, {2 * kBlock, far.data()}}, kEndNotDetected, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EndPendingWindow();
    ClearBlockHitLists();
    BeginPendingWindow();
    AllocBlockStateMap(16);
    if (k.status == kEndNotDetected) SetBlockState(1, kBlockHandled);  // taken from the queue earlier

    CarveCandidate c;
    c.typeId = 62;
    c.startLba = start;
    ASSERT_EQ(DetectFileEnd(c, 0, image.data(), kCarveBlockBytes), kEndNeedsMore);
    StoreBlockHit(SectorHit{62, kEndNeedsMore, start, 0, nullptr});
    ASSERT_TRUE(AddPendingCandidate(c));
    // Handled as the consumer does: the block is marked once the window has seen it.
    for (const Step& s : k.steps) {
      AdvancePendingWindow(s.data, s.lba);
      SetBlockState(s.lba / kBlock, kBlockHandled);
    }
    EXPECT_TRUE(PendingCandidateList().empty());
    const SectorHit* h = HitAt(start, 62);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(+h->endStatus, +k.status);
    EXPECT_EQ(+h->size, k.size);
    FreeBlockStateMap();
  }
}

TEST_F(PendingWindowTest, ExfatRunAcrossABlockEdgeIsInsertedAsItsOwnHit) {
  // Eight directory sectors that start four sectors before block 1, then zeros.
  Bytes image(2 * kCarveBlockBytes, 0);
  const uint64_t start = kBlock - 4;
  for (uint64_t s = 0; s < 8; ++s) {
    uint8_t* sector = image.data() + (start + s) * 512;
    for (int set = 0; set < 4; ++set) {
      uint8_t* e = sector + set * 128;
      e[0] = 0x85;
      e[1] = 3;
      e[32] = 0xC0;
      e[35] = 1;
      e[64] = 0xC1;
      e[66] = 'A';
      e[96] = 0xC1;
      e[98] = 'B';
    }
  }
  CarveCandidate c;
  c.typeId = 231;
  c.startLba = start;
  ASSERT_EQ(DetectFileEnd(c, 0, image.data(), kCarveBlockBytes), kEndNeedsMore);
  ASSERT_TRUE(AddPendingCandidate(c));
  StoreBlockHit(SectorHit{229, kEndKnown, start, 0, nullptr});  // another kind at the sector
  StoreBlockHit(SectorHit{229, kEndKnown, start + 1, 0, nullptr});
  AdvancePendingWindow(image.data(), 0);
  AdvancePendingWindow(image.data() + kCarveBlockBytes, kBlock);
  EXPECT_TRUE(PendingCandidateList().empty());
  const SectorHit* run = HitAt(start, 231);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(+run->endStatus, kEndKnown);
  EXPECT_NE(static_cast<void*>(run->detail), nullptr);
  // Inserted in LBA order: behind the other hit at its sector, before the later one.
  const auto& list = BlockHitLists()[0];
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(+list[1].kind, 231);
  EXPECT_EQ(+list[2].lba, start + 1);
  EXPECT_EQ(static_cast<void*>(HitAt(start, 229)->detail), nullptr);
}

// A resolved candidate updates only the hit it speaks for; a detail it replaces is freed.
TEST_F(PendingWindowTest, ResolutionTouchesOnlyItsOwnHit) {
  const uint64_t lba = kBlock;  // the first sector of block 1
  void* photoDetail = AllocMem(280, 1);
  StoreBlockHit(SectorHit{46, kEndKnown, lba, 5000, photoDetail});
  StoreBlockHit(SectorHit{203, kEndNeedsMore, lba, 0, nullptr});
  StoreBlockHit(SectorHit{36, kEndNeedsMore, lba + 8, 0, AllocMem(280, 3)});
  StoreBlockHit(SectorHit{201, kEndKnown, lba + 16, 0, nullptr});
  StoreBlockHit(SectorHit{62, kEndNeedsMore, lba + 16, 0, nullptr});

  // Type 36 has no end rule here, so a retry resolves it with status 0; the chain candidate
  // wants the four blocks from its own, which hold no chain (6); the block's bytes are no RAR
  // archive, so the RAR candidate resolves with 6.
  CarveCandidate chain = Pending(203, lba, lba, lba + 0xFFFF);
  CarveCandidate doc = Pending(36, lba + 8, lba + 8, lba + 9);
  doc.details = AllocMem(280, 5);
  CarveCandidate rar = Pending(62, lba + 16, lba + 16, lba + 17);
  rar.details = AllocMem(16, 6);  // a detail its hit does not take
  ASSERT_TRUE(AddPendingCandidate(chain));
  ASSERT_TRUE(AddPendingCandidate(doc));
  ASSERT_TRUE(AddPendingCandidate(rar));
  const uint64_t before = GetHeapUsageTotal();
  for (uint64_t b = 1; b <= 4; ++b) Feed(b);
  EXPECT_TRUE(PendingCandidateList().empty());

  const SectorHit* photo = HitAt(lba, 46);
  ASSERT_NE(photo, nullptr);
  EXPECT_EQ(+photo->endStatus, kEndKnown);
  EXPECT_EQ(+photo->size, 5000u);
  EXPECT_EQ(static_cast<void*>(photo->detail), photoDetail);
  const SectorHit* chainHit = HitAt(lba, 203);
  ASSERT_NE(chainHit, nullptr);
  EXPECT_EQ(+chainHit->endStatus, kEndNotValid);
  EXPECT_EQ(static_cast<void*>(chainHit->detail), nullptr);
  EXPECT_EQ(static_cast<void*>(HitAt(lba + 8, 36)->detail), doc.details);
  EXPECT_EQ(+HitAt(lba + 16, 201)->endStatus, kEndKnown);
  EXPECT_EQ(+HitAt(lba + 16, 62)->endStatus, kEndNotValid);
  // The document's old detail and the detail no hit took were freed.
  EXPECT_EQ(before - GetHeapUsageTotal(), (280 + kHeapBlockExtra) + (16 + kHeapBlockExtra));
}

}  // namespace
