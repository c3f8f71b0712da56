// CEdit's line members on a multi-line edit and CDateTimeCtrl's time, range and none state,
// as the preview pane and the search filter dialog use them.
#include <gtest/gtest.h>

#include "platform/afx/afxcmn.h"

namespace {

class AfxLines : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    ASSERT_TRUE(parent_.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{100, 100, 600, 400}, nullptr, 0));
  }
  void TearDown() override { parent_.DestroyWindow(); }
  CWnd parent_;
};

TEST_F(AfxLines, MultiLineEditLinesAndScrolling) {
  CEdit edit;
  ASSERT_TRUE(edit.Create(WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, RECT{0, 0, 300, 100}, &parent_, 1114));
  CString text;
  for (int i = 0; i < 50; ++i) {
    CString line;
    line.Format(u"line %02d\r\n", i);
    text += line;
  }
  edit.SetWindowText(text.GetString());
  EXPECT_EQ(edit.GetLineCount(), 51);
  EXPECT_EQ(edit.LineIndex(3), 27);
  EXPECT_EQ(edit.LineFromChar(30), 3);
  EXPECT_EQ(edit.LineLength(30), 7);
  char16_t buf[16] = {};
  EXPECT_EQ(edit.GetLine(49, buf, 16), 7);
  EXPECT_EQ(CString(buf, 7), CString(u"line 49"));
  edit.LineScroll(10);
  EXPECT_EQ(edit.GetFirstVisibleLine(), 10);
  const CPoint p = edit.PosFromChar(UINT(edit.LineIndex(12)));
  EXPECT_EQ(LOWORD(uint32_t(edit.CharFromPos(CPoint(p.x, p.y + 1)))), edit.LineIndex(12));
  edit.SetSel(edit.LineIndex(45), edit.LineIndex(45) + 4);
  EXPECT_LE(edit.GetFirstVisibleLine(), 45);  // the selection scrolled into view
  EXPECT_GT(edit.GetFirstVisibleLine(), 30);
  int a = 0, b = 0;
  edit.GetSel(a, b);
  EXPECT_EQ(b - a, 4);
}

TEST_F(AfxLines, DateTimeCtrlTimeRangeAndNone) {
  CDateTimeCtrl from;
  ASSERT_TRUE(from.Create(WS_VISIBLE | DTS_LONGDATEFORMAT | DTS_RIGHTALIGN, RECT{0, 0, 150, 24}, &parent_, 1093));
  SYSTEMTIME t{};
  t.wYear = 1980, t.wMonth = 1, t.wDay = 1;
  EXPECT_TRUE(from.SetTime(&t));
  SYSTEMTIME got{};
  EXPECT_EQ(from.GetTime(&got), DWORD(GDT_VALID));
  EXPECT_EQ(got.wYear, 1980);
  EXPECT_EQ(got.wDayOfWeek, 2);  // a Tuesday
  EXPECT_FALSE(from.SetTime(nullptr));  // no check box, so always a date
  SYSTEMTIME lo = t, hi = t;
  hi.wYear = 2030;
  EXPECT_TRUE(from.SetRange(&lo, &hi));
  SYSTEMTIME both[2] = {};
  EXPECT_EQ(from.GetRange(both), DWORD(GDTR_MIN | GDTR_MAX));
  EXPECT_EQ(both[1].wYear, 2030);
  EXPECT_TRUE(from.SetRange(nullptr, &hi));
  EXPECT_EQ(from.GetRange(both), DWORD(GDTR_MAX));
  CDateTimeCtrl access;
  ASSERT_TRUE(access.Create(WS_VISIBLE | DTS_SHOWNONE, RECT{0, 30, 150, 54}, &parent_, 1103));
  EXPECT_TRUE(access.SetTime(nullptr));
  EXPECT_EQ(access.GetTime(&got), DWORD(GDT_NONE));
  EXPECT_TRUE(access.SetFormat(u"yyyy'/'MM'/'dd"));
}

}  // namespace
