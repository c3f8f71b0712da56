#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "core/filetypetable.h"
#include "core/tests/coretestenv.h"

namespace {

#include "core/tests/filetypetable_golden.inc"

class FileTypeTableTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadCoreTestSettings(); }
};

TEST_F(FileTypeTableTest, TypeIdByExtension) {
  struct Case {
    const char16_t* name;
    uint8_t id;
  } cases[] = {
      {u"photo.JPG", 46},
      {u"photo.jpg", 46},
      {u"Report.DocX", 37},
      {u"archive.tar.gz", kTypeNone},  // no row has "gz"
      {u".hidden", kTypeNone},         // the only dot is the first character
      {u"README", kTypeNone},
      {u"", kTypeNone},
      {u"a.", kTypeNone},              // empty extension
      {u"a.XXX", 0},                   // placeholder rows answer with id 0
      {u"a.xXx", 0},
      {u"page.html", 79},
      {u"page.HTM", kTypeNone},        // equal length required
      {u"song.mp3", 54},
      {u"clip.m2t", 143},              // main extension of 143
      {u"clip.ts", kTypeNone},         // list entries are not keys
      {u"x.word FILES", kTypeWordGroup},
      {u"IMG.相机照片", 175},
      {u"a.b.c.sldprt", 139},
  };
  for (const Case& c : cases) EXPECT_EQ(GetTypeIdByExtension(c.name), c.id) << CString(c.name).ToUtf8();
  EXPECT_EQ(GetTypeIdByExtension(static_cast<const char16_t*>(nullptr)), kTypeNone);
  EXPECT_EQ(FileTypeTable().types[79].category, 12);
}

TEST_F(FileTypeTableTest, WholeTableMatchesTheExpectedRows) {
  std::vector<CString> want;
  {
    const CString all(kGoldenTypeRows);
    int start = 0;
    for (int nl; (nl = all.Find(u'\n', start)) >= 0; start = nl + 1) want.push_back(all.Mid(start, nl - start));
  }
  ASSERT_EQ(want.size(), 126u);
  std::vector<CString> got;
  int placeholders = 0;
  const auto& types = FileTypeTable().types;
  ASSERT_EQ(types.size(), 177u);
  for (size_t i = 0; i < types.size(); ++i) {
    const FileTypeRow& r = types[i];
    if (r.id == 0) {
      ++placeholders;
      EXPECT_EQ(r.mainExt, CString(u"XXX"));
      EXPECT_TRUE(r.description.IsEmpty());
      EXPECT_TRUE(r.extList.IsEmpty());
      EXPECT_TRUE(r.category < 6 || r.category > 12);
      EXPECT_EQ(r.enabled, 1);
      continue;
    }
    EXPECT_EQ(size_t(r.id), i);
    EXPECT_EQ(r.enabled, 1);
    EXPECT_EQ(r.reserved, 0);
    got.push_back(FormatCString(u"%d|%d|%s|%s|%s", r.id, r.category, r.mainExt, r.extList, r.description));
  }
  EXPECT_EQ(placeholders, 51);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << got[i].ToUtf8();
}

TEST_F(FileTypeTableTest, CategoryAndMediaListsKeepTheBuildOrder) {
  const auto& t = FileTypeTable();
  ASSERT_EQ(t.categories.size(), 13u);
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(t.categories[size_t(c)].name, CString(u"XXX"));
    EXPECT_TRUE(t.categories[size_t(c)].typeIds.empty());
  }
  EXPECT_EQ(t.categories[6].name, CString(u"Documents"));
  EXPECT_EQ(t.categories[11].name, CString(u"Archives"));
  const std::vector<int32_t> docs = {37, 38, 36, 42, 40, 87, 164, 39, 43, 41, 161, 165, 166, 167,
                                     172, 173, 174, 168, 169, 79, 89, 90, 97, 96, 91, 93, 94, 95};
  EXPECT_EQ(t.categories[6].typeIds, docs);
  const std::vector<int32_t> other = {77, 63, 148, 78, 74, 79, 163, 80, 81, 145, 170, 171};
  EXPECT_EQ(t.categories[12].typeIds, other);
  const std::vector<int32_t> archives = {61, 62, 60, 84, 140, 141, 142};
  EXPECT_EQ(t.categories[11].typeIds, archives);
  const std::vector<int32_t> photos = {46, 51, 49, 52, 50, 144, 103, 104, 101, 92, 98, 102, 99, 100, 175};
  EXPECT_EQ(t.photoTypeList, photos);
  const std::vector<int32_t> videos = {73, 82, 72, 71, 67, 66, 68, 86, 64, 88, 143, 109, 108, 114, 113, 112, 111, 110};
  EXPECT_EQ(t.videoTypeList, videos);
  size_t settings = 0;
  for (const auto& c : t.categories) settings += c.typeIds.size();
  EXPECT_EQ(settings, 127u);
}

TEST_F(FileTypeTableTest, CopiesOfRows) {
  std::vector<FileTypeRow> types;
  CopyFileTypes(types, 0);
  ASSERT_EQ(types.size(), 141u);
  EXPECT_EQ(types[0].mainExt, CString(u"doc"));
  EXPECT_EQ(types.back().mainExt, CString(u"XXX"));  // row 176 is a placeholder
  CopyFileTypes(types, 1);
  EXPECT_EQ(types.size(), 177u);
  FreeFileTypeRows(types);
  EXPECT_TRUE(types.empty());

  std::vector<FileCategoryRow> cats;
  CopyFileCategories(cats, 0);
  ASSERT_EQ(cats.size(), 7u);
  EXPECT_EQ(cats[0].id, 6);
  EXPECT_EQ(cats[6].id, 12);
  CopyFileCategories(cats, 1);
  EXPECT_EQ(cats.size(), 13u);
  FreeFileCategoryRows(cats);
  EXPECT_TRUE(cats.empty());
}

TEST_F(FileTypeTableTest, SectorKindNames) {
  const auto& names = SectorKindNames();
  EXPECT_EQ(names[46], CString(u"jpg"));
  EXPECT_EQ(names[172], CString(u"Word files"));
  EXPECT_EQ(names[0], CString(u"XXX"));
  EXPECT_EQ(names[35], CString(u"***"));
  EXPECT_EQ(names[147], CString(u"***"));
  EXPECT_EQ(names[200], CString(u"***"));
  EXPECT_EQ(names[221], CString(u"MBR"));
  EXPECT_EQ(names[228], CString(u"FAT32 FAT Table"));
  EXPECT_EQ(names[229], CString(u"***"));
  EXPECT_EQ(names[231], CString(u"Exfat dir entry"));
  EXPECT_EQ(names[232], CString(u"***"));
  EXPECT_EQ(GetSectorKindName(234), CString(u"***"));
}

TEST_F(FileTypeTableTest, MinimumSizes) {
  struct Case {
    int32_t id;
    bool has;
    uint32_t size;
  } cases[] = {{90, true, 0x80000}, {36, true, 0x80000}, {46, true, 4096}, {146, true, 4096},
               {147, false, 0},     {54, false, 0},      {0, false, 0},     {234, false, 0}};
  for (const Case& c : cases) {
    uint32_t size = 77;
    EXPECT_EQ(GetTypeMinimumSize(c.id, size), c.has) << c.id;
    EXPECT_EQ(size, c.size) << c.id;
  }
}

TEST_F(FileTypeTableTest, PhotoOrVideoFilter) {
  EXPECT_TRUE(IsPhotoType(175));
  EXPECT_FALSE(IsPhotoType(72));
  EXPECT_TRUE(IsVideoType(72));
  EXPECT_FALSE(IsVideoType(46));

  LoadCoreTestSettings(u"Default-Key: 105\r\n");
  EXPECT_FALSE(IsPhotoOrVideoType(61));
  EXPECT_TRUE(IsPhotoOrVideoType(46));
  EXPECT_TRUE(IsPhotoOrVideoType(72));

  LoadCoreTestSettings(u"Default-Key: 101\r\n");
  for (int id : {0, 36, 61, 147, 234}) EXPECT_TRUE(IsPhotoOrVideoType(id)) << id;

  LoadCoreTestSettings(u"Default-Key: 101\r\nDefault-MtsFragRecovery: 1\r\n");
  EXPECT_FALSE(IsPhotoOrVideoType(61));
  EXPECT_TRUE(IsPhotoOrVideoType(88));

  LoadCoreTestSettings(u"Default-Key: -90\r\n");  // as unsigned: 4294967206, mod 100 = 6
  EXPECT_FALSE(IsPhotoOrVideoType(61));
  LoadCoreTestSettings();
}

TEST_F(FileTypeTableTest, SecondInitChangesNothing) {
  FileTypeTable().types[46].enabled = 0;
  LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"WordDoc: Other text\r\n");
  EXPECT_TRUE(InitFileTypeTables());
  EXPECT_EQ(FileTypeTable().types[46].enabled, 0);
  EXPECT_EQ(FileTypeTable().types[172].mainExt, CString(u"Word files"));
  FileTypeTable().types[46].enabled = 1;
}

}  // namespace
