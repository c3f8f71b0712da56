// Image lists: pictures cut from strips with a mask bitmap or a mask colour, icons with alpha,
// drawn transparent, over a background colour and tinted, at known pixels; remove, replace,
// counts and sizes, icons out again.
#include <gtest/gtest.h>

#include <functional>

#include "platform/paint/gdi.h"
#include "platform/paint/resstore.h"
#include "platform/wnd/commctrl.h"

namespace {

// A bitmap of w by h pixels painted by `f(x, y)`.
HBITMAP Picture(int w, int h, const std::function<COLORREF(int, int)>& f) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ old = SelectObject(dc, bm);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixel(dc, x, y, f(x, y));
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return bm;
}

// A canvas to draw on, filled with grey.
struct Canvas {
  Canvas() {
    dc = CreateCompatibleDC(nullptr);
    bm = CreateCompatibleBitmap(dc, 64, 32);
    old = SelectObject(dc, bm);
    Clear();
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
  }
  void Clear() {
    RECT r{0, 0, 64, 32};
    FillSolidRectDc(dc, &r, kGrey);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
  static constexpr COLORREF kGrey = RGB(128, 128, 128);
  HDC dc;
  HBITMAP bm;
  HGDIOBJ old;
};

constexpr COLORREF kMagenta = RGB(255, 0, 255);

TEST(ImageList, StripsCutWithAMaskColourDrawTransparentOrOverTheBackground) {
  // Three 8 by 8 pictures side by side: red, green, blue, each with a magenta left half.
  const COLORREF colours[3] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200)};
  HBITMAP strip = Picture(24, 8, [&](int x, int) { return x % 8 < 4 ? kMagenta : colours[x / 8]; });
  HIMAGELIST il = ImageList_Create(8, 8, ILC_COLOR24 | ILC_MASK, 3, 2);
  ASSERT_NE(il, nullptr);
  EXPECT_EQ(ImageList_AddMasked(il, strip, kMagenta), 0);
  EXPECT_EQ(ImageList_GetImageCount(il), 3);
  int cx = 0, cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(il, &cx, &cy));
  EXPECT_EQ(cx, 8);
  EXPECT_EQ(cy, 8);
  Canvas c;
  // Transparent: the masked half shows the canvas.
  ASSERT_TRUE(ImageList_Draw(il, 1, c.dc, 10, 10, ILD_TRANSPARENT));
  EXPECT_EQ(c.At(11, 12), Canvas::kGrey);
  EXPECT_EQ(c.At(15, 12), colours[1]);
  EXPECT_EQ(c.At(18, 12), Canvas::kGrey);  // outside the picture
  // Normal without a background colour is transparent too; with one it fills the clear part.
  c.Clear();
  ImageList_Draw(il, 2, c.dc, 0, 0, ILD_NORMAL);
  EXPECT_EQ(c.At(1, 1), Canvas::kGrey);
  EXPECT_EQ(ImageList_SetBkColor(il, RGB(255, 255, 255)), CLR_NONE);
  ImageList_Draw(il, 2, c.dc, 0, 0, ILD_NORMAL);
  EXPECT_EQ(c.At(1, 1), RGB(255, 255, 255));
  EXPECT_EQ(c.At(6, 1), colours[2]);
  c.Clear();
  ImageList_Draw(il, 2, c.dc, 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(c.At(1, 1), Canvas::kGrey);
  // Selected: the picture is half the highlight colour; the clear part stays clear.
  c.Clear();
  ImageList_Draw(il, 0, c.dc, 0, 0, ILD_TRANSPARENT | ILD_SELECTED);
  const COLORREF hl = GetSysColor(COLOR_HIGHLIGHT);
  const COLORREF sel = c.At(6, 1);
  EXPECT_NEAR(GetRValue(sel), (200 + GetRValue(hl)) / 2, 2);
  EXPECT_NEAR(GetBValue(sel), GetBValue(hl) / 2, 2);
  EXPECT_EQ(c.At(1, 1), Canvas::kGrey);
  // Remove moves the later pictures down; Replace swaps one; bad indexes are refused.
  ASSERT_TRUE(ImageList_Remove(il, 0));
  EXPECT_EQ(ImageList_GetImageCount(il), 2);
  c.Clear();
  ImageList_Draw(il, 0, c.dc, 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(c.At(6, 1), colours[1]);
  EXPECT_FALSE(ImageList_Draw(il, 2, c.dc, 0, 0, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Remove(il, 5));
  HBITMAP solid = Picture(8, 8, [](int, int) { return RGB(10, 20, 30); });
  EXPECT_TRUE(ImageList_Replace(il, 1, solid, nullptr));
  c.Clear();
  ImageList_Draw(il, 1, c.dc, 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(c.At(1, 1), RGB(10, 20, 30));
  EXPECT_TRUE(ImageList_RemoveAll(il));
  EXPECT_EQ(ImageList_GetImageCount(il), 0);
  // A strip narrower than one picture adds nothing.
  HBITMAP narrow = Picture(5, 8, [](int, int) { return RGB(1, 2, 3); });
  EXPECT_EQ(ImageList_Add(il, narrow, nullptr), -1);
  EXPECT_TRUE(ImageList_Destroy(il));
  EXPECT_FALSE(ImageList_Destroy(il));
  EXPECT_EQ(ImageList_GetImageCount(il), 0);
  for (HBITMAP b : {strip, solid, narrow}) DeleteObject(b);
}

TEST(ImageList, MaskBitmapsAndUnmaskedListsAndIcons) {
  // A mask bitmap: white where the picture is clear (its top row).
  HBITMAP img = Picture(4, 4, [](int, int) { return RGB(0, 0, 250); });
  HBITMAP mask = Picture(4, 4, [](int, int y) { return y == 0 ? RGB(255, 255, 255) : RGB(0, 0, 0); });
  HIMAGELIST masked = ImageList_Create(4, 4, ILC_COLOR24 | ILC_MASK, 1, 1);
  HIMAGELIST plain = ImageList_Create(4, 4, ILC_COLOR24, 1, 1);
  EXPECT_EQ(ImageList_Add(masked, img, mask), 0);
  EXPECT_EQ(ImageList_Add(plain, img, mask), 0);
  Canvas c;
  ImageList_Draw(masked, 0, c.dc, 0, 0, ILD_TRANSPARENT);
  ImageList_Draw(plain, 0, c.dc, 10, 0, ILD_TRANSPARENT);
  EXPECT_EQ(c.At(1, 0), Canvas::kGrey);
  EXPECT_EQ(c.At(1, 2), RGB(0, 0, 250));
  EXPECT_EQ(c.At(11, 0), RGB(0, 0, 250));  // a list without masks draws the whole picture

  // An icon with soft alpha, at the list's size and scaled to another, and out again.
  const int n = 16;
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = n;
  bi.bmiHeader.biHeight = -n;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP colour = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(colour, nullptr);
  auto* px = static_cast<uint32_t*>(bits);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) px[y * n + x] = x < n / 2 ? 0xFF00C800u : 0x80FF0000u;  // green, half-clear red
  }
  DeleteDC(dc);
  ICONINFO ii{TRUE, 0, 0, nullptr, colour};
  HICON icon = CreateIconIndirect(&ii);
  ASSERT_NE(icon, nullptr);
  HIMAGELIST icons = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
  HIMAGELIST small = ImageList_Create(8, 8, ILC_COLOR32 | ILC_MASK, 1, 1);
  EXPECT_EQ(ImageList_AddIcon(icons, icon), 0);
  EXPECT_EQ(ImageList_AddIcon(small, icon), 0);
  c.Clear();
  ImageList_Draw(icons, 0, c.dc, 0, 0, ILD_TRANSPARENT);
  ImageList_Draw(small, 0, c.dc, 30, 0, ILD_TRANSPARENT);
  EXPECT_EQ(c.At(2, 2), RGB(0, 200, 0));
  EXPECT_NEAR(GetRValue(c.At(12, 2)), (255 + 128) / 2, 2);  // red at half alpha over grey
  EXPECT_NEAR(GetGValue(c.At(12, 2)), 128 / 2, 2);
  EXPECT_EQ(c.At(31, 2), RGB(0, 200, 0));
  EXPECT_NEAR(GetRValue(c.At(36, 2)), (255 + 128) / 2, 2);
  HICON back = ImageList_GetIcon(icons, 0, ILD_NORMAL);
  ASSERT_NE(back, nullptr);
  c.Clear();
  DrawIconEx(c.dc, 0, 0, back, 0, 0, 0, nullptr, DI_NORMAL);
  EXPECT_EQ(c.At(2, 2), RGB(0, 200, 0));
  EXPECT_NEAR(GetRValue(c.At(12, 2)), (255 + 128) / 2, 2);
  DestroyIcon(back);
  DestroyIcon(icon);
  DeleteObject(colour);
  for (HIMAGELIST l : {masked, plain, icons, small}) ImageList_Destroy(l);
  for (HBITMAP b : {img, mask}) DeleteObject(b);
}

TEST(ImageList, LoadedFromABitmapResourceWithAMaskColour) {
  // Four 8 by 6 pictures: white (the mask) on the left half, a colour on the right.
  const COLORREF colours[4] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200), RGB(90, 90, 0)};
  HBITMAP strip = Picture(34, 6, [&](int x, int) { return x >= 32 || x % 8 < 4 ? RGB(255, 255, 255) : colours[x / 8]; });
  ClearResources();
  RegisterResource(RT_BITMAP, 129, BmpFileBytes(strip));
  DeleteObject(strip);

  HIMAGELIST il = ImageList_LoadImageW(nullptr, ResourceIdName(129), 8, 2, RGB(255, 255, 255), IMAGE_BITMAP, 0);
  ASSERT_NE(il, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(il), 4);  // the 2 columns left over make no picture
  int cx = 0, cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(il, &cx, &cy));
  EXPECT_EQ(cx, 8);
  EXPECT_EQ(cy, 6);
  Canvas c;
  for (int i = 0; i < 4; ++i) {
    c.Clear();
    ASSERT_TRUE(ImageList_Draw(il, i, c.dc, 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(c.At(1, 1), Canvas::kGrey) << i;
    EXPECT_EQ(c.At(6, 1), colours[i]) << i;
  }
  ImageList_Destroy(il);
  // Without a mask colour every pixel is drawn.
  il = ImageList_LoadImageW(nullptr, ResourceIdName(129), 8, 2, CLR_NONE, IMAGE_BITMAP, 0);
  ASSERT_NE(il, nullptr);
  c.Clear();
  ImageList_Draw(il, 0, c.dc, 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(c.At(1, 1), RGB(255, 255, 255));
  ImageList_Destroy(il);

  const struct {
    const char* what;
    UINT id;
    int cx;
    UINT type;
  } refused[] = {{"missing", 130, 8, IMAGE_BITMAP},
                 {"wider than the bitmap", 129, 35, IMAGE_BITMAP},
                 {"no width", 129, 0, IMAGE_BITMAP},
                 {"negative width", 129, -8, IMAGE_BITMAP},
                 {"not a bitmap", 129, 8, IMAGE_ICON}};
  for (const auto& r : refused) {
    EXPECT_EQ(ImageList_LoadImageW(nullptr, ResourceIdName(r.id), r.cx, 2, CLR_NONE, r.type, 0), nullptr) << r.what;
  }
  ClearResources();
}

}  // namespace
