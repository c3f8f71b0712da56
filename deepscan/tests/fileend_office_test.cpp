// End detection of compound files and zip archives: where they end, the kind their contents
// name, and damaged tables and walks that must end in an answer (never a hang or a huge
// allocation).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/heap.h"
#include "deepscan/fileend.h"
#include "deepscan/fileendrules.h"
#include "deepscan/olereader.h"
#include "deepscan/tests/officebuild.h"

namespace {

using namespace officebuild;
constexpr uint64_t kBlockSectors = 16384;
constexpr uint64_t kBlockBytes = kBlockSectors * 512;
constexpr uint64_t kLba = 0x20000;

struct Result {
  int32_t status;
  uint64_t size;
  int32_t type;
  uint64_t first, end;
};

// The file at the start of a one-block buffer (or of a buffer of `bytes`), other bytes behind.
Result Detect(int32_t type, const Bytes& file, uint64_t bytes = kBlockBytes) {
  Bytes buffer(std::max<uint64_t>(bytes, (file.size() + 511) / 512 * 512), 0x5A);
  std::memcpy(buffer.data(), file.data(), file.size());
  CarveCandidate c;
  c.typeId = type;
  c.startLba = kLba;
  const int32_t r = DetectFileEnd(c, kLba, buffer.data(), buffer.size());
  if (c.details) FreeMem(c.details);
  return {r, c.size, c.typeId, c.firstNeededLba, c.endNeededLba};
}

Cfb Document(std::vector<std::u16string> names) {
  std::vector<Stream> streams;
  uint8_t seed = 1;
  for (auto& n : names) streams.push_back({n, Filled(300, seed++)});
  return BuildCfb(streams);
}

TEST(OleEnd, EndsBehindTheLastSectorInUse) {
  // Sectors 0 to 9 in use: the file is (9 + 2) * 512 bytes long, whatever lies behind it.
  Cfb f = Document({u"WordDocument"});
  ASSERT_LE(f.usedSectors, 10u);
  f.bytes.resize(11 * 512, 0);
  for (uint32_t n = f.usedSectors; n < 10; ++n) Put32(f.bytes, f.FatEntry(n), n + 1 < 10 ? n + 1 : kEnd);
  const Result r = Detect(36, f.bytes);
  EXPECT_EQ(r.status, kEndKnown);
  EXPECT_EQ(r.size, 5632u);
  EXPECT_EQ(r.type, 36);
}

TEST(OleEnd, KindFromTheFirstKnownStreamName) {
  const struct {
    std::vector<std::u16string> names;
    int32_t status, type;
  } cases[] = {
      {{u"WordDocument", u"1Table"}, kEndKnown, 36},
      {{u"Workbook"}, kEndKnown, 87},
      {{u"Book"}, kEndKnown, 87},
      {{u"Pictures", u"PowerPoint Document"}, kEndKnown, 90},
      {{u"Current User", u"PowerPoint Document"}, kEndKnown, 90},
      {{u"VisioDocument"}, kEndKnown, 96},
      {{u"Props", u"Workbook"}, kEndKnown, 91},
      // Names outside printable ASCII (other than the 0x05 of property sets) are skipped.
      {{u"\x01" u"CompObj", u"\x05SummaryInformation", u"Workbook"}, kEndKnown, 87},
      {{u"\x01Workbook"}, kEndNotValid, 36},
      {{u"Contents", u"WordDocuments"}, kEndNotValid, 36},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(CString(k.names.back().c_str()).ToUtf8());
    const Result r = Detect(36, Document(k.names).bytes);
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.type, k.type);
  }
  // An entry whose stored name length disagrees with its name does not count.
  Cfb f = Document({u"Workbook", u"WordDocument"});
  Put16(f.bytes, f.DirEntry(1) + 64, 20);
  EXPECT_EQ(Detect(36, f.bytes).type, 36);
  // Without the root entry first the file is refused.
  Cfb g = Document({u"Workbook"});
  Put16(g.bytes, g.DirEntry(0), 'X');
  EXPECT_EQ(Detect(36, g.bytes).status, kEndNotValid);
}

TEST(OleEnd, DamagedTablesAreRefused) {
  const Cfb good = Document({u"Workbook"});
  const uint32_t entries = good.fatSectors * 128;
  const struct {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"a FAT entry equal to the entry count", good.FatEntry(good.usedSectors - 1), entries},
      {"a FAT entry below -4", good.FatEntry(good.usedSectors - 1), uint32_t(-5)},
      {"a FAT sector count unlike the list", 44, 2},
      {"a FAT sector beyond 128 MiB", 76, 0x40000},
      {"a DIFAT sector beyond 128 MiB", 68, 0x40000},
      {"a directory chain that loops", good.FatEntry(good.dirStart), good.dirStart},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Bytes b = good.bytes;
    Put32(b, k.at, k.value);
    if (k.at == 68) Put32(b, 72, 1);
    EXPECT_EQ(Detect(36, b).status, kEndNotValid);
  }
  // Two FAT entries pointing at the same sector.
  Bytes twice = good.bytes;
  Put32(twice, good.FatEntry(good.dirStart), 2);
  Put32(twice, good.FatEntry(good.usedSectors - 1), 2);
  EXPECT_EQ(Detect(36, twice).status, kEndNotValid);
}

// A DIFAT sector that names itself, all of its entries free, with a count of 2^32 - 1: once
// such a walk ran for about four billion steps. It ends at the repeated sector.
TEST(OleEnd, SelfLinkedDifatEndsAtOnce) {
  Cfb f = Document({u"Workbook"});
  const uint32_t difat = f.usedSectors;
  f.bytes.resize((size_t(difat) + 2) * 512, 0xFF);
  Put32(f.bytes, (size_t(difat) + 1) * 512 + 127 * 4, difat);
  Put32(f.bytes, f.FatEntry(difat), uint32_t(-4));
  Put32(f.bytes, 68, difat);
  Put32(f.bytes, 72, 0xFFFFFFFF);
  EXPECT_EQ(Detect(36, f.bytes).status, kEndNotValid);
  std::vector<uint32_t> list;
  EXPECT_EQ(OleReadFatSectorList(f.bytes.data(), f.bytes.size(), list), kEndNotValid);
  // Two DIFAT sectors naming each other end the same way.
  Put32(f.bytes, (size_t(difat) + 1) * 512 + 127 * 4, difat + 1);
  f.bytes.resize((size_t(difat) + 3) * 512, 0xFF);
  Put32(f.bytes, (size_t(difat) + 2) * 512 + 127 * 4, difat);
  EXPECT_EQ(OleReadFatSectorList(f.bytes.data(), f.bytes.size(), list), kEndNotValid);
}

TEST(OleEnd, GrowsUntilTheTableFitsAndStopsAtTheWindowLimit) {
  // A file of about 6 MiB starting 100 sectors before a block's end: its table fits those
  // sectors but its end lies far behind them, so the candidate waits for the range from its
  // start, and the window holding that range decides it.
  Cfb f = BuildCfb({{u"Workbook", Filled(6 << 20, 7)}});
  const uint64_t start = kLba + kBlockSectors - 100;
  Bytes window(3 * kBlockBytes, 0x5A);
  std::memcpy(window.data() + (start - kLba) * 512, f.bytes.data(), f.bytes.size());
  CarveCandidate c;
  c.typeId = 36;
  c.startLba = start;
  ASSERT_EQ(DetectFileEnd(c, kLba, window.data(), kBlockBytes), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, start);
  EXPECT_GT(c.endNeededLba, start + f.bytes.size() / 512);
  ASSERT_EQ(DetectFileEnd(c, kLba, window.data(), window.size()), kEndKnown);
  EXPECT_EQ(c.size, f.bytes.size());
  EXPECT_EQ(c.typeId, 87);

  // The same file cut by the end of the input: it can never be decided.
  CarveCandidate cut;
  cut.typeId = 36;
  cut.startLba = kLba;
  const uint64_t held = 4 << 20;
  ASSERT_EQ(DetectFileEnd(cut, kLba, f.bytes.data(), held), kEndNeedsMore);
  EXPECT_EQ(DetectFileEndAtInputEnd(cut, kLba, f.bytes.data(), held, kLba + held / 512), kEndNeedsMore);

  // A FAT sector at 96 MiB: the window grows block by block while the table lies beyond it,
  // and the file is refused once it would have to grow past its largest size (96 MiB).
  Cfb far = Document({u"Workbook"});
  Put32(far.bytes, 44, 2);
  Put32(far.bytes, 80, 0x2FFFF);
  Bytes huge(0x6000000, 0);
  std::memcpy(huge.data(), far.bytes.data(), far.bytes.size());
  CarveCandidate grow;
  grow.typeId = 36;
  grow.startLba = kLba;
  EXPECT_EQ(DetectFileEnd(grow, kLba, huge.data(), huge.size()), kEndNotValid);
}

Bytes PlainZip(size_t members, const std::string& extra = "") {
  std::vector<Member> m;
  for (size_t i = 0; i < members; ++i) m.push_back({"data/file" + std::to_string(i) + ".bin", Filled(100 + i, uint8_t(i))});
  if (!extra.empty()) m.push_back({extra, TextBytes("<x/>")});
  return BuildZip(m);
}

TEST(ZipEnd, PackageKindFromMemberNames) {
  auto named = [](std::vector<std::string> names) {
    std::vector<Member> m;
    for (auto& n : names) m.push_back({n, TextBytes("<part>" + n + "</part>")});
    return BuildZip(m);
  };
  const struct {
    const char* what;
    Bytes zip;
    int32_t type;
  } cases[] = {
      {"document relations first", named({"word/_rels/document.xml.rels", "word/document.xml"}), 37},
      {"workbook relations", named({"[Content_Types].xml", "xl/_rels/workbook.xml.rels"}), 38},
      {"presentation relations", named({"ppt/_rels/presentation.xml.rels"}), 89},
      {"links then drawing data", named({"links.xml", "content/root.dat", "content/riffData.cdr"}), 118},
      {"drawing data then links", named({"content/riffData.cdr", "META-INF/links.xml"}), 118},
      {"data file list then links", named({"content/dataFileList.dat", "links.xml"}), 118},
      {"drawing data without links", named({"content/riffData.cdr", "content/x.dat"}), 61},
      {"a name that only begins alike", named({"word/_rels/document.xml.rels.bak"}), 61},
      {"an ODF package", named({"mimetype", "content.xml", "META-INF/manifest.xml"}), 61},
      {"relations as member 129", PlainZip(128, "xl/_rels/workbook.xml.rels"), 38},
      {"relations as member 130", PlainZip(129, "xl/_rels/workbook.xml.rels"), 61},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = Detect(61, k.zip);
    EXPECT_EQ(r.status, kEndKnown);
    EXPECT_EQ(r.size, k.zip.size());
    EXPECT_EQ(r.type, k.type);
  }
}

TEST(ZipEnd, WalksRecordsAndDataDescriptors) {
  // Members with their sizes behind their data are passed by searching the next "PK"; the
  // comment belongs to the file.
  std::vector<Member> m = {{"a.txt", TextBytes(std::string(3000, 'a')), true, true},
                           {"b.bin", Filled(2000, 3), false, true},
                           {"c.bin", Filled(5000, 4)}};
  const Bytes zip = BuildZip(m, "archive comment");
  const Result r = Detect(61, zip);
  EXPECT_EQ(r.status, kEndKnown);
  EXPECT_EQ(r.size, zip.size());

  // 4096 bytes without "PK" behind a streamed member's header: not a zip.
  Bytes noPk = BuildZip({{"a.bin", Bytes(5000, 0x11), false, true}});
  EXPECT_EQ(Detect(61, noPk).status, kEndNotValid);

  // A bare local header with random bytes behind it and no end: not valid or waiting, never
  // an end.
  Bytes lone = {'P', 'K', 3, 4};
  lone.resize(600, 0);
  EXPECT_NE(Detect(61, lone, 4096).status, kEndKnown);
}

// An archive cut by the end of the input inside its central directory or before its end record
// is never given an end: the bytes that would prove it are missing.
TEST(ZipEnd, CutArchivesAtTheInputEndStayUndecided) {
  const Bytes zip = PlainZip(3);
  const size_t central = FeLe32(zip.data() + zip.size() - 22 + 16);
  for (size_t held : {central + 10, central + 46 + 20, zip.size() - 22, zip.size() - 20}) {
    SCOPED_TRACE(held);
    Bytes input(zip.begin(), zip.begin() + held);
    input.resize((held + 511) / 512 * 512, 0);
    CarveCandidate c;
    c.typeId = 61;
    c.startLba = kLba;
    int32_t r = DetectFileEnd(c, kLba, input.data(), input.size());
    if (r == kEndNeedsMore) r = DetectFileEndAtInputEnd(c, kLba, input.data(), input.size(), kLba + input.size() / 512);
    EXPECT_NE(r, kEndKnown);
    if (c.details) FreeMem(c.details);
  }
}

TEST(ZipEnd, EndBeyondTheBufferWaitsForTheWholeFile) {
  // A 16 MiB archive starting in a block: the walk runs out of data and asks for the range
  // from the file's start; with the window holding it, the walk goes on where it stopped.
  std::vector<Member> m;
  for (int i = 0; i < 8; ++i) m.push_back({"part" + std::to_string(i), Filled(2 << 20, uint8_t(i))});
  const Bytes zip = BuildZip(m);
  const uint64_t start = kLba + 1000;
  Bytes window(3 * kBlockBytes, 0x5A);
  std::memcpy(window.data() + 1000 * 512, zip.data(), zip.size());
  CarveCandidate c;
  c.typeId = 61;
  c.startLba = start;
  ASSERT_EQ(DetectFileEnd(c, kLba, window.data(), kBlockBytes), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, start);
  EXPECT_GT(c.endNeededLba, kLba + kBlockSectors);
  EXPECT_EQ(c.currentOffset, 0u);
  ASSERT_EQ(DetectFileEnd(c, kLba, window.data(), 2 * kBlockBytes), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, start);
  ASSERT_EQ(DetectFileEnd(c, kLba, window.data(), window.size()), kEndKnown);
  EXPECT_EQ(c.size, zip.size());
}

}  // namespace
