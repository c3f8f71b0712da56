// The shell's file icons: which icon and type name a drive, folder or file gets, by the file
// itself or by attributes alone, the families the file-type table names, icons that are the
// same pixels every time, and their picture sheet (shell_icons.png next to the test program).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/fileio.h"
#include "platform/paint/gdi.h"
#include "platform/wnd/shellapi.h"

namespace {

struct Pixels {
  int size = 0;
  std::vector<COLORREF> p;
};

// The icon drawn on a background colour.
Pixels Draw(HICON icon, COLORREF bg) {
  SIZE z{};
  GetIconSize(icon, &z);
  Pixels out;
  out.size = z.cx;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, z.cx, z.cy);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT r{0, 0, z.cx, z.cy};
  FillSolidRectDc(dc, &r, bg);
  DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  for (int y = 0; y < z.cy; ++y) {
    for (int x = 0; x < z.cx; ++x) out.p.push_back(GetPixel(dc, x, y));
  }
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
  return out;
}

Pixels DrawIndex(int index, int size, COLORREF bg = RGB(255, 0, 255)) {
  HICON icon = CreateShellIcon(index, size);
  Pixels px = icon ? Draw(icon, bg) : Pixels{};
  DestroyIcon(icon);
  return px;
}

class ShellIcons : public ::testing::Test {
 protected:
  void TearDown() override { SetShellIconFamilyHandler(nullptr); }
};

TEST_F(ShellIcons, DrivesFoldersAndFilesByNameOrAttributes) {
  SetShellIconFamilyHandler([](const char16_t* ext) {
    const CString e(ext);
    if (e.CompareNoCase(u"jpg") == 0) return 7;
    if (e.CompareNoCase(u"mp4") == 0) return 10;
    if (e.CompareNoCase(u"bin") == 0) return 99;  // not a family: a plain file
    return 0;
  });
  const std::string dir = std::filesystem::temp_directory_path() / ("kestrel_shell_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const CString host = FromHostPath(dir);
  struct Case {
    const char16_t* path;
    DWORD attrs;
    UINT flags;
    int index;
    const char16_t* type;
  } cases[] = {
      {u"IMG_0001.JPG", FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES, kShellIconFamilyFirst + 1, u"JPG File"},
      {u"clip.mp4", FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES, kShellIconFamilyFirst + 4, u"MP4 File"},
      {u"data.bin", FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES, kShellIconFile, u"BIN File"},
      {u"1", FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES, kShellIconFile, u"File"},
      {u"C:\\Photos.jpg\\README", FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES, kShellIconFile, u"File"},
      {u"anything", FILE_ATTRIBUTE_DIRECTORY, SHGFI_USEFILEATTRIBUTES, kShellIconFolder, u"File folder"},
      {u"anything", FILE_ATTRIBUTE_DIRECTORY, SHGFI_USEFILEATTRIBUTES | SHGFI_OPENICON, kShellIconFolderOpen,
       u"File folder"},
      {u"D:\\", 0, 0, kShellIconDrive, u"Local Disk"},
      {host.GetString(), 0, 0, kShellIconFolder, u"File folder"},  // asked of the file system
  };
  for (const Case& c : cases) {
    SHFILEINFOW info{};
    info.iIcon = -1;
    SCOPED_TRACE(CString(c.path).ToUtf8());
    ASSERT_NE(SHGetFileInfoW(c.path, c.attrs, &info, sizeof info, c.flags | SHGFI_SYSICONINDEX | SHGFI_TYPENAME), 0u);
    EXPECT_EQ(info.iIcon, c.index);
    EXPECT_EQ(CString(info.szTypeName), CString(c.type));
  }
  // A path that is not there is no answer, unless the attributes are given.
  SHFILEINFOW info{};
  const CString missing = host + u"/missing.jpg";
  EXPECT_EQ(SHGetFileInfoW(missing, 0, &info, sizeof info, SHGFI_TYPENAME), 0u);
  EXPECT_NE(SHGetFileInfoW(missing, FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES),
            0u);
  EXPECT_EQ(SHGetFileInfoW(u"x.jpg", 0, &info, sizeof info - 1, SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME), 0u);
  // The system folder shows as a folder, in the small size too.
  char16_t sys[260] = {};
  ASSERT_GT(GetSystemDirectoryW(sys, 260), 0u);
  EXPECT_EQ(GetSystemDirectoryW(sys, 2), 9u);
  const auto smallList = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(sys, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON));
  ASSERT_NE(smallList, nullptr);
  EXPECT_EQ(info.iIcon, kShellIconFolder);
  SIZE z{};
  ASSERT_TRUE(GetIconSize(info.hIcon, &z));
  EXPECT_EQ(z.cx, 16);
  DestroyIcon(info.hIcon);
  ASSERT_NE(SHGetFileInfoW(u"a.jpg", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_USEFILEATTRIBUTES | SHGFI_ICON), 0u);
  ASSERT_TRUE(GetIconSize(info.hIcon, &z));
  EXPECT_EQ(z.cx, 32);
  DestroyIcon(info.hIcon);
  std::filesystem::remove_all(dir);
}

TEST_F(ShellIcons, IconsAreTheSamePixelsEveryTimeAndTellTheKindsApart) {
  for (int size : {16, 32, 48}) {
    std::vector<Pixels> all;
    for (int i = 0; i < kShellIconCount; ++i) {
      Pixels a = DrawIndex(i, size), b = DrawIndex(i, size);
      ASSERT_EQ(a.size, size);
      EXPECT_EQ(a.p, b.p) << "icon " << i << " at " << size;
      for (size_t k = 0; k < all.size(); ++k) EXPECT_NE(all[k].p, a.p) << "icons " << k << " and " << i << " at " << size;
      all.push_back(a);
    }
    // A few pixels that say what each picture is: a yellow folder, a grey drive with its
    // green light, a white page, a transparent corner.
    auto at = [&](int index, double gx, double gy) {
      const Pixels& p = all[size_t(index)];
      return p.p[size_t(int(gy * size / 32)) * size_t(size) + size_t(int(gx * size / 32))];
    };
    EXPECT_EQ(at(kShellIconFolder, 16, 20), RGB(250, 204, 72));
    EXPECT_EQ(at(kShellIconDrive, 25, 21), RGB(60, 200, 80));
    EXPECT_EQ(at(kShellIconFile, 12, 26), RGB(255, 255, 255));
    EXPECT_EQ(at(kShellIconFile, 1, 1), RGB(255, 0, 255));
  }
  EXPECT_EQ(CreateShellIcon(kShellIconCount, 32), nullptr);
  EXPECT_EQ(CreateShellIcon(-1, 32), nullptr);
}

TEST_F(ShellIcons, SystemImageListsHoldEveryIconInIndexOrder) {
  struct Case {
    int which, size;
  } cases[] = {{SHIL_SMALL, 16}, {SHIL_SYSSMALL, 16}, {SHIL_LARGE, 32}, {SHIL_EXTRALARGE, 48}};
  for (const Case& c : cases) {
    void* out = nullptr;
    ASSERT_EQ(SHGetImageList(c.which, IID_IImageList, &out), S_OK);
    auto il = static_cast<HIMAGELIST>(out);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(il, &cx, &cy));
    EXPECT_EQ(cx, c.size);
    EXPECT_EQ(cy, c.size);
    EXPECT_EQ(ImageList_GetImageCount(il), kShellIconCount);
    // Picture i of the list is icon i.
    HICON fromList = ImageList_GetIcon(il, kShellIconFolder, ILD_NORMAL);
    Pixels a = Draw(fromList, RGB(255, 0, 255)), b = DrawIndex(kShellIconFolder, c.size);
    DestroyIcon(fromList);
    EXPECT_EQ(a.p, b.p) << c.size;
  }
  SHFILEINFOW info{};
  EXPECT_EQ(SHGetFileInfoW(u"x.jpg", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                           SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX),
            reinterpret_cast<DWORD_PTR>([] {
              void* out = nullptr;
              SHGetImageList(SHIL_LARGE, IID_IImageList, &out);
              return out;
            }()));
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(SHGetImageList(7, IID_IImageList, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(SHGetImageList(SHIL_LARGE, GUID{}, &out), E_INVALIDARG);
}

TEST_F(ShellIcons, PictureSheet) {
  const int cell = 56;
  const int w = cell * kShellIconCount, h = cell * 3;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, w, h * 2);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT top{0, 0, w, h}, bottom{0, h, w, 2 * h};
  FillSolidRectDc(dc, &top, RGB(255, 255, 255));
  FillSolidRectDc(dc, &bottom, RGB(64, 64, 64));
  for (int band = 0; band < 2; ++band) {
    int row = 0;
    for (int size : {16, 32, 48}) {
      for (int i = 0; i < kShellIconCount; ++i) {
        HICON icon = CreateShellIcon(i, size);
        DrawIconEx(dc, i * cell + (cell - size) / 2, band * h + row * cell + (cell - size) / 2, icon, 0, 0, 0, nullptr,
                   DI_NORMAL);
        DestroyIcon(icon);
      }
      ++row;
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  const std::string path = std::string(KESTREL_WND_SHOT_DIR) + "/shell_icons.png";
  ASSERT_TRUE(WriteBitmapPng(bm, path));
  DeleteObject(bm);
  EXPECT_GT(std::filesystem::file_size(path), 1000u);
}

}  // namespace
