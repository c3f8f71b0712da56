// The compound-file reader over whole files: tables, the mini stream, streams by name, and
// chains that loop or run long.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deepscan/olereader.h"
#include "platform/cstring.h"
#include "deepscan/tests/officebuild.h"

namespace {

using namespace officebuild;

struct Loaded {
  OleTables t;
  bool ok = false;
};
Loaded Load(const Bytes& b) {
  Loaded l;
  l.ok = OleLoadTables(b.data(), b.size(), l.t);
  return l;
}

TEST(OleReader, StreamsFromTheMiniStreamAndTheFile) {
  const Bytes small = Filled(700, 1), large = Filled(9000, 2), tiny = Filled(64, 3);
  const Cfb f = BuildCfb({{u"\x05SummaryInformation", small}, {u"Workbook", large}, {u"Tiny", tiny}, {u"Empty", {}}});
  Loaded l = Load(f.bytes);
  ASSERT_TRUE(l.ok);
  const struct {
    std::u16string name;
    bool found;
    Bytes data;
  } cases[] = {
      {u"\x05SummaryInformation", true, small},
      {u"SummaryInfo", true, small},  // names are matched by what they contain
      {u"Workbook", true, large},     // cut to its size, not whole sectors
      {u"Tiny", true, tiny},
      {u"Empty", true, {}},
      {u"Missing", false, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(CString(k.name.c_str()).ToUtf8());
    Bytes out;
    EXPECT_EQ(OleReadStreamByName(f.bytes.data(), f.bytes.size(), l.t, k.name, out), k.found);
    EXPECT_EQ(out, k.data);
  }
}

// The mini stream is as long as the root entry says in bytes, even when its chain runs on
// into other sectors: the size was once taken as a count of sectors.
TEST(OleReader, MiniStreamIsSizedFromTheRootEntrysBytes) {
  Cfb f = BuildCfb({{u"A", Filled(600, 1)}, {u"B", Filled(5000, 2)}});
  const uint32_t miniSectors = 2;  // 640 bytes of mini sectors in two file sectors
  const uint32_t last = f.miniStreamStart + miniSectors - 1;
  const uint32_t bigStart = last + 1;
  Put32(f.bytes, f.FatEntry(last), bigStart);
  Loaded l = Load(f.bytes);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.t.miniStream.size(), miniSectors * 512u);
  Bytes a;
  ASSERT_TRUE(OleReadStreamByName(f.bytes.data(), f.bytes.size(), l.t, u"A", a));
  EXPECT_EQ(a, Filled(600, 1));
}

TEST(OleReader, DamagedTablesFailTheLoad) {
  const Cfb good = BuildCfb({{u"A", Filled(600, 1)}, {u"B", Filled(5000, 2)}});
  ASSERT_TRUE(Load(good.bytes).ok);
  const uint32_t miniFatSector = good.dirStart + 1;
  const struct {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      // A directory chain that names itself: followed only as far as the file has sectors.
      {"directory loop", good.FatEntry(good.dirStart), good.dirStart},
      {"directory start beyond the table", 48, 5000},
      {"mini FAT entry beyond the mini FAT", (size_t(miniFatSector) + 1) * 512, 200},
      {"mini FAT chain beyond the table", 60, 9999},
      {"mini stream chain beyond the table", good.FatEntry(good.miniStreamStart), 0x7FFFFFF0},
      {"signature", 0, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Bytes b = good.bytes;
    Put32(b, k.at, k.value);
    Loaded l = Load(b);
    EXPECT_FALSE(l.ok);
    EXPECT_TRUE(l.t.fat.empty() && l.t.directory.empty() && l.t.miniStream.empty());
  }
  // A directory without its root entry loads, but no stream can be read from it.
  Bytes noRoot = good.bytes;
  Put16(noRoot, good.DirEntry(0), 'X');
  Loaded l = Load(noRoot);
  ASSERT_TRUE(l.ok);
  EXPECT_TRUE(l.t.miniStream.empty());
  Bytes out;
  EXPECT_FALSE(OleReadStreamByName(noRoot.data(), noRoot.size(), l.t, u"A", out));
  // A stream whose chain loops is read no further than its size.
  Bytes loop = good.bytes;
  const uint32_t bStart = good.usedSectors - 10;
  Put32(loop, good.FatEntry(bStart), bStart);
  Put32(loop, good.FatEntry(bStart + 9), kFree);
  Loaded ll = Load(loop);
  ASSERT_TRUE(ll.ok);
  EXPECT_TRUE(OleReadStreamByName(loop.data(), loop.size(), ll.t, u"B", out));
  EXPECT_EQ(out.size(), 5000u);
}

// Bytes damaged at random places: every load and read ends with an answer (the sanitizer
// build checks that nothing outside the bytes is read).
TEST(OleReader, RandomDamage) {
  const Cfb good = BuildCfb({{u"\x05SummaryInformation", Filled(300, 1)}, {u"WordDocument", Filled(5000, 2)},
                             {u"1Table", Filled(900, 3)}});
  uint32_t seed = 99;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 2000; ++round) {
    Bytes b = good.bytes;
    const int hits = 1 + next() % 4;
    for (int i = 0; i < hits; ++i) {
      const size_t at = next() % b.size();
      b[at] = (next() & 1) ? uint8_t(next()) : uint8_t(next() % 8);
    }
    if (next() % 4 == 0) b.resize(next() % b.size());
    Loaded l = Load(b);
    if (!l.ok) continue;
    Bytes out;
    for (const char16_t* name : {u"SummaryInformation", u"WordDocument", u"1Table"})
      (void)OleReadStreamByName(b.data(), b.size(), l.t, name, out);
  }
}

}  // namespace
