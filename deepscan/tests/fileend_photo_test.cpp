// JPEG, camera RAW and drawing end rules over small built files: the edges of the marker walk,
// the Exif and TIFF directory walks (cycles, nesting, byte order) and the drawing header.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/heap.h"
#include "base/heap_testing.h"
#include "core/carvedname.h"
#include "deepscan/fileend.h"
#include "deepscan/tiffwalk.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kBlockSectors = 16384;

void Append(Bytes& b, std::initializer_list<uint8_t> v) { b.insert(b.end(), v); }
void AppendText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void Be16(Bytes& b, uint32_t v) { Append(b, {uint8_t(v >> 8), uint8_t(v)}); }

// A TIFF structure in either byte order: a header whose first directory is at 8, then
// directories laid out by the caller with values in an area behind them.
struct Tiff {
  bool big;
  Bytes b;
  explicit Tiff(bool bigEndian) : big(bigEndian) {
    AppendText(b, big ? "MM" : "II");
    U16(42);
    U32(8);
  }
  void U16(uint32_t v) { big ? Append(b, {uint8_t(v >> 8), uint8_t(v)}) : Append(b, {uint8_t(v), uint8_t(v >> 8)}); }
  void U32(uint32_t v) {
    if (big) Append(b, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    else Append(b, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  }
  void Put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(big ? v >> (24 - 8 * i) : v >> (8 * i));
  }
  struct Entry {
    uint16_t tag, type;
    uint32_t count, value;  // for texts: value is set from text
    std::string text;       // an ASCII value placed in the area (or inline when short)
  };
  // One directory at the current end, its values in an area right behind it; returns its offset.
  uint32_t Directory(const std::vector<Entry>& entries, uint32_t next = 0) {
    const uint32_t at = uint32_t(b.size());
    uint32_t area = at + 2 + 12 * uint32_t(entries.size()) + 4;
    Bytes values;
    U16(uint16_t(entries.size()));
    for (const Entry& e : entries) {
      U16(e.tag);
      U16(e.type);
      if (!e.text.empty()) {
        const uint32_t n = uint32_t(e.text.size() + 1);
        U32(n);
        if (n <= 4) {
          Bytes v(4, 0);
          std::memcpy(v.data(), e.text.data(), e.text.size());
          b.insert(b.end(), v.begin(), v.end());
        } else {
          U32(area + uint32_t(values.size()));
          values.insert(values.end(), e.text.begin(), e.text.end());
          values.push_back(0);
        }
      } else {
        U32(e.count);
        if (e.type == 3 && e.count == 1) {
          U16(e.value);
          U16(0);
        } else {
          U32(e.value);
        }
      }
    }
    U32(next);
    b.insert(b.end(), values.begin(), values.end());
    return at;
  }
};

struct Result {
  int32_t status;
  uint64_t size;
  int32_t type;
  std::u16string maker, model, date;
};
std::u16string Slot(const char16_t* s, size_t n) {
  std::u16string t;
  for (size_t i = 0; i < n && s[i]; ++i) t.push_back(s[i]);
  return t;
}
Result Finish(CarveCandidate& c, int32_t r) {
  Result out{r, c.size, c.typeId, u"", u"", u""};
  if (c.details) {
    CarvedFileMetadata m;
    std::memcpy(&m, c.details, sizeof m);
    out.maker = Slot(m.person, 32);
    out.model = Slot(m.other, 32);
    out.date = Slot(m.date, 12);
    FreeMem(c.details);
    c.details = nullptr;
  }
  return out;
}

// The file at the start of one 8 MiB block, zeros behind it.
Result InBlock(int32_t type, const Bytes& file) {
  static Bytes block;
  block.assign(kBlockSectors * 512, 0);
  std::memcpy(block.data(), file.data(), std::min(file.size(), block.size()));
  CarveCandidate c;
  c.typeId = type;
  c.startLba = 4 * kBlockSectors;
  return Finish(c, DetectFileEnd(c, c.startLba, block.data(), block.size()));
}

// The file alone, with the input ending behind it: what a RAW file near the end of a disk gets.
Result AtInputEnd(int32_t type, const Bytes& file) {
  Bytes buffer((file.size() + 511) / 512 * 512 + 4096, 0);
  std::memcpy(buffer.data(), file.data(), file.size());
  CarveCandidate c;
  c.typeId = type;
  c.startLba = 7000;
  return Finish(c, DetectFileEndAtInputEnd(c, 7000, buffer.data(), buffer.size(), 7000 + buffer.size() / 512));
}

// ---------------------------------------------------------------- JPEG

Bytes Segment(uint8_t marker, const Bytes& payload) {
  Bytes s{0xFF, marker};
  Be16(s, uint32_t(payload.size() + 2));
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}
Bytes ExifApp1(const Tiff& t) {
  Bytes p;
  AppendText(p, std::string("Exif\0\0", 6));
  p.insert(p.end(), t.b.begin(), t.b.end());
  // Room behind the directories, as the thumbnail gives a real segment: a value within the
  // segment's last bytes counts as damaged.
  p.resize(p.size() + 64, 0);
  return Segment(0xE1, p);
}
// SOI, the given segments, a start of scan, entropy-coded bytes without any FF, end of image.
Bytes Jpeg(const std::vector<Bytes>& segments, size_t scanBytes = 3000) {
  Bytes j{0xFF, 0xD8};
  for (const Bytes& s : segments) j.insert(j.end(), s.begin(), s.end());
  const Bytes sos = Segment(0xDA, {0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  j.insert(j.end(), sos.begin(), sos.end());
  for (size_t i = 0; i < scanBytes; ++i) j.push_back(uint8_t((i * 37 + 11) % 0xFF));
  Append(j, {0xFF, 0xD9});
  return j;
}
Tiff CameraTags(const std::vector<Tiff::Entry>& more = {}) {
  Tiff t(false);
  std::vector<Tiff::Entry> e = {{271, 2, 0, 0, "Canon"}, {272, 2, 0, 0, "Canon EOS R5"}};
  e.insert(e.end(), more.begin(), more.end());
  t.Directory(e);
  return t;
}

TEST(JpegEnd, MarkerWalkEdges) {
  const Bytes app0 = Segment(0xE0, Bytes(14, 0x11));
  const Bytes dqt = Segment(0xDB, Bytes(65, 0x05));
  // A thumbnail with its own end marker, inside an APP2 segment before the start of scan.
  Bytes thumb{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x10, 0x20, 0xFF, 0xD9};
  const Bytes plain = Jpeg({app0, dqt});
  const Bytes withThumb = Jpeg({app0, Segment(0xE2, thumb), dqt});
  Bytes zeroLength = Jpeg({app0});
  zeroLength.insert(zeroLength.begin() + 2 + app0.size(), {0xFF, 0xDB, 0x00, 0x00});
  Bytes notMarker = Jpeg({app0});
  notMarker[2 + app0.size()] = 0x7F;
  struct Case {
    const char* what;
    Bytes file;
    int32_t status;
    uint64_t size;
  } cases[] = {
      {"plain", plain, kEndKnown, plain.size()},
      {"an end marker before the start of scan", withThumb, kEndKnown, withThumb.size()},
      {"a zero segment length", zeroLength, kEndNotValid, 0},
      {"a byte that is no marker", notMarker, kEndNotValid, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = InBlock(46, k.file);
    EXPECT_EQ(r.status, k.status);
    if (k.status == kEndKnown) {
      EXPECT_EQ(r.size, k.size);
    }
  }
}

// A JPEG in the last sector of a block whose headers run past it waits for the next block; its
// search for the end marker resumes where it stopped.
TEST(JpegEnd, CutBeforeTheStartOfScanWaitsForMoreData) {
  const Bytes file = Jpeg({Segment(0xE0, Bytes(14, 0x11)), Segment(0xDB, Bytes(600, 0x05))}, 20000);
  Bytes two(2 * kBlockSectors * 512, 0);
  const size_t at = kBlockSectors * 512 - 512;
  std::memcpy(two.data() + at, file.data(), file.size());
  CarveCandidate c;
  c.typeId = 46;
  c.startLba = kBlockSectors - 1;
  EXPECT_EQ(DetectFileEnd(c, 0, two.data(), kBlockSectors * 512), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, kBlockSectors - 1);
  EXPECT_EQ(c.endNeededLba, 2 * kBlockSectors);
  EXPECT_EQ(DetectFileEnd(c, 0, two.data(), two.size()), kEndKnown);
  EXPECT_EQ(c.size, file.size());
  // With the input ending before the end marker, the picture stays undecided.
  CarveCandidate d;
  d.typeId = 46;
  d.startLba = kBlockSectors - 1;
  EXPECT_EQ(DetectFileEndAtInputEnd(d, 0, two.data(), two.size(), kBlockSectors + 20), kEndNeedsMore);
  if (d.details) FreeMem(d.details);
}

TEST(JpegEnd, ExifDetails) {
  struct Case {
    const char* what;
    Tiff tiff;
    std::u16string maker, model, date;
  };
  // The Exif directory (tag 34665) holds the original date; a later date tag replaces the
  // earlier one, and the digitised date counts only while none was found.
  Tiff withExif(true);
  const uint32_t ifd0 = 8;
  withExif.Directory({{271, 2, 0, 0, "NIKON CORPORATION"}, {306, 2, 0, 0, "2001:01:01 00:00:00"}, {34665, 4, 1, 0, ""}});
  const uint32_t exifIfd = withExif.Directory({{36867, 2, 0, 0, "2020:02:03 04:05:06"}, {36868, 2, 0, 0, "1999:09:09 09:09:09"}});
  withExif.Put32(ifd0 + 2 + 2 * 12 + 8, exifIfd);
  // An Exif directory that points at itself, and one that points back at IFD0.
  Tiff selfLoop(false);
  selfLoop.Directory({{271, 2, 0, 0, "Canon"}, {34665, 4, 1, 0, ""}});
  const uint32_t loop = selfLoop.Directory({{34665, 4, 1, 0, ""}, {36867, 2, 0, 0, "2018:08:08 08:08:08"}});
  selfLoop.Put32(ifd0 + 2 + 12 + 8, loop);
  selfLoop.Put32(loop + 2 + 8, loop);
  Tiff backLoop(false);
  backLoop.Directory({{271, 2, 0, 0, "SONY"}, {34665, 4, 1, 8, ""}});
  Case cases[] = {
      {"maker and model", CameraTags(), u"Canon", u"Canon EOS R5", u""},
      {"the software text replaces the model", CameraTags({{305, 2, 0, 0, "Firmware 1.8"}}), u"Canon",
       u"Firmware 1.8", u""},
      {"a short model lies in the entry itself", [] {
         Tiff t(false);
         t.Directory({{271, 2, 0, 0, "Leica"}, {272, 2, 0, 0, "M9"}});
         return t;
       }(), u"Leica", u"M9", u""},
      {"big-endian with an Exif directory", withExif, u"NIKON CORPORATION", u"", u"2020:02:03"},
      {"an Exif directory pointing at itself", selfLoop, u"Canon", u"", u"2018:08:08"},
      {"an Exif directory pointing at the first one", backLoop, u"SONY", u"", u""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = InBlock(46, Jpeg({Segment(0xE0, Bytes(14, 0x11)), ExifApp1(k.tiff)}));
    EXPECT_EQ(r.status, kEndKnown);
    EXPECT_EQ(r.maker, k.maker);
    EXPECT_EQ(r.model, k.model);
    EXPECT_EQ(r.date, k.date);
  }
}

// Each APP1 segment packs the details anew; the block it replaces is freed.
int g_live = 0;
void* CountingAlloc(uint64_t n) {
  ++g_live;
  return std::malloc(size_t(n));
}
void CountingFree(void* p) {
  --g_live;
  std::free(p);
}
TEST(JpegEnd, EveryApp1FreesTheDetailsItReplaces) {
  const Bytes file = Jpeg({ExifApp1(CameraTags()), ExifApp1(CameraTags()), ExifApp1(CameraTags()),
                           Segment(0xE1, Bytes(20, 0x41))});
  SetHeapAllocator(&CountingAlloc, &CountingFree);
  g_live = 0;
  const Result r = InBlock(46, file);
  const int live = g_live;
  SetHeapAllocator(nullptr, nullptr);
  EXPECT_EQ(live, 0);
  // A later APP1 without Exif keeps what the walk found.
  EXPECT_EQ(r.maker, u"Canon");
}

// ---------------------------------------------------------------- camera RAW

// A RAW-like TIFF whose one strip ends at stripEnd; offsets inline, maker in the value area.
Bytes RawWithStripEnd(uint32_t stripEnd, bool big = false, const std::string& maker = "NIKON CORPORATION") {
  Tiff t(big);
  t.Directory({{271, 2, 0, 0, maker}, {273, 4, 1, 0x1000, ""}, {279, 4, 1, stripEnd - 0x1000, ""}});
  return t.b;
}

TEST(CameraRawEnd, TwoMebibytesAndMore) {
  struct Case {
    const char* what;
    Bytes file;
    int32_t status;
    uint64_t size;
    int32_t type;
  } cases[] = {
      {"a strip ending at 0x1FFFFF", RawWithStripEnd(0x1FFFFF), kEndNotValid, 0, 51},
      {"a strip ending at 0x200000", RawWithStripEnd(0x200000), kEndKnown, 0x200000, 92},
      {"big-endian", RawWithStripEnd(0x345678, true, "Canon"), kEndKnown, 0x345678, 49},
      {"no maker", RawWithStripEnd(0x300000, false, ""), kEndKnown, 0x300000, 50},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = AtInputEnd(51, k.file);
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.type, k.type);
    if (k.status == kEndKnown) {
      EXPECT_EQ(r.size, k.size);
    }
  }
}

TEST(CameraRawEnd, MakerRefinesTheType) {
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u"NIKON CORPORATION", 92}, {u"Canon", 49},      {u"FUJIFILM", 50},   {u"SONY", 101},
      {u"OLYMPUS IMAGING CORP.", 104}, {u"PENTAX Corporation", 98}, {u"Panasonic", 50}, {u"Hasselblad", 50},
      {u"SAMSUNG TECHWIN", 52}, {u"Mamiya-OP", 102}, {u"nikon", 50}, {u"", 50}};
  for (const auto& [maker, type] : cases) EXPECT_EQ(GetRawMaker(CString(maker)), type) << CString(maker).ToUtf8();
}

// Sub-directories and the Exif directory count for the end; rings of them end the walk, and
// nesting stops four levels down.
TEST(CameraRawEnd, DirectoryWalkIsBounded) {
  // IFD0 → SubIFD A (strip to 0x250000) → SubIFD B (to 0x260000) → C (0x270000) → D (0x280000).
  Tiff nested(false);
  nested.Directory({{271, 2, 0, 0, "PENTAX"}, {330, 4, 1, 0, ""}});
  uint32_t parent = 8;
  uint32_t end = 0x250000;
  for (int level = 0; level < 4; ++level, end += 0x10000) {
    const uint32_t at = nested.Directory({{273, 4, 1, 0x1000, ""}, {279, 4, 1, end - 0x1000, ""}, {330, 4, 1, 0, ""}});
    nested.Put32(parent + 2 + (parent == 8 ? 12 : 24) + 8, at);
    parent = at;
  }
  // A sub-directory list whose every entry points back at IFD0 or at itself.
  Tiff ring(false);
  ring.Directory({{271, 2, 0, 0, "Canon"}, {330, 4, 3, 0, ""}, {34665, 4, 1, 8, ""}});
  const uint32_t sub = ring.Directory({{273, 4, 1, 0x2000, ""}, {279, 4, 1, 0x300000, ""}, {330, 4, 1, 0, ""}});
  ring.Put32(sub + 2 + 24 + 8, sub);
  const uint32_t list = uint32_t(ring.b.size());
  ring.U32(8);
  ring.U32(sub);
  ring.U32(sub);
  ring.Put32(8 + 2 + 12 + 8, list);
  // A strip offset stored as a big-endian SHORT in the entry's first two bytes.
  Tiff shortOffset(true);
  shortOffset.Directory({{271, 2, 0, 0, "SONY"}, {273, 3, 1, 0x0100, ""}, {279, 4, 1, 0x200000, ""}});
  struct Case {
    const char* what;
    Bytes file;
    uint64_t size;
  } cases[] = {
      {"nesting stops four levels down", nested.b, 0x270000},
      {"rings end the walk", ring.b, 0x302000},
      {"a big-endian SHORT offset", shortOffset.b, 0x200100},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = AtInputEnd(51, k.file);
    EXPECT_EQ(r.status, kEndKnown);
    EXPECT_EQ(r.size, k.size);
  }
}

// ---------------------------------------------------------------- drawings

Bytes Drawing(const char* version, bool sentinel, std::vector<std::pair<uint32_t, uint32_t>> locators) {
  Bytes d(0x3000, 0x20);
  std::memcpy(d.data(), version, 6);
  std::memset(d.data() + 6, 0, 7);
  const uint32_t image = 0x800;
  auto put32 = [&d](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
  };
  put32(13, image);
  put32(21, uint32_t(locators.size()));
  for (size_t i = 0; i < locators.size(); ++i) {
    d[25 + 9 * i] = uint8_t(i);
    put32(25 + 9 * i + 1, locators[i].first);
    put32(25 + 9 * i + 5, locators[i].second);
  }
  if (sentinel) {
    const uint8_t s[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28, 0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
    std::memcpy(d.data() + image, s, 16);
  }
  return d;
}

TEST(DwgEnd, SectionLocators) {
  struct Case {
    const char* what;
    Bytes file;
    uint64_t size;
  } cases[] = {
      {"the last section's end", Drawing("AC1015", true, {{0x1000, 0x200}, {0x5000, 0x1234}, {0x3000, 0x9000}}), 0x6234},
      {"the first of equal addresses", Drawing("AC1014", true, {{0x5000, 0x10}, {0x5000, 0x20}}), 0x5010},
      {"a later version is open-ended", Drawing("AC1018", true, {{0x5000, 0x10}}), 0},
      {"no image sentinel", Drawing("AC1015", false, {{0x5000, 0x10}}), 0},
      {"no locators", Drawing("AC1015", true, {}), 0},
      {"an end past 32 bits", Drawing("AC1015", true, {{0xFFFFFF00, 0x200}}), 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = InBlock(75, k.file);
    EXPECT_EQ(r.status, kEndKnown);
    EXPECT_EQ(r.size, k.size);
  }
}

}  // namespace
