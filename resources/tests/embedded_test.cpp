// The resources compiled into the program: every bitmap, icon and string the windows ask for is
// there, loads, and has the size its users draw it at.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "platform/afx/afxctrls.h"
#include "platform/paint/gdi.h"
#include "platform/paint/resicon.h"
#include "resources/embedded.h"

namespace {

class Embedded : public testing::Test {
 protected:
  void SetUp() override {
    ClearResources();
    RegisterEmbeddedResources();
  }
  void TearDown() override { ClearResources(); }
};

TEST_F(Embedded, EveryBitmapLoadsAtItsSize) {
  // Width and height where the windows depend on them; 0 where any size does.
  const struct {
    UINT id;
    int w, h;
  } bitmaps[] = {
      {129, 64, 16},  {154, 24, 24},  {155, 56, 32}, {156, 56, 32}, {157, 56, 32}, {158, 56, 32},
      {170, 100, 23}, {172, 16, 16},  {173, 16, 16}, {176, 12, 12}, {177, 12, 12}, {237, 16, 16},
      {249, 0, 0},    {250, 0, 0},    {251, 0, 0},   {279, 384, 48}, {324, 24, 24}, {325, 24, 24},
      {326, 24, 24},  {327, 24, 24},  {336, 6, 6},   {356, 0, 0},   {361, 0, 0},   {373, 0, 0},
      {374, 0, 0},    {393, 13, 13},  {394, 13, 13}, {400, 0, 0},   {401, 0, 0},   {402, 0, 0},
      {425, 13, 13},  {426, 13, 13},
  };
  for (const auto& b : bitmaps) {
    SCOPED_TRACE(b.id);
    HBITMAP bm = LoadBitmapW(nullptr, ResourceIdName(b.id));
    ASSERT_NE(bm, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bm, sizeof info, &info), int(sizeof info));
    if (b.w) {
      EXPECT_EQ(info.bmWidth, b.w);
      EXPECT_EQ(info.bmHeight, b.h);
    }
    EXPECT_EQ(LoadImageW(nullptr, ResourceIdName(b.id), IMAGE_BITMAP, 0, 0, 0) != nullptr, true);
    DeleteObject(bm);
  }
}

TEST_F(Embedded, EveryIconLoadsAtTheSizeItIsDrawnAt) {
  const std::pair<UINT, int> icons[] = {{128, 16}, {128, 32}, {128, 48}, {171, 12}, {236, 16}, {243, 16},
                                        {357, 20}, {359, 20}, {378, 24}, {379, 24}, {380, 16}, {384, 16},
                                        {385, 16}, {386, 16}, {387, 16}, {390, 16}, {404, 16}};
  for (const auto& [id, side] : icons) {
    SCOPED_TRACE(testing::Message() << id << " at " << side);
    // Drawn at a size the file holds, so nothing is scaled.
    HICON icon = static_cast<HICON>(LoadImageW(nullptr, ResourceIdName(id), IMAGE_ICON, side, 0, 0));
    ASSERT_NE(icon, nullptr);
    bool hasSide = false;
    for (const IconFilePicture& p : IconFilePictures(FindResourceBytes(RT_GROUP_ICON, id))) hasSide |= p.width == side;
    EXPECT_TRUE(hasSide);
    SIZE own{};
    ASSERT_TRUE(GetIconSize(icon, &own));
    EXPECT_EQ(own.cx, side);
    DestroyIcon(icon);
  }
  // The window icon: the large picture.
  HICON large = LoadIconW(nullptr, ResourceIdName(128));
  SIZE size{};
  ASSERT_TRUE(GetIconSize(large, &size));
  EXPECT_EQ(size.cx, 32);
  DestroyIcon(large);
}

TEST_F(Embedded, TheAboutStringAndNothingUnexpected) {
  char16_t text[64];
  ASSERT_EQ(LoadStringW(nullptr, 101, text, 64), 17);
  EXPECT_EQ(std::u16string(text), u"&About Kestrel...");
  // Ids are unique per kind and rise in each kind.
  std::set<std::pair<UINT, UINT>> seen;
  for (const EmbeddedResource& r : EmbeddedResources()) {
    EXPECT_TRUE(seen.insert({r.type, r.id}).second) << r.type << "/" << r.id;
    EXPECT_TRUE(r.type == RT_BITMAP || r.type == RT_GROUP_ICON || r.type == RT_STRING);
  }
}

TEST_F(Embedded, TheStateImageListComesFromBitmap129) {
  // Sixteen-pixel pictures with white clear: picture 0 shows nothing, 1 to 3 are boxes.
  CImageList states;
  ASSERT_TRUE(states.Create(129, 16, 2, RGB(255, 255, 255)));
  EXPECT_EQ(states.GetImageCount(), 4);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP canvas = CreateCompatibleBitmap(dc, 16, 16);
  HGDIOBJ old = SelectObject(dc, canvas);
  for (int i = 0; i < 4; ++i) {
    RECT r{0, 0, 16, 16};
    FillSolidRectDc(dc, &r, RGB(255, 0, 255));
    ASSERT_TRUE(ImageList_Draw(states, i, dc, 0, 0, ILD_TRANSPARENT));
    int drawn = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) drawn += GetPixel(dc, x, y) != RGB(255, 0, 255);
    }
    if (i == 0) {
      EXPECT_EQ(drawn, 0);
    } else {
      EXPECT_GT(drawn, 100) << i;  // the box, its inside kept (not the mask white)
    }
  }
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
  CImageList missing;
  EXPECT_FALSE(missing.Create(9999, 16, 2, RGB(255, 255, 255)));
}

// A sheet of every embedded bitmap and icon at three times their size on a light grey, written
// next to the test program as resources_sheet.png to be looked at.
TEST_F(Embedded, SheetOfEveryPicture) {
  constexpr int kScale = 3, kWidth = 1300, kHeight = 560;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP sheet = CreateCompatibleBitmap(dc, kWidth, kHeight);
  HGDIOBJ old = SelectObject(dc, sheet);
  RECT all{0, 0, kWidth, kHeight};
  FillSolidRectDc(dc, &all, RGB(236, 236, 236));
  int x = 8, y = 8, rowHeight = 0;
  auto place = [&](int w, int h) {
    if (x + w > kWidth - 8) x = 8, y += rowHeight + 8, rowHeight = 0;
    const POINT at{x, y};
    x += w + 8;
    rowHeight = std::max(rowHeight, h);
    return at;
  };
  HDC src = CreateCompatibleDC(nullptr);
  for (const EmbeddedResource& r : EmbeddedResources()) {
    if (r.type == RT_BITMAP) {
      HBITMAP bm = LoadBitmapW(nullptr, ResourceIdName(r.id));
      BITMAP info{};
      GetObjectW(bm, sizeof info, &info);
      const int scale = info.bmWidth > 200 ? 1 : kScale;
      const POINT at = place(info.bmWidth * scale, info.bmHeight * scale);
      HGDIOBJ o = SelectObject(src, bm);
      StretchBlt(dc, at.x, at.y, info.bmWidth * scale, info.bmHeight * scale, src, 0, 0, info.bmWidth, info.bmHeight,
                 SRCCOPY);
      SelectObject(src, o);
      DeleteObject(bm);
    } else if (r.type == RT_GROUP_ICON) {
      for (const IconFilePicture& p : IconFilePictures(r.bytes)) {
        HICON icon = static_cast<HICON>(LoadImageW(nullptr, ResourceIdName(r.id), IMAGE_ICON, p.width, p.height, 0));
        const POINT at = place(p.width * kScale, p.height * kScale);
        DrawIconEx(dc, at.x, at.y, icon, p.width * kScale, p.height * kScale, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
      }
    }
  }
  DeleteDC(src);
  SelectObject(dc, old);
  EXPECT_TRUE(WriteBitmapPng(sheet, std::string(KESTREL_RESOURCES_SHOT_DIR) + "/resources_sheet.png"));
  DeleteObject(sheet);
  DeleteDC(dc);
}

}  // namespace
