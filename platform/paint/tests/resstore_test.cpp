// The resource store: bitmaps and icons by id, and what a missing or bad entry gives.
#include <gtest/gtest.h>

#include "platform/paint/gdi.h"
#include "platform/paint/resstore.h"

namespace {

HBITMAP Solid(int w, int h, COLORREF c) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT r{0, 0, w, h};
  FillSolidRectDc(dc, &r, c);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bm;
}

TEST(ResStore, BitmapsAndIconsComeBackByIdAndMissingOnesAreNull) {
  ClearResources();
  HBITMAP src = Solid(5, 3, RGB(10, 200, 30));
  std::vector<uint8_t> bmp = BmpFileBytes(src);
  DeleteObject(src);
  ASSERT_EQ(bmp.size(), 54u + 16u * 3u);
  RegisterResource(RT_BITMAP, 157, bmp);
  RegisterResource(RT_GROUP_ICON, 128, bmp);
  RegisterResource(RT_BITMAP, 158, std::vector<uint8_t>{'B', 'M', 0, 0});

  HBITMAP bm = LoadBitmapW(nullptr, ResourceIdName(157));
  ASSERT_NE(bm, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(bm, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmWidth, 5);
  EXPECT_EQ(info.bmHeight, 3);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  EXPECT_EQ(GetPixel(dc, 4, 2), RGB(10, 200, 30));
  SelectObject(dc, old);
  DeleteObject(bm);

  // A BMP icon is opaque: drawn over white it shows its own colour.
  HICON icon = LoadIconW(nullptr, ResourceIdName(128));
  ASSERT_NE(icon, nullptr);
  HBITMAP canvas = Solid(8, 8, RGB(255, 255, 255));
  old = SelectObject(dc, canvas);
  EXPECT_TRUE(DrawIconEx(dc, 1, 1, icon, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(10, 200, 30));
  EXPECT_EQ(GetPixel(dc, 6, 1), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteObject(canvas);
  DestroyIcon(icon);
  DeleteDC(dc);

  EXPECT_EQ(LoadBitmapW(nullptr, ResourceIdName(158)), nullptr);  // truncated file
  EXPECT_EQ(LoadBitmapW(nullptr, ResourceIdName(999)), nullptr);
  EXPECT_EQ(LoadBitmapW(nullptr, u"named"), nullptr);
  EXPECT_EQ(LoadImageW(nullptr, ResourceIdName(157), 7, 0, 0, 0), nullptr);
  ClearResources();
}

}  // namespace
