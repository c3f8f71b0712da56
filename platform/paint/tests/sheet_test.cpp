// Draws one picture with a bit of everything the raster does and saves it as
// paint_sheet.png in the build folder, to look at by eye.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/paint/tests/paint_test_util.h"

#ifndef KESTREL_PAINT_SHEET_DIR
#define KESTREL_PAINT_SHEET_DIR "."
#endif

namespace {

// A 9x9 skin piece: a dark frame with rounded corners in the key colour, a light body.
void PaintSkinPiece(Surface& s, COLORREF key) {
  s.dc.FillSolidRect(0, 0, 9, 9, RGB(236, 240, 245));
  CPen frame(PS_SOLID, 1, RGB(40, 90, 160));
  CPen* old = s.dc.SelectObject(&frame);
  s.dc.SelectStockObject(NULL_BRUSH);
  s.dc.Rectangle(0, 0, 9, 9);
  s.dc.SelectObject(old);
  s.dc.FillSolidRect(1, 1, 7, 2, RGB(70, 130, 200));  // title band
  for (POINT p : {POINT{0, 0}, POINT{8, 0}, POINT{0, 8}, POINT{8, 8}}) s.Set(p.x, p.y, key);
}

// A round icon with soft edges, made as a PNG with straight alpha and decoded premultiplied.
HBITMAP RoundIcon(int size, COLORREF c) {
  std::vector<uint8_t> px(size_t(size) * size_t(size) * 4);
  const double r = size / 2.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      double d = std::hypot(x + 0.5 - r, y + 0.5 - r);
      double a = std::clamp(r - d, 0.0, 1.0) * (0.4 + 0.6 * (1.0 - d / r));
      uint8_t* p = &px[(size_t(y) * size_t(size) + size_t(x)) * 4];
      p[0] = GetBValue(c);
      p[1] = GetGValue(c);
      p[2] = GetRValue(c);
      p[3] = uint8_t(std::lround(std::clamp(a, 0.0, 1.0) * 255));
    }
  return BitmapFromPngBytes(PngBgra(size, size, px));
}

TEST(PaintSheet, WritesPng) {
  const int W = 640, H = 420;
  const COLORREF key = RGB(0, 255, 0);
  Surface sheet(W, H, 24, RGB(250, 250, 250));
  CDC& dc = sheet.dc;

  // Nine-grid: the 9x9 piece stretched into two sizes.
  Surface piece(9, 9);
  PaintSkinPiece(piece, key);
  for (SIZE sz : {SIZE{220, 120}, SIZE{90, 60}}) {
    Surface target(sz.cx, sz.cy);
    target.dc.SetStretchBltMode(HALFTONE);
    const int m = 4;
    target.dc.StretchBlt(m, m, sz.cx - 2 * m, sz.cy - 2 * m, &piece.dc, m, m, 1, 1, SRCCOPY);
    target.dc.StretchBlt(0, m, m, sz.cy - 2 * m, &piece.dc, 0, m, m, 1, SRCCOPY);
    target.dc.StretchBlt(sz.cx - m, m, m, sz.cy - 2 * m, &piece.dc, 5, m, m, 1, SRCCOPY);
    target.dc.StretchBlt(m, sz.cy - m, sz.cx - 2 * m, m, &piece.dc, m, 5, 1, m, SRCCOPY);
    target.dc.BitBlt(0, sz.cy - m, m, m, &piece.dc, 0, 5, SRCCOPY);
    target.dc.BitBlt(sz.cx - m, sz.cy - m, m, m, &piece.dc, 5, 5, SRCCOPY);
    target.dc.StretchBlt(m, 0, sz.cx - 2 * m, m, &piece.dc, m, 0, 1, m, SRCCOPY);
    target.dc.BitBlt(0, 0, m, m, &piece.dc, 0, 0, SRCCOPY);
    target.dc.BitBlt(sz.cx - m, 0, m, m, &piece.dc, 5, 0, SRCCOPY);
    const int x = sz.cx == 220 ? 10 : 240;
    dc.TransparentBlt(x, 10, sz.cx, sz.cy, &target.dc, 0, 0, sz.cx, sz.cy, key);
  }

  // Blended icons over stripes.
  for (int i = 0; i < 8; ++i) dc.FillSolidRect(340 + i * 36, 10, 36, 120, i % 2 ? RGB(30, 30, 30) : RGB(220, 200, 90));
  const COLORREF colours[3] = {RGB(220, 40, 40), RGB(40, 160, 60), RGB(40, 90, 220)};
  for (int i = 0; i < 3; ++i) {
    HBITMAP icon = RoundIcon(48, colours[i]);
    ASSERT_NE(icon, nullptr);
    HDC src = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(src, icon);
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    EXPECT_TRUE(AlphaBlend(dc, 350 + i * 80, 20, 48, 48, src, 0, 0, 48, 48, bf));
    EXPECT_TRUE(AlphaBlend(dc, 350 + i * 80, 76, 32, 32, src, 0, 0, 48, 48, bf));
    SelectObject(src, old);
    DeleteDC(src);
    DeleteObject(icon);
  }

  // Regions: an ellipse-shaped key-colour mask becomes a region, filled and used as a clip.
  Surface mask(120, 80, 24, key);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 120; ++x) {
      double dx = (x - 59.5) / 60, dy = (y - 39.5) / 40;
      if (dx * dx + dy * dy <= 1) mask.Set(x, y, RGB(0, 0, 0));
    }
  std::vector<RECT> rects;
  for (int y = 0; y < 80; ++y) {
    int start = -1;
    for (int x = 0; x <= 120; ++x) {
      bool solid = x < 120 && mask.At(x, y) != key;
      if (solid && start < 0) start = x;
      if (!solid && start >= 0) {
        rects.push_back(RECT{start, y, x, y + 1});
        start = -1;
      }
    }
  }
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  RGNDATAHEADER hd{32, RDH_RECTANGLES, DWORD(rects.size()), 0, RECT{}};
  std::memcpy(data.data(), &hd, sizeof hd);
  if (!rects.empty()) std::memcpy(data.data() + sizeof hd, rects.data(), rects.size() * sizeof(RECT));
  CRgn ellipse;
  ASSERT_TRUE(ellipse.CreateFromData(nullptr, int(data.size()), reinterpret_cast<RGNDATA*>(data.data())));
  ellipse.OffsetRgn(10, 150);
  CBrush fill(RGB(90, 60, 160));
  FillRgn(dc, ellipse, fill);
  CRgn clip;
  clip.CreateRectRgn(0, 0, 0, 0);
  clip.CopyRgn(&ellipse);
  clip.OffsetRgn(140, 0);
  dc.SelectClipRgn(&clip);
  for (int i = 0; i < 20; ++i) dc.FillSolidRect(150 + i * 6, 150, 3, 80, RGB(200, 80 + i * 8, 40));
  CPen diag(PS_SOLID, 2, RGB(0, 0, 0));
  CPen* oldPen = dc.SelectObject(&diag);
  dc.MoveTo(150, 150);
  dc.LineTo(270, 230);
  dc.SelectObject(oldPen);
  dc.SelectClipRgn(nullptr);
  RECT frame{290, 150, 420, 230};
  dc.Draw3dRect(&frame, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  dc.SetBkMode(TRANSPARENT);
  dc.DrawState(POINT{300, 180}, SIZE{110, 16}, u"&Disabled", DSS_DISABLED);

  // Text in three faces, and Chinese text in the YaHei stand-in.
  struct Row {
    const char16_t* face;
    int height;
    int weight;
    const char16_t* text;
  };
  const Row rows[] = {{u"MS Shell Dlg", 15, FW_NORMAL, u"MS Shell Dlg 15: Recover deleted files (C:) 123"},
                      {u"Times New Roman", 20, FW_BOLD, u"Times New Roman 20 bold: Partition table"},
                      {u"Courier New", -14, FW_NORMAL, u"Courier New -14: 0x00FF 00FF 1234"},
                      {u"Microsoft YaHei", 19, FW_NORMAL, u"\u6570\u636E\u6062\u590D \u5FAE\u8F6F\u96C5\u9ED1 19"}};
  int y = 250;
  dc.SetTextColor(RGB(47, 52, 55));
  for (const Row& r : rows) {
    CFont f;
    ASSERT_TRUE(f.CreateFont(r.height, 0, 0, 0, r.weight, 0, 0, 0, ANSI_CHARSET, 3, 2, 2, 0, r.face));
    CFont* old = dc.SelectObject(&f);
    RECT box{10, y, 400, y + 30};
    dc.DrawText(CString(r.text), &box, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    dc.SelectObject(old);
    y += 34;
  }
  CFont small;
  small.CreateFont(15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 3, 2, 2, 0, u"Arial");
  CFont* old = dc.SelectObject(&small);
  RECT wrap{420, 250, 630, 312};
  dc.FillSolidRect(&wrap, RGB(255, 255, 255));
  dc.DrawText(CString(u"A long description wraps at blanks inside its box, and the &last visible line "
                      u"ends in dots when the text does not fit the box at all, as edit controls do."),
              &wrap, DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS);
  dc.SelectObject(old);

  const std::string path = std::string(KESTREL_PAINT_SHEET_DIR) + "/paint_sheet.png";
  ASSERT_TRUE(WriteBitmapPng(sheet.bmp, path)) << path;
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  HBITMAP back = BitmapFromPngBytes(bytes);
  ASSERT_NE(back, nullptr);
  BITMAP d{};
  GetObjectW(back, sizeof d, &d);
  EXPECT_EQ(d.bmWidth, W);
  EXPECT_EQ(d.bmHeight, H);
  DeleteObject(back);
}

}  // namespace
