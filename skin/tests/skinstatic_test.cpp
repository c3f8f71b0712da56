// Text and frame controls: the edit box's character filter, static text formats and placement,
// and the group box's chamfered frame with its caption gap.
#include <gtest/gtest.h>

#include "platform/afx/afxdlg.h"
#include "skin/skinstatic.h"
#include "skin/tests/skin_test_util.h"

namespace {

std::vector<CString>& Warnings() {
  static std::vector<CString> w;
  return w;
}

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    DlgTemplate t;
    t.style = WS_POPUP | WS_VISIBLE;
    t.x = 10, t.y = 10, t.cx = 300, t.cy = 200;
    t.items = {
        {60, WC_EDIT, WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 0, u"", 4, 4, 200, 12},
        {61, WC_STATIC, WS_VISIBLE | SS_CENTER, 0, u"Centred", 4, 30, 200, 30},
        {62, WC_BUTTON, WS_VISIBLE | BS_GROUPBOX, 0, u"Options", 4, 70, 200, 80},
    };
    RegisterDialogTemplate(7101, t);
    ASSERT_TRUE(host.Create(7101));
    SetEditWarningHandler([](const CString& text) { Warnings().push_back(text); });
    Warnings().clear();
  }
  void TearDown() override {
    SetEditWarningHandler(nullptr);
    host.DestroyWindow();
  }
  CDialog host{7101};
};

TEST_F(TextTest, EditFilterRefusesWhatItMustAndRestoresTheText) {
  CSkinEdit edit;
  ASSERT_TRUE(edit.SubclassDlgItem(60, &host));
  edit.m_bAllowNonAscii = 0;
  edit.m_forbidden = {u'\\'};
  edit.m_warning = u"No backslash";
  edit.m_longestLine = 10;
  edit.SetFocus();
  auto text = [&] {
    CString t;
    edit.GetWindowText(t);
    return t;
  };
  const struct {
    const char16_t* typed;  // typed one character at a time
    const char16_t* pasted;
    const char16_t* want;
    int caret;
    size_t warnings;
  } steps[] = {
      {u"ab", nullptr, u"ab", 2, 0},
      {u"\u00E9", nullptr, u"ab", 2, 0},                  // 233: dropped
      {u"\u0080", nullptr, u"ab\u0080", 3, 0},            // 128: passes
      {u"\\", nullptr, u"ab\u0080", 3, 1},                // forbidden: one warning, unchanged
      {nullptr, u"x\u00E9y", u"ab\u0080", 3, 2},          // pasted 233: restored with the warning
      {nullptr, u"12345678", u"ab\u0080", 3, 2},          // 11 characters: restored silently
      {nullptr, u"1234567", u"ab\u00801234567", 10, 2},   // exactly 10 stands
  };
  for (const auto& s : steps) {
    if (s.typed) {
      for (const char16_t* c = s.typed; *c; ++c) edit.SendMessage(WM_CHAR, *c, 1);
    } else {
      edit.ReplaceSel(s.pasted);
    }
    EXPECT_EQ(text(), CString(s.want)) << CString(s.typed ? s.typed : s.pasted).ToUtf8();
    int a = 0, b = 0;
    edit.GetSel(a, b);
    EXPECT_EQ(a, s.caret);
    EXPECT_EQ(Warnings().size(), s.warnings);
  }
  // A paste in the middle that breaks a rule puts the caret back where the paste began.
  edit.SetSel(1, 1);
  edit.ReplaceSel(u"\\\\");
  int a = 0, b = 0;
  edit.GetSel(a, b);
  EXPECT_EQ(text(), CString(u"ab\u00801234567"));
  EXPECT_EQ(a, 1);
  edit.UnsubclassWindow();
}

TEST_F(TextTest, StaticFormatsFollowStyleAndFlags) {
  CTransparentStatic st;
  ASSERT_TRUE(st.SubclassDlgItem(61, &host));
  const UINT base = DT_EDITCONTROL | DT_WORDBREAK;
  EXPECT_EQ(st.TextFormat(), base | DT_CENTER);
  st.m_bSingleLine = 1;
  st.m_bEndEllipsis = 1;
  EXPECT_EQ(st.TextFormat(), base | DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  st.ModifyStyle(SS_TYPEMASK, SS_RIGHT);
  st.m_bSingleLine = 0;
  st.m_bEndEllipsis = 0;
  EXPECT_EQ(st.TextFormat(), base | DT_RIGHT);
  st.ModifyStyle(SS_TYPEMASK, SS_LEFT | SS_CENTERIMAGE);
  EXPECT_EQ(st.TextFormat(), base | DT_VCENTER | DT_SINGLELINE);

  // Centred on one line: the ink is centred both ways.
  st.ModifyStyle(SS_TYPEMASK | SS_CENTERIMAGE, SS_CENTER);
  st.m_bSingleLine = 1;
  st.m_textColor = RGB(0, 0, 0);
  st.SetText(u"Centred");
  PumpAll();
  RECT rc{};
  st.GetClientRect(&rc);
  int left = rc.right, right = -1, top = rc.bottom, bottom = -1;
  for (int y = 0; y < rc.bottom; ++y) {
    for (int x = 0; x < rc.right; ++x) {
      if (GetWindowPixel(st.m_hWnd, x, y) != GetSysColor(COLOR_BTNFACE)) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
  }
  ASSERT_GE(right, left);
  EXPECT_NEAR((left + right) / 2.0, rc.right / 2.0, 3);
  EXPECT_NEAR((top + bottom) / 2.0, rc.bottom / 2.0, 4);
  st.UnsubclassWindow();
}

TEST_F(TextTest, GroupBoxFrameIsChamferedAndOpenWhereTheCaptionSits) {
  CSxGroupBox box;
  ASSERT_TRUE(box.SubclassDlgItem(62, &host));
  CString wt;
  box.GetWindowText(wt);
  EXPECT_TRUE(wt.IsEmpty());  // the caption moved into the control
  EXPECT_EQ(box.m_caption, CString(u"Options"));
  box.m_frameColor = RGB(255, 0, 0);
  box.m_align = 0x300;
  box.Invalidate();
  PumpAll();
  const RECT f = box.m_frame;
  const COLORREF red = RGB(255, 0, 0);
  // The caption's line: frame colour at both ends, open in the middle where the caption is.
  int lineY = -1;
  for (int y = f.top; y < f.top + 20 && lineY < 0; ++y) lineY = GetWindowPixel(box.m_hWnd, f.left + 4, y) == red ? y : -1;
  ASSERT_GE(lineY, 0);
  EXPECT_EQ(GetWindowPixel(box.m_hWnd, f.right - 5, lineY), red);
  EXPECT_NE(GetWindowPixel(box.m_hWnd, (f.left + f.right) / 2, lineY), red);
  // The corners are cut by 2 pixels: the corner pixel is free, the sides start 2 below the line.
  EXPECT_NE(GetWindowPixel(box.m_hWnd, f.left + 1, lineY), red);
  EXPECT_EQ(GetWindowPixel(box.m_hWnd, f.left + 1, lineY + 2), red);
  EXPECT_EQ(GetWindowPixel(box.m_hWnd, f.left + 1, (f.top + f.bottom) / 2), red);
  EXPECT_EQ(GetWindowPixel(box.m_hWnd, f.right - 1, (f.top + f.bottom) / 2), red);
  EXPECT_NE(GetWindowPixel(box.m_hWnd, f.left + 1, f.bottom - 2), red);
  EXPECT_EQ(GetWindowPixel(box.m_hWnd, (f.left + f.right) / 2, f.bottom - 1), red);
  // It sits at the bottom of the Z order.
  EXPECT_EQ(GetWindow(box.m_hWnd, GW_HWNDNEXT), nullptr);
  box.UnsubclassWindow();
}

}  // namespace
