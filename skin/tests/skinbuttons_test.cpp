// The skinned buttons: which state picture each kind draws, the icon and caption arithmetic,
// check and radio groups, hover messages, double clicks, and the captions of picture buttons.
#include <gtest/gtest.h>

#include "platform/afx/afxdlg.h"
#include "platform/afx/afxmsg.h"
#include "platform/paint/resstore.h"
#include "skin/skinbuttons.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/tests/skin_test_util.h"

namespace {

// Distinct picture colours by state: normal, hover, down, disabled, focus.
const COLORREF kState[5] = {RGB(10, 10, 200), RGB(10, 200, 10), RGB(200, 10, 10), RGB(120, 120, 120), RGB(200, 200, 10)};
constexpr UINT kFirstRes = 900;

void RegisterStatePictures(int w, int h) {
  for (int i = 0; i < 5; ++i) RegisterResource(RT_BITMAP, kFirstRes + UINT(i), SolidBmp(w, h, kState[i]));
}

TEST(SkinPicture, RuleOrder) {
  const struct {
    bool selected, held, hover;
    UINT state;
    bool haveDisabled, haveFocus;
    SkinPicture want;
  } cases[] = {
      {true, false, true, ODS_DISABLED, true, true, kPicDown},       // selected wins over everything
      {false, true, true, ODS_DISABLED, true, true, kPicDisabled},   // disabled with a picture
      {false, true, true, ODS_DISABLED, false, true, kPicDown},      // ... without one: held down
      {false, false, true, ODS_SELECTED, true, true, kPicDown},
      {false, false, true, ODS_FOCUS, true, true, kPicHover},
      {false, false, false, ODS_FOCUS, true, true, kPicFocus},
      {false, false, false, ODS_FOCUS, true, false, kPicNormal},
      {false, false, false, ODS_DISABLED, false, false, kPicNormal},
      {false, false, false, 0, true, true, kPicNormal},
  };
  for (const auto& c : cases) {
    SkinButtonState s;
    s.selected = c.selected, s.heldDown = c.held, s.hover = c.hover, s.itemState = c.state;
    s.haveDisabled = c.haveDisabled, s.haveFocus = c.haveFocus;
    EXPECT_EQ(ChooseSkinPicture(s), c.want) << int(&c - cases);
  }
}

TEST(SkinButton, IconAndCaptionPositions) {
  EXPECT_EQ(CSkinButton::IconX(80, 40, 16), 9);  // caption from 9 + 16 + 2 = 27
  EXPECT_EQ(CSkinButton::IconX(40, 40, 16), 5);  // never closer than 5 to the edge
  EXPECT_EQ(CSkinButton::IconX(120, 10, 32), 33);
}

// A parent dialog that records the hover messages and the clicks of its buttons.
class Host : public CDialog {
 public:
  Host() : CDialog(7001) {}
  LRESULT OnHover(WPARAM id, LPARAM what) {
    hover.push_back({int(id), int(what)});
    return 0;
  }
  BOOL OnCommand(WPARAM w, LPARAM l) override {
    if (HIWORD(w) == BN_CLICKED) clicks.push_back(LOWORD(w));
    return CDialog::OnCommand(w, l);
  }
  std::vector<std::pair<int, int>> hover;
  std::vector<int> clicks;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Host, CDialog)
ON_MESSAGE(WM_SKIN_BUTTON_HOVER, OnHover)
END_MESSAGE_MAP()

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    InitSkinFonts();
    DlgTemplate t;
    t.style = WS_POPUP | WS_VISIBLE;
    t.x = 20, t.y = 20, t.cx = 300, t.cy = 200;
    t.items = {
        {10, WC_BUTTON, WS_VISIBLE | BS_PUSHBUTTON, 0, u"Push", 4, 4, 60, 20},
        {11, WC_BUTTON, WS_VISIBLE | BS_PUSHBUTTON, 0, u"", 70, 4, 40, 20},
        {20, WC_BUTTON, WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON, 0, u"A", 4, 40, 60, 10},
        {21, WC_BUTTON, WS_VISIBLE | BS_AUTORADIOBUTTON, 0, u"B", 4, 52, 60, 10},
        {22, WC_BUTTON, WS_VISIBLE | BS_AUTORADIOBUTTON, 0, u"C", 4, 64, 60, 10},
        {23, WC_BUTTON, WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON, 0, u"D", 80, 40, 60, 10},
        {24, WC_BUTTON, WS_VISIBLE | BS_AUTORADIOBUTTON, 0, u"E", 80, 52, 60, 10},
        {30, WC_BUTTON, WS_VISIBLE | WS_GROUP | BS_AUTOCHECKBOX, 0, u"Check", 4, 80, 60, 10},
        {31, WC_BUTTON, WS_VISIBLE | BS_PUSHBUTTON, 0, u"Plain", 80, 80, 60, 10},
        {40, WC_BUTTON, WS_VISIBLE | BS_PUSHBUTTON, 0, u"Link", 4, 100, 60, 10},
    };
    RegisterDialogTemplate(7001, t);
    ASSERT_TRUE(host.Create(7001));
    PumpAll();
  }
  void TearDown() override {
    host.DestroyWindow();
    ClearResources();
  }
  // Draws the button into a memory DC with the given item state; the colour at (x, y).
  COLORREF DrawAt(CButton& b, UINT state, int x, int y) {
    RECT rc{};
    b.GetClientRect(&rc);
    CBitmapDC mem;
    mem.Create(rc.right, rc.bottom);
    DRAWITEMSTRUCT dis{ODT_BUTTON, UINT(b.GetDlgCtrlID()), 0, ODA_DRAWENTIRE, state, b.m_hWnd, mem.m_hDC, rc, 0};
    b.DrawItem(&dis);
    return mem.GetPixel(x, y);
  }
  Host host;
};

TEST_F(ButtonTest, EveryKindDrawsTheStatePictureItsStateCallsFor) {
  RegisterStatePictures(20, 12);
  CBmpButton bmp;
  ASSERT_TRUE(bmp.SubclassDlgItem(11, &host));
  ASSERT_TRUE(bmp.LoadBitmaps(kFirstRes, kFirstRes + 1, kFirstRes + 2, kFirstRes + 3));
  RECT rc{};
  bmp.GetClientRect(&rc);
  EXPECT_EQ(rc.right, 20);  // sized to its picture
  EXPECT_EQ(DrawAt(bmp, 0, 1, 1), kState[kPicNormal]);
  EXPECT_EQ(DrawAt(bmp, ODS_SELECTED, 1, 1), kState[kPicDown]);
  EXPECT_EQ(DrawAt(bmp, ODS_DISABLED | ODS_SELECTED, 1, 1), kState[kPicDisabled]);
  EXPECT_EQ(DrawAt(bmp, ODS_FOCUS, 1, 1), kState[kPicNormal]);  // no focus picture
  bmp.m_bHover = 1;
  EXPECT_EQ(DrawAt(bmp, ODS_FOCUS, 1, 1), kState[kPicHover]);

  CTabButton tab;
  ASSERT_TRUE(tab.SubclassDlgItem(40, &host));
  std::vector<uint8_t> n = SolidBmp(100, 30, kState[0]), h = SolidBmp(100, 30, kState[1]), s = SolidBmp(100, 30, kState[2]);
  SkinImageData ni{n.data(), uint32_t(n.size())}, hi{h.data(), uint32_t(h.size())}, si{s.data(), uint32_t(s.size())};
  EXPECT_FALSE(tab.SetSkinImages(&ni, &hi, nullptr));
  ASSERT_TRUE(tab.SetSkinImages(&ni, &hi, &si));
  EXPECT_EQ(DrawAt(tab, 0, 1, 1), kState[kPicNormal]);
  tab.m_bSelected = 1;
  tab.m_bHover = 1;
  EXPECT_EQ(DrawAt(tab, ODS_DISABLED, 1, 1), kState[kPicDown]);

  // The nine-grid push button: every picture stretched to the button, focus and disabled too.
  CSkinButton push;
  ASSERT_TRUE(push.SubclassDlgItem(10, &host));
  ASSERT_TRUE(push.SetBitmaps(kFirstRes, kFirstRes + 1, kFirstRes + 2, kFirstRes + 3, kFirstRes + 4));
  push.GetClientRect(&rc);
  const int cx = rc.right - 2, cy = rc.bottom / 2;
  EXPECT_EQ(DrawAt(push, 0, cx, cy), kState[kPicNormal]);
  EXPECT_EQ(DrawAt(push, ODS_FOCUS, cx, cy), kState[kPicFocus]);
  EXPECT_EQ(DrawAt(push, ODS_DISABLED, cx, cy), kState[kPicDisabled]);
  EXPECT_EQ(DrawAt(push, ODS_SELECTED, cx, cy), kState[kPicDown]);
  push.m_bHeldDown = 1;
  EXPECT_EQ(DrawAt(push, 0, cx, cy), kState[kPicDown]);
  push.m_bHeldDown = 0;
  push.m_bHover = 1;
  EXPECT_EQ(DrawAt(push, 0, cx, cy), kState[kPicHover]);
  bmp.UnsubclassWindow();
  tab.UnsubclassWindow();
  push.UnsubclassWindow();
}

TEST_F(ButtonTest, ASkinButtonWithoutSizeRendersItsPicturesWhenItGetsOne) {
  RegisterStatePictures(9, 9);
  CSkinButton b;
  ASSERT_TRUE(b.Create(u"Later", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, RECT{0, 0, 0, 0}, &host, 12));
  EXPECT_FALSE(b.SetBitmaps(kFirstRes, kFirstRes + 1, kFirstRes + 2, kFirstRes + 3, kFirstRes + 4));
  b.MoveWindow(10, 150, 60, 24);
  EXPECT_EQ(DrawAt(b, ODS_DISABLED, 30, 2), kState[kPicDisabled]);
  EXPECT_EQ(DrawAt(b, ODS_FOCUS, 30, 2), kState[kPicFocus]);
  b.DestroyWindow();
}

TEST_F(ButtonTest, RadioGroupsCheckBoxesAndPlainButtonsKeepTheirOwnStates) {
  RegisterResource(RT_BITMAP, 172, SolidBmp(16, 16, RGB(1, 1, 1)));
  RegisterResource(RT_BITMAP, 173, SolidBmp(16, 16, RGB(2, 2, 2)));
  RegisterResource(RT_BITMAP, 176, SolidBmp(12, 12, RGB(3, 3, 3)));
  RegisterResource(RT_BITMAP, 177, SolidBmp(12, 12, RGB(4, 4, 4)));
  CSkinCRButton radios[5], check, plain;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(radios[i].SubclassDlgItem(20 + UINT(i), &host));
  ASSERT_TRUE(check.SubclassDlgItem(30, &host));
  ASSERT_TRUE(plain.SubclassDlgItem(31, &host));
  EXPECT_EQ(radios[0].m_kind, CSkinCRButton::kRadio);
  EXPECT_EQ(check.m_kind, CSkinCRButton::kCheckBox);
  EXPECT_EQ(plain.m_kind, CSkinCRButton::kPlain);
  EXPECT_EQ(radios[0].m_unchecked[0].Width(), 12);
  EXPECT_EQ(check.m_checked[4].Width(), 16);
  auto states = [&] {
    std::vector<int> s;
    for (auto& r : radios) s.push_back(int(r.SendMessage(BM_GETCHECK)));
    return s;
  };
  radios[3].SetCheck(1);
  radios[0].SetCheck(1);
  EXPECT_EQ(states(), (std::vector<int>{1, 0, 0, 1, 0}));
  radios[2].SetCheck(1);
  EXPECT_EQ(states(), (std::vector<int>{0, 0, 1, 1, 0}));
  radios[4].SetCheck(BST_INDETERMINATE);
  EXPECT_EQ(states(), (std::vector<int>{0, 0, 1, 0, 1}));
  check.SetCheck(BST_INDETERMINATE);
  EXPECT_EQ(check.GetCheck(), 1);
  plain.SetCheck(BST_CHECKED);
  EXPECT_EQ(plain.GetCheck(), 0);
  // The picture follows the state; the caption starts at 17.
  RECT rc{};
  check.GetClientRect(&rc);
  EXPECT_EQ(DrawAt(check, 0, 1, rc.bottom / 2), RGB(2, 2, 2));
  check.SetCheck(0);
  EXPECT_EQ(DrawAt(check, 0, 1, rc.bottom / 2), RGB(1, 1, 1));

  // A real double click on the check box is two clicks: checked, then unchecked again.
  host.clicks.clear();
  check.GetClientRect(&rc);
  POINT p = ScreenAt(check.m_hWnd, 5, rc.bottom / 2);
  for (int i = 0; i < 2; ++i) {
    InjectMouseMove(p.x, p.y);
    InjectMouseButton(0, true, p.x, p.y);
    InjectMouseButton(0, false, p.x, p.y);
  }
  PumpAll();
  EXPECT_EQ(host.clicks, (std::vector<int>{30, 30}));
  EXPECT_EQ(check.GetCheck(), 0);
  // Space toggles too.
  check.SendMessage(WM_KEYDOWN, VK_SPACE);
  EXPECT_EQ(check.GetCheck(), 1);
  for (auto& r : radios) r.UnsubclassWindow();
  check.UnsubclassWindow();
  plain.UnsubclassWindow();
}

TEST_F(ButtonTest, PictureButtonsTellTheirParentWhenThePointerComesAndGoes) {
  RegisterStatePictures(40, 20);
  CBmpButton b;
  ASSERT_TRUE(b.SubclassDlgItem(11, &host));
  ASSERT_TRUE(b.LoadBitmaps(kFirstRes, kFirstRes + 1, kFirstRes + 2, kFirstRes + 3));
  PumpAll();
  POINT in = ScreenAt(b.m_hWnd, 5, 5), out = ScreenAt(host.m_hWnd, 250, 250);
  InjectMouseMove(in.x, in.y);
  InjectMouseMove(in.x + 1, in.y);
  PumpAll();
  EXPECT_EQ(GetWindowPixel(b.m_hWnd, 2, 2), kState[kPicHover]);
  EXPECT_EQ(CursorId(GetCursor()), reinterpret_cast<uintptr_t>(IDC_HAND));
  InjectMouseMove(out.x, out.y);
  PumpAll();
  EXPECT_EQ(GetWindowPixel(b.m_hWnd, 2, 2), kState[kPicNormal]);
  EXPECT_EQ(host.hover, (std::vector<std::pair<int, int>>{{11, 1}, {11, 2}}));
  b.UnsubclassWindow();
}

TEST_F(ButtonTest, TallPictureButtonsCaptionTheirPicture) {
  for (int height : {150, 151}) {
    RegisterResource(RT_BITMAP, kFirstRes, SolidBmp(138, height, RGB(250, 250, 250)));
    CBmpButton b;
    ASSERT_TRUE(b.Create(u"Recover", WS_CHILD | WS_VISIBLE, RECT{0, 0, 10, 10}, &host, 13));
    b.LoadBitmaps(kFirstRes, kFirstRes, kFirstRes, kFirstRes);
    CBitmapDC mem;
    mem.Create(138, height);
    RECT rc{0, 0, 138, height};
    DRAWITEMSTRUCT dis{ODT_BUTTON, 13, 0, ODA_DRAWENTIRE, 0, b.m_hWnd, mem.m_hDC, rc, 0};
    b.DrawItem(&dis);
    int ink = 0;
    for (int y = 136; y < std::min(height, 156); ++y) {
      for (int x = 0; x < 138; ++x) ink += mem.GetPixel(x, y) != RGB(250, 250, 250);
    }
    EXPECT_EQ(ink > 0, height == 151) << height;
    b.DestroyWindow();
  }
}

TEST_F(ButtonTest, LinksDrawInTheirColours) {
  CHyperlinkButton link;
  ASSERT_TRUE(link.SubclassDlgItem(40, &host));
  RECT rc{};
  link.GetClientRect(&rc);
  // The text's darkest pixel against the dialog colour is its own colour.
  auto has = [&](UINT state, COLORREF c) {
    CBitmapDC mem;
    mem.Create(rc.right, rc.bottom);
    DRAWITEMSTRUCT dis{ODT_BUTTON, 40, 0, ODA_DRAWENTIRE, state, link.m_hWnd, mem.m_hDC, rc, 0};
    link.DrawItem(&dis);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int best = -1;
    COLORREF ink = face;
    for (int y = 0; y < rc.bottom; ++y) {
      for (int x = 0; x < rc.right; ++x) {
        const COLORREF p = mem.GetPixel(x, y);
        const int d = std::abs(GetRValue(p) - GetRValue(face)) + std::abs(GetGValue(p) - GetGValue(face)) +
                      std::abs(GetBValue(p) - GetBValue(face));
        if (d > best) best = d, ink = p;
      }
    }
    const int miss = std::abs(GetRValue(ink) - GetRValue(c)) + std::abs(GetGValue(ink) - GetGValue(c)) +
                     std::abs(GetBValue(ink) - GetBValue(c));
    return miss < 60;
  };
  EXPECT_TRUE(has(0, RGB(255, 0, 0)));
  link.m_bHover = 1;
  EXPECT_TRUE(has(0, RGB(255, 135, 0)));
  EXPECT_TRUE(has(ODS_DISABLED, RGB(172, 168, 153)));
  link.UnsubclassWindow();
}

}  // namespace
