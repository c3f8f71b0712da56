// The binary raster operations of lines and rectangles: each mode's result on known pixels,
// a XOR line drawn twice leaving the surface as it was, and Rectangle's edges mixed once each.
#include "platform/paint/tests/paint_test_util.h"

namespace {

TEST(Rop2, EveryModeMixesPenAndSurfaceAsItsTableSays) {
  // Pen 0x0F0F0F over surface 0x333333, per byte: pen 00001111, surface 00110011.
  const BYTE pen = 0x0F, dst = 0x33;
  struct Case {
    int mode;
    BYTE want;
  } cases[] = {
      {R2_BLACK, 0x00},          {R2_NOTMERGEPEN, BYTE(~(pen | dst))}, {R2_MASKNOTPEN, BYTE(~pen & dst)},
      {R2_NOTCOPYPEN, BYTE(~pen)}, {R2_MASKPENNOT, BYTE(pen & ~dst)},  {R2_NOT, BYTE(~dst)},
      {R2_XORPEN, BYTE(pen ^ dst)}, {R2_NOTMASKPEN, BYTE(~(pen & dst))}, {R2_MASKPEN, BYTE(pen & dst)},
      {R2_NOTXORPEN, BYTE(~(pen ^ dst))}, {R2_NOP, dst}, {R2_MERGENOTPEN, BYTE(~pen | dst)},
      {R2_COPYPEN, pen},          {R2_MERGEPENNOT, BYTE(pen | ~dst)},   {R2_MERGEPEN, BYTE(pen | dst)},
      {R2_WHITE, 0xFF},
  };
  for (const Case& c : cases) {
    Surface s(8, 4, 32, RGB(dst, dst, dst));
    HPEN p = CreatePen(PS_SOLID, 1, RGB(pen, pen, pen));
    HGDIOBJ old = SelectObject(s.dc, p);
    EXPECT_EQ(SetROP2(s.dc, c.mode), R2_COPYPEN);
    MoveToEx(s.dc, 0, 1, nullptr);
    LineTo(s.dc, 8, 1);
    EXPECT_EQ(s.At(3, 1), RGB(c.want, c.want, c.want)) << "mode " << c.mode;
    EXPECT_EQ(s.At(3, 2), RGB(dst, dst, dst));
    SelectObject(s.dc, old);
    DeleteObject(p);
  }
  Surface s(2, 2);
  EXPECT_EQ(SetROP2(s.dc, 0), 0);
  EXPECT_EQ(SetROP2(s.dc, 17), 0);
  EXPECT_EQ(GetROP2(s.dc), R2_COPYPEN);
}

TEST(Rop2, NotXorLineTwiceRestoresAndRectangleEdgesMixOnce) {
  Surface s(40, 30, 24, RGB(200, 100, 50));
  s.Set(10, 10, RGB(0, 0, 0));
  HPEN p = CreatePen(PS_SOLID, 5, RGB(128, 128, 128));
  HGDIOBJ old = SelectObject(s.dc, p);
  SetROP2(s.dc, R2_NOTXORPEN);
  for (int k = 0; k < 2; ++k) {
    MoveToEx(s.dc, 10, 3, nullptr);
    LineTo(s.dc, 10, 26);
    if (k == 0) {
      // ~(0x808080 ^ c) per byte, five pixels wide around x = 10.
      EXPECT_EQ(s.At(8, 5), RGB(BYTE(~(128 ^ 200)), BYTE(~(128 ^ 100)), BYTE(~(128 ^ 50))));
      EXPECT_EQ(s.At(12, 5), s.At(8, 5));
      EXPECT_EQ(s.At(13, 5), RGB(200, 100, 50));
      EXPECT_EQ(s.At(10, 10), RGB(BYTE(~128), BYTE(~128), BYTE(~128)));
    }
  }
  EXPECT_EQ(s.CountNot(RGB(200, 100, 50), RECT{0, 0, 40, 30}), 1);
  EXPECT_EQ(s.At(10, 10), RGB(0, 0, 0));
  // A XOR rectangle frame: every edge pixel (corners too) flips exactly once.
  SelectObject(s.dc, old);
  DeleteObject(p);
  p = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
  old = SelectObject(s.dc, p);
  HGDIOBJ oldBrush = SelectObject(s.dc, GetStockObject(NULL_BRUSH));
  SetROP2(s.dc, R2_XORPEN);
  Rectangle(s.dc, 20, 5, 30, 9);
  EXPECT_EQ(s.At(19, 4), RGB(55, 155, 205));   // outer corner
  EXPECT_EQ(s.At(21, 6), RGB(55, 155, 205));   // inner corner of a wide pen
  EXPECT_EQ(s.At(25, 8), RGB(55, 155, 205));   // bottom edge over a thin inside
  Rectangle(s.dc, 20, 5, 30, 9);
  EXPECT_EQ(s.CountNot(RGB(200, 100, 50), RECT{0, 0, 40, 30}), 1);
  SelectObject(s.dc, oldBrush);
  SelectObject(s.dc, old);
  DeleteObject(p);
}

}  // namespace
