#include <gtest/gtest.h>

#include <cstring>

#include "app/resarchive.h"
#include "app/tests/recoverydat_fixture.h"
#include "base/heap.h"

namespace {

TEST(ResArchive, UnscrambleLeavesAnOddTrailingByte) {
  const struct {
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
  } cases[] = {
      {{}, {}},
      {{0x41}, {0x41}},  // a one-byte file stays as it is
      {{0x1E, 0x3C}, {0x00, 0x00}},
      {{0x00, 0x00, 0x7F}, {0x1E, 0x3C, 0x7F}},
      {{0xFF, 0xFF, 0x1E, 0x3C, 0x99}, {0xE1, 0xC3, 0x00, 0x00, 0x99}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> v = c.in;
    UnscrambleArchive(v.data(), v.size());
    EXPECT_EQ(v, c.out);
    ScrambleArchive(v.data(), v.size());
    EXPECT_EQ(v, c.in);  // its own inverse
  }
}

TEST(ResArchive, MemFileCallbacks) {
  uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MemFile empty{0, 5, bytes};
  MemFile noData{10, 5, nullptr};
  EXPECT_EQ(MemFileOpen(nullptr, reinterpret_cast<const char*>(&empty), 0), nullptr);
  EXPECT_EQ(MemFileOpen(nullptr, reinterpret_cast<const char*>(&noData), 0), nullptr);
  EXPECT_EQ(MemFileOpen(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(MemFileTell(nullptr, &noData), -1);
  EXPECT_EQ(MemFileSeek(nullptr, &noData, 0, 0), -1);

  MemFile f{10, 7, bytes};
  ASSERT_EQ(MemFileOpen(nullptr, reinterpret_cast<const char*>(&f), 0), &f);
  EXPECT_EQ(f.pos, 0u);
  uint8_t buf[16] = {};
  EXPECT_EQ(MemFileRead(nullptr, &f, buf, 4), 4u);
  EXPECT_EQ(buf[3], 3);
  EXPECT_EQ(MemFileTell(nullptr, &f), 4);

  const struct {
    uLong offset;
    int origin;
    long result;
    uint32_t pos;
  } seeks[] = {
      {6, ZLIB_FILEFUNC_SEEK_SET, 0, 6}, {2, ZLIB_FILEFUNC_SEEK_CUR, 0, 8}, {0, ZLIB_FILEFUNC_SEEK_END, 0, 10},
      {3, ZLIB_FILEFUNC_SEEK_SET, 0, 3}, {0, 7, -1, 3},  // an unknown origin leaves the position
  };
  for (const auto& s : seeks) {
    EXPECT_EQ(MemFileSeek(nullptr, &f, s.offset, s.origin), s.result) << s.origin;
    EXPECT_EQ(f.pos, s.pos) << s.origin;
  }
  // Reads stop at the end; a position past the end reads nothing.
  ASSERT_EQ(MemFileSeek(nullptr, &f, 8, ZLIB_FILEFUNC_SEEK_SET), 0);
  EXPECT_EQ(MemFileRead(nullptr, &f, buf, 16), 2u);
  EXPECT_EQ(buf[1], 9);
  EXPECT_EQ(MemFileRead(nullptr, &f, buf, 16), 0u);
  ASSERT_EQ(MemFileSeek(nullptr, &f, 50, ZLIB_FILEFUNC_SEEK_SET), 0);
  EXPECT_EQ(MemFileRead(nullptr, &f, buf, 1), 0u);
  EXPECT_EQ(MemFileWrite(nullptr, &f, buf, 1), 0u);
  // Writes have the same bounds.
  const uint8_t w[4] = {0xAA, 0xBB, 0xCC, 0xDD};
  ASSERT_EQ(MemFileSeek(nullptr, &f, 8, ZLIB_FILEFUNC_SEEK_SET), 0);
  EXPECT_EQ(MemFileWrite(nullptr, &f, w, 4), 2u);
  EXPECT_EQ(bytes[8], 0xAA);
  EXPECT_EQ(bytes[9], 0xBB);

  zlib_filefunc_def funcs;
  FillMemFileFuncs(&funcs);
  EXPECT_EQ(funcs.zopen_file, &MemFileOpen);
  EXPECT_EQ(funcs.zseek_file, &MemFileSeek);
  EXPECT_EQ(funcs.opaque, nullptr);
  EXPECT_EQ(funcs.zclose_file(nullptr, &f), 0);
  EXPECT_EQ(funcs.zerror_file(nullptr, &f), 0);
}

// Reads an entry from scrambled archive bytes the way start-up does.
bool ReadEntry(std::vector<uint8_t> archive, const char16_t* name, std::string& out) {
  UnscrambleArchive(archive.data(), archive.size());
  MemFile mf{uint32_t(archive.size()), 0, archive.data()};
  zlib_filefunc_def funcs;
  FillMemFileFuncs(&funcs);
  uint8_t* buf = reinterpret_cast<uint8_t*>(uintptr_t(1));
  uint32_t len = 77;
  const bool ok = ReadZipEntryToMemory(&mf, &funcs, name, buf, len);
  if (!ok) {
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(len, 0u);
    return false;
  }
  out.assign(reinterpret_cast<char*>(buf), len);
  FreeMem(buf);
  return true;
}

// The offset of the first occurrence of a 4-byte signature.
size_t FindSig(const std::vector<uint8_t>& zip, const char* sig) {
  for (size_t i = 0; i + 4 <= zip.size(); ++i) {
    if (memcmp(zip.data() + i, sig, 4) == 0) return i;
  }
  return std::string::npos;
}

TEST(ResArchive, RoundTripThroughScrambleAndMemory) {
  const std::string big(100000, 'z');
  const std::vector<ZipSourceEntry> entries = {
      {"Tesmur/VerCfg.txt", "edition"}, {"Lang/English.txt", "language"}, {"Tesmur/big.bin", big},
      {"Tesmur/odd.bin", "abc"},        {"Tesmur/empty.bin", ""}};
  const std::vector<uint8_t> dat = BuildRecoveryDat(entries);
  ASSERT_FALSE(dat.empty());
  EXPECT_NE(memcmp(dat.data(), "PK", 2), 0);  // scrambled

  std::string text;
  ASSERT_TRUE(ReadEntry(dat, u"Tesmur/VerCfg.txt", text));
  EXPECT_EQ(text, "edition");
  ASSERT_TRUE(ReadEntry(dat, u"LANG/english.TXT", text));  // names match without regard to case
  EXPECT_EQ(text, "language");
  ASSERT_TRUE(ReadEntry(dat, u"Tesmur/big.bin", text));
  EXPECT_EQ(text, big);
  ASSERT_TRUE(ReadEntry(dat, u"Tesmur/odd.bin", text));
  EXPECT_EQ(text, "abc");
  EXPECT_FALSE(ReadEntry(dat, u"Tesmur/empty.bin", text));  // 0 bytes are refused
  EXPECT_FALSE(ReadEntry(dat, u"Tesmur/missing.txt", text));
  EXPECT_FALSE(ReadEntry(dat, u"", text));
  // Not unscrambled: no archive at all.
  std::vector<uint8_t> plain = dat;
  UnscrambleArchive(plain.data(), plain.size());
  EXPECT_FALSE(ReadEntry(plain, u"Tesmur/VerCfg.txt", text));

  // An empty block cannot be opened.
  MemFile none{0, 0, nullptr};
  zlib_filefunc_def funcs;
  FillMemFileFuncs(&funcs);
  uint8_t* buf = nullptr;
  uint32_t len = 0;
  EXPECT_FALSE(ReadZipEntryToMemory(&none, &funcs, u"x", buf, len));
}

TEST(ResArchive, DamagedEntriesAreRefused) {
  std::vector<uint8_t> zip;
  ASSERT_TRUE(BuildZipInMemory({{"a.txt", "payload of the entry"}}, zip));
  const size_t local = FindSig(zip, "PK\x03\x04");
  const size_t central = FindSig(zip, "PK\x01\x02");
  ASSERT_EQ(local, 0u);
  ASSERT_NE(central, std::string::npos);

  // A CRC that does not match the data: the entry reads whole but is a failed read.
  std::vector<uint8_t> badCrc = zip;
  badCrc[local + 14] ^= 0xFF;
  badCrc[central + 16] ^= 0xFF;
  ScrambleArchive(badCrc.data(), badCrc.size());
  std::string text;
  EXPECT_FALSE(ReadEntry(badCrc, u"a.txt", text));

  // A size above 1 GiB in the directory is refused before anything is allocated.
  std::vector<uint8_t> huge = zip;
  const uint32_t size = 0x40000001;
  memcpy(huge.data() + central + 24, &size, 4);
  ScrambleArchive(huge.data(), huge.size());
  EXPECT_FALSE(ReadEntry(huge, u"a.txt", text));

  // Cut short: the reader finds no directory.
  std::vector<uint8_t> cut(zip.begin(), zip.begin() + long(central));
  ScrambleArchive(cut.data(), cut.size());
  EXPECT_FALSE(ReadEntry(cut, u"a.txt", text));
}

}  // namespace
