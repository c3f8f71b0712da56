// Dialogs from templates with the dialog manager, modal loops on a worker thread, and the
// basic controls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/sync.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

enum { kStatic = 100, kEdit = 101, kCheck = 102, kRadio1 = 103, kRadio2 = 104, kOwnerDraw = 105, kProgress = 106 };

DlgTemplate SampleTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  t.x = 10;
  t.y = 10;
  t.cx = 200;
  t.cy = 110;
  t.title = u"Sample";
  t.items = {
      {kStatic, u"Static", WS_VISIBLE, 0, u"&Name:", 7, 7, 40, 10},
      {kEdit, u"Edit", WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, u"", 50, 6, 100, 12},
      {kCheck, u"Button", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, u"Deep", 7, 24, 80, 10},
      {kRadio1, u"Button", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, u"Fast", 7, 38, 80, 10},
      {kRadio2, u"Button", WS_VISIBLE | BS_AUTORADIOBUTTON, 0, u"Full", 7, 50, 80, 10},
      {kOwnerDraw, u"Button", WS_VISIBLE | WS_GROUP | BS_OWNERDRAW, 0, u"", 100, 38, 40, 20},
      {kProgress, u"msctls_progress32", WS_VISIBLE, 0, u"", 7, 66, 186, 8},
      {IDOK, u"Button", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, u"OK", 90, 88, 50, 14},
      {IDCANCEL, u"Button", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"Cancel", 143, 88, 50, 14},
  };
  return t;
}

struct DlgLog {
  std::vector<std::pair<int, int>> commands;  // id, code
  int drawItems = 0;
  UINT lastDrawState = 0;
  bool initSeen = false;
};
DlgLog* g_log = nullptr;

LRESULT SampleProc(HWND dlg, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_INITDIALOG:
      if (g_log) g_log->initSeen = true;
      SendDlgItemMessageW(dlg, kProgress, PBM_SETRANGE32, 0, 200);
      SendDlgItemMessageW(dlg, kProgress, PBM_SETPOS, 50, 0);
      return TRUE;
    case WM_COMMAND:
      if (g_log) g_log->commands.push_back({LOWORD(w), HIWORD(w)});
      return TRUE;
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      if (g_log) ++g_log->drawItems, g_log->lastDrawState = dis->itemState;
      FillSolidRectDc(dis->hDC, &dis->rcItem, (dis->itemState & ODS_SELECTED) ? RGB(200, 0, 0) : RGB(0, 128, 0));
      return TRUE;
    }
    default: return FALSE;
  }
}

void PumpDialog(HWND dlg) {
  MSG m;
  for (int guard = 0; guard < 100000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (!IsDialogMessageW(dlg, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
}

bool Has(const DlgLog& log, int id, int code) {
  for (auto& c : log.commands) {
    if (c.first == id && c.second == code) return true;
  }
  return false;
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    log_ = DlgLog{};
    g_log = &log_;
    tpl_ = SampleTemplate();
    dlg_ = CreateDialogIndirectParamW(nullptr, &tpl_, nullptr, &SampleProc, 0);
    ASSERT_NE(dlg_, nullptr);
    PumpDialog(dlg_);
  }
  void TearDown() override {
    if (IsWindow(dlg_)) DestroyWindow(dlg_);
    Pump();
    g_log = nullptr;
  }
  HWND Item(int id) { return GetDlgItem(dlg_, id); }
  DlgTemplate tpl_;
  HWND dlg_ = nullptr;
  DlgLog log_;
};

TEST_F(Dialogs, TemplateBuildsControlsInDialogUnitsWithFocusOnTheFirstTabStop) {
  EXPECT_TRUE(log_.initSeen);
  EXPECT_TRUE(IsWindowVisible(dlg_));
  RECT want{50, 6, 150, 18};
  MapDialogRect(dlg_, &want);
  RECT got{};
  GetWindowRect(Item(kEdit), &got);
  MapWindowPoints(nullptr, dlg_, reinterpret_cast<POINT*>(&got), 2);
  EXPECT_TRUE(EqualRect(&want, &got));
  RECT client{};
  GetClientRect(dlg_, &client);
  RECT whole{0, 0, 200, 110};
  MapDialogRect(dlg_, &whole);
  EXPECT_EQ(client.right, whole.right);
  EXPECT_EQ(client.bottom, whole.bottom);
  const SIZE base = GetDialogBaseUnitsOf(dlg_);
  EXPECT_GT(base.cx, 3);
  EXPECT_GT(base.cy, 8);
  EXPECT_EQ(GetFocus(), Item(kEdit));
  EXPECT_EQ(GetWindowTextString(dlg_), CString(u"Sample"));
  EXPECT_EQ(SendMessageW(dlg_, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
  EXPECT_EQ(SendDlgItemMessageW(dlg_, kProgress, PBM_GETPOS, 0, 0), 50);
}

TEST_F(Dialogs, KeysWalkTheTabOrderArrowGroupsAndEndWithEnterOrEsc) {
  InjectText(u"abc");
  PumpDialog(dlg_);
  EXPECT_EQ(GetWindowTextString(Item(kEdit)), CString(u"abc"));
  EXPECT_TRUE(Has(log_, kEdit, EN_CHANGE));
  InjectKeyPress(VK_TAB, u'\t');
  PumpDialog(dlg_);
  EXPECT_EQ(GetFocus(), Item(kCheck));
  EXPECT_EQ(GetWindowTextString(Item(kEdit)), CString(u"abc"));  // the tab character went nowhere
  InjectKeyPress(VK_SPACE, u' ');
  PumpDialog(dlg_);
  EXPECT_EQ(IsDlgButtonChecked(dlg_, kCheck), BST_CHECKED);
  EXPECT_TRUE(Has(log_, kCheck, BN_CLICKED));
  InjectKeyPress(VK_TAB);
  PumpDialog(dlg_);
  EXPECT_EQ(GetFocus(), Item(kRadio1));
  InjectKeyPress(VK_DOWN);
  PumpDialog(dlg_);
  EXPECT_EQ(GetFocus(), Item(kRadio2));
  EXPECT_EQ(IsDlgButtonChecked(dlg_, kRadio2), BST_CHECKED);
  InjectKeyPress(VK_DOWN);  // round the group
  PumpDialog(dlg_);
  EXPECT_EQ(GetFocus(), Item(kRadio1));
  EXPECT_EQ(IsDlgButtonChecked(dlg_, kRadio1), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dlg_, kRadio2), BST_UNCHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dlg_, kCheck), BST_CHECKED);  // another group keeps its state
  // Shift+Tab goes back.
  InjectKey(VK_SHIFT, true);
  InjectKeyPress(VK_TAB);
  InjectKey(VK_SHIFT, false);
  PumpDialog(dlg_);
  EXPECT_EQ(GetFocus(), Item(kCheck));
  log_.commands.clear();
  InjectKeyPress(VK_RETURN, u'\r');
  PumpDialog(dlg_);
  EXPECT_TRUE(Has(log_, IDOK, BN_CLICKED));
  InjectKeyPress(VK_ESCAPE, 0x1B);
  PumpDialog(dlg_);
  EXPECT_TRUE(Has(log_, IDCANCEL, BN_CLICKED));
  // Enter on a focused push button presses that one.
  SetFocus(Item(IDCANCEL));
  log_.commands.clear();
  InjectKeyPress(VK_RETURN);
  PumpDialog(dlg_);
  ASSERT_FALSE(log_.commands.empty());
  EXPECT_EQ(log_.commands.back().first, IDCANCEL);
}

TEST_F(Dialogs, ClicksPressButtonsAndOwnerDrawGetsItsStates) {
  RECT r{};
  GetClientRect(Item(IDCANCEL), &r);
  Click(Item(IDCANCEL), r.right / 2, r.bottom / 2);
  PumpDialog(dlg_);
  EXPECT_TRUE(Has(log_, IDCANCEL, BN_CLICKED));
  // Pressing and releasing outside the button is no click.
  log_.commands.clear();
  POINT in = At(Item(IDOK), 3, 3), out = At(dlg_, 2, 2);
  InjectMouseMove(in.x, in.y);
  InjectMouseButton(0, true, in.x, in.y);
  InjectMouseMove(out.x, out.y);
  InjectMouseButton(0, false, out.x, out.y);
  PumpDialog(dlg_);
  EXPECT_FALSE(Has(log_, IDOK, BN_CLICKED));
  // The owner-drawn button is drawn pressed while the mouse is down on it.
  POINT od = At(Item(kOwnerDraw), 5, 5);
  InjectMouseMove(od.x, od.y);
  InjectMouseButton(0, true, od.x, od.y);
  PumpDialog(dlg_);
  EXPECT_TRUE(log_.lastDrawState & ODS_SELECTED);
  EXPECT_EQ(GetWindowPixel(Item(kOwnerDraw), 5, 5), RGB(200, 0, 0));
  InjectMouseButton(0, false, od.x, od.y);
  PumpDialog(dlg_);
  EXPECT_FALSE(log_.lastDrawState & ODS_SELECTED);
  EXPECT_TRUE(Has(log_, kOwnerDraw, BN_CLICKED));
  EXPECT_EQ(GetWindowPixel(Item(kOwnerDraw), 5, 5), RGB(0, 128, 0));
  // A click on the check box toggles it; a click on the static label reaches nobody.
  RECT cr{};
  GetClientRect(Item(kCheck), &cr);
  Click(Item(kCheck), 5, cr.bottom / 2);
  PumpDialog(dlg_);
  EXPECT_EQ(IsDlgButtonChecked(dlg_, kCheck), BST_CHECKED);
  // Disabled buttons ignore clicks.
  EnableWindow(Item(IDOK), FALSE);
  log_.commands.clear();
  Click(Item(IDOK), 5, 5);
  PumpDialog(dlg_);
  EXPECT_FALSE(Has(log_, IDOK, BN_CLICKED));
}

TEST_F(Dialogs, PaintsIntoAPng) {
  SetDlgItemTextW(dlg_, kEdit, u"hello");
  PumpDialog(dlg_);
  const std::string path = std::string(KESTREL_WND_SHOT_DIR) + "/dialog_sample.png";
  std::filesystem::remove(path);
  ASSERT_TRUE(SaveWindowPng(dlg_, path));
  EXPECT_GT(std::filesystem::file_size(path), 500u);
  // The progress bar shows a quarter done: its left part in the highlight colour.
  RECT pr{};
  GetClientRect(Item(kProgress), &pr);
  EXPECT_EQ(GetWindowPixel(Item(kProgress), 2, pr.bottom / 2), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(GetWindowPixel(Item(kProgress), pr.right - 2, pr.bottom / 2), GetSysColor(COLOR_BTNFACE));
  // Its sunken frame: shadow at the left and top, highlight at the right and bottom.
  EXPECT_EQ(GetWindowPixel(Item(kProgress), 0, pr.bottom / 2), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetWindowPixel(Item(kProgress), pr.right / 2, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetWindowPixel(Item(kProgress), pr.right - 1, pr.bottom / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(GetWindowPixel(Item(kProgress), pr.right - 2, pr.bottom - 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  // The dialog face and the caption.
  RECT dr{};
  GetClientRect(dlg_, &dr);
  POINT face{dr.right - 3, dr.bottom - 3};
  MapWindowPoints(dlg_, nullptr, &face, 1);
  RECT wr{};
  GetWindowRect(dlg_, &wr);
  EXPECT_EQ(GetWindowPixel(dlg_, face.x - wr.left, face.y - wr.top), GetSysColor(COLOR_BTNFACE));
}

TEST(Edit, TypingSelectionAndTheClipboard) {
  InitWindowLayer();
  HWND top = CreateWindowExW(0, u"#32770", u"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr, nullptr, nullptr,
                             nullptr);
  HWND e = CreateWindowExW(0, u"Edit", u"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 20, top, nullptr, nullptr, nullptr);
  SetFocus(e);
  InjectText(u"hello world");
  Pump();
  EXPECT_EQ(GetWindowTextString(e), CString(u"hello world"));
  // Shift+Left five times selects "world".
  InjectKey(VK_SHIFT, true);
  for (int i = 0; i < 5; ++i) InjectKeyPress(VK_LEFT);
  InjectKey(VK_SHIFT, false);
  Pump();
  DWORD a = 0, b = 0;
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 6u);
  EXPECT_EQ(b, 11u);
  InjectKey(VK_CONTROL, true);
  InjectKeyPress('X');
  InjectKey(VK_CONTROL, false);
  Pump();
  EXPECT_EQ(GetWindowTextString(e), CString(u"hello "));
  CString clip;
  ASSERT_TRUE(GetClipboardText(&clip));
  EXPECT_EQ(clip, CString(u"world"));
  InjectKeyPress(VK_HOME);
  InjectKey(VK_CONTROL, true);
  InjectKeyPress('V');
  InjectKey(VK_CONTROL, false);
  InjectKeyPress(VK_BACK, 0x08);
  InjectKeyPress(VK_END);
  InjectKeyPress(VK_DELETE);
  Pump();
  EXPECT_EQ(GetWindowTextString(e), CString(u"worlhello "));
  // Pasted line breaks end the text; the limit cuts what does not fit.
  SetClipboardText(u"one\r\ntwo");
  SendMessageW(e, EM_SETSEL, 0, -1);
  SendMessageW(e, WM_PASTE, 0, 0);
  EXPECT_EQ(GetWindowTextString(e), CString(u"one"));
  SendMessageW(e, EM_LIMITTEXT, 5, 0);
  InjectText(u"xyz");
  Pump();
  EXPECT_EQ(GetWindowTextString(e), CString(u"onexy"));
  // Clicking puts the caret at the nearest character; a double click selects the word.
  SendMessageW(e, WM_LBUTTONDBLCLK, 0, MAKELPARAM(4, 5));
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 5u);
  Click(e, 1, 5);
  Pump();
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 0u);
  char16_t line[8] = {7};
  EXPECT_EQ(SendMessageW(e, EM_GETLINE, 0, reinterpret_cast<LPARAM>(line)), 5);
  DestroyWindow(top);
}

// A worker thread shows a modal box owned by the main window; the main thread keeps serving
// sent messages and paints while the owner is disabled, and gets it back afterwards.
TEST(Modal, MessageBoxOnAWorkerThreadWhileTheUiThreadAnswers) {
  TestWindows::Register();
  std::atomic<int> served{0};
  HWND main = MakeWindow(WS_POPUP | WS_VISIBLE, 50, 50, 400, 300, nullptr, 0,
                         [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT* r) {
                           if (msg != WM_USER + 7) return false;
                           ++served;
                           *r = 42;
                           return true;
                         });
  ShowWindow(main, SW_SHOW);
  std::atomic<int> boxResult{-1};
  std::atomic<LRESULT> sentFromWorker{0};
  std::thread worker([&] {
    sentFromWorker = SendMessageW(main, WM_USER + 7, 0, 0);
    boxResult = MessageBoxW(main, u"Save the scan?", u"Question", MB_YESNO);
  });
  // Wait for the box: it becomes the main window's last active popup.
  HWND box = nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    Pump();
    HWND p = GetLastActivePopup(main);
    if (p && p != main && IsWindowVisible(p)) {
      box = p;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(sentFromWorker.load(), 42);
  EXPECT_FALSE(IsWindowEnabled(main));
  EXPECT_EQ(GetForegroundWindow(), box);
  // Another thread's sends are served by the UI thread while the box is up.
  std::atomic<LRESULT> third{0};
  std::thread other([&] { third = SendMessageW(main, WM_USER + 7, 0, 0); });
  while (third.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  other.join();
  EXPECT_EQ(third.load(), 42);
  // Clicks on the disabled owner go nowhere; a click on "No" ends the box.
  HWND no = GetDlgItem(box, IDNO);
  ASSERT_NE(no, nullptr);
  InjectMouseButton(0, true, 60, 60);
  InjectMouseButton(0, false, 60, 60);
  RECT nr{};
  GetWindowRect(no, &nr);
  const int cx = (nr.left + nr.right) / 2, cy = (nr.top + nr.bottom) / 2;
  InjectMouseMove(cx, cy);
  InjectMouseButton(0, true, cx, cy);
  InjectMouseButton(0, false, cx, cy);
  while (boxResult.load() == -1 && std::chrono::steady_clock::now() < deadline) {
    Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  EXPECT_EQ(boxResult.load(), IDNO);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_EQ(served.load(), 2);
  DestroyWindow(main);
}

// A modal dialog on the UI thread runs the owner's timers and ends from one of them.
TEST(Modal, DialogBoxRunsTimersAndEndsWithEndDialog) {
  UseVirtualMessageClock(true);
  TestWindows::Register();
  HWND owner = MakeWindow(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  DlgTemplate t;
  t.style = WS_POPUP | WS_VISIBLE;
  t.cx = 50;
  t.cy = 20;
  static HWND s_owner;
  s_owner = owner;
  auto proc = [](HWND dlg, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == WM_INITDIALOG) {
      SetTimer(dlg, 9, 100, nullptr);
      return TRUE;
    }
    if (msg == WM_TIMER && w == 9) {
      EXPECT_FALSE(IsWindowEnabled(s_owner));
      EndDialog(dlg, 77);
      return TRUE;
    }
    return FALSE;
  };
  // The clock moves on until the dialog is over, however late the timer gets set.
  std::atomic<bool> over{false};
  std::thread ticker([&] {
    while (!over) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      AdvanceVirtualMessageClock(10);
    }
  });
  const LRESULT r = DialogBoxIndirectParamW(nullptr, &t, owner, proc, 0);
  over = true;
  ticker.join();
  EXPECT_EQ(r, 77);
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
  UseVirtualMessageClock(false);
}

}  // namespace
