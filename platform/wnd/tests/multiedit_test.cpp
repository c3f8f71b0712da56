// The multi-line edit, headless: lines and their indexes, wrapping, a hex dump of some 80,000
// characters scrolled by messages, keys, the wheel and the bar, read-only and editable typing,
// EN_CHANGE on a new text, the selection copied out, and the pixels of a selection.
#include <gtest/gtest.h>

#include <string>

#include "platform/wnd/controls.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

struct Edited {
  int changes = 0;
  int updates = 0;
};

class MultiEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    SetScreenSize(1280, 800);
    parent_ = MakeWindow(WS_POPUP | WS_VISIBLE, 0, 0, 700, 500, nullptr, 0,
                         [this](HWND, UINT msg, WPARAM w, LPARAM, LRESULT*) {
                           if (msg == WM_COMMAND && HIWORD(w) == EN_CHANGE) ++edited_.changes;
                           if (msg == WM_COMMAND && HIWORD(w) == EN_UPDATE) ++edited_.updates;
                           return false;
                         });
  }
  void TearDown() override {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    if (font_) DeleteObject(font_);
    Pump();
  }
  HWND Make(DWORD style, int w = 300, int h = 200, const char16_t* text = u"") {
    HWND e = CreateWindowExW(0, WC_EDIT, text, WS_CHILD | WS_VISIBLE | ES_MULTILINE | style, 10, 10, w, h, parent_,
                             reinterpret_cast<HMENU>(intptr_t(1114)), nullptr, nullptr);
    if (!font_) font_ = CreateFontW(18, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"Courier New");
    SendMessageW(e, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    Pump();
    return e;
  }
  static int Lines(HWND e) { return int(SendMessageW(e, EM_GETLINECOUNT, 0, 0)); }
  static int First(HWND e) { return int(SendMessageW(e, EM_GETFIRSTVISIBLELINE, 0, 0)); }
  static std::u16string Line(HWND e, int i) {
    char16_t buf[256] = {};
    buf[0] = 255;
    const int n = int(SendMessageW(e, EM_GETLINE, WPARAM(i), reinterpret_cast<LPARAM>(buf)));
    return std::u16string(buf, size_t(n));
  }
  static std::pair<int, int> Sel(HWND e) {
    DWORD a = 0, b = 0;
    SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return {int(a), int(b)};
  }
  static void Key(UINT vk, char16_t ch = 0) {
    InjectKeyPress(vk, ch);
    Pump();
  }
  static void CtrlKey(UINT vk) {
    InjectKey(VK_CONTROL, true);
    InjectKeyPress(vk);
    InjectKey(VK_CONTROL, false);
    Pump();
  }
  // The dump of the preview: a header, then 16 bytes a line of 78 characters, CR LF between.
  static std::u16string HexDump(int lines) {
    std::u16string t = u"Offset  0  1  2  3  4  5  6  7   8  9  A  B  C  D  E  F";
    t.resize(76, u' ');
    for (int i = 0; i < lines; ++i) {
      t += u"\r\n";
      char buf[80];
      std::snprintf(buf, sizeof buf, "%06X  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50   ABCDEFGHIJKLMNOP", i * 16);
      std::string line(buf);
      line.resize(76, ' ');
      t += std::u16string(line.begin(), line.end());
    }
    return t;
  }
  HWND parent_ = nullptr;
  HFONT font_ = nullptr;
  Edited edited_;
};

TEST_F(MultiEdit, LinesFollowBreaksAndTheirIndexesAgree) {
  HWND e = Make(WS_VSCROLL | ES_AUTOHSCROLL);
  struct Case {
    const char16_t* text;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"", {u""}},
      {u"one", {u"one"}},
      {u"one\r\ntwo\r\n\r\nthree", {u"one", u"two", u"", u"three"}},
      {u"end\r\n", {u"end", u""}},          // a break at the end opens an empty line
      {u"lf\nonly\rcr", {u"lf", u"only", u"cr"}},  // lone LF and CR break too
  };
  for (const Case& c : cases) {
    SetWindowTextW(e, c.text);
    ASSERT_EQ(Lines(e), int(c.lines.size())) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    for (int i = 0; i < Lines(e); ++i) EXPECT_EQ(Line(e, i), c.lines[size_t(i)]);
  }
  SetWindowTextW(e, u"one\r\ntwo\r\n\r\nthree");
  EXPECT_EQ(SendMessageW(e, EM_LINEINDEX, 1, 0), 5);
  EXPECT_EQ(SendMessageW(e, EM_LINEINDEX, 3, 0), 12);
  EXPECT_EQ(SendMessageW(e, EM_LINEINDEX, 4, 0), -1);
  EXPECT_EQ(SendMessageW(e, EM_LINELENGTH, 10, 0), 0);
  EXPECT_EQ(SendMessageW(e, EM_LINELENGTH, 13, 0), 5);
  EXPECT_EQ(SendMessageW(e, EM_LINEFROMCHAR, 12, 0), 3);
  EXPECT_EQ(SendMessageW(e, EM_LINEFROMCHAR, 4, 0), 0);  // the CR belongs to its line
  // A caret put between CR and LF moves out of the break.
  SendMessageW(e, EM_SETSEL, 4, 4);
  EXPECT_EQ(Sel(e), std::make_pair(3, 3));
  // GetWindowText sees the text whole.
  EXPECT_EQ(GetWindowTextString(e), CString(u"one\r\ntwo\r\n\r\nthree"));
}

TEST_F(MultiEdit, WrapsAtBlanksUnlessItScrollsSideways) {
  const char16_t* text = u"alpha beta gamma delta epsilon zeta eta theta iota kappa";
  HWND wrap = Make(WS_VSCROLL, 160, 200, text);
  const int lines = Lines(wrap);
  EXPECT_GT(lines, 2);
  // Every wrapped line but the last ends in the blank it broke at; nothing is lost.
  std::u16string joined;
  for (int i = 0; i < lines; ++i) {
    const std::u16string l = Line(wrap, i);
    if (i + 1 < lines) {
      EXPECT_EQ(l.back(), u' ') << i;
    }
    joined += l;
  }
  EXPECT_EQ(joined, std::u16string(text));
  // A word longer than the width is cut inside.
  SetWindowTextW(wrap, u"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz");
  EXPECT_GT(Lines(wrap), 1);
  HWND side = Make(WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL, 160, 200, text);
  EXPECT_EQ(Lines(side), 1);
  // Typing at the end of the long line scrolls it sideways to the caret.
  SetFocus(side);
  Key(VK_END);
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(side, SB_HORZ, &si));
  EXPECT_GT(si.nPos, 0);
}

TEST_F(MultiEdit, HexDumpOfEightyThousandCharactersScrolls) {
  // Wide enough for a dump line in the 18-pixel fixed font, so that nothing wraps.
  MoveWindow(parent_, 0, 0, 1000, 500, TRUE);
  HWND e = Make(WS_VSCROLL | ES_READONLY, 960, 300);
  constexpr int kLines = 1100;  // 16 bytes a line: what a 17,600-byte head gives
  const std::u16string dump = HexDump(kLines);
  ASSERT_GT(dump.size(), 80000u);
  edited_ = Edited{};
  SetWindowTextW(e, dump.c_str());
  EXPECT_EQ(edited_.changes, 1);  // a new text is a change
  EXPECT_EQ(Lines(e), kLines + 1);
  EXPECT_EQ(Line(e, kLines).substr(0, 6), u"0044B0");
  EXPECT_EQ(Line(e, kLines).size(), 76u);  // the last line keeps its blanks
  EXPECT_EQ(GetWindowTextLengthW(e), int(dump.size()));
  RECT r{};
  SendMessageW(e, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  const int lh = HIWORD(SendMessageW(e, EM_POSFROMCHAR, WPARAM(SendMessageW(e, EM_LINEINDEX, 1, 0)), 0));
  ASSERT_GT(lh, 10);
  const int per = int(r.bottom - r.top) / lh;
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(e, SB_VERT, &si));
  EXPECT_EQ(si.nMax, kLines);
  EXPECT_EQ(int(si.nPage), per);
  // By message, wheel, bar and keys.
  EXPECT_EQ(LOWORD(SendMessageW(e, EM_SCROLL, 3 /* SB_PAGEDOWN */, 0)), per);
  EXPECT_EQ(First(e), per);
  POINT p = At(e, 50, 50);
  InjectMouseWheel(-120, p.x, p.y);
  Pump();
  EXPECT_EQ(First(e), per + 3);
  SendMessageW(e, WM_VSCROLL, 7 /* SB_BOTTOM */, 0);
  EXPECT_EQ(First(e), kLines + 1 - per);
  SendMessageW(e, EM_LINESCROLL, 0, -10);
  EXPECT_EQ(First(e), kLines - 9 - per);
  SetFocus(e);
  CtrlKey(VK_HOME);
  EXPECT_EQ(First(e), 0);
  // Down keeps the column, also through the short last line; Ctrl+End goes to the very end.
  SendMessageW(e, EM_SETSEL, 10, 10);
  Key(VK_DOWN);
  EXPECT_EQ(Sel(e).first, 78 + 10);
  CtrlKey(VK_END);
  EXPECT_EQ(Sel(e).first, int(dump.size()));
  EXPECT_EQ(First(e), kLines + 1 - per);
  // Read-only: typing and pasting change nothing, the selection is copied out.
  edited_ = Edited{};
  Key('X', u'x');
  SetClipboardText(u"pasted");
  SendMessageW(e, WM_PASTE, 0, 0);
  EXPECT_EQ(edited_.changes, 0);
  SendMessageW(e, EM_SETSEL, 78, 78 + 6);
  SendMessageW(e, WM_COPY, 0, 0);
  CString clip;
  ASSERT_TRUE(GetClipboardText(&clip));
  EXPECT_EQ(clip, CString(u"000000"));
  CtrlKey('A');
  CtrlKey('C');
  ASSERT_TRUE(GetClipboardText(&clip));
  EXPECT_EQ(clip.GetLength(), int(dump.size()));
}

TEST_F(MultiEdit, TypingEnterAndBackspaceOverABreak) {
  HWND e = Make(WS_VSCROLL | ES_WANTRETURN);
  SetFocus(e);
  InjectText(u"ab");
  Key(VK_RETURN, u'\r');
  InjectText(u"cd");
  Pump();
  EXPECT_EQ(GetWindowTextString(e), CString(u"ab\r\ncd"));
  EXPECT_EQ(Lines(e), 2);
  EXPECT_GE(edited_.changes, 5);
  Key(VK_HOME);
  Key(VK_BACK, 0x08);  // the break goes whole
  EXPECT_EQ(GetWindowTextString(e), CString(u"abcd"));
  EXPECT_EQ(Sel(e), std::make_pair(2, 2));
  Key(VK_RETURN, u'\r');
  Key(VK_LEFT);
  EXPECT_EQ(Sel(e), std::make_pair(2, 2));  // one step back over CR LF
  Key(VK_DELETE);
  EXPECT_EQ(GetWindowTextString(e), CString(u"abcd"));
  EXPECT_TRUE(SendMessageW(e, EM_GETMODIFY, 0, 0));
  // A dialog keeps Enter for its default button unless the edit asks for it.
  MSG enter{};
  enter.message = WM_KEYDOWN;
  enter.wParam = VK_RETURN;
  EXPECT_TRUE(SendMessageW(e, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTALLKEYS);
  HWND plain = Make(WS_VSCROLL);
  EXPECT_FALSE(SendMessageW(plain, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTALLKEYS);
  // The limit holds for typing, never for a text set whole.
  SendMessageW(e, EM_LIMITTEXT, 5, 0);
  SendMessageW(e, EM_SETSEL, 4, 4);
  InjectText(u"xyz");
  Pump();
  EXPECT_EQ(GetWindowTextString(e), CString(u"abcdx"));
  SetWindowTextW(e, u"a text longer than five");
  EXPECT_EQ(GetWindowTextLengthW(e), 23);
}

TEST_F(MultiEdit, SelectionPixelsAndSheet) {
  MoveWindow(parent_, 0, 0, 1000, 500, TRUE);
  HWND e = Make(WS_VSCROLL, 960, 300);
  SetWindowTextW(e, HexDump(40).c_str());
  SetFocus(e);
  // The second data line's offset selected.
  const int start = int(SendMessageW(e, EM_LINEINDEX, 2, 0));
  const LRESULT a = SendMessageW(e, EM_POSFROMCHAR, WPARAM(start), 0);
  const LRESULT b = SendMessageW(e, EM_POSFROMCHAR, WPARAM(start + 6), 0);
  const int y = HIWORD(a) + 2, xa = LOWORD(a), xb = LOWORD(b);
  // A click puts the caret at the nearest character of the line.
  Click(e, xa + 1, y);
  Pump();
  EXPECT_EQ(Sel(e), std::make_pair(start, start));
  SendMessageW(e, EM_SETSEL, WPARAM(start), LPARAM(start + 6));
  UpdateAllWindows();
  EXPECT_EQ(xb - xa, 6 * (LOWORD(SendMessageW(e, EM_POSFROMCHAR, 1, 0)) - LOWORD(SendMessageW(e, EM_POSFROMCHAR, 0, 0))));
  EXPECT_EQ(GetWindowPixel(e, xa + 1, y), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(GetWindowPixel(e, xb + 3, y), GetSysColor(COLOR_WINDOW));
  EXPECT_TRUE(SaveWindowPng(parent_, std::string(KESTREL_WND_SHOT_DIR) + "/multiedit_sheet.png"));
}

TEST_F(MultiEdit, BlanksAtTheEdgeHangInsteadOfWrapping) {
  HWND e = Make(WS_VSCROLL, 160, 200);
  std::u16string padded = u"abc";
  padded.resize(200, u' ');
  SetWindowTextW(e, (padded + u"\r\nnext").c_str());
  EXPECT_EQ(Lines(e), 2);
  EXPECT_EQ(Line(e, 1), u"next");
}

}  // namespace
