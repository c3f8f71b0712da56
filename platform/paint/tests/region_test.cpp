#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/paint/tests/paint_test_util.h"

namespace {

std::vector<RECT> Rects(HRGN r) {
  DWORD n = GetRegionData(r, 0, nullptr);
  std::vector<uint8_t> buf(n);
  EXPECT_EQ(GetRegionData(r, n, reinterpret_cast<RGNDATA*>(buf.data())), n);
  RGNDATAHEADER h;
  std::memcpy(&h, buf.data(), sizeof h);
  std::vector<RECT> out(h.nCount);
  if (h.nCount) std::memcpy(out.data(), buf.data() + sizeof h, h.nCount * sizeof(RECT));
  return out;
}

// Builds a region the way the skin does: rows read with GetDIBits through an information
// context, runs of non-key pixels as one-row rectangles, one ExtCreateRegion call. Also
// returns the rectangles handed over.
HRGN RegionFromKey(HBITMAP bm, COLORREF key, std::vector<RECT>* handed) {
  BITMAP desc{};
  GetObjectW(bm, sizeof desc, &desc);
  HDC ic = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = 40;
  if (!GetDIBits(ic, bm, 0, UINT(desc.bmHeight), nullptr, &bmi, DIB_RGB_COLORS)) return nullptr;
  std::vector<uint8_t> bits(bmi.bmiHeader.biSizeImage + 1);
  if (!GetDIBits(ic, bm, 0, UINT(desc.bmHeight), bits.data(), &bmi, DIB_RGB_COLORS)) return nullptr;
  DeleteDC(ic);
  const int bytes = bmi.bmiHeader.biBitCount / 8;
  const size_t stride = ((size_t(desc.bmWidth) * bytes) + 3) & ~size_t(3);
  std::vector<RECT> rects;
  for (int y = 0; y < desc.bmHeight; ++y) {
    const uint8_t* row = bits.data() + size_t(desc.bmHeight - 1 - y) * stride;
    int start = -1;
    for (int x = 0; x <= desc.bmWidth; ++x) {
      bool solid = x < desc.bmWidth && !(row[x * bytes] == GetBValue(key) && row[x * bytes + 1] == GetGValue(key) &&
                                         row[x * bytes + 2] == GetRValue(key));
      if (solid && start < 0) start = x;
      if (!solid && start >= 0) {
        rects.push_back(RECT{start, y, x, y + 1});
        start = -1;
      }
    }
  }
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  RGNDATAHEADER h{32, RDH_RECTANGLES, DWORD(rects.size()), 0, RECT{0, 0, 0, 0}};
  std::memcpy(data.data(), &h, sizeof h);
  if (!rects.empty()) std::memcpy(data.data() + sizeof h, rects.data(), rects.size() * sizeof(RECT));
  if (handed) *handed = rects;
  return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
}

TEST(RegionFromKeyColour, AllKeyGivesEmptyAndNoKeyGivesRowsCoveringTheWidth) {
  const COLORREF key = RGB(0, 255, 0);
  Surface all(6, 4, 24, key);
  std::vector<RECT> handed;
  HRGN empty = RegionFromKey(all.bmp, key, &handed);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(handed.empty());
  RECT box{1, 1, 1, 1};
  EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
  EXPECT_TRUE(IsRectEmpty(&box));
  EXPECT_FALSE(PtInRegion(empty, 0, 0));
  DeleteObject(empty);

  Surface none(6, 4, 24, RGB(0, 254, 0));
  HRGN full = RegionFromKey(none.bmp, key, &handed);
  ASSERT_EQ(handed.size(), 4u);
  for (int y = 0; y < 4; ++y) EXPECT_TRUE(Same(handed[size_t(y)], RECT{0, y, 6, y + 1}));
  HRGN rect = CreateRectRgn(0, 0, 6, 4);
  EXPECT_TRUE(EqualRgn(full, rect)) << "equal rows merge into one rectangle";
  EXPECT_EQ(GetRgnBox(full, &box), SIMPLEREGION);
  DeleteObject(full);
  DeleteObject(rect);
}

TEST(RegionFromKeyColour, ShapedBitmapFromThirtyTwoBits) {
  const COLORREF key = RGB(255, 0, 255);
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap bm;
  ASSERT_TRUE(bm.CreateCompatibleBitmap(&dc, 5, 3));
  CBitmap* old = dc.SelectObject(&bm);
  dc.FillSolidRect(0, 0, 5, 3, key);
  dc.FillSolidRect(1, 0, 2, 1, RGB(1, 1, 1));  // row 0: x 1..2
  dc.SetPixel(0, 1, RGB(1, 1, 1));             // row 1: x 0 and x 4
  dc.SetPixel(4, 1, RGB(1, 1, 1));
  dc.SelectObject(old);
  std::vector<RECT> handed;
  HRGN r = RegionFromKey(bm, key, &handed);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(handed.size(), 3u);
  EXPECT_TRUE(PtInRegion(r, 1, 0));
  EXPECT_TRUE(PtInRegion(r, 2, 0));
  EXPECT_FALSE(PtInRegion(r, 3, 0));
  EXPECT_TRUE(PtInRegion(r, 4, 1));
  EXPECT_FALSE(PtInRegion(r, 2, 1));
  EXPECT_FALSE(PtInRegion(r, 0, 2));
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), COMPLEXREGION);
  EXPECT_TRUE(Same(box, RECT{0, 0, 5, 2}));
  DeleteObject(r);
}

TEST(Regions, CombineModes) {
  // Two overlapping squares: A = (0,0)-(4,4), B = (2,2)-(6,6).
  struct Case {
    int mode;
    int type;
    int area;
    POINT in, out;
  };
  const Case cases[] = {
      {RGN_AND, SIMPLEREGION, 4, {3, 3}, {1, 1}},
      {RGN_OR, COMPLEXREGION, 28, {5, 5}, {5, 0}},
      {RGN_XOR, COMPLEXREGION, 24, {1, 1}, {3, 3}},
      {RGN_DIFF, COMPLEXREGION, 12, {1, 3}, {2, 2}},
      {RGN_COPY, SIMPLEREGION, 16, {3, 3}, {5, 5}},
  };
  for (const Case& c : cases) {
    HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.type) << c.mode;
    int area = 0;
    std::vector<RECT> rs = Rects(d);
    for (size_t i = 0; i < rs.size(); ++i) {
      area += (rs[i].right - rs[i].left) * (rs[i].bottom - rs[i].top);
      if (i > 0) {  // sorted by band, then left to right, and disjoint
        EXPECT_TRUE(rs[i].top > rs[i - 1].top || (rs[i].top == rs[i - 1].top && rs[i].left >= rs[i - 1].right));
      }
    }
    EXPECT_EQ(area, c.area) << c.mode;
    EXPECT_TRUE(PtInRegion(d, c.in.x, c.in.y)) << c.mode;
    EXPECT_FALSE(PtInRegion(d, c.out.x, c.out.y)) << c.mode;
    // Combining into one of the sources works in place.
    EXPECT_EQ(CombineRgn(a, a, b, c.mode), c.type);
    EXPECT_TRUE(EqualRgn(a, d));
    for (HRGN h : {a, b, d}) DeleteObject(h);
  }
  HRGN a = CreateRectRgn(0, 0, 2, 2);
  EXPECT_EQ(CombineRgn(a, a, nullptr, RGN_OR), ERROR);
  EXPECT_EQ(CombineRgn(a, a, a, 99), ERROR);
  DeleteObject(a);
}

TEST(Regions, OffsetBoxAndDataChecks) {
  HRGN r = CreateRectRgn(5, 5, 1, 1);  // corners in any order
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION);
  EXPECT_TRUE(Same(box, RECT{1, 1, 5, 5}));
  EXPECT_EQ(OffsetRgn(r, 10, -1), SIMPLEREGION);
  GetRgnBox(r, &box);
  EXPECT_TRUE(Same(box, RECT{11, 0, 15, 4}));
  EXPECT_TRUE(PtInRegion(r, 11, 0));
  EXPECT_FALSE(PtInRegion(r, 15, 0)) << "right and bottom edges are outside";
  DeleteObject(r);

  // A count that claims more rectangles than the bytes hold is refused; so is a transform.
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + sizeof(RECT));
  RGNDATAHEADER h{32, RDH_RECTANGLES, 2, 0, RECT{}};
  std::memcpy(data.data(), &h, sizeof h);
  RECT one{0, 0, 1, 1};
  std::memcpy(data.data() + sizeof h, &one, sizeof one);
  auto* rd = reinterpret_cast<RGNDATA*>(data.data());
  EXPECT_EQ(ExtCreateRegion(nullptr, DWORD(data.size()), rd), nullptr);
  h.nCount = 1;
  std::memcpy(data.data(), &h, sizeof h);
  XFORM xf{1, 0, 0, 1, 0, 0};
  EXPECT_EQ(ExtCreateRegion(&xf, DWORD(data.size()), rd), nullptr);
  HRGN ok = ExtCreateRegion(nullptr, DWORD(data.size()), rd);
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(PtInRegion(ok, 0, 0));
  DeleteObject(ok);
  EXPECT_EQ(ExtCreateRegion(nullptr, 8, rd), nullptr);
  // Overlapping rectangles are merged into disjoint bands.
  const RECT over[3] = {{0, 0, 4, 2}, {2, 1, 6, 3}, {0, 0, 1, 1}};
  std::vector<uint8_t> d2(sizeof(RGNDATAHEADER) + sizeof over);
  RGNDATAHEADER h2{32, RDH_RECTANGLES, 3, 0, RECT{}};
  std::memcpy(d2.data(), &h2, sizeof h2);
  std::memcpy(d2.data() + sizeof h2, over, sizeof over);
  HRGN m = ExtCreateRegion(nullptr, DWORD(d2.size()), reinterpret_cast<RGNDATA*>(d2.data()));
  std::vector<RECT> rs = Rects(m);
  ASSERT_EQ(rs.size(), 3u);
  EXPECT_TRUE(Same(rs[0], RECT{0, 0, 4, 1}));
  EXPECT_TRUE(Same(rs[1], RECT{0, 1, 6, 2}));
  EXPECT_TRUE(Same(rs[2], RECT{2, 2, 6, 3}));
  DeleteObject(m);
}

TEST(Regions, ClassLibraryWrapper) {
  CRgn a, b;
  ASSERT_TRUE(a.CreateRectRgn(0, 0, 10, 10));
  const RECT rb{5, 5, 15, 15};
  ASSERT_TRUE(b.CreateRectRgnIndirect(&rb));
  CRgn c;
  c.CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(c.CombineRgn(&a, &b, RGN_AND), SIMPLEREGION);
  RECT box;
  c.GetRgnBox(&box);
  EXPECT_TRUE(Same(box, RECT{5, 5, 10, 10}));
  CRgn d;
  d.CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(d.CopyRgn(&c), SIMPLEREGION);
  EXPECT_TRUE(d.EqualRgn(&c));
  EXPECT_TRUE(d.PtInRegion(POINT{5, 5}));
}

}  // namespace
