// The skin's drawing blocks: nine-grid rendering at exact pixels, regions cut by a key colour,
// the parent background under a control, and font cloning.
#include <gtest/gtest.h>

#include "platform/afx/afxdlg.h"
#include "platform/afx/afxmsg.h"
#include "skin/skindraw.h"
#include "skin/skinimages.h"
#include "skin/tests/skin_test_util.h"

namespace {

// Nine distinct colours by the cell (column, row) of a source whose middle runs from lo to hi.
COLORREF Cell(int c, int r) { return RGB(40 + 80 * c, 40 + 80 * r, 100 + 20 * (c + 3 * r)); }

std::vector<uint8_t> GridSource(int size, int lo, int hi) {
  auto cell = [&](int v) { return v < lo ? 0 : v <= hi ? 1 : 2; };
  return MakeBmp(size, size, [&](int x, int y) { return Cell(cell(x), cell(y)); });
}

SkinImageData Image(std::vector<uint8_t>& bytes) { return SkinImageData{bytes.data(), uint32_t(bytes.size())}; }

TEST(StretchDC, NineGridKeepsCornersAndStretchesTheMiddle) {
  // A 9-pixel source has 4-pixel corners and a 1-pixel middle; a 10-pixel one a 2-pixel middle.
  for (auto [size, lo, hi] : {std::tuple{9, 4, 4}, std::tuple{10, 4, 5}}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> bytes = GridSource(size, lo, hi);
    SkinImageData img = Image(bytes);
    CStretchDC s;
    ASSERT_TRUE(s.SetSkinImage(&img));
    EXPECT_EQ(s.m_cornerW[0], 4);
    EXPECT_EQ(s.m_edge[1], 4);
    ASSERT_TRUE(s.Stretch(100, 40));
    EXPECT_EQ(s.m_bTargetEmpty, 0);
    EXPECT_EQ(s.TargetWidth(), 100);
    const struct {
      int x, y, c, r;
    } probes[] = {
        {0, 0, 0, 0},   {3, 3, 0, 0},   {4, 0, 1, 0},   {95, 3, 1, 0},  {96, 0, 2, 0},  {99, 3, 2, 0},
        {0, 4, 0, 1},   {3, 35, 0, 1},  {4, 4, 1, 1},   {50, 20, 1, 1}, {95, 35, 1, 1}, {96, 4, 2, 1},
        {0, 36, 0, 2},  {3, 39, 0, 2},  {4, 36, 1, 2},  {95, 39, 1, 2}, {96, 36, 2, 2}, {99, 39, 2, 2},
    };
    for (const auto& p : probes) EXPECT_EQ(s.GetPixel(p.x, p.y), Cell(p.c, p.r)) << p.x << "," << p.y;
  }
}

TEST(StretchDC, RefusesEmptySizesAndMissingSourcesAndNeverMirrorsASmallTarget) {
  CStretchDC none;
  EXPECT_FALSE(none.Stretch(50, 50));
  EXPECT_EQ(none.m_bTargetEmpty, 1);
  EXPECT_FALSE(none.SetSkinImage(nullptr));

  std::vector<uint8_t> bytes = GridSource(9, 4, 4);
  SkinImageData img = Image(bytes);
  CStretchDC s;
  ASSERT_TRUE(s.SetSkinImage(&img));
  EXPECT_FALSE(s.Stretch(0, 0));
  EXPECT_EQ(s.m_bTargetEmpty, 1);
  // Smaller than two corners: the corners overlap, drawn in order, the middle gets no room.
  ASSERT_TRUE(s.Stretch(5, 5));
  EXPECT_EQ(s.GetPixel(0, 0), Cell(0, 0));
  EXPECT_EQ(s.GetPixel(4, 0), Cell(2, 0));
  EXPECT_EQ(s.GetPixel(0, 4), Cell(0, 2));
  EXPECT_EQ(s.GetPixel(4, 4), Cell(2, 2));
}

TEST(BitmapDC, FailedLoadsKeepWhatWasHeld) {
  CBitmapDC dc;
  ASSERT_TRUE(dc.Create(7, 5));
  dc.SetPixel(2, 2, RGB(1, 2, 3));
  EXPECT_FALSE(dc.LoadFromResource(0));
  EXPECT_FALSE(dc.LoadFromImage(nullptr));
  EXPECT_EQ(dc.m_bEmpty, 0);
  EXPECT_EQ(dc.Width(), 7);
  EXPECT_EQ(dc.m_bm.bmBitsPixel, 24);
  EXPECT_EQ(dc.GetPixel(2, 2), RGB(1, 2, 3));
  // A broken picture empties the object.
  std::vector<uint8_t> junk{'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  SkinImageData bad = Image(junk);
  EXPECT_FALSE(dc.LoadFromImage(&bad));
  EXPECT_EQ(dc.m_bEmpty, 1);
  EXPECT_EQ(dc.Width(), 0);
}

TEST(Region, KeyPixelsAreCutRowByRowFromTheTop) {
  constexpr COLORREF key = RGB(0, 255, 0);
  // All key: a valid, empty region.
  HBITMAP all = MakeBitmap(6, 4, [](int, int) { return key; });
  HRGN r = CreateRegionFromBitmap(all, key);
  ASSERT_NE(r, nullptr);
  RECT box{};
  EXPECT_EQ(GetRgnBox(r, &box), NULLREGION);
  DeleteObject(r);
  DeleteObject(all);
  // No key: one full-width rectangle per row (the region merges them into one band).
  HBITMAP none = MakeBitmap(6, 4, [](int, int) { return RGB(9, 9, 9); });
  r = CreateRegionFromBitmap(none, key);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION);
  const RECT full{0, 0, 6, 4};
  EXPECT_TRUE(EqualRect(&box, &full));
  DeleteObject(r);
  DeleteObject(none);
  // Cut top corners: the first rows lose their ends, the bottom row is whole.
  HBITMAP shaped = MakeBitmap(10, 6, [](int x, int y) { return (y < 2 && (x < 2 - y || x > 7 + y)) ? key : RGB(200, 0, 0); });
  r = CreateRegionFromBitmap(shaped, key);
  ASSERT_NE(r, nullptr);
  EXPECT_FALSE(PtInRegion(r, 0, 0));
  EXPECT_FALSE(PtInRegion(r, 1, 0));
  EXPECT_TRUE(PtInRegion(r, 2, 0));
  EXPECT_FALSE(PtInRegion(r, 9, 1));
  EXPECT_TRUE(PtInRegion(r, 1, 1));
  EXPECT_TRUE(PtInRegion(r, 0, 5));
  EXPECT_TRUE(PtInRegion(r, 9, 5));
  DeleteObject(r);
  DeleteObject(shaped);
  EXPECT_EQ(CreateRegionFromBitmap(nullptr, key), nullptr);
}

// A window that serves a painted background, as the skinned dialogs do.
class SkinnedParent : public CWnd, public CSkinBase {
 public:
  CDC* GetBackgroundDC() override { return &back; }
  CBitmapDC back;
};

TEST(ParentBackground, CopiesThePieceUnderTheControlOnlyFromSkinnedParents) {
  InitWindowLayer();
  SkinnedParent parent;
  ASSERT_TRUE(parent.CreateEx(0, nullptr, u"", WS_POPUP | WS_VISIBLE, RECT{100, 100, 300, 200}, nullptr, 0));
  ASSERT_TRUE(parent.back.Create(200, 100));
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) parent.back.SetPixel(x, y, RGB(x, y, 7));
  }
  CWnd child;
  ASSERT_TRUE(child.Create(u"Static", u"", WS_CHILD | WS_VISIBLE, RECT{30, 40, 50, 50}, &parent, 5));
  CBitmapDC target;
  ASSERT_TRUE(target.Create(20, 10));
  ASSERT_TRUE(CopyParentBackground(&target, &child));
  EXPECT_EQ(target.GetPixel(0, 0), RGB(30, 40, 7));
  EXPECT_EQ(target.GetPixel(19, 9), RGB(49, 49, 7));

  CWnd plain;
  ASSERT_TRUE(plain.CreateEx(0, nullptr, u"", WS_POPUP, RECT{0, 0, 50, 50}, nullptr, 0));
  CWnd other;
  ASSERT_TRUE(other.Create(u"Static", u"", WS_CHILD, RECT{0, 0, 5, 5}, &plain, 6));
  EXPECT_FALSE(CopyParentBackground(&target, &other));
  EXPECT_FALSE(CopyParentBackground(&target, nullptr));
}

TEST(FontCopy, NullSourceOnlyDeletesAndASourceIsCloned) {
  CFont src;
  ASSERT_TRUE(src.CreateFont(17, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"MS Shell Dlg"));
  CFont* copy = nullptr;
  ASSERT_TRUE(CopyFontObject(&src, &copy));
  ASSERT_NE(copy, nullptr);
  LOGFONTW a{}, b{};
  src.GetLogFont(&a);
  copy->GetLogFont(&b);
  EXPECT_EQ(b.lfHeight, 17);
  EXPECT_EQ(b.lfWeight, FW_BOLD);
  EXPECT_NE(copy->m_hObject, src.m_hObject);
  const HGDIOBJ old = copy->m_hObject;
  EXPECT_TRUE(CopyFontObject(nullptr, &copy));
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(GetObjectType(old), 0u);  // the old font is gone
}

}  // namespace
