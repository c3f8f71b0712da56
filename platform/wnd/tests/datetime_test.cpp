// The date-time picker, headless: setting and reading a date (valid, refused, none), editing
// each field from the keyboard with the day kept inside its month, typed digits, the spin, the
// check box, a range, a format of the program's, the change notifications, and a sheet.
#include <gtest/gtest.h>

#include "platform/wnd/controls.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

SYSTEMTIME Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  SYSTEMTIME t{};
  t.wYear = WORD(y), t.wMonth = WORD(m), t.wDay = WORD(d), t.wHour = WORD(hh), t.wMinute = WORD(mm), t.wSecond = WORD(ss);
  return t;
}

class DateTime : public ::testing::Test {
 protected:
  void SetUp() override {
    SetScreenSize(1280, 800);
    parent_ = MakeWindow(WS_POPUP | WS_VISIBLE, 0, 0, 520, 200, nullptr, 0,
                         [this](HWND, UINT msg, WPARAM, LPARAM l, LRESULT*) {
                           if (msg != WM_NOTIFY) return false;
                           auto* nm = reinterpret_cast<NMDATETIMECHANGE*>(l);
                           if (nm->nmhdr.code == DTN_DATETIMECHANGE) changes_.push_back(*nm);
                           return false;
                         });
  }
  void TearDown() override {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    Pump();
  }
  HWND Make(DWORD style, int x = 10, int y = 10, int w = 200) {
    HWND p = CreateWindowExW(0, DATETIMEPICK_CLASS, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, w, 24,
                             parent_, reinterpret_cast<HMENU>(intptr_t(1093)), nullptr, nullptr);
    Pump();
    return p;
  }
  static LRESULT Get(HWND p, SYSTEMTIME* t) { return SendMessageW(p, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(t)); }
  static BOOL Set(HWND p, const SYSTEMTIME& t) {
    return BOOL(SendMessageW(p, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t)));
  }
  static std::tuple<int, int, int> Ymd(HWND p) {
    SYSTEMTIME t{};
    Get(p, &t);
    return {t.wYear, t.wMonth, t.wDay};
  }
  static void Key(UINT vk, char16_t ch = 0) {
    InjectKeyPress(vk, ch);
    Pump();
  }
  HWND parent_ = nullptr;
  std::vector<NMDATETIMECHANGE> changes_;
};

TEST_F(DateTime, SetAndGetKeepValidTimesAndRefuseOthers) {
  HWND p = Make(DTS_LONGDATEFORMAT | DTS_RIGHTALIGN);
  SYSTEMTIME t{};
  EXPECT_EQ(Get(p, &t), GDT_VALID);  // a new picker holds today
  EXPECT_GE(t.wYear, 2024);
  ASSERT_TRUE(Set(p, Date(2024, 2, 29, 13, 45, 10)));
  EXPECT_EQ(Get(p, &t), GDT_VALID);
  EXPECT_EQ(std::make_tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond),
            std::make_tuple(WORD(2024), WORD(2), WORD(29), WORD(13), WORD(45), WORD(10)));
  EXPECT_EQ(t.wDayOfWeek, 4);  // a Thursday
  const SYSTEMTIME refused[] = {Date(2023, 2, 29), Date(2024, 13, 1), Date(2024, 4, 31), Date(1600, 12, 31),
                                Date(2024, 1, 1, 24), Date(2024, 0, 10)};
  for (const SYSTEMTIME& r : refused) {
    EXPECT_FALSE(Set(p, r)) << r.wYear << "-" << r.wMonth << "-" << r.wDay;
    EXPECT_EQ(Ymd(p), std::make_tuple(2024, 2, 29));
  }
  // No date at all only where a check box can say so.
  EXPECT_FALSE(SendMessageW(p, DTM_SETSYSTEMTIME, GDT_NONE, 0));
  EXPECT_EQ(Get(p, nullptr), GDT_ERROR);
  HWND q = Make(DTS_SHOWNONE, 10, 50);
  EXPECT_TRUE(SendMessageW(q, DTM_SETSYSTEMTIME, GDT_NONE, 0));
  t = Date(1999, 1, 1);
  EXPECT_EQ(Get(q, &t), GDT_NONE);
  EXPECT_EQ(t.wYear, 1999);  // left alone
  EXPECT_TRUE(Set(q, Date(2020, 5, 6)));
  EXPECT_EQ(Get(q, &t), GDT_VALID);
  // What the program sets is no change of the user's.
  EXPECT_TRUE(changes_.empty());
}

TEST_F(DateTime, KeysStepAndTypeEachFieldOfTheLongDate) {
  HWND p = Make(DTS_LONGDATEFORMAT);
  Set(p, Date(2023, 1, 31));
  SetFocus(p);
  // The long date starts with the month: up goes to February and the day follows it in.
  Key(VK_UP);
  EXPECT_EQ(Ymd(p), std::make_tuple(2023, 2, 28));
  ASSERT_EQ(changes_.size(), 1u);
  EXPECT_EQ(changes_[0].dwFlags, DWORD(GDT_VALID));
  EXPECT_EQ(changes_[0].st.wMonth, 2);
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(Ymd(p), std::make_tuple(2023, 12, 28));  // months wrap, the year stays
  // The day: typed digits, then it moves on to the year.
  Key(VK_RIGHT);
  Key('1', u'1');
  EXPECT_EQ(Ymd(p), std::make_tuple(2023, 12, 1));
  Key('5', u'5');
  EXPECT_EQ(Ymd(p), std::make_tuple(2023, 12, 15));
  Key('2', u'2');
  Key('0', u'0');
  Key('2', u'2');
  EXPECT_EQ(Ymd(p), std::make_tuple(2023, 12, 15));  // a year counts once whole
  Key('4', u'4');
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 12, 15));
  // A day that cannot take a second digit is done at once and the year comes next.
  Key(VK_LEFT);
  Key('4', u'4');
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 12, 4));
  Key('2', u'2');
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 12, 4));  // one digit of a year changes nothing yet
  // A leading zero waits for the second digit; down from the first wraps to the month's end.
  Key(VK_LEFT);
  const size_t before = changes_.size();
  Key('0', u'0');
  EXPECT_EQ(changes_.size(), before);
  Key('1', u'1');
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 12, 1));
  Key(VK_LEFT);
  Key(VK_DOWN);
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 12, 31));
  EXPECT_EQ(changes_.back().st.wDay, 31);
}

TEST_F(DateTime, CheckBoxSpinRangeAndFormat) {
  HWND p = Make(DTS_SHOWNONE | DTS_SHORTDATEFORMAT);
  Set(p, Date(2024, 6, 10));
  // The box at the left edge clears and sets the date; the parent hears both.
  Click(p, 8, 12);
  Pump();
  SYSTEMTIME t{};
  EXPECT_EQ(Get(p, &t), GDT_NONE);
  ASSERT_EQ(changes_.size(), 1u);
  EXPECT_EQ(changes_[0].dwFlags, DWORD(GDT_NONE));
  Key(VK_UP);  // no date, nothing to step
  EXPECT_EQ(changes_.size(), 1u);
  Key(VK_SPACE, u' ');
  EXPECT_EQ(Get(p, &t), GDT_VALID);
  // The spin steps the chosen field (the short date starts with the year).
  RECT c{};
  GetClientRect(p, &c);
  Click(p, c.right - 4, 3);
  Pump();
  EXPECT_EQ(Ymd(p), std::make_tuple(2025, 6, 10));
  Click(p, c.right - 4, c.bottom - 3);
  Pump();
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 6, 10));
  // A range holds stepping and refuses dates outside it.
  SYSTEMTIME range[2] = {Date(2024, 1, 1), Date(2024, 12, 31, 23, 59, 59)};
  ASSERT_TRUE(SendMessageW(p, DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range)));
  SetFocus(p);
  Key(VK_UP);
  EXPECT_EQ(Ymd(p), std::make_tuple(2024, 12, 31));
  EXPECT_FALSE(Set(p, Date(2025, 1, 1)));
  SYSTEMTIME back[2] = {};
  EXPECT_EQ(SendMessageW(p, DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(back)), LRESULT(GDTR_MIN | GDTR_MAX));
  EXPECT_EQ(back[1].wMonth, 12);
  // A format of the program's: quoted literals, hours that wrap.
  HWND q = Make(0, 10, 50);
  ASSERT_TRUE(SendMessageW(q, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(u"dd'.'MM'.'yyyy' at 'HH:mm")));
  Set(q, Date(2024, 3, 1, 23, 5));
  SetFocus(q);
  for (int i = 0; i < 3; ++i) Key(VK_RIGHT);
  Key(VK_UP);
  EXPECT_EQ(Get(q, &t), GDT_VALID);
  EXPECT_EQ(t.wHour, 0);
  EXPECT_EQ(t.wDay, 1);  // the hour wraps alone
}

TEST_F(DateTime, SheetOfPickers) {
  HFONT font = CreateFontW(-13, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"Tahoma");
  const DWORD styles[] = {DTS_LONGDATEFORMAT | DTS_RIGHTALIGN, DTS_SHORTDATEFORMAT, DTS_SHOWNONE, DTS_TIMEFORMAT};
  std::vector<HWND> pickers;
  for (int i = 0; i < 4; ++i) {
    HWND p = Make(styles[i] | WS_BORDER, 10 + (i % 2) * 250, 10 + (i / 2) * 40, 220);
    SendMessageW(p, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    Set(p, Date(2024, 9, 30, 18, 7, 42));
    pickers.push_back(p);
  }
  SendMessageW(pickers[2], DTM_SETSYSTEMTIME, GDT_NONE, 0);
  SetFocus(pickers[0]);
  UpdateAllWindows();
  // The focused long date shows its first field (the month) chosen.
  EXPECT_EQ(GetWindowPixel(pickers[0], 5, 12), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_TRUE(SaveWindowPng(parent_, std::string(KESTREL_WND_SHOT_DIR) + "/datetime_sheet.png"));
  for (HWND p : pickers) DestroyWindow(p);
  DeleteObject(font);
}

}  // namespace
