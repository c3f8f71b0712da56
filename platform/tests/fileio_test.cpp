#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/fileio.h"
#include "platform/wintime.h"

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel-fileio-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = FromHostPath(tmpl);
  }
  void TearDown() override { std::system(("rm -rf '" + HostPath(dir_) + "'").c_str()); }
  CString Path(const char16_t* name) const { return dir_ + u"/" + name; }
  CString dir_;
};

TEST_F(TempDir, WriteReadSeekAndLength) {
  CFile f;
  ASSERT_TRUE(f.Open(Path(u"a.bin"), CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite));
  ASSERT_TRUE(f.Write("hello world", 11));
  f.Close();

  ASSERT_TRUE(f.Open(Path(u"a.bin"), CFile::modeRead));
  EXPECT_EQ(f.GetLength(), 11u);
  EXPECT_EQ(f.Seek(6, CFile::begin), 6);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(f.Read(buf, sizeof buf), 0u);
  EXPECT_EQ(f.Seek(-1, CFile::begin), -1);
  EXPECT_FALSE(f.Write("x", 1));  // opened for reading only
}

TEST_F(TempDir, OpenFailsForMissingFilesAndFolders) {
  CFile f;
  EXPECT_FALSE(f.Open(Path(u"missing"), CFile::modeRead));
  EXPECT_FALSE(f.Open(dir_, CFile::modeRead));
  EXPECT_FALSE(f.IsOpen());
}

TEST_F(TempDir, BackslashesAreSeparatorsAndNamesAreUtf8OnTheHost) {
  ASSERT_TRUE(CreateDirectoryW(Path(u"sub")));
  EXPECT_FALSE(CreateDirectoryW(Path(u"sub")));  // exists already
  CFile f;
  ASSERT_TRUE(f.Open(dir_ + u"\\sub\\Übung.txt", CFile::modeCreate | CFile::modeWrite));
  f.Close();
  EXPECT_EQ(GetFileAttributesW(Path(u"sub/Übung.txt")), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesW(Path(u"sub")), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(Path(u"nothing")), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(DeleteFileW(Path(u"sub/Übung.txt")));
  EXPECT_TRUE(RemoveDirectoryW(Path(u"sub")));
}

TEST_F(TempDir, FindFileEnumeratesWithWildcards) {
  for (const char16_t* n : {u"Save_1.dat", u"Save_2.dat", u"ScanSave.idx"}) {
    CFile f;
    ASSERT_TRUE(f.Open(Path(n), CFile::modeCreate | CFile::modeWrite));
    f.Write("12345", 5);
  }
  CFileFind ff;
  std::set<std::string> names;
  BOOL more = ff.FindFile(Path(u"*.dat"));
  ASSERT_TRUE(more);
  while (more) {
    more = ff.FindNextFile();
    names.insert(ff.GetFileName().ToUtf8());
    EXPECT_EQ(ff.GetLength(), 5u);
    EXPECT_FALSE(ff.IsDirectory());
  }
  EXPECT_EQ(names, (std::set<std::string>{"Save_1.dat", "Save_2.dat"}));
  EXPECT_FALSE(ff.FindFile(Path(u"*.none")));
}

TEST_F(TempDir, FileTimesAreSetAndReadBack) {
  CFile f;
  ASSERT_TRUE(f.Open(Path(u"t"), CFile::modeCreate | CFile::modeWrite));
  f.Close();
  FILETIME write = UnixToFileTime(1000000000), access = UnixToFileTime(1100000000);
  ASSERT_TRUE(SetFileTimesW(Path(u"t"), nullptr, &access, &write));
  FILETIME c, a, w;
  ASSERT_TRUE(GetFileTimesW(Path(u"t"), &c, &a, &w));
  EXPECT_EQ(FileTimeToU64(w), FileTimeToU64(write));
  EXPECT_EQ(FileTimeToU64(a), FileTimeToU64(access));
  EXPECT_NE(FileTimeToU64(c), 0u);
  // Only the write time changes when the access time is left out.
  FILETIME write2 = UnixToFileTime(1200000000);
  ASSERT_TRUE(SetFileTimesW(Path(u"t"), nullptr, nullptr, &write2));
  ASSERT_TRUE(GetFileTimesW(Path(u"t"), nullptr, &a, &w));
  EXPECT_EQ(FileTimeToU64(w), FileTimeToU64(write2));
  EXPECT_EQ(FileTimeToU64(a), FileTimeToU64(access));
}

TEST(ProgramDir, OverrideWinsAndAlwaysEndsInASlash) {
  CString real = GetProgramDir();
  ASSERT_FALSE(real.IsEmpty());
  EXPECT_EQ(real[real.GetLength() - 1], u'/');
  SetProgramDirOverride(u"/tmp/kestrel-prog");
  EXPECT_EQ(GetProgramDir(), CString(u"/tmp/kestrel-prog/"));
  SetProgramDirOverride(CString());
  EXPECT_EQ(GetProgramDir(), real);
}

}  // namespace
