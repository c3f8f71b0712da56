// The MP4/MOV video mode: box hits at any offset, the sample patterns behind their switches with
// their per-block cap, the chains of length-prefixed samples, video names, and the consumer
// thread from its first block to the hand-over at the end of the input.
#include "deepscan/videoscan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "base/log.h"
#include "base/packedtime.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/fileend.h"
#include "deepscan/pendingwindow.h"
#include "deepscan/samplechain.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanthread.h"
#include "deepscan/tests/qtboxbuilder.h"
#include "deepscan/videohits.h"
#include "platform/wndcore.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "scanbase/videodetail.h"

namespace {

using namespace qtb;

constexpr uint64_t kBlocks = 8;

void Put(uint8_t* at, const Bytes& b) { std::memcpy(at, b.data(), b.size()); }

Bytes ReadSample(const std::string& name) {
  std::ifstream f(std::string(KESTREL_CARVE_SAMPLES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::vector<uint32_t> AllEntries(const ChunkTableList* list) {
  std::vector<uint32_t> out;
  for (const ChunkTable* t : ChunkTablesOf(list)) out.insert(out.end(), ChunkTableEntries(t), ChunkTableEntries(t) + t->count);
  return out;
}

std::vector<CString> g_log;
void CaptureLog(const CString& line) { g_log.push_back(line); }

// A scan of an 8-block device in the video mode, nothing shown while scanning.
struct VideoBlock : ::testing::Test {
  std::vector<uint8_t> block = std::vector<uint8_t>(kScanBlockBytes);
  ScanProgress progress = MakeScanProgress(kProgressSectorScan);

  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-LocalName: Video Rescue\r\n", u"");
    InitFileTypeTables();
    VolumeContext& t = ScanTarget();
    ResetVolumeContext(t);
    t.sectorCount = t.deviceSectors = kBlocks * kScanBlockSectors;
    t.operation = 1;
    DeepScanSettingsRecord() = DeepScanSettings();
    DeepScanSettingsRecord().showWhileScanning = 0;
    AllocBlockHitListsFor(kBlocks);
    AllocBlockStateMap(kBlocks);
    BeginPendingWindow();
    Switches(false, false, false, false);
    NewBlock(0);
  }
  void TearDown() override {
    EndPendingWindow();
    FreeBlockHitLists();
    FreeBlockStateMap();
    SetLogSink(nullptr);
    Switches(false, false, false, false);
  }
  static void Switches(bool chains, bool lengths, bool twos, bool ones) {
    VideoFragOptions.VideoSampleSize = chains;
    VideoFragOptions.VideoSample20 = lengths;
    VideoFragOptions.VideoSample02 = twos;
    VideoFragOptions.VideoSample01 = ones;
  }
  void NewBlock(uint64_t index) {
    ResetScanBlock(block.data(), index * kScanBlockSectors);
    SetScanBlockReadResult(block.data(), 1);
  }
  std::vector<SectorHit> Hits(uint8_t kind) {
    std::vector<SectorHit> all, out;
    CollectAllHits(all);
    for (const SectorHit& h : all)
      if (h.kind == kind) out.push_back(h);
    return out;
  }
  // What MatchQtAtomAt makes of the bytes at the offset of an otherwise empty block.
  std::vector<SectorHit> MatchAt(uint32_t offset, const Bytes& bytes) {
    std::memset(block.data(), 0, kScanBlockDataBytes);
    Put(block.data() + offset, bytes);
    std::vector<SectorHit> hits;
    MatchQtAtomAt(3 * kScanBlockSectors, block.data(), offset, hits, progress);
    return hits;
  }
};

TEST_F(VideoBlock, BoxHitsAtTheirOffsets) {
  const Bytes ftyp = Box("ftyp", Cat({Text("qt  "), Be32(0x200), Text("qt  "), Bytes(4)}));
  ASSERT_EQ(ftyp.size(), 0x18u);
  struct Case {
    const char* what;
    uint32_t offset;
    Bytes bytes;
    size_t hits;
    uint64_t size;
  };
  const std::vector<Case> cases = {
      {"ftyp at a sector start", 1024, ftyp, 1, 0x18},
      {"ftyp at offset 4 of a sector", 1028, ftyp, 0, 0},
      {"ftyp of 510 bytes", 1024, Box("ftyp", Bytes(502)), 1, 510},
      {"ftyp of 511 bytes", 1024, Box("ftyp", Bytes(503)), 0, 0},
      {"a box of size 0", 1024, Box("ftyp", Bytes(16), 0), 0, 0},
      {"moov of 0x2000000 bytes", 999, Box("moov", Bytes(16), 0x2000000), 0, 0},
      {"moov of 0x1FFFFFF bytes", 999, Box("moov", Bytes(16), 0x1FFFFFF), 1, 0},
  };
  for (const Case& k : cases) {
    const auto hits = MatchAt(k.offset, k.bytes);
    ASSERT_EQ(hits.size(), k.hits) << k.what;
    if (!hits.empty()) {
      EXPECT_EQ(uint64_t(hits[0].lba), 3 * kScanBlockSectors + k.offset / 512) << k.what;
      EXPECT_EQ(uint64_t(hits[0].size), k.size) << k.what;
    }
  }
  // The long moov waits for the blocks it spans, its hit without a detail meanwhile.
  const auto moov = MatchAt(999, Box("moov", Bytes(16), 0x1FFFFFF));
  EXPECT_EQ(moov[0].kind, kKindMp4Moov);
  EXPECT_EQ(moov[0].endStatus, kHitNeedsMoreData);
  EXPECT_EQ(static_cast<void*>(moov[0].detail), nullptr);
  ASSERT_EQ(PendingCandidateList().size(), 2u);
  EXPECT_EQ(PendingCandidateList().back().currentOffset, 999u % 512);

  // An mdat with its 64-bit size; its detail says where it lies.
  for (const auto& [bytes, size] : {std::pair{Box64("mdat", 0x123456789ull, {}), uint64_t(0x123456789ull)},
                                    std::pair{Box("mdat", Bytes(100)), uint64_t(108)}}) {
    const auto mdat = MatchAt(7001, bytes);
    ASSERT_EQ(mdat.size(), 1u);
    EXPECT_EQ(mdat[0].endStatus, kHitEndFound);
    const auto* info = static_cast<const MdatInfo*>(mdat[0].detail);
    EXPECT_EQ(uint64_t(info->position), 3 * kScanBlockSectors * 512 + 7001);
    EXPECT_EQ(uint64_t(info->size), size);
    FreeMem(mdat[0].detail);
  }
  EXPECT_EQ(uint32_t(progress.scan.filesFound), 2u) << "every ftyp hit is a video found";
}

// The sample patterns, each behind its switch; the block's hits for them come first in its list.
TEST_F(VideoBlock, SamplePatternsFollowTheirSwitches) {
  uint8_t* d = block.data();
  Put(d + 1000, Be32(32));   // 204 (aligned)
  Put(d + 2000, Be32(44));   // not a length the pattern takes
  Put(d + 3002, Be32(32));   // misaligned
  Put(d + 4004, Be32(40));   // 204
  Put(d + 5001, Be32(2));    // 205
  Put(d + 6001, Bytes{0, 0, 1, 0xE0});  // 206
  Put(d + 0x7FFFFC, Be32(2));  // the last offset tested
  Switches(false, true, false, false);
  ScanVideoBlock(d, progress);
  auto h204 = Hits(kKindVideoSampleLen);
  ASSERT_EQ(h204.size(), 1u);
  EXPECT_EQ(AllEntries(static_cast<const ChunkTableList*>(h204[0].detail)), (std::vector<uint32_t>{1000, 4004}));
  EXPECT_TRUE(Hits(kKindVideoSample02).empty());
  EXPECT_TRUE(Hits(kKindVideoSample001).empty());

  NewBlock(1);
  Put(d + 5001, Be32(2));
  Put(d + 6001, Bytes{0, 0, 1, 0xE0});
  Put(d + 0x7FFFFC, Be32(2));
  std::memcpy(d + 100, "\xFF\xD8\xFF\xE0", 4);  // no photo at a non-sector offset
  Switches(false, false, true, true);
  ScanVideoBlock(d, progress);
  auto h205 = Hits(kKindVideoSample02);
  auto h206 = Hits(kKindVideoSample001);
  ASSERT_EQ(h205.size(), 1u);
  ASSERT_EQ(h206.size(), 1u);
  EXPECT_EQ(AllEntries(static_cast<const ChunkTableList*>(h205[0].detail)), (std::vector<uint32_t>{5001, 0x7FFFFC}));
  // 00 00 00 02 holds no 00 00 01; 00 00 01 at 6001 does.
  EXPECT_EQ(AllEntries(static_cast<const ChunkTableList*>(h206[0].detail)), (std::vector<uint32_t>{6001}));
  EXPECT_EQ(uint64_t(h205[0].lba), kScanBlockSectors);
  EXPECT_EQ(GetBlockState(1), kBlockHandled);
  EXPECT_EQ(uint64_t(progress.scan.sectorsDone), 2 * kScanBlockSectors);
}

// Binary data full of the patterns keeps the first 64 Ki offsets of each, and says so.
TEST_F(VideoBlock, PatternListsAreCappedPerBlock) {
  g_log.clear();
  SetLogSink(&CaptureLog);
  for (uint32_t off = 0; off + 4 <= kScanBlockDataBytes; off += 4) Put(block.data() + off, Bytes{0, 0, 1, 0});
  Switches(false, false, false, true);
  ScanVideoBlock(block.data(), progress);
  const auto h206 = Hits(kKindVideoSample001);
  ASSERT_EQ(h206.size(), 1u);
  const auto kept = AllEntries(static_cast<const ChunkTableList*>(h206[0].detail));
  ASSERT_EQ(kept.size(), kSampleOffsetsPerBlock);
  EXPECT_EQ(kept.front(), 0u);
  EXPECT_EQ(kept.back(), 4 * (kSampleOffsetsPerBlock - 1));
  size_t lines = 0;
  for (const CString& l : g_log) lines += l.Find(u"keeps its first") >= 0;
  EXPECT_EQ(lines, 1u);
}

// Units of a 4-byte big-endian length and that many bytes, back to back, from the position.
void PlantChain(uint8_t* window, uint32_t position, int units, uint32_t unitBytes, bool padToEight = false) {
  uint32_t at = position;
  for (int i = 0; i < units; ++i) {
    Put(window + at, Be32(unitBytes - 4));
    std::memset(window + at + 4, 0x77, unitBytes - 4);
    at += padToEight ? (unitBytes + 7) / 8 * 8 : unitBytes;
  }
}

// The chains of a window: run as the scan runs them once the input has ended, on a small window.
std::vector<std::vector<uint32_t>> Chains(const std::vector<uint8_t>& window, int32_t& status) {
  CarveCandidate c{};
  c.typeId = kKindVideoSampleChain;
  c.startLba = 5 * kScanBlockSectors;
  c.wanted = kChainWindowBytes;
  status = DetectFileEndAtInputEnd(c, c.startLba, window.data(), window.size(), c.startLba + window.size() / 512);
  std::vector<std::vector<uint32_t>> out;
  for (const ChunkTable* t : ChunkTablesOf(static_cast<const ChunkTableList*>(c.details)))
    out.emplace_back(ChunkTableEntries(t), ChunkTableEntries(t) + t->count);
  FreeChunkTableList(static_cast<ChunkTableList*>(c.details));
  return out;
}

TEST_F(VideoBlock, ChainsNeedSevenUnitsAndAreFollowedOnce) {
  std::vector<uint8_t> window(1 << 20, 0);
  int32_t status = 0;
  // Six units record four (the last two have no two units behind them): no table.
  PlantChain(window.data(), 4096, 6, 10000);
  EXPECT_TRUE(Chains(window, status).empty());
  EXPECT_EQ(status, kEndNotValid);
  // Seven units give one table of five positions.
  std::fill(window.begin(), window.end(), 0);
  PlantChain(window.data(), 4096, 7, 10000);
  auto tables = Chains(window, status);
  EXPECT_EQ(status, kEndKnown);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0], (std::vector<uint32_t>{4096, 14096, 24096, 34096, 44096}));
  // A long chain is one table, not one for each of its units.
  std::fill(window.begin(), window.end(), 0);
  PlantChain(window.data(), 1001, 40, 20000);
  tables = Chains(window, status);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].size(), 38u);
  // Units too short or too long for a frame of interest.
  for (uint32_t bytes : {8196u, 0x200004u}) {
    std::vector<uint8_t> big(16 << 20, 0);
    PlantChain(big.data(), 0, 7, bytes);
    EXPECT_TRUE(Chains(big, status).empty()) << bytes;
  }
}

// Streams that pad each unit to 8 bytes are followed in the editions whose mode asks for it.
TEST_F(VideoBlock, PaddedChainsInEditionModes4And18) {
  std::vector<uint8_t> window(1 << 20, 0);
  PlantChain(window.data(), 800, 8, 10001, true);
  int32_t status = 0;
  EXPECT_TRUE(Chains(window, status).empty());
  for (const char16_t* key : {u"Default-Key: 104\r\n", u"Default-Key: 218\r\n"}) {
    LoadSettingsForTest(u"Tesmur", u"Pro", key, u"");
    const auto tables = Chains(window, status);
    ASSERT_EQ(tables.size(), 1u) << CString(key).ToUtf8();
    EXPECT_EQ(tables[0], (std::vector<uint32_t>{800, 10808, 20816, 30824, 40832, 50840}));
  }
}

TEST(VideoNames, DateMinuteAndLowBitsOfTheValue) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-LocalName: Camera Rescue\r\n", u"");
  EXPECT_EQ(FormatVideoFileName(0x1234ABCD, PackTime(2016, 5, 7, 8, 9, 59)), CString(u"2016-05-07_0809_ABCD.mov"));
  EXPECT_EQ(FormatVideoFileName(0x10, PackTime(1999, 12, 31, 23, 5, 0)), CString(u"1999-12-31_2305_10.mov"));
  struct Case {
    const char16_t* config;
    const char16_t* ext;
  };
  for (const Case& k : {Case{u"Default-LocalName: Rescue MP4\r\n", u"mp4"}, Case{u"Default-LocalName: MP4 Rescue\r\n", u"mov"},
                        Case{u"Default-LocalName: xMP4\r\n", u"mp4"}, Case{u"Default-LocalName: mp4 tool\r\n", u"mov"},
                        Case{u"", u"mov"}}) {
    LoadSettingsForTest(u"Tesmur", u"Pro", k.config, u"");
    EXPECT_EQ(GetVideoExtension(), CString(k.ext)) << CString(k.config).ToUtf8();
  }
}

// The consumer thread over blocks put into the ring by the test.
struct VideoThread : VideoBlock {
  static inline int rebuilds = 0;
  static inline size_t moovsSeen = 0;
  static bool CountRebuild(std::atomic<uint32_t>*, std::vector<VolumeContext>&) {
    ++rebuilds;
    std::vector<SectorHit> all;
    CollectAllHits(all);
    moovsSeen = 0;
    for (const SectorHit& h : all) moovsSeen += h.kind == kKindMp4Moov && h.endStatus == kHitEndFound;
    return false;
  }
  std::atomic<uint32_t> state{kScanRunning};

  // Puts the blocks into the ring (each filled by fill), then runs the consumer to its end.
  void Run(uint32_t blocks, void (*fill)(uint64_t index, uint8_t* data), uint32_t afterBlocks = kScanInputDone) {
    InstallVideoScanConsumer();
    SetVideoRebuild(&CountRebuild);
    SetScanFinishingPauseMs(1);
    rebuilds = 0;
    AllocScanBlockRing();
    ReaderDone.store(1);
    std::thread consumer([this] { VideoFragmentScanHandThread(&state); });
    for (uint64_t b = 0; b < blocks; ++b) {
      NewBlock(b);
      fill(b, block.data());
      SetBlockState(b, kBlockTaken);
      while (!PutScanBlock(block.data())) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    state.store(afterBlocks);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (WorkerThreadCount() != 0 && std::chrono::steady_clock::now() < deadline) {
      PumpSentMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    consumer.join();
    SetVideoRebuild(nullptr);
  }
};

// Two real camera-like files, one with its moov first, one with it last, the second across a
// block edge; with every switch on the hand-over holds their boxes, their parsed moovs and
// chains through their frames, and the rebuild runs once at the end.
TEST_F(VideoThread, CollectsBoxesMoovsAndChainsForTheRebuild) {
  static const Bytes first = ReadSample("qt_moovfirst.mp4");
  static const Bytes last = ReadSample("qt_moovlast.mp4");
  ASSERT_FALSE(first.empty());
  Switches(true, true, true, true);
  Run(4, [](uint64_t index, uint8_t* data) {
    if (index == 0) Put(data + 100 * 512, first);
    if (index == 1) Put(data + kScanBlockDataBytes - 40 * 512, Bytes(last.begin(), last.begin() + 40 * 512));
    if (index == 2) Put(data, Bytes(last.begin() + 40 * 512, last.end()));
  });
  EXPECT_EQ(state.load(), kScanInputDone);
  EXPECT_EQ(rebuilds, 1);
  EXPECT_EQ(moovsSeen, 2u) << "both moovs are parsed before the rebuild runs";

  const auto ftyps = Hits(kKindMp4Ftyp);
  ASSERT_EQ(ftyps.size(), 2u);
  EXPECT_EQ(uint64_t(ftyps[0].lba), 100u);
  EXPECT_EQ(uint64_t(ftyps[1].lba), 2 * kScanBlockSectors - 40);
  const auto moovs = Hits(kKindMp4Moov);
  ASSERT_EQ(moovs.size(), 2u);
  for (const SectorHit& m : moovs) {
    ASSERT_EQ(m.endStatus, kHitEndFound);
    EXPECT_EQ(AllEntries(static_cast<const MoovInfo*>(m.detail)->tables).size(), 15u);
  }
  ASSERT_EQ(Hits(kKindMp4Mdat).size(), 2u);

  // The frames of both files are found by the chain search (but the first of each, whose first
  // unit is the encoder's short note, and the last two, which have no two units behind them).
  std::vector<uint64_t> chained;
  for (const SectorHit& h : Hits(kKindVideoSampleChain))
    if (h.endStatus == kHitEndFound)
      for (uint32_t e : AllEntries(static_cast<const ChunkTableList*>(h.detail))) chained.push_back(uint64_t(h.lba) * 512 + e);
  std::vector<uint64_t> frames;
  for (const SectorHit& m : moovs) {
    const uint64_t fileStart = m.lba == 100 ? 100 * 512 : (2 * kScanBlockSectors - 40) * 512;
    const auto offsets = AllEntries(static_cast<const MoovInfo*>(m.detail)->tables);
    for (size_t i = 1; i + 2 < offsets.size(); ++i) frames.push_back(fileStart + offsets[i]);
  }
  for (uint64_t f : frames) EXPECT_NE(std::find(chained.begin(), chained.end(), f), chained.end()) << f;
  // Units are coded pieces of frames: the first frame's picture follows the encoder's note
  // inside the same sample. No position lies outside the two files' samples.
  for (uint64_t c : chained) {
    bool inside = false;
    for (const SectorHit& m : moovs) {
      const uint64_t fileStart = m.lba == 100 ? 100 * 512 : (2 * kScanBlockSectors - 40) * 512;
      const auto offsets = AllEntries(static_cast<const MoovInfo*>(m.detail)->tables);
      inside |= c >= fileStart + offsets.front() && c <= fileStart + offsets.back();
    }
    EXPECT_TRUE(inside) << c;
  }
  // The last blocks' chain candidates were decided with what the input held.
  EXPECT_EQ(Hits(kKindVideoSampleChain).size(), 4u);
  for (const SectorHit& h : Hits(kKindVideoSampleChain)) EXPECT_NE(h.endStatus, kHitNeedsMoreData);
  EXPECT_TRUE(PendingCandidateList().empty());
}

TEST_F(VideoThread, StopEndsWithoutTheRebuildAndSwitchesOffGiveNoPositions) {
  Run(2, [](uint64_t, uint8_t* data) { Put(data + 512, Be32(2)); }, kScanStopped);
  EXPECT_EQ(rebuilds, 0);
  EXPECT_EQ(state.load(), kScanStopped);
  for (uint8_t k = kKindVideoSampleChain; k <= kKindVideoSample001; ++k) EXPECT_TRUE(Hits(k).empty()) << int(k);
}

// With files shown while scanning, parsed movies and photos appear in the carved-file slot.
TEST_F(VideoBlock, ParsedMoviesAndPhotosAreShownWhileScanning) {
  const char* tz = getenv("TZ");
  const std::string saved = tz ? tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  ResetVolumeList(AppVolumeList(), nullptr, 0);
  DeepScanSettingsRecord().showWhileScanning = 1;
  const Bytes movie = ReadSample("qt_moovfirst.mov");
  const Bytes photo = ReadSample("photo_plain.jpg");
  NewBlock(2);
  Put(block.data() + 0xABCD % 16384 * 512, movie);
  Put(block.data() + 9000 * 512, photo);
  ScanVideoBlock(block.data(), progress);
  std::vector<CString> names;
  {
    VolumeListReadGuard g(AppVolumeList());
    const VolumeContext& find = AppVolumeList().slots[kFindFileSlot];
    EXPECT_EQ(find.fileCount, 2u);
    for (uint32_t id = kTypeViewFirstFileId; id < kTypeViewFirstFileId + 64; ++id)
      if (const FileRecord* r = GetFileRecord(find, id)) names.push_back(CString(r->name));
  }
  const uint64_t movieLba = 2 * kScanBlockSectors + 0xABCD % 16384;
  EXPECT_NE(std::find(names.begin(), names.end(), FormatVideoFileName(movieLba, PackTime(2016, 5, 7, 0, 9, 10))), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), CString(FormatW(u"0x%I64x.jpg", uint64_t(2 * kScanBlockSectors + 9000)))),
            names.end());
  ClearVolumeList(AppVolumeList());
  if (tz) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace
