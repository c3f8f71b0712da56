// Skin fonts by element and installed face, the image table from an archive, and the window
// and picture helpers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "app/resarchive.h"
#include "app/settings.h"
#include "platform/afx/afxwin.h"
#include "resources/zipwrite.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/tests/skin_test_util.h"
#include "skin/wndhelpers.h"
#include "platform/fileio.h"
#include "platform/wnd/commdlg.h"

namespace {

LOGFONTW Face(const char16_t* name) {
  LOGFONTW lf{};
  std::u16string_view v(name);
  std::copy(v.begin(), v.end(), lf.lfFaceName);
  return lf;
}

TEST(SkinFonts, FaceAndHeightsFollowTheInstalledFaces) {
  struct Case {
    std::vector<const char16_t*> installed;
    const char16_t* face;
    int menuBtn, desc;
  } cases[] = {
      {{}, u"MS Shell Dlg", 19, 15},
      {{u"Times New Roman"}, u"Times New Roman", 19, 15},
      {{u"times new roman"}, u"MS Shell Dlg", 19, 15},  // the comparison is exact
      {{u"Times New Roman", u"\u5FAE\u8F6F\u96C5\u9ED1"}, u"\u5FAE\u8F6F\u96C5\u9ED1", 21, 19},
      {{u"\u5FAE\u8F6F\u96C5\u9ED1", u"Microsoft YaHei"}, u"Microsoft YaHei", 21, 19},
  };
  for (const Case& c : cases) {
    ResetSkinFontsForTest();
    for (const char16_t* f : c.installed) {
      LOGFONTW lf = Face(f);
      EXPECT_EQ(EnumSkinFontProc(&lf, nullptr, 0, 0), 1);
    }
    InitSkinFonts();  // enumerates the real families too: none of the preferred ones is installed here
    SCOPED_TRACE(CString(c.face).ToUtf8());
    EXPECT_EQ(GetSkinFontFace(), CString(c.face));
    EXPECT_EQ(GetSkinFontHeight(u"MenuBtn"), c.menuBtn);
    EXPECT_EQ(GetSkinFontHeight(u"Desc"), c.desc);
    EXPECT_EQ(GetSkinFontHeight(u"Banner"), 36);
    EXPECT_EQ(GetSkinFontHeight(u"guidebtn"), 19);  // names are case-sensitive
    EXPECT_EQ(GetSkinFontHeight(u"NoSuchElement"), 19);
  }
  // The shared fonts exist with the element heights.
  LOGFONTW lf{};
  ASSERT_EQ(SkinMinBtnFont().GetLogFont(&lf), int(sizeof lf));
  EXPECT_EQ(lf.lfHeight, 17);
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  ResetSkinFontsForTest();
  InitSkinFonts();
}

TEST(SkinImages, TableFromTheArchiveByBrandWithCaseFreeLookups) {
  LoadSettingsForTest(u"Tesmur", u"", u"", u"");
  EXPECT_EQ(SkinBannerName(), CString(u"Banner/.bmp"));
  std::vector<ZipSourceEntry> entries = {
      {"Tesmur/Banner/.bmp", "banner"},
      {"Tesmur/Dlg/MainDlg.bmp", "main dialog"},
      {"Tesmur/Dev/DiskIco.png", "disk"},
      {"Other/Dlg/ChildDlg.bmp", "another brand's"},
  };
  std::vector<uint8_t> zip;
  ASSERT_TRUE(BuildZipInMemory(entries, zip));
  ClearSkinImagesForTest();
  LoadSkinImageTable(zip.data(), uint32_t(zip.size()));
  ASSERT_EQ(SkinImageTable().size(), 3u);
  EXPECT_EQ(SkinImageTable()[0].first, CString(u"banner/.bmp"));
  EXPECT_EQ(SkinImageTable()[1].first, CString(u"dlg/maindlg.bmp"));
  const SkinImageData* main = FindSkinImage(u"DLG/MAINDLG.BMP");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(main->bytes), main->length), "main dialog");
  EXPECT_NE(FindSkinImage(u"dev/diskico.png"), nullptr);
  EXPECT_EQ(FindSkinImage(u"Dlg/ChildDlg.bmp"), nullptr);
  EXPECT_EQ(FindSkinImage(u"Dlg/Nothing.bmp"), nullptr);
  // A damaged archive loads nothing and fails nothing.
  ClearSkinImagesForTest();
  zip.resize(zip.size() / 2);
  LoadSkinImageTable(zip.data(), uint32_t(zip.size()));
  EXPECT_TRUE(SkinImageTable().empty());
  EXPECT_EQ(SkinImageNames().size(), 105u);
}

TEST(Helpers, BmpBytesBecomeABitmapOnlyWhenTheyHoldOne) {
  std::vector<uint8_t> good = SolidBmp(3, 2, RGB(5, 6, 7));
  CBitmap bm;
  ASSERT_TRUE(BmpBytesToBitmap(bm, good.data(), uint32_t(good.size())));
  BITMAP info{};
  ASSERT_EQ(bm.GetBitmap(&info), int(sizeof info));
  EXPECT_EQ(info.bmWidth, 3);
  EXPECT_EQ(info.bmHeight, 2);
  std::vector<uint8_t> notBmp = good;
  notBmp[0] = 'X';
  EXPECT_FALSE(BmpBytesToBitmap(bm, good.data(), 14));
  EXPECT_FALSE(BmpBytesToBitmap(bm, notBmp.data(), uint32_t(notBmp.size())));
  EXPECT_NE(bm.m_hObject, nullptr);  // refused bytes leave the old bitmap
  // Pixels that run past the bytes: no bitmap, and the old one is gone.
  EXPECT_FALSE(BmpBytesToBitmap(bm, good.data(), uint32_t(good.size() - 4)));
  EXPECT_EQ(bm.m_hObject, nullptr);
}

TEST(Helpers, CenterOnMainWndUsesTheRestoredRectangle) {
  InitWindowLayer();
  CWinApp app;
  CWnd main, box;
  ASSERT_TRUE(main.CreateEx(0, nullptr, u"", WS_POPUP | WS_VISIBLE | WS_MAXIMIZEBOX, RECT{100, 100, 500, 400}, nullptr, 0));
  ASSERT_TRUE(box.CreateEx(0, nullptr, u"", WS_POPUP | WS_VISIBLE, RECT{0, 0, 80, 60}, nullptr, 0));
  CenterOnMainWnd(&box, 200, 100);  // no main window yet: nothing moves
  RECT r{};
  box.GetWindowRect(&r);
  EXPECT_EQ(r.left, 0);
  app.m_pMainWnd = &main;
  main.ShowWindow(SW_MAXIMIZE);
  CenterOnMainWnd(&box, 200, 100);
  box.GetWindowRect(&r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(r.right, 400);
  CenterOnMainWnd(&box, 0, 0);  // keeps its size
  box.GetWindowRect(&r);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 100);
  CenterOnMainWnd(nullptr, 10, 10);
  app.m_pMainWnd = nullptr;
}

TEST(Helpers, DrawPicCopiesBmpsAndSkipsBadPictures) {
  std::vector<uint8_t> bytes = MakeBmp(4, 3, [](int x, int y) { return RGB(10 * x, 20 * y, 99); });
  SkinImageData img{bytes.data(), uint32_t(bytes.size())};
  HBITMAP canvas = MakeBitmap(10, 10, [](int, int) { return RGB(255, 255, 255); });
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  DrawPic(dc, &img, 5, 6);
  EXPECT_EQ(GetPixel(dc, 5, 6), RGB(0, 0, 99));
  EXPECT_EQ(GetPixel(dc, 8, 8), RGB(30, 40, 99));
  EXPECT_EQ(GetPixel(dc, 4, 6), RGB(255, 255, 255));
  std::vector<uint8_t> junk(40, 'B');
  SkinImageData bad{junk.data(), uint32_t(junk.size())};
  DrawPic(dc, &bad, 0, 0);
  DrawPic(dc, nullptr, 0, 0);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(canvas);
}

TEST(Helpers, BrowseForFolderGivesTheChosenFolderOrLeavesTheTextAlone) {
  const std::string dir = ::testing::TempDir() + "browse_folder_pick_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const CString chosen = FromHostPath(dir);
  CString folder = u"before";
  PushPickerAnswerForTest(&chosen);
  EXPECT_TRUE(BrowseForFolder(&folder, u"Select the folder"));
  EXPECT_EQ(folder, chosen);
  folder = u"before";
  PushPickerAnswerForTest(nullptr);  // cancelled
  EXPECT_FALSE(BrowseForFolder(&folder, u"Select the folder"));
  EXPECT_EQ(folder, CString(u"before"));
  EXPECT_FALSE(BrowseForFolder(nullptr, u"x"));
}

}  // namespace
