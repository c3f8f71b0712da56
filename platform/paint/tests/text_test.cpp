#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/paint/tests/paint_test_util.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// The bounding box of every pixel that differs from `bg` (empty when none).
RECT Ink(const Surface& s, COLORREF bg) {
  RECT box{s.width, s.height, 0, 0};
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      if (s.At(x, y) != bg) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  return IsRectEmpty(&box) ? RECT{0, 0, 0, 0} : box;
}

struct TextSurface : Surface {
  CFont font;
  CFont* oldFont = nullptr;
  TextSurface(int w, int h, int height, const char16_t* face, int weight = FW_NORMAL) : Surface(w, h) {
    EXPECT_TRUE(font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 3, 2, 2, 0, face));
    oldFont = dc.SelectObject(&font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(0, 0, 0));
  }
  ~TextSurface() { dc.SelectObject(oldFont); }
  void Clear() { dc.FillSolidRect(0, 0, width, height, kWhite); }
  std::vector<COLORREF> Pixels() const {
    std::vector<COLORREF> p;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) p.push_back(At(x, y));
    return p;
  }
};

TEST(Fonts, FaceMapResolvesToInstalledFaces) {
  struct Case {
    const char16_t* face;
    const char* file;
  };
  const Case cases[] = {{u"MS Shell Dlg", "LiberationSans-Regular"},
                        {u"MS Sans Serif", "LiberationSans-Regular"},
                        {u"Arial", "LiberationSans-Regular"},
                        {u"Times New Roman", "LiberationSerif-Regular"},
                        {u"Courier New", "LiberationMono-Regular"},
                        {u"Microsoft YaHei", "wqy-microhei"},
                        {u"\u5FAE\u8F6F\u96C5\u9ED1", "wqy-microhei"}};
  for (const Case& c : cases) {
    EXPECT_NE(ResolveFontFile(c.face, FW_NORMAL, false).find(c.file), std::string::npos)
        << ResolveFontFile(c.face, FW_NORMAL, false);
  }
  EXPECT_NE(ResolveFontFile(u"Arial", FW_BOLD, false).find("LiberationSans-Bold"), std::string::npos);
}

TEST(Fonts, HeightRuleCellOrEm) {
  for (int h : {10, 15, 19, 32}) {
    TextSurface cell(4, 4, h, u"MS Shell Dlg");
    TEXTMETRICW tm{};
    ASSERT_TRUE(cell.dc.GetTextMetrics(&tm));
    EXPECT_EQ(tm.tmHeight, h) << "a positive height is the cell height";
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);

    TextSurface em(4, 4, -h, u"MS Shell Dlg");
    ASSERT_TRUE(em.dc.GetTextMetrics(&tm));
    EXPECT_GT(tm.tmHeight, h) << "a negative height is the em height; the cell is taller";
    EXPECT_NEAR(tm.tmHeight - tm.tmInternalLeading, h, 1);
  }
}

TEST(Text, ExtentGrowsWithTheString) {
  TextSurface s(10, 10, 15, u"Arial");
  SIZE prev = s.dc.GetTextExtent(CString(u""));
  EXPECT_EQ(prev.cx, 0);
  EXPECT_EQ(prev.cy, 15);
  for (const char16_t* t : {u"D", u"Di", u"Dis", u"Disk", u"Disk 0", u"Disk 0 (C:)"}) {
    SIZE sz = s.dc.GetTextExtent(CString(t));
    EXPECT_GT(sz.cx, prev.cx) << std::u16string(t).size();
    EXPECT_EQ(sz.cy, 15);
    prev = sz;
  }
  TextSurface bold(10, 10, 15, u"Arial", FW_BOLD);
  EXPECT_GT(bold.dc.GetTextExtent(CString(u"Recovery")).cx, s.dc.GetTextExtent(CString(u"Recovery")).cx);
}

TEST(Fonts, UnderlineAndItalicChangeTheDrawing) {
  auto draw = [](BYTE italic, BYTE underline) {
    Surface s(80, 30);
    CFont f;
    EXPECT_TRUE(f.CreateFont(18, 0, 0, 0, FW_NORMAL, italic, underline, 0, 0, 0, 0, 0, 0, u"Arial"));
    CFont* old = s.dc.SelectObject(&f);
    s.dc.SetBkMode(TRANSPARENT);
    s.dc.TextOut(2, 2, CString(u"Home"));
    TEXTMETRICW tm{};
    s.dc.GetTextMetrics(&tm);
    EXPECT_EQ(tm.tmItalic != 0, italic != 0);
    EXPECT_EQ(tm.tmUnderlined != 0, underline != 0);
    s.dc.SelectObject(old);
    return Ink(s, kWhite);
  };
  const RECT plain = draw(0, 0), under = draw(0, 1), slanted = draw(1, 0);
  EXPECT_GT(under.bottom, plain.bottom) << "the underline lies below the letters";
  EXPECT_FALSE(Same(slanted, plain));
}

TEST(Text, DrawnWhereMeasuredInTheTextColour) {
  TextSurface s(120, 30, 20, u"MS Shell Dlg");
  s.dc.SetTextColor(RGB(200, 0, 0));
  ASSERT_TRUE(s.dc.TextOut(10, 5, CString(u"Hello")));
  SIZE sz = s.dc.GetTextExtent(CString(u"Hello"));
  RECT ink = Ink(s, kWhite);
  EXPECT_FALSE(IsRectEmpty(&ink));
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 10 + sz.cx + 1);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.bottom, 5 + sz.cy);
  bool sawTextColour = false;
  for (int y = ink.top; y < ink.bottom; ++y)
    for (int x = ink.left; x < ink.right; ++x) sawTextColour |= s.At(x, y) == RGB(200, 0, 0);
  EXPECT_TRUE(sawTextColour) << "solid stems carry the exact text colour";

  // Opaque mode fills the text cell with the background colour first.
  s.Clear();
  s.dc.SetBkMode(OPAQUE);
  s.dc.SetBkColor(RGB(0, 0, 255));
  s.dc.TextOut(0, 0, CString(u"Hello"));
  EXPECT_EQ(s.At(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(s.At(sz.cx - 1, sz.cy - 1), RGB(0, 0, 255));
  EXPECT_EQ(s.At(sz.cx, 0), kWhite);
}

TEST(Text, EllipsisShortensALongStringToFit) {
  TextSurface s(400, 30, 15, u"Arial");
  const CString text(u"A rather long file name that cannot fit.docx");
  RECT r{0, 0, 80, 30};
  s.dc.DrawText(text, &r, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(Ink(s, kWhite).right, 100) << "without the flag the text runs on";
  s.Clear();
  s.dc.DrawText(text, &r, DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
  RECT ink = Ink(s, kWhite);
  EXPECT_LE(ink.right, 80);
  EXPECT_GT(ink.right, 40) << "as much text as fits, then the dots";
  // A string that fits is left alone.
  s.Clear();
  s.dc.DrawText(CString(u"Short"), &r, DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_NEAR(Ink(s, kWhite).right, s.dc.GetTextExtent(CString(u"Short")).cx, 2);
}

TEST(Text, CjkRendersGlyphsNotBoxes) {
  for (const char16_t* face : {u"Microsoft YaHei", u"MS Shell Dlg"}) {
    auto render = [&](const char16_t* t) {
      TextSurface s(40, 40, 24, face);
      s.dc.TextOut(4, 4, CString(t));
      return s.Pixels();
    };
    const auto shu = render(u"\u6570");   // 数
    const auto ju = render(u"\u636E");    // 据
    const auto none = render(u"\u0378");  // unassigned: the missing-glyph box
    EXPECT_NE(shu, ju);
    EXPECT_NE(shu, none);
    EXPECT_NE(ju, none);
    TextSurface s(10, 10, 24, face);
    EXPECT_GT(s.dc.GetTextExtent(CString(u"\u6570\u636E")).cx, 30) << "CJK characters are wide";
  }
}

TEST(DrawText, AlignmentAndVerticalCentring) {
  TextSurface s(200, 60, 16, u"MS Shell Dlg");
  RECT r{0, 0, 200, 60};
  const CString t(u"Scan");
  const int cx = s.dc.GetTextExtent(t).cx;
  struct Case {
    UINT fmt;
    int left;  // where the text cell starts
    int top;
  };
  const Case cases[] = {{DT_SINGLELINE, 0, 0},
                        {DT_SINGLELINE | DT_CENTER, (200 - cx) / 2, 0},
                        {DT_SINGLELINE | DT_RIGHT, 200 - cx, 0},
                        {DT_SINGLELINE | DT_VCENTER, 0, (60 - 16) / 2},
                        {DT_SINGLELINE | DT_BOTTOM | DT_RIGHT, 200 - cx, 60 - 16}};
  for (const Case& c : cases) {
    s.Clear();
    s.dc.DrawText(t, &r, c.fmt);
    RECT ink = Ink(s, kWhite);
    EXPECT_NEAR(ink.left, c.left, 2) << c.fmt;
    EXPECT_GE(ink.top, c.top) << c.fmt;
    EXPECT_LE(ink.bottom, c.top + 16) << c.fmt;
  }
}

TEST(DrawText, CalcRectWordBreakAndEditControl) {
  TextSurface s(100, 100, 16, u"MS Shell Dlg");
  const CString words(u"one two three four five six seven");
  RECT calc{0, 0, 1000, 0};
  EXPECT_EQ(s.dc.DrawText(words, &calc, DT_SINGLELINE | DT_CALCRECT), 16);
  EXPECT_EQ(calc.right, s.dc.GetTextExtent(words).cx);
  EXPECT_EQ(calc.bottom, 16);
  EXPECT_EQ(Ink(s, kWhite).right, 0) << "measuring draws nothing";

  RECT narrow{0, 0, 60, 0};
  int h = s.dc.DrawText(words, &narrow, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_GE(h, 3 * 16) << "wrapped onto several lines";
  EXPECT_LE(narrow.right, 60);

  RECT lines{0, 0, 100, 0};
  EXPECT_EQ(s.dc.DrawText(CString(u"a\nb\r\nc"), &lines, DT_CALCRECT), 48);
  RECT single{0, 0, 100, 0};
  EXPECT_EQ(s.dc.DrawText(CString(u"a\nb\r\nc"), &single, DT_CALCRECT | DT_SINGLELINE), 16);

  // An edit control shows only whole lines: 40 pixels hold two of 16.
  RECT box{0, 0, 60, 40};
  s.dc.DrawText(words, &box, DT_WORDBREAK | DT_EDITCONTROL);
  EXPECT_LE(Ink(s, kWhite).bottom, 32);
  // Chinese text wraps between characters, without blanks.
  RECT cjk{0, 0, 50, 0};
  EXPECT_GE(s.dc.DrawText(CString(u"\u6570\u636E\u6062\u590D\u6570\u636E\u6062\u590D"), &cjk,
                          DT_WORDBREAK | DT_CALCRECT),
            2 * 16);
  EXPECT_LE(cjk.right, 50);
  // A word longer than the line breaks only in edit-control mode.
  const CString longWord(u"abcdefghijklmnopqrstuvwxyz");
  RECT a{0, 0, 50, 0}, b{0, 0, 50, 0};
  EXPECT_EQ(s.dc.DrawText(longWord, &a, DT_WORDBREAK | DT_CALCRECT), 16);
  EXPECT_GT(s.dc.DrawText(longWord, &b, DT_WORDBREAK | DT_EDITCONTROL | DT_CALCRECT), 16);
}

TEST(DrawText, PrefixesAndClipping) {
  TextSurface s(100, 30, 16, u"MS Shell Dlg");
  RECT calc{0, 0, 100, 0};
  s.dc.DrawText(CString(u"&Open"), &calc, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(calc.right, s.dc.GetTextExtent(CString(u"Open")).cx) << "the '&' takes no room";
  RECT raw{0, 0, 100, 0};
  s.dc.DrawText(CString(u"&Open"), &raw, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
  EXPECT_EQ(raw.right, s.dc.GetTextExtent(CString(u"&Open")).cx);
  RECT amp{0, 0, 100, 0};
  s.dc.DrawText(CString(u"R&&D"), &amp, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(amp.right, s.dc.GetTextExtent(CString(u"R&D")).cx);

  // The marked letter is underlined below the baseline; the plain text is not.
  TEXTMETRICW tm;
  s.dc.GetTextMetrics(&tm);
  RECT r{0, 0, 100, 30};
  s.dc.DrawText(CString(u"Save"), &r, DT_SINGLELINE);
  const int plainBottom = Ink(s, kWhite).bottom;
  s.Clear();
  s.dc.DrawText(CString(u"&Save"), &r, DT_SINGLELINE);
  EXPECT_GT(Ink(s, kWhite).bottom, plainBottom);
  EXPECT_GT(Ink(s, kWhite).bottom, tm.tmAscent);

  // Without DT_NOCLIP nothing lands outside the rectangle.
  s.Clear();
  RECT small{10, 5, 30, 12};
  s.dc.DrawText(CString(u"Clipped text"), &small, DT_SINGLELINE);
  RECT ink = Ink(s, kWhite);
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 30);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.bottom, 12);
}

TEST(DrawState, DisabledTextIsEmbossed) {
  TextSurface s(80, 30, 16, u"MS Sans Serif");
  s.dc.FillSolidRect(0, 0, 80, 30, RGB(128, 128, 0));
  s.dc.SetTextColor(RGB(1, 2, 3));
  ASSERT_TRUE(s.dc.DrawState(POINT{4, 4}, SIZE{60, 16}, u"&Group", DSS_DISABLED));
  bool shadow = false, light = false, text = false;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 80; ++x) {
      COLORREF c = s.At(x, y);
      shadow |= c == GetSysColor(COLOR_BTNSHADOW);
      light |= c == GetSysColor(COLOR_BTNHIGHLIGHT);
      text |= c == RGB(1, 2, 3);
    }
  EXPECT_TRUE(shadow);
  EXPECT_TRUE(light);
  EXPECT_FALSE(text);
  EXPECT_EQ(s.dc.GetTextColor(), RGB(1, 2, 3)) << "the context's colours are restored";
  EXPECT_EQ(s.dc.GetBkMode(), TRANSPARENT);
}

}  // namespace

namespace {

int CollectFaces(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM param) {
  EXPECT_EQ(type, TRUETYPE_FONTTYPE);
  reinterpret_cast<std::vector<std::u16string>*>(param)->push_back(lf->lfFaceName);
  return 1;
}

int StopAtFirst(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM param) {
  ++*reinterpret_cast<int*>(param);
  return 0;
}

TEST(Fonts, EnumerationReportsInstalledFamilies) {
  HDC ic = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
  std::vector<std::u16string> all;
  LOGFONTW any{};
  any.lfCharSet = DEFAULT_CHARSET;
  EXPECT_EQ(EnumFontFamiliesExW(ic, &any, CollectFaces, LPARAM(&all), 0), 1);
  auto has = [&](const std::u16string& n) { return std::find(all.begin(), all.end(), n) != all.end(); };
  EXPECT_TRUE(has(u"DejaVu Sans"));
  EXPECT_TRUE(has(u"Liberation Sans"));
  EXPECT_TRUE(has(u"WenQuanYi Micro Hei"));
  EXPECT_FALSE(has(u"Microsoft YaHei")) << "only faces that are really installed";

  std::vector<std::u16string> one;
  LOGFONTW filter{};
  std::u16string name = u"liberation serif";
  std::copy(name.begin(), name.end(), filter.lfFaceName);
  EnumFontFamiliesExW(ic, &filter, CollectFaces, LPARAM(&one), 0);
  EXPECT_EQ(one, std::vector<std::u16string>{u"Liberation Serif"});
  int calls = 0;
  EXPECT_EQ(EnumFontFamiliesExW(ic, &any, StopAtFirst, LPARAM(&calls), 0), 0);
  EXPECT_EQ(calls, 1);
  DeleteDC(ic);
}

}  // namespace

namespace {

// Worker threads draw on their own contexts at the same time (message boxes are painted on
// the thread that shows them); shared stock objects and the glyph cache must hold up.
TEST(Text, ThreadsDrawOnTheirOwnContexts) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 30; ++i) {
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bm = CreateCompatibleBitmap(dc, 64, 24);
        HGDIOBJ oldBm = SelectObject(dc, bm);
        HFONT f = CreateFontW(14 + t, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0,
                              t % 2 ? u"Arial" : u"Microsoft YaHei");
        HGDIOBJ oldF = SelectObject(dc, f);
        RECT r{0, 0, 64, 24};
        if (DrawTextW(dc, u"Scan \u6570\u636E", -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS) <= 0) ++failures;
        SelectObject(dc, oldF);
        SelectObject(dc, oldBm);
        DeleteObject(f);
        DeleteObject(bm);
        DeleteDC(dc);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
