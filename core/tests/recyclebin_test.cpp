#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/heap.h"
#include "core/recyclebin.h"
#include "core/tests/splittestenv.h"

namespace fs = std::filesystem;

namespace {

// A version-2 information file: 8-byte version, 8-byte size, 8-byte deletion time, 4-byte
// unit count of the path with its NUL, the path.
std::vector<uint8_t> InfoV2(std::u16string_view path, int64_t unitsDelta = 0) {
  std::vector<uint8_t> b(28, 0);
  b[0] = 2;
  b[8] = 0x34;
  const uint32_t units = uint32_t(int64_t(path.size() + 1) + unitsDelta);
  std::memcpy(b.data() + 24, &units, 4);
  for (char16_t c : path) {
    b.push_back(uint8_t(c & 0xFF));
    b.push_back(uint8_t(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

// Records whose data are explicit sector runs in a scratch image, the ScanTarget being the
// image: the information files are read from it as from a disk.
class RecycleBin : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSplitTestSettings();
    path_ = (fs::temp_directory_path() / ("kestrel_recycle_" + std::to_string(getpid()) + ".img")).string();
    image_.assign(256 * 512, 0);
  }
  void TearDown() override {
    SetRepairRecycleBinHook(nullptr);
    SetCopyRecordUnderHook(nullptr);
    ResetVolumeContext(ScanTarget());
    fs::remove(path_);
  }
  // Puts the bytes at the next free sector and returns a record row whose blob names them.
  uint32_t AddDataFile(VolumeContext& v, uint32_t id, uint32_t parent, const char16_t* name,
                       const std::vector<uint8_t>& data, uint16_t flags = kFileInUse) {
    const uint64_t lba = nextLba_;
    const uint64_t sectors = std::max<uint64_t>(1, (data.size() + 511) / 512);
    nextLba_ += sectors;
    std::memcpy(image_.data() + lba * 512, data.data(), data.size());
    FileRecord r = MakeRecord({id, parent, name, uint16_t(flags | kRecExtentList), lba, 0, data.size()});
    r.blob = static_cast<uint8_t*>(AllocMem(16, 1));
    std::memcpy(r.blob, &lba, 8);
    std::memcpy(r.blob + 8, &sectors, 8);
    r.blobLength = 16;
    return AddFileRecord(v, r, 0);
  }
  void WriteImage() {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(image_.data()), image_.size());
    ScanTarget().devicePath = CString(std::u16string(path_.begin(), path_.end()).c_str());
    ScanTarget().sectorCount = image_.size() / 512;
  }
  // The common start: root, "$RECYCLE.BIN" with a per-user folder (id 7).
  void StartVolume(VolumeContext& v, uint32_t type = kVolTypeNtfs) {
    ResetVolumeContext(v);
    v.type = type;
    CreateRootAndLostFolders(v);
    AddRows(v, {{6, 5, u"$RECYCLE.BIN", kDirInUse}, {7, 6, u"S-1-5-21-1000", kDirInUse}});
  }
  void Link(VolumeContext& v) {
    WriteImage();
    LinkFileTree(v, 0);
  }
  std::string path_;
  std::vector<uint8_t> image_;
  uint64_t nextLba_ = 8;
};

const std::vector<uint8_t> kData(100, 'r');

TEST_F(RecycleBin, PairGivesTwoDeletedCopiesAndMissingFolders) {
  OwnedVolume v;
  StartVolume(v.ctx);
  AddDataFile(v.ctx, 8, 7, u"$RA1B2C3.txt", kData);
  AddDataFile(v.ctx, 9, 7, u"$IA1B2C3.txt", InfoV2(u"C:\\Users\\x\\Documents\\report.txt"));
  AddDataFile(v.ctx, 10, 7, u"desktop.ini", {'x'});
  Link(v.ctx);
  RepairRecycleBin(v.ctx);
  const FileRecord* bin = GetFileRecord(v.ctx, 6, 0);
  EXPECT_EQ(NameOf(bin), u"Recycle Bin");
  EXPECT_EQ(Val(bin->flags), kDirDeleted);
  EXPECT_EQ(TreePaths(v.ctx), (Paths{
                                  "Lost files/ [D]",
                                  "Recycle Bin/ [D]",
                                  "Recycle Bin/S-1-5-21-1000/",
                                  "Recycle Bin/S-1-5-21-1000/$IA1B2C3.txt",
                                  "Recycle Bin/S-1-5-21-1000/$RA1B2C3.txt",
                                  "Recycle Bin/S-1-5-21-1000/desktop.ini",
                                  "Recycle Bin/Users/ [D]",
                                  "Recycle Bin/Users/x/ [D]",
                                  "Recycle Bin/Users/x/Documents/ [D]",
                                  "Recycle Bin/Users/x/Documents/report.txt [D]",
                                  "Users/ [D]",
                                  "Users/x/ [D]",
                                  "Users/x/Documents/ [D]",
                                  "Users/x/Documents/report.txt [D]",
                              }));
  // The copies read the data file's own runs.
  for (uint32_t id = 11; id < v.ctx.idLimit; ++id) {
    const FileRecord* r = GetFileRecord(v.ctx, id, 0);
    if (r && NameOf(r) == u"report.txt") {
      EXPECT_EQ(Val(r->lba), Val(GetFileRecord(v.ctx, 8, 0)->lba));
      EXPECT_EQ(Val(r->size), 100u);
      EXPECT_EQ(Val(r->blobLength), 16u);
    }
  }
}

TEST_F(RecycleBin, FormerFolderExistsAndRecycledDirectoryWithItsSubtree) {
  OwnedVolume v;
  StartVolume(v.ctx);
  AddRows(v.ctx, {{20, 5, u"Users", kDirInUse},
                  {21, 20, u"x", kDirInUse},
                  {22, 21, u"kept.txt", kFileInUse},
                  {23, 21, u"taken", kDirInUse},  // a directory named like the former file
                  {30, 7, u"$RDIR01", kDirInUse},
                  {31, 30, u"a.txt", kFileInUse},
                  {32, 30, u"sub", kDirInUse},
                  {33, 32, u"b.txt", kFileDeleted}});
  AddDataFile(v.ctx, 8, 7, u"$RA1.txt", kData);
  AddDataFile(v.ctx, 9, 7, u"$IA1.txt", InfoV2(u"C:\\Users\\x\\report.txt"));
  AddDataFile(v.ctx, 10, 7, u"$RB2", kData);
  AddDataFile(v.ctx, 11, 7, u"$IB2", InfoV2(u"C:\\Users\\x\\taken"));
  AddDataFile(v.ctx, 12, 7, u"$IDIR01", InfoV2(u"D:\\Projects\\src"));
  Link(v.ctx);
  RepairRecycleBin(v.ctx);
  const Paths all = TreePaths(v.ctx);
  const Paths below = [&] {
    Paths p;
    for (const std::string& s : all)
      if (s.rfind("Users/", 0) == 0 || s.rfind("Projects/", 0) == 0) p.push_back(s);
    return p;
  }();
  EXPECT_EQ(below, (Paths{
                       "Projects/ [D]",
                       "Projects/src/ [D]",
                       "Projects/src/a.txt [D]",
                       "Projects/src/sub/ [D]",
                       "Projects/src/sub/b.txt [D]",
                       "Users/",
                       "Users/x/",
                       "Users/x/kept.txt",
                       "Users/x/report.txt [D]",  // into the existing folder
                       "Users/x/taken/",          // the file of that name is not copied
                   }));
  EXPECT_NE(std::find(all.begin(), all.end(), "Recycle Bin/Projects/src/sub/b.txt [D]"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "Recycle Bin/S-1-5-21-1000/$RDIR01/sub/b.txt [D]"), all.end());
}

TEST_F(RecycleBin, VolumesAndBinsTheRepairLeavesAlone) {
  // FAT16 keeps the folder under its own name; a Recycle Bin without per-user folders is
  // renamed but its pairs are not restored.
  for (uint32_t type : {uint32_t(kVolTypeFat16), uint32_t(kVolTypeNtfs)}) {
    SCOPED_TRACE(type);
    OwnedVolume v;
    ResetVolumeContext(v.ctx);
    v.ctx.type = type;
    CreateRootAndLostFolders(v.ctx);
    AddRows(v.ctx, {{6, 5, u"$RECYCLE.BIN", kDirInUse}});
    AddDataFile(v.ctx, 8, 6, u"$RA1.txt", kData);
    AddDataFile(v.ctx, 9, 6, u"$IA1.txt", InfoV2(u"C:\\a\\r.txt"));
    Link(v.ctx);
    RepairRecycleBin(v.ctx);
    const std::string bin = type == kVolTypeFat16 ? "$RECYCLE.BIN/" : "Recycle Bin/ [D]";
    const std::string dir = type == kVolTypeFat16 ? "$RECYCLE.BIN/" : "Recycle Bin/";
    Paths want{"Lost files/ [D]", bin, dir + "$IA1.txt", dir + "$RA1.txt"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(TreePaths(v.ctx), want);
  }
}

TEST_F(RecycleBin, AnEmptyBinBeforeTheLiveOneDoesNotStopTheRepair) {
  OwnedVolume v;
  ResetVolumeContext(v.ctx);
  v.ctx.type = kVolTypeNtfs;
  CreateRootAndLostFolders(v.ctx);
  AddRows(v.ctx, {{6, 5, u"$RECYCLE.BIN", kDirDeleted}, {11, 5, u"$RECYCLE.BIN", kDirInUse},
                  {12, 11, u"S-1-5-21-1000", kDirInUse}});
  AddDataFile(v.ctx, 13, 12, u"$RB1.txt", kData);
  AddDataFile(v.ctx, 14, 12, u"$IB1.txt", InfoV2(u"C:\\kept\\b.txt"));
  Link(v.ctx);
  RepairRecycleBin(v.ctx);
  const Paths all = TreePaths(v.ctx);
  EXPECT_NE(std::find(all.begin(), all.end(), "kept/b.txt [D]"), all.end());
}

TEST_F(RecycleBin, FilesDirectlyInTheBinArePairedToo) {
  OwnedVolume v;
  StartVolume(v.ctx);
  AddDataFile(v.ctx, 8, 6, u"$RTOP.txt", kData);
  AddDataFile(v.ctx, 9, 6, u"$ITOP.txt", InfoV2(u"C:\\top.txt"));
  Link(v.ctx);
  RepairRecycleBin(v.ctx);
  const Paths all = TreePaths(v.ctx);
  EXPECT_NE(std::find(all.begin(), all.end(), "top.txt [D]"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "Recycle Bin/top.txt [D]"), all.end());
}

TEST_F(RecycleBin, DamagedInformationFilesGiveNoPath) {
  const std::u16string longName(261, u'n');
  std::vector<uint8_t> v1Short(300, 0);
  v1Short[0] = 1;
  std::vector<uint8_t> noColon = InfoV2(u"Users\\x\\a.txt");
  const std::vector<uint8_t> head = InfoV2(u"");
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"one byte", {':'}},
      {"one unit", {':', 0}},
      {"colon in the last unit", {0, 0, ':', 0}},
      {"head only", std::vector<uint8_t>(head.begin(), head.begin() + 20)},
      {"count beyond the file", InfoV2(u"C:\\a.txt", 50)},
      {"count of zero", InfoV2(u"C:\\a.txt", -9)},
      {"version 1 shorter than its path field", v1Short},
      {"no drive colon", noColon},
      {"name over 260 units", InfoV2(u"C:\\d\\" + longName)},
      {"larger than 10240 bytes", std::vector<uint8_t>(10242, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A block of exactly the file's size, so a read past it shows in the sanitizer build.
    auto* block = static_cast<uint8_t*>(AllocMem(c.bytes.size(), 1));
    std::memcpy(block, c.bytes.data(), c.bytes.size());
    CString path;
    EXPECT_EQ(ParseRecycleInfo(block, uint32_t(c.bytes.size()), path), 0);
    FreeMem(block);
  }
  CString path;
  const std::vector<uint8_t> ok = InfoV2(std::u16string(u"C:\\d\\") + std::u16string(260, u'n'));
  EXPECT_EQ(ParseRecycleInfo(ok.data(), uint32_t(ok.size()), path), 1);
  EXPECT_EQ(path.GetLength(), 263);
  // The last ":\" counts; the path ends at its NUL, whatever follows.
  std::vector<uint8_t> twice = InfoV2(u"C:\\x:\\y\\z.txt");
  for (char c : std::string("\\junk")) twice.insert(twice.end(), {uint8_t(c), 0});
  EXPECT_EQ(ParseRecycleInfo(twice.data(), uint32_t(twice.size()), path), 1);
  EXPECT_EQ(path, CString(u"\\y\\z.txt"));

  // Through the disk: a 1-byte information file is read and skipped, the data file stays.
  OwnedVolume v;
  StartVolume(v.ctx);
  AddDataFile(v.ctx, 8, 7, u"$RA1.txt", kData);
  AddDataFile(v.ctx, 9, 7, u"$IA1.txt", {':'});
  Link(v.ctx);
  const uint32_t limit = v.ctx.idLimit;
  RepairRecycleBin(v.ctx);
  EXPECT_EQ(v.ctx.idLimit, limit);
}

TEST_F(RecycleBin, HostileFormerPathsStayInsideAndEnd) {
  OwnedVolume v;
  StartVolume(v.ctx);
  AddRows(v.ctx, {{30, 7, u"$RDIR", kDirInUse}, {31, 30, u"in.txt", kFileInUse}});
  // The first names the recycled directory itself as the former folder, the second as the
  // former place of the directory; the third climbs with "..", ".", empty names and a second
  // Recycle Bin; the fourth restores a file under a Recycle Bin name.
  AddDataFile(v.ctx, 12, 7, u"$IDIR", InfoV2(u"C:\\S-1-5-21-1000\\$RDIR\\x"));
  AddDataFile(v.ctx, 13, 7, u"XXDIR", InfoV2(u"C:\\S-1-5-21-1000\\$RDIR"));
  AddDataFile(v.ctx, 8, 7, u"$RA.txt", kData);
  AddDataFile(v.ctx, 9, 7, u"$IA.txt", InfoV2(u"C:\\..\\.\\\\$Recycle.Bin\\..\\evil\\f.txt"));
  AddDataFile(v.ctx, 10, 7, u"$RB.txt", kData);
  AddDataFile(v.ctx, 11, 7, u"$IB.txt", InfoV2(u"C:\\$RECYCLE.BIN"));
  Link(v.ctx);
  RepairRecycleBin(v.ctx);
  const Paths all = TreePaths(v.ctx);
  // Nothing was copied into the recycled directory.
  EXPECT_EQ(ChildList(GetFileRecord(v.ctx, 30, 0)), (std::vector<uint32_t>{31}));
  for (const char* want : {"S-1-5-21-1000/ [D]", "S-1-5-21-1000/$RDIR/ [D]", "S-1-5-21-1000/$RDIR/in.txt [D]",
                           "S-1-5-21-1000/$RDIR/x/ [D]", "S-1-5-21-1000/$RDIR/x/in.txt [D]", "evil/ [D]",
                           "evil/f.txt [D]", "Recycle Bin/evil/f.txt [D]"})
    EXPECT_NE(std::find(all.begin(), all.end(), want), all.end()) << want;
  for (const std::string& p : all) {
    EXPECT_EQ(p.find(".."), std::string::npos) << p;
    EXPECT_EQ(p.find("CYCLE.BIN"), std::string::npos) << p;
    EXPECT_EQ(p.find("ycle.Bin"), std::string::npos) << p;
  }
}

TEST_F(RecycleBin, RepairThroughTreeLinkingIsIdempotent) {
  InstallRecycleBinRepair();
  OwnedVolume v;
  StartVolume(v.ctx);
  AddRows(v.ctx, {{30, 7, u"$RDIR", kDirInUse}, {31, 30, u"in.txt", kFileInUse}});
  AddDataFile(v.ctx, 8, 7, u"$RA.txt", kData);
  AddDataFile(v.ctx, 9, 7, u"$IA.txt", InfoV2(u"C:\\Users\\x\\a.txt"));
  AddDataFile(v.ctx, 12, 7, u"$IDIR", InfoV2(u"C:\\Users\\x\\dir"));
  WriteImage();
  LinkFileTree(v.ctx, 1);
  const Paths first = TreePaths(v.ctx);
  const uint32_t limit = v.ctx.idLimit;
  EXPECT_NE(std::find(first.begin(), first.end(), "Users/x/dir/in.txt [D]"), first.end());
  // Cutting a volume relinks it, which runs the repair again: nothing more is made.
  LinkFileTree(v.ctx, 1);
  EXPECT_EQ(TreePaths(v.ctx), first);
  EXPECT_EQ(v.ctx.idLimit, limit);
}

TEST_F(RecycleBin, CopyRecordUnderRefusesItsOwnSubtree) {
  OwnedVolume v;
  BuildVolume(v.ctx, kVolTypeNtfs,
              {{6, 5, u"a", kDirInUse}, {7, 6, u"b", kDirInUse}, {8, 7, u"f.txt", kFileInUse}, {9, 5, u"t", kDirInUse}});
  const uint32_t limit = v.ctx.idLimit;
  EXPECT_EQ(CopyRecordUnder(v.ctx, 6, 6, u""), 0);      // under itself
  EXPECT_EQ(CopyRecordUnder(v.ctx, 7, 6, nullptr), 0);  // under its child
  EXPECT_EQ(CopyRecordUnder(v.ctx, 5, 6, u"a"), 0);     // its own folder taken as the existing one
  EXPECT_EQ(CopyRecordUnder(v.ctx, 9, 99, u""), 0);     // missing record
  EXPECT_EQ(CopyRecordUnder(v.ctx, 8, 6, u""), 0);      // a file is no target
  EXPECT_EQ(v.ctx.idLimit, limit);
  EXPECT_EQ(CopyRecordUnder(v.ctx, 9, 6, u"copy"), 1);
  EXPECT_EQ(TreePaths(v.ctx), (Paths{"Lost files/ [D]", "a/", "a/b/", "a/b/f.txt", "t/", "t/copy/ [D]",
                                     "t/copy/b/ [D]", "t/copy/b/f.txt [D]"}));
  EXPECT_EQ(Val(GetFileRecord(v.ctx, 9, 0)->size), 0u + Val(GetFileRecord(v.ctx, 8, 0)->size));
}

}  // namespace
