#include "scansave/scansaveidx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/strutil.h"
#include "base/pathutil.h"
#include "platform/fileio.h"
#include "scansave/tests/scansavetestutil.h"

namespace {

class ScanSaveIndex : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramDirOverride(CString(Utf8ToUtf16(dir.path))); }
  void TearDown() override { SetProgramDirOverride(CString()); }

  ScanSaveSource Source(const char16_t* name = u"Disk 0") {
    ScanSaveSource s;
    s.target.name = name;
    s.target.diskModel = u"Kscan Image";
    s.target.devicePath = u"\\\\.\\PhysicalDrive0";
    s.target.deviceSectors = 5 * 16384;
    s.target.operation = 1;
    s.target.targetKind = 1;
    s.regionEnd = 4 * 16384;
    s.blockMap = map;
    s.blockMapBytes = sizeof map;
    s.blockReads = 4;
    s.blockReadFailures = 1;
    return s;
  }
  // A data file and its entry, with a saving time of our choosing.
  CString Save(const char* file, const char16_t* when, const char16_t* name = u"Disk 0") {
    const CString path = JoinPath(GetScanSaveFolder(), CString(Utf8ToUtf16(file)));
    EXPECT_TRUE(AppendScanSaveEntry(path, Source(name)));
    PutFileBytes(path, {'Q', 'Z', 'D', '4'});
    std::vector<ScanSaveEntry> all;
    ReadAll(all);
    std::memset(all.back().savedAt, 0, sizeof all.back().savedAt);
    std::memcpy(all.back().savedAt, when, std::char_traits<char16_t>::length(when) * 2);
    EXPECT_TRUE(WriteScanSaveIndex(all));
    return path;
  }
  void ReadAll(std::vector<ScanSaveEntry>& all) {
    const std::vector<uint8_t> b = FileBytes(GetScanSaveIndexPath());
    all.resize((b.size() - 8) / sizeof(ScanSaveEntry));
    std::memcpy(all.data(), b.data() + 8, all.size() * sizeof(ScanSaveEntry));
  }

  TempFolder dir;
  uint8_t map[5] = {2, 2, 1, 0, 2};
};

TEST_F(ScanSaveIndex, AnEntryHoldsTheTargetAndItsShares) {
  const CString data = JoinPath(GetScanSaveFolder(), u"Save_20260101_120000.dat");
  ASSERT_TRUE(AppendScanSaveEntry(data, Source()));
  const std::vector<uint8_t> b = FileBytes(GetScanSaveIndexPath());
  ASSERT_EQ(b.size(), 8u + 2180u);
  EXPECT_EQ(std::memcmp(b.data(), "QZIDX5\0\0", 8), 0);
  ScanSaveEntry e;
  std::memcpy(&e, b.data() + 8, sizeof e);
  EXPECT_EQ(uint64_t(e.regionLength), 4u * 16384);
  EXPECT_EQ(EntryText(e.readPercent), u"75%");
  EXPECT_EQ(EntryText(e.donePercent), u"50%") << "2 of the region's 4 blocks";
  EXPECT_EQ(EntryText(e.savedAt).GetLength(), 19);
  EXPECT_EQ(EntryText(e.model), u"Kscan Image");
  EXPECT_EQ(EntryText(e.dataPath), data);

  EXPECT_EQ(ComputeDonePercent(map, 5, 16384, 16384), 0u) << "a region of no blocks";
  EXPECT_EQ(ComputeDonePercent(nullptr, 0, 0, 16384), 100u);
  EXPECT_EQ(ComputeDonePercent(map, 2, 0, 4 * 16384), 50u) << "blocks past the map are not handled";
  EXPECT_EQ(ComputeReadPercent(0, 0), 100u);
  EXPECT_EQ(ComputeReadPercent(3, 7), 100u);
  EXPECT_EQ(ComputeReadPercent(0xFFFFFFFF, 1), 99u) << "64-bit arithmetic";
}

TEST_F(ScanSaveIndex, PathsThatDoNotFitTheirFieldsRefuseTheSave) {
  const CString longData = JoinPath(GetScanSaveFolder(), CString(std::u16string(260, u'd')) + u"Save_1.dat");
  EXPECT_FALSE(AppendScanSaveEntry(longData, Source()));
  ScanSaveSource s = Source();
  s.target.devicePath = CString(std::u16string(128, u'p'));
  EXPECT_FALSE(AppendScanSaveEntry(JoinPath(GetScanSaveFolder(), u"Save_2.dat"), s));
  EXPECT_FALSE(PathExists(GetScanSaveIndexPath()));
  s = Source(std::u16string(300, u'n').c_str());
  EXPECT_TRUE(AppendScanSaveEntry(JoinPath(GetScanSaveFolder(), u"Save_3.dat"), s)) << "a long name is only shown";
}

TEST_F(ScanSaveIndex, TheNewestSaveOfTheTargetIsFoundIgnoringCase) {
  Save("Save_a.dat", u"2026-01-01 10:00:00");
  const CString newer = Save("Save_b.dat", u"2026-03-01 09:00:00");
  Save("Save_c.dat", u"2026-05-01 09:00:00", u"Disk 1");
  std::vector<ScanSaveEntry> list;
  ASSERT_TRUE(LoadScanSaveIndex(list));
  ASSERT_EQ(list.size(), 3u);
  SortScanSaveEntries(list);
  VolumeContext t = Source(u"DISK 0").target;
  t.diskModel = u"kscan image";
  uint32_t at = 99;
  ASSERT_TRUE(FindSaveForTarget(list, t, at));
  EXPECT_EQ(EntryText(list[at].dataPath), newer);
  t.devicePath = u"/dev/other";
  EXPECT_FALSE(FindSaveForTarget(list, t, at));
}

TEST_F(ScanSaveIndex, DeletedDataFilesDropOutAndPositionsCountVisibleEntries) {
  const CString a = Save("Save_a.dat", u"2026-01-01 10:00:00");
  const CString b = Save("Save_b.dat", u"2026-01-02 10:00:00");
  const CString c = Save("Save_c.dat", u"2026-01-03 10:00:00");
  ASSERT_EQ(unlink(a.ToUtf8().c_str()), 0);  // removed by hand
  std::vector<ScanSaveEntry> list;
  ASSERT_TRUE(LoadScanSaveIndex(list));
  ASSERT_EQ(list.size(), 2u);
  ASSERT_TRUE(DeleteScanSave(1)) << "the second visible entry is c";
  EXPECT_FALSE(PathExists(c));
  EXPECT_TRUE(PathExists(b));
  ASSERT_TRUE(LoadScanSaveIndex(list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(EntryText(list[0].dataPath), b);
  EXPECT_FALSE(DeleteScanSave(1)) << "outside the list: nothing changes";

  // An entry whose path is not a data-file name is never deleted.
  std::vector<ScanSaveEntry> all;
  ReadAll(all);
  const CString other = dir.File("precious.txt");
  PutFileBytes(other, {1});
  std::memset(all[1].dataPath, 0, sizeof all[1].dataPath);
  std::memcpy(all[1].dataPath, other.GetString(), size_t(other.GetLength()) * 2);
  ASSERT_TRUE(WriteScanSaveIndex(all));
  EXPECT_FALSE(DeleteScanSave(0));
  EXPECT_TRUE(PathExists(other));
}

TEST_F(ScanSaveIndex, DamagedIndexesNeverBlockSaving) {
  Save("Save_a.dat", u"2026-01-01 10:00:00");
  Save("Save_b.dat", u"2026-01-02 10:00:00");
  // Cut inside the second entry: the whole first entry is kept, the list shows nothing until
  // the next save rewrites the index.
  std::vector<uint8_t> b = FileBytes(GetScanSaveIndexPath());
  b.resize(8 + 2180 + 1000);
  PutFileBytes(GetScanSaveIndexPath(), b);
  std::vector<ScanSaveEntry> list;
  EXPECT_FALSE(LoadScanSaveIndex(list));
  EXPECT_FALSE(DeleteScanSave(0));
  const CString c = Save("Save_c.dat", u"2026-01-03 10:00:00");
  ASSERT_TRUE(LoadScanSaveIndex(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(EntryText(list[1].dataPath), c);

  // A bad first byte: the index is replaced by one holding only the new entry.
  b = FileBytes(GetScanSaveIndexPath());
  b[0] = 'X';
  PutFileBytes(GetScanSaveIndexPath(), b);
  EXPECT_FALSE(LoadScanSaveIndex(list));
  Save("Save_d.dat", u"2026-01-04 10:00:00");
  EXPECT_EQ(FileBytes(GetScanSaveIndexPath()).size(), 8u + 2180u);
  // Byte 7 is not looked at.
  b = FileBytes(GetScanSaveIndexPath());
  b[7] = 9;
  PutFileBytes(GetScanSaveIndexPath(), b);
  EXPECT_TRUE(LoadScanSaveIndex(list));
}

TEST_F(ScanSaveIndex, DataFileNames) {
  CString path;
  ASSERT_TRUE(MakeScanSaveFileName(path));
  EXPECT_TRUE(IsScanSaveFileName(path));
  EXPECT_EQ(path.Left(GetScanSaveFolder().GetLength()), GetScanSaveFolder());
  // A name taken within the same second gets a number.
  ASSERT_EQ(CreateDirRecursive(GetScanSaveFolder()), 0);
  PutFileBytes(path, {1});
  CString second;
  ASSERT_TRUE(MakeScanSaveFileName(second));
  EXPECT_NE(second, path);
  EXPECT_TRUE(IsScanSaveFileName(second));
  struct Case {
    const char16_t* path;
    bool ok;
  } cases[] = {{u"/x/Save_1.dat", true}, {u"/x/save_1.DAT", true}, {u"SAVE_.dat", true}, {u"s_1.dat", false},
               {u"/x/Save_1.txt", false}, {u"/x/Safe_1.dat", false}, {u"/Save_.d", false}};
  for (const Case& c : cases) EXPECT_EQ(IsScanSaveFileName(c.path), c.ok) << CString(c.path).ToUtf8();
}

}  // namespace
