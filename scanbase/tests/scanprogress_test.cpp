#include "scanbase/scanprogress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "core/diskreader.h"

namespace {

const char16_t kLang[] =
    u"ElapsedTime: Elapsed\r\n"
    u"RemainTime: Remaining\r\n"
    u"Rate: Speed\r\n"
    u"Sec: s\r\n"
    u"Min: min\r\n"
    u"ReadSuccessRate: Read OK\r\n"
    u"ProcessSectorInfo: Counting found sectors\r\n"
    u"SectorInfo: Sectors\r\n";

int64_t g_now = 0;
uint32_t g_tick = 0;
int64_t FakeNow() { return g_now; }
uint32_t FakeTick() { return g_tick; }

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"", kLang);
    SetScanClock(ScanClock{FakeNow, FakeTick});
    EmptyScanProgressMailbox();
    g_now = 1000;
    g_tick = 50000;
    ScanStartTime = 1000;
    ScanPausedSeconds = 0;
    BaseDoneSectors = 0;
    BlockReads = 0;
    BlockReadFailures = 0;
    RemainTimeEstimate = RemainTimeState();
  }
  void TearDown() override {
    SetScanClock(ScanClock{});
    EmptyScanProgressMailbox();
  }
};

std::u16string Field(const ScanProgress& r, size_t off, size_t units) { return GetProgressText(r, off, units); }

TEST(ScanProgressLayout, KindsStartAtOffsetEight) {
  EXPECT_EQ(sizeof(ScanProgress), 648u);
  EXPECT_EQ(offsetof(ScanProgress, parse.filesInUse), 8u);
  EXPECT_EQ(offsetof(ScanProgress, scan.sectorsDone), 16u);
  EXPECT_EQ(offsetof(ScanProgress, scan.filesFound), 24u);
  EXPECT_EQ(offsetof(ScanProgress, scan.metaCounts), 28u);
  EXPECT_EQ(offsetof(ScanProgress, copy.bytesTotal), 16u);
  EXPECT_EQ(offsetof(ScanProgress, copy.heading), 48u);
  EXPECT_EQ(offsetof(ScanProgress, part.letter), 12u);
  EXPECT_EQ(offsetof(ScanProgress, part.label), 270u);
  EXPECT_EQ(offsetof(ScanProgress, count.total), 12u);  // the sort's id limit: the fourth u32
  EXPECT_EQ(offsetof(ScanProgress, text.line1), 136u);
  EXPECT_EQ(offsetof(ScanProgress, text.line2), 392u);
  EXPECT_EQ(offsetof(ScanProgress, image.blocksExpected), 16u);
}

TEST_F(ProgressTest, FullMailboxDropsThePostAndEmptyTakeLeavesTheRecord) {
  ScanProgress a = MakeScanProgress(kProgressSaveState);
  a.count.done = 1;
  a.count.total = 9;
  ScanProgress b = MakeScanProgress(kProgressSaveState);
  b.count.done = 2;
  PostScanProgress(a);
  PostScanProgress(b);
  ScanProgress got;
  std::memset(&got, 0x5A, sizeof got);
  ASSERT_TRUE(TakeScanProgress(got));
  EXPECT_EQ(std::memcmp(&got, &a, sizeof a), 0);
  ScanProgress untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  ScanProgress again = untouched;
  EXPECT_FALSE(TakeScanProgress(again));
  EXPECT_EQ(std::memcmp(&again, &untouched, sizeof again), 0);
  // After a take the next post gets in.
  PostScanProgress(b);
  ASSERT_TRUE(TakeScanProgress(got));
  EXPECT_EQ(got.count.done, 2u);
}

TEST_F(ProgressTest, ConcurrentPostersNeverLeaveAMixedRecord) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> posters;
  for (int t = 1; t <= 4; ++t) {
    posters.emplace_back([t, &stop] {
      ScanProgress r = MakeScanProgress(kProgressText);
      std::memset(r.raw, t, sizeof r.raw);
      while (!stop.load()) PostScanProgress(r);
    });
  }
  int taken = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (taken < 2000 && std::chrono::steady_clock::now() < until) {
    ScanProgress r;
    if (!TakeScanProgress(r)) {
      std::this_thread::yield();
      continue;
    }
    ++taken;
    uint8_t first = r.raw[0];
    for (uint8_t byte : r.raw) ASSERT_EQ(byte, first);
  }
  stop = true;
  for (auto& p : posters) p.join();
  EXPECT_GT(taken, 0);
}

TEST_F(ProgressTest, ProgressTextFields) {
  struct Case {
    std::u16string a, b, c;
    std::u16string wantA, wantB, wantC;
  } cases[] = {
      {u"Head", u"", u"", u"Head", u"", u""},
      {u"Head", u"Line", u"Third", u"Head", u"Line", u"Third"},
      {std::u16string(70, u'h'), std::u16string(130, u'l'), std::u16string(200, u't'), std::u16string(63, u'h'),
       std::u16string(127, u'l'), std::u16string(127, u't')},
  };
  for (const Case& c : cases) {
    EmptyScanProgressMailbox();
    PostProgressText(CString(c.a), CString(c.b), CString(c.c));
    ScanProgress r;
    ASSERT_TRUE(TakeScanProgress(r));
    EXPECT_EQ(r.kind, 11u);
    EXPECT_EQ(r.reserved, 0u);
    EXPECT_EQ(Field(r, offsetof(ScanProgress, text.heading), 64), c.wantA);
    EXPECT_EQ(Field(r, offsetof(ScanProgress, text.line1), 128), c.wantB);
    EXPECT_EQ(Field(r, offsetof(ScanProgress, text.line2), 128), c.wantC);
    // Every field keeps its terminating zero, and an empty third text leaves its field zero.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&r);
    EXPECT_EQ(bytes[offsetof(ScanProgress, text.line1) - 1], 0);
    EXPECT_EQ(bytes[offsetof(ScanProgress, text.line2) - 1], 0);
    if (c.c.empty()) {
      for (size_t i = offsetof(ScanProgress, text.line2); i < sizeof r; ++i) ASSERT_EQ(bytes[i], 0);
    }
  }
}

std::vector<ProgressHit> Hits(size_t n, uint8_t kind, uint64_t lba) { return std::vector<ProgressHit>(n, {kind, lba}); }

TEST_F(ProgressTest, InitCountsHitsAndPostsTheRecountText) {
  ScanProgressSource src;
  src.operation = 1;
  src.targetSectors = 5 * 16384;
  src.rangeFirstBlock = 0;
  src.rangeLastBlock = 4 * 16384;
  std::vector<uint8_t> states(5, 0);
  src.blockStates = states.data();
  src.blockCount = states.size();

  uint64_t before = ScanProgressPostsOffered();
  ScanProgress rec = MakeScanProgress(kProgressSectorScan);
  InitScanProgress(src, rec);
  EXPECT_EQ(ScanProgressPostsOffered(), before);
  EXPECT_EQ(rec.scan.sectorsTotal, 5u * 16384);
  EXPECT_EQ(rec.scan.sectorsDone, 0u);
  EXPECT_EQ(rec.scan.filesFound, 0u);

  // 1574 hits: the recount text goes out for hits 0 and 787.
  src.hits = Hits(1570, 36, 100);
  std::vector<ProgressHit> more = {{224, 4 * 16384 + 16384},      // the last block start + 16384: in
                                   {224, 4 * 16384 + 16385},      // one sector further: out
                                   {226, 0},
                                   {227, 0}};
  src.hits.insert(src.hits.end(), more.begin(), more.end());
  rec = MakeScanProgress(kProgressSectorScan);
  InitScanProgress(src, rec);
  EXPECT_EQ(ScanProgressPostsOffered(), before + 2);
  ScanProgress text;
  ASSERT_TRUE(TakeScanProgress(text));
  EXPECT_EQ(Field(text, offsetof(ScanProgress, text.heading), 64), u"Counting found sectors");
  EXPECT_EQ(Field(text, offsetof(ScanProgress, text.line1), 128), u"Sectors: 0 / 1574");
  EXPECT_EQ(rec.scan.filesFound, 1570u);
  EXPECT_EQ(rec.scan.metaCounts[4], 1u);  // MFT records
  EXPECT_EQ(rec.scan.metaCounts[2], 2u);  // FAT boot sectors, both kinds
}

TEST_F(ProgressTest, InitDoneSectorsFromTheBlockMapAndTheQueue) {
  std::vector<uint8_t> states = {2, 0, 2};
  ScanProgressSource src;
  src.targetSectors = 5 * 16384;
  src.rangeFirstBlock = 0;
  src.rangeLastBlock = 4 * 16384;
  src.blockStates = states.data();
  src.blockCount = states.size();
  ScanProgress rec = MakeScanProgress(kProgressSectorScan);
  InitScanProgress(src, rec);
  // Blocks 0 and 2 are handled, 3 and 4 lie beyond the map.
  EXPECT_EQ(rec.scan.sectorsDone, 4u * 16384);
  EXPECT_EQ(BaseDoneSectors, 4u * 16384);

  // Deleted-files operation: only the queued blocks.
  src.operation = 2;
  src.rangeFirstBlock = 16384;
  src.queuedBlocks = {2 * 16384 /* handled */, 16384 /* not yet */, 0 /* outside the range */};
  rec = MakeScanProgress(kProgressSectorScan);
  InitScanProgress(src, rec);
  EXPECT_EQ(rec.scan.sectorsTotal, 3u * 16384);
  EXPECT_EQ(rec.scan.sectorsDone, 2u * 16384);
}

TEST_F(ProgressTest, RateText) {
  struct Case {
    const char* what;
    int64_t now;
    uint32_t paused;
    uint64_t done;
    uint32_t reads, failed;
    bool ok;
    std::u16string wantContains;
    std::u16string wantMissing;
  } cases[] = {
      {"no time yet", 1000, 0, 0, 0, 0, false, u"", u""},
      {"pause longer than the scan", 1030, 40, 0, 0, 0, false, u"", u""},
      {"60 s: elapsed only", 1060, 0, 60ull * 51 * 2048, 0, 0, true, u"Elapsed: 01:00     ", u"Speed"},
      {"61 s at 51 MB/s", 1061, 0, 61ull * 51 * 2048, 0, 0, true, u"Speed: 51(MB)/s", u"(GB)"},
      {"61 s at 52 MB/s", 1061, 0, 61ull * 52 * 2048, 0, 0, true, u"Speed: 52(MB)/s  3(GB)/min", u""},
      {"read success", 1010, 0, 0, 1000, 3, true, u"Elapsed: 10        Read OK: 99%", u""},
      {"paused time is not scan time", 4000, 3000 - 61, 61ull * 52 * 2048, 0, 0, true, u"Elapsed: 01:01", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_now = c.now;
    ScanPausedSeconds = c.paused;
    BlockReads = c.reads;
    BlockReadFailures = c.failed;
    RemainTimeEstimate = RemainTimeState();
    CString text(u"X ");
    EXPECT_EQ(FormatScanRateText(c.done, 100ull * 1024 * 1024 * 2048, text), c.ok);
    if (!c.ok) {
      EXPECT_EQ(text, CString(u"X "));
    }
    if (!c.wantContains.empty()) {
      EXPECT_NE(text.Find(c.wantContains), -1) << text.ToUtf8();
    }
    if (!c.wantMissing.empty()) {
      EXPECT_EQ(text.Find(c.wantMissing), -1) << text.ToUtf8();
    }
  }
}

TEST_F(ProgressTest, RemainingTimeSmoothing) {
  RemainTimeEstimate = {100, g_tick};
  EXPECT_EQ(SmoothRemainTime(105), 100u);  // held
  g_tick += 2000;
  EXPECT_EQ(SmoothRemainTime(105), 100u);  // not more than 2000 ms yet
  g_tick += 1;
  EXPECT_EQ(SmoothRemainTime(105), 99u);   // counted down
  RemainTimeEstimate = {100, g_tick};
  EXPECT_EQ(SmoothRemainTime(110), 110u);  // the band excludes 110 %
  RemainTimeEstimate = {100, g_tick};
  EXPECT_EQ(SmoothRemainTime(90), 90u);
  RemainTimeEstimate = {0, g_tick};
  EXPECT_EQ(SmoothRemainTime(0), 0u);

  // Through the text: half done at 1 sector/s of 100 s remaining -> 0.3*0.5*100 + 70 = 85.
  RemainTimeEstimate = RemainTimeState();
  CString text;
  FormatRemainTimeText(100, 200, 100, text);
  EXPECT_EQ(text, CString(u"Remaining: 01:25     "));
}

}  // namespace
