// The resource store: bitmaps, icons and strings by id, icons chosen and scaled by size, and
// what a missing or bad entry gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/paint/resicon.h"
#include "platform/paint/resstore.h"
#include "platform/paint/tests/paint_test_util.h"

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

// PNG bytes of a w by h picture of one straight-alpha colour 0xAARRGGBB.
std::vector<uint8_t> SolidPng(int w, int h, uint32_t argb) {
  std::vector<uint8_t> bgra;
  for (int i = 0; i < w * h; ++i) {
    bgra.insert(bgra.end(), {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16), uint8_t(argb >> 24)});
  }
  return PngBgra(w, h, bgra);
}

void Put(std::vector<uint8_t>& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// An icon file of the pictures, each stated at its own size.
std::vector<uint8_t> IconFile(const std::vector<std::vector<uint8_t>>& pngs, const std::vector<int>& sides) {
  std::vector<uint8_t> out(6 + 16 * pngs.size(), 0);
  Put(out, 2, 1, 2);
  Put(out, 4, uint32_t(pngs.size()), 2);
  for (size_t i = 0; i < pngs.size(); ++i) {
    const size_t e = 6 + 16 * i;
    out[e] = out[e + 1] = uint8_t(sides[i] & 255);
    Put(out, e + 8, uint32_t(pngs[i].size()), 4);
    Put(out, e + 12, uint32_t(out.size()), 4);
    out.insert(out.end(), pngs[i].begin(), pngs[i].end());
  }
  return out;
}

struct IconLook {
  SIZE size{};
  uint32_t centre = 0;  // straight ARGB
};
IconLook Look(HICON icon) {
  IconLook l;
  std::vector<uint32_t> argb;
  if (!icon || !GetIconArgb(icon, &l.size, &argb)) return l;
  l.centre = argb[size_t(l.size.cy / 2) * size_t(l.size.cx) + size_t(l.size.cx / 2)];
  return l;
}

constexpr uint32_t kRed16 = 0xFFC00000, kGreen32 = 0xFF00C000, kBlue48 = 0xFF0000C0;

TEST(ResStore, IconsComeAtTheAskedSizeFromTheNearestPicture) {
  ClearResources();
  RegisterResource(RT_GROUP_ICON, 128,
                   IconFile({SolidPng(16, 16, kRed16), SolidPng(32, 32, kGreen32), SolidPng(48, 48, kBlue48)},
                            {16, 32, 48}));
  const struct {
    int cx, cy;
    UINT flags;
    int w, h;
    uint32_t colour;
  } cases[] = {
      {16, 16, 0, 16, 16, kRed16},                 // exact
      {32, 32, 0, 32, 32, kGreen32},               // exact
      {20, 20, 0, 20, 20, kGreen32},               // the next larger, scaled down
      {40, 24, 0, 40, 24, kBlue48},                // larger in both directions
      {64, 64, 0, 64, 64, kBlue48},                // none larger: the largest, scaled up
      {24, 0, 0, 24, 24, kGreen32},                // one side given: square
      {0, 0, LR_DEFAULTSIZE, 32, 32, kGreen32},    // the large icon size
      {0, 0, LR_SHARED, 32, 32, kGreen32},         // its own picture nearest that size
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy << " flags " << c.flags);
    HICON icon = static_cast<HICON>(LoadImageW(nullptr, ResourceIdName(128), IMAGE_ICON, c.cx, c.cy, c.flags));
    const IconLook l = Look(icon);
    EXPECT_EQ(l.size.cx, c.w);
    EXPECT_EQ(l.size.cy, c.h);
    EXPECT_EQ(l.centre, c.colour);
    DestroyIcon(icon);
  }
  IconLook l = Look(LoadIconW(nullptr, ResourceIdName(128)));
  EXPECT_EQ(l.size.cx, 32);
  // Without a 32-pixel picture the icon keeps the nearest larger one at its own size.
  RegisterResource(RT_GROUP_ICON, 129, IconFile({SolidPng(16, 16, kRed16), SolidPng(48, 48, kBlue48)}, {16, 48}));
  HICON icon = LoadIconW(nullptr, ResourceIdName(129));
  l = Look(icon);
  EXPECT_EQ(l.size.cx, 48);
  EXPECT_EQ(l.centre, kBlue48);
  DestroyIcon(icon);
  // Sizes outside 1 to 1024 give nothing.
  for (int side : {-1, 1025}) {
    EXPECT_EQ(LoadImageW(nullptr, ResourceIdName(128), IMAGE_ICON, side, side, 0), nullptr) << side;
  }
  ClearResources();
}

TEST(ResStore, ScalingAveragesTheCoveredPixelsWithTheirAlpha) {
  // Left half opaque red, right half clear: at half the size the halves stay apart; at one
  // pixel the colour is red at half alpha.
  std::vector<uint8_t> bgra;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) bgra.insert(bgra.end(), {0, 0, uint8_t(x < 2 ? 255 : 0), uint8_t(x < 2 ? 255 : 0)});
  }
  const std::vector<uint8_t> png = PngBgra(4, 4, bgra);
  HICON half = IconFromResourceBytes(png, 2, 2, true);
  SIZE sz{};
  std::vector<uint32_t> argb;
  ASSERT_TRUE(GetIconArgb(half, &sz, &argb));
  ASSERT_EQ(argb.size(), 4u);
  EXPECT_EQ(argb[0], 0xFFFF0000u);
  EXPECT_EQ(argb[1] >> 24, 0u);
  HICON one = IconFromResourceBytes(png, 1, 1, true);
  ASSERT_TRUE(GetIconArgb(one, &sz, &argb));
  EXPECT_NEAR(int(argb[0] >> 24), 128, 1);
  EXPECT_NEAR(int((argb[0] >> 16) & 255), 255, 2);
  EXPECT_EQ(argb[0] & 0xFFFF, 0u);
  DestroyIcon(half);
  DestroyIcon(one);
}

TEST(ResStore, IconFileDirectoriesThatLieAreRefused) {
  const std::vector<uint8_t> good = IconFile({SolidPng(16, 16, kRed16), SolidPng(32, 32, kGreen32)}, {16, 32});
  ASSERT_EQ(IconFilePictures(good).size(), 2u);
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    int n;
    size_t pictures;
  };
  const Case cases[] = {
      {"reserved word set", 0, 1, 2, 0},
      {"cursor type", 2, 2, 2, 0},
      {"count past the end", 4, 1000, 2, 0},
      {"no pictures", 4, 0, 2, 0},
      {"offset past the end", 6 + 12, 0x7FFFFFFF, 4, 1},
      {"length past the end", 6 + 8, 0x10000, 4, 1},
      {"offset and length wrap", 6 + 12, 0xFFFFFFF0, 4, 1},
      {"a picture that is not PNG", 6 + 16 + 12, 0, 4, 1},  // points at the directory
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = good;
    Put(bad, c.at, c.value, c.n);
    EXPECT_EQ(IconFilePictures(bad).size(), c.pictures);
    HICON icon = IconFromResourceBytes(bad, 16, 16, true);
    EXPECT_EQ(icon != nullptr, c.pictures > 0);
    DestroyIcon(icon);
  }
  // Cut anywhere, the file gives at most the pictures that still fit, and never reads past.
  for (size_t n = 0; n < good.size(); n += 7) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + ptrdiff_t(n));
    EXPECT_LE(IconFilePictures(cut).size(), 2u);
    DestroyIcon(IconFromResourceBytes(cut, 16, 16, true));
  }
  // A picture whose compressed pixels are damaged (after its 33 bytes of signature and
  // header, before its end chunk) decodes to nothing.
  const size_t first = 6 + 32, length = SolidPng(16, 16, kRed16).size();
  ASSERT_GT(length, 33u + 12u + 8u);
  std::vector<uint8_t> damaged = good;
  std::fill(damaged.begin() + ptrdiff_t(first + 33 + 8), damaged.begin() + ptrdiff_t(first + length - 12), uint8_t(0x55));
  EXPECT_EQ(IconFromResourceBytes(damaged, 16, 16, true), nullptr);
}

TEST(ResStore, StringsAreCopiedCutToTheBufferAndEnded) {
  ClearResources();
  RegisterStringResource(101, u"&About Kestrel...");
  RegisterStringResource(102, u"");
  const struct {
    UINT id;
    int size;
    int copied;
    const char16_t* text;
  } cases[] = {
      {101, 64, 17, u"&About Kestrel..."},
      {101, 18, 17, u"&About Kestrel..."},  // exactly fits with its zero
      {101, 17, 16, u"&About Kestrel.."},
      {101, 4, 3, u"&Ab"},
      {101, 1, 0, u""},
      {102, 64, 0, u""},  // empty counts as absent
      {999, 64, 0, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " into " << c.size);
    char16_t buf[64];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(LoadStringW(nullptr, c.id, buf, c.size), c.copied);
    EXPECT_EQ(std::u16string(buf), c.text);
    EXPECT_EQ(buf[c.copied + 1], u'#');  // nothing written past the zero
  }
  char16_t buf[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(LoadStringW(nullptr, 101, buf, 0), 0);
  EXPECT_EQ(buf[0], u'#');
  EXPECT_EQ(LoadStringW(nullptr, 101, nullptr, 10), 0);
  ClearResources();
  EXPECT_EQ(LoadStringW(nullptr, 101, buf, 4), 0);
}

}  // namespace
