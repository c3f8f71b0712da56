// The skinned dialog bases: shape, title, caption buttons, dragging and sizing by press, the
// double-click maximise, transparent statics, and panels that Enter and Esc cannot close.
#include <gtest/gtest.h>

#include "platform/afx/afxmsg.h"
#include "platform/paint/resstore.h"
#include "skin/skindialog.h"
#include "skin/skinimages.h"
#include "skin/skintheme.h"
#include "skin/tests/skin_test_util.h"

namespace {

constexpr COLORREF kKey = RGB(0, 255, 0);
constexpr COLORREF kFace = RGB(200, 210, 220);
constexpr COLORREF kCaption = RGB(30, 60, 120);
constexpr UINT kFixed = 9001, kSizable = 9002, kPanel = 9003;

// A 21 by 41 skin: 4-pixel key corners, a 35-row caption band, a face below.
void LoadTestSkin() {
  ClearSkinImagesForTest();
  AddSkinImageForTest(u"Dlg/ChildDlg.bmp", MakeBmp(21, 81, [](int x, int y) {
                        if ((x < 4 || x > 16) && (y < 4 || y > 76)) return kKey;
                        return y < 35 ? kCaption : kFace;
                      }));
  // 30 by 20 caption pictures, each state its own colour.
  const char16_t* names[] = {u"Close", u"Max", u"Min"};
  for (const char16_t* n : names) {
    const CString base = CString(u"Dlg/") + n;
    AddSkinImageForTest(base + u"Normal.bmp", SolidBmp(30, 20, RGB(1, 2, 3)));
    AddSkinImageForTest(base + u"Move.bmp", SolidBmp(30, 20, RGB(4, 5, 6)));
    AddSkinImageForTest(base + u"Down.bmp", SolidBmp(30, 20, RGB(7, 8, 9)));
  }
  SetSkinThemeValues();
}

void RegisterTemplates() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VISIBLE;
  t.x = 10, t.y = 10, t.cx = 200, t.cy = 120;
  t.title = u"Skinned";
  t.items = {{50, WC_STATIC, WS_VISIBLE, 0, u"Label", 10, 60, 60, 10}, {51, WC_EDIT, WS_VISIBLE | WS_BORDER, 0, u"", 10, 80, 60, 12}};
  RegisterDialogTemplate(kFixed, t);
  t.style |= WS_THICKFRAME;
  RegisterDialogTemplate(kSizable, t);
  DlgTemplate p;
  p.style = WS_CHILD | WS_VISIBLE | WS_BORDER;
  p.cx = 80, p.cy = 40;
  p.items = {{IDOK, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, u"OK", 4, 4, 40, 14}};
  RegisterDialogTemplate(kPanel, p);
}

// Records the move and size requests instead of running their loops.
class RecordingDialog : public CSkinDialogEx {
 public:
  explicit RecordingDialog(UINT id) : CSkinDialogEx(id) {}
  LRESULT WindowProc(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == WM_SYSCOMMAND && (w & 0xFFF0) == SC_SIZE) return requests.push_back(int(w - SC_SIZE)), 0;
    if (msg == WM_SYSCOMMAND && (w == SC_MAXIMIZE || w == SC_RESTORE)) commands.push_back(w);
    if (msg == WM_NCLBUTTONDOWN) return requests.push_back(w == HTCAPTION ? -1 : -2), 0;
    return CSkinDialogEx::WindowProc(msg, w, l);
  }
  void OnDrawBackground(CDC*) override { ++draws; }
  std::vector<int> requests;
  std::vector<WPARAM> commands;
  int draws = 0;
};

class SkinDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    LoadTestSkin();
    RegisterTemplates();
  }
  void TearDown() override { ClearSkinImagesForTest(); }
};

TEST_F(SkinDialogTest, ShapeTitleAndCaptionButtonsFollowTheSkin) {
  RecordingDialog dlg(kFixed);
  ASSERT_TRUE(dlg.Create(kFixed));
  dlg.MoveWindow(100, 100, 500, 300);
  PumpAll();
  EXPECT_EQ(dlg.GetStyle() & (WS_CAPTION | WS_THICKFRAME | WS_POPUP), 0u);
  RECT rc{};
  dlg.GetClientRect(&rc);
  EXPECT_EQ(rc.right, 500);  // the frame is gone: the client is the whole window
  // The key-coloured corners are cut from the window.
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(dlg.m_hWnd, rgn), ERROR);
  EXPECT_FALSE(PtInRegion(rgn, 0, 0));
  EXPECT_FALSE(PtInRegion(rgn, 499, 299));
  EXPECT_TRUE(PtInRegion(rgn, 4, 0));
  EXPECT_TRUE(PtInRegion(rgn, 250, 150));
  DeleteObject(rgn);
  EXPECT_EQ(GetWindowPixel(dlg.m_hWnd, 250, 20), kCaption);
  EXPECT_EQ(GetWindowPixel(dlg.m_hWnd, 250, 200), kFace);
  EXPECT_GE(dlg.draws, 1);
  // Caption buttons: close at W - 1 - 0 - 30, the minimise button in the maximise button's
  // place on a dialog that cannot be resized.
  RECT cr{}, mr{};
  dlg.m_btnClose.GetWindowRect(&cr);
  dlg.m_btnMin.GetWindowRect(&mr);
  EXPECT_EQ(cr.left - 100, 469);
  EXPECT_EQ(cr.top - 100, 1);
  EXPECT_EQ(mr.left - 100, 439);
  EXPECT_EQ(cr.right - cr.left, 30);
  EXPECT_EQ(GetWindowPixel(dlg.m_btnClose.m_hWnd, 2, 2), RGB(1, 2, 3));
  EXPECT_FALSE(dlg.m_btnMenu.IsWindowVisible());  // no menu pictures
  // Title rows: 8 for a 19-pixel font, 10 for 15, kept above 34.
  for (auto [height, y] : {std::pair{19, 8}, std::pair{15, 10}, std::pair{40, 10}}) {
    dlg.m_titleY = 10;
    dlg.m_titleFontHeight = height;
    dlg.m_bBackReady = 0;
    dlg.RenderBackground();
    EXPECT_EQ(dlg.m_titleY, y) << height;
  }
  // The title is drawn in the caption colour's contrast (white) somewhere in the band.
  int white = 0;
  for (int y = 0; y < 35; ++y) {
    for (int x = 10; x < 80; ++x) white += dlg.m_background.GetPixel(x, y) == RGB(255, 255, 255);
  }
  EXPECT_GT(white, 5);
  // The maximise command does nothing without a thick frame.
  dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SKIN_MAX, BN_CLICKED), LPARAM(dlg.m_btnMax.m_hWnd));
  EXPECT_FALSE(dlg.IsZoomed());
  dlg.DestroyWindow();
}

TEST_F(SkinDialogTest, ResizableDialogsSizeByBordersDragElsewhereAndMaximiseByDoubleClick) {
  RecordingDialog dlg(kSizable);
  ASSERT_TRUE(dlg.Create(kSizable));
  dlg.MoveWindow(50, 50, 400, 300);
  PumpAll();
  RECT cr{}, xr{}, mr{};
  dlg.m_btnClose.GetWindowRect(&cr);
  dlg.m_btnMax.GetWindowRect(&xr);
  dlg.m_btnMin.GetWindowRect(&mr);
  EXPECT_EQ(cr.left - 50, 369);
  EXPECT_EQ(xr.left - 50, 339);
  EXPECT_EQ(mr.left - 50, 309);
  const int W = 400, H = 300;
  const struct {
    int x, y, want;  // WMSZ_ direction, -1 for a drag
  } presses[] = {
      {W - 4, 150, WMSZ_RIGHT},       {W - 5, 150, -1},          {W - 7, H - 7, WMSZ_BOTTOMRIGHT},
      {W - 8, H - 3, WMSZ_BOTTOM},    {3, 3, WMSZ_TOPLEFT},      {W - 2, 5, WMSZ_TOPRIGHT},
      {6, H - 1, WMSZ_BOTTOMLEFT},    {0, 150, WMSZ_LEFT},       {200, 4, WMSZ_TOP},
      {200, H - 4, WMSZ_BOTTOM},      {200, 150, -1},            {5, 150, -1},
  };
  for (const auto& p : presses) {
    dlg.requests.clear();
    dlg.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    ASSERT_EQ(dlg.requests.size(), 1u) << p.x << "," << p.y;
    EXPECT_EQ(dlg.requests[0], p.want) << p.x << "," << p.y;
  }
  dlg.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(200, 70));
  EXPECT_TRUE(dlg.commands.empty());
  dlg.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(200, 69));
  ASSERT_EQ(dlg.commands.size(), 1u);
  EXPECT_EQ(dlg.commands[0], SC_MAXIMIZE);
  PumpAll();
  EXPECT_TRUE(dlg.IsZoomed());
  // Maximised: neither dragged nor sized; the maximise button restores.
  dlg.requests.clear();
  dlg.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  dlg.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
  EXPECT_TRUE(dlg.requests.empty());
  dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SKIN_MAX, BN_CLICKED), LPARAM(dlg.m_btnMax.m_hWnd));
  EXPECT_FALSE(dlg.IsZoomed());
  dlg.DestroyWindow();
}

TEST_F(SkinDialogTest, StaticsAndButtonsGetTheNullBrushOthersDoNot) {
  RecordingDialog dlg(kFixed);
  ASSERT_TRUE(dlg.Create(kFixed));
  HDC dc = CreateCompatibleDC(nullptr);
  const auto brush = [&](int id) {
    return reinterpret_cast<HGDIOBJ>(dlg.SendMessage(WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(::GetDlgItem(dlg.m_hWnd, id))));
  };
  EXPECT_EQ(brush(50), GetStockObject(NULL_BRUSH));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_NE(brush(51), GetStockObject(NULL_BRUSH));  // an edit: the class library's colours
  EXPECT_EQ(brush(IDC_SKIN_CLOSE), GetStockObject(NULL_BRUSH));
  DeleteDC(dc);
  dlg.DestroyWindow();
}

class Panel : public CSkinChildDialog {
 public:
  Panel() : CSkinChildDialog(kPanel) {}
  void OnDrawBackground(CDC* dc) override { dc->FillSolidRect(0, 0, 5, 5, RGB(9, 99, 199)); }
};

TEST_F(SkinDialogTest, PanelsSitOnTheParentSkinAndIgnoreEnterAndEsc) {
  RecordingDialog dlg(kFixed);
  ASSERT_TRUE(dlg.Create(kFixed));
  dlg.MoveWindow(0, 0, 400, 300);
  Panel panel;
  ASSERT_TRUE(panel.Create(kPanel, &dlg));
  panel.MoveWindow(200, 160, 120, 60);
  PumpAll();
  EXPECT_EQ(panel.GetStyle() & WS_BORDER, 0u);
  EXPECT_EQ(GetWindowPixel(panel.m_hWnd, 2, 2), RGB(9, 99, 199));
  EXPECT_EQ(GetWindowPixel(panel.m_hWnd, 100, 50), kFace);  // the parent's skin shows through
  for (UINT key : {VK_RETURN, VK_ESCAPE}) {
    MSG m{::GetDlgItem(panel.m_hWnd, IDOK), WM_KEYDOWN, key, 0, 0, {0, 0}};
    panel.PreTranslateMessage(&m);
    PumpAll();
    EXPECT_TRUE(panel.IsWindowVisible());
    EXPECT_FALSE(IsDialogEnded(panel.m_hWnd));
  }
  dlg.DestroyWindow();
}

}  // namespace
