#include "parsefilesystem/exfat/exfatsectorcheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Sector {
  uint8_t b[512] = {};
  uint8_t* Entry(int i) { return b + 32 * i; }
  // A file set: file entry (SecondaryCount = 1 + names), stream, names.
  int AddSet(int at, int names, bool deleted = false) {
    Entry(at)[0] = deleted ? kExfatFileDeleted : kExfatFile;
    Entry(at)[1] = uint8_t(1 + names);
    if (at + 1 < 16) Entry(at + 1)[0] = deleted ? kExfatStreamDeleted : kExfatStream;
    for (int n = 0; n < names && at + 2 + n < 16; ++n) Entry(at + 2 + n)[0] = deleted ? kExfatNameDeleted : kExfatName;
    return at + 2 + names;
  }
  void Label(const char16_t* text, uint8_t type = kExfatLabel) {
    uint8_t* e = Entry(0);
    e[0] = type;
    size_t n = std::char_traits<char16_t>::length(text);
    e[1] = uint8_t(n);
    std::memcpy(e + 2, text, 2 * n);
  }
};

TEST(ExfatSectorCheck, LabelRule) {
  Sector s;
  s.Label(u"USBSTICK");
  EXPECT_TRUE(IsExfatLabelEntry(s.Entry(0)));
  Sector empty;
  empty.Label(u"", kExfatLabelUnused);
  EXPECT_TRUE(IsExfatLabelEntry(empty.Entry(0))) << "an empty label";
  Sector junk;
  junk.Label(u"AB");
  junk.Entry(0)[30] = 1;
  EXPECT_FALSE(IsExfatLabelEntry(junk.Entry(0))) << "bytes after the characters must be zero";
  Sector zeroChar;
  zeroChar.Label(u"AB");
  zeroChar.Entry(0)[1] = 3;  // claims a third character that is 0
  EXPECT_FALSE(IsExfatLabelEntry(zeroChar.Entry(0)));
  Sector tooLong;
  tooLong.Entry(0)[0] = kExfatLabel;
  tooLong.Entry(0)[1] = 16;
  EXPECT_FALSE(IsExfatLabelEntry(tooLong.Entry(0)));
}

TEST(ExfatSectorCheck, DirectoryEntryRuns) {
  {
    Sector s;  // two complete sets, then the end of the directory
    int next = s.AddSet(0, 2);
    s.AddSet(next, 1);
    EXPECT_TRUE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // deleted sets count the same
    s.AddSet(0, 3, true);
    EXPECT_TRUE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // name entries that continue a set of the previous sector, no file entry
    for (int i = 0; i < 16; ++i) s.Entry(i)[0] = kExfatName;
    EXPECT_FALSE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // names of an earlier set, then one set running past the sector end
    for (int i = 0; i < 4; ++i) s.Entry(i)[0] = kExfatName;
    s.AddSet(4, 17);
    EXPECT_TRUE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // an open set followed by a zero entry is not enough
    s.AddSet(0, 17);
    s.Entry(10)[0] = 0;
    EXPECT_FALSE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // a file entry not followed by its stream
    s.Entry(0)[0] = kExfatFile;
    s.Entry(0)[1] = 2;
    s.Entry(1)[0] = kExfatName;
    EXPECT_FALSE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // an unknown entry type
    int next = s.AddSet(0, 1);
    s.Entry(next)[0] = 0xA0;
    EXPECT_FALSE(CheckExfatDirEntries(s.b, 0));
  }
  {
    Sector s;  // a bitmap entry outside index 1
    int next = s.AddSet(0, 1);
    s.Entry(next)[0] = kExfatBitmap;
    EXPECT_FALSE(CheckExfatDirEntries(s.b, 0));
  }
  Sector any;
  any.AddSet(0, 1);
  EXPECT_FALSE(CheckExfatDirEntries(any.b, 16));
}

TEST(ExfatSectorCheck, RootDirectorySector) {
  Sector s;
  s.Label(u"DATA");
  s.Entry(1)[0] = kExfatBitmap;
  s.Entry(2)[0] = kExfatUpcase;
  s.AddSet(3, 1);
  EXPECT_TRUE(IsExfatRootDirSector(s.b));
  Sector noUpcase = s;
  noUpcase.Entry(2)[0] = kExfatBitmap;
  EXPECT_FALSE(IsExfatRootDirSector(noUpcase.b));
  Sector badLabel = s;
  badLabel.Entry(0)[20] = 7;
  EXPECT_FALSE(IsExfatRootDirSector(badLabel.b));
  Sector empty;  // an empty root: label, bitmap, up-case and nothing else
  empty.Label(u"");
  empty.Entry(1)[0] = kExfatBitmap;
  empty.Entry(2)[0] = kExfatUpcase;
  EXPECT_FALSE(IsExfatRootDirSector(empty.b)) << "no set at all: not a directory run";
}

}  // namespace
