// Help menus and links, the About box, the support and recovery-finished dialogs, and the
// web-page dialog with the functions its page can call.
#include <chrono>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "app/onlinecfg.h"
#include "core/copyout.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/supportdlg.h"
#include "dialogs/tests/mainwnd_fixture.h"
#include "dialogs/webdlg.h"
#include "platform/fileio.h"
#include "platform/webview/webviewlib.h"
#include "platform/wnd/wndobj.h"

namespace mainwnd_test {
namespace {

std::vector<UINT> g_menuIds;
std::vector<CString> g_menuTexts;
std::vector<HBITMAP> g_menuBitmaps;  // each item's unchecked bitmap
UINT g_menuChoice = 0;
int g_menusShown = 0;
// Stands for the user: reads the menu as it is shown and picks g_menuChoice (0 cancels).
UINT ScriptedMenu(HMENU menu, HWND, void*) {
  ++g_menusShown;
  g_menuIds.clear();
  g_menuTexts.clear();
  g_menuBitmaps.clear();
  std::vector<MenuItemInfo> items;
  ReadMenuItems(menu, &items);
  for (const MenuItemInfo& it : items) {
    g_menuIds.push_back(UINT(it.id));
    g_menuTexts.push_back(it.text);
    g_menuBitmaps.push_back(it.unchecked);
    EXPECT_EQ(it.checked, it.unchecked);  // one picture for both states
  }
  return g_menuChoice;
}

class HelpMenuTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    g_menuIds.clear();
    g_menuChoice = 0;
    g_menusShown = 0;
    SetMenuChoiceHook(&ScriptedMenu, nullptr);
  }
  void TearDown() override {
    SetMenuChoiceHook(nullptr, nullptr);
    MainWindowTest::TearDown();
  }
};

TEST_F(HelpMenuTest, TheHelpMenuOpensBelowTheMenuButtonWithItsThreeEntries) {
  Open();
  g_menuChoice = ID_MENU_SOFTHELP;
  dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MAIN_MENU, BN_CLICKED), LPARAM(dlg_->m_btnTopMenu.m_hWnd));
  EXPECT_TRUE(Rec().opened.empty());  // the choice arrives as a command, after the menu ended
  PumpAll();
  EXPECT_EQ(g_menuIds, (std::vector<UINT>{1161, 1134, 1136}));
  ASSERT_EQ(g_menuTexts.size(), 3u);
  EXPECT_EQ(g_menuTexts[0], CString(u"1. Help"));
  EXPECT_EQ(g_menuTexts[2], CString(u"3. About us"));
  ASSERT_EQ(Rec().opened.size(), 1u);
  EXPECT_EQ(Rec().opened[0], CString(u"http://127.0.0.1/datarecovery/help.html"));
  const std::vector<HelpMenuEntry> entries = HelpMenuEntries();
  EXPECT_EQ(entries[0].bitmap, 426u);
  EXPECT_EQ(entries[1].bitmap, 425u);
  EXPECT_EQ(entries[2].bitmap, 393u);
  EXPECT_EQ(g_menuBitmaps, (std::vector<HBITMAP>{HelpMenuBitmap(426), HelpMenuBitmap(425), HelpMenuBitmap(393)}));
  EXPECT_NE(g_menuBitmaps[0], nullptr);
}

// The menus' pictures are loaded once: showing a menu again uses the same bitmaps, so nothing
// piles up however often the menus are opened. A cancelled menu sends no command.
TEST_F(HelpMenuTest, MenusShownAgainReuseTheirBitmapsAndCancelSendsNothing) {
  Open();
  std::vector<HBITMAP> first;
  for (int k = 0; k < 3; ++k) {
    dlg_->SendMessage(WM_SKIN_CAPTION_MENU);
    PumpAll();
    if (k == 0) first = g_menuBitmaps;
    EXPECT_EQ(g_menuBitmaps, first);
  }
  EXPECT_EQ(g_menusShown, 3);
  EXPECT_TRUE(Rec().opened.empty());
  dlg_->SendMessage(WM_RBUTTONDOWN, 0, MAKELPARAM(300, 300));
  PumpAll();
  ASSERT_EQ(g_menuBitmaps.size(), 8u);
  EXPECT_EQ(g_menuBitmaps[0], first[2]);  // "About" and "About us" share picture 393
  EXPECT_NE(g_menuBitmaps[1], nullptr);
  EXPECT_EQ(g_menuBitmaps[2], nullptr);
}

TEST_F(HelpMenuTest, RightClickMenusFollowTheBrand) {
  const struct {
    const char16_t* brand;
    size_t entries;
  } cases[] = {{u"Tesmur", 8}, {u"Drevask", 8}, {u"Pelmar", 2}, {u"Corvinth", 2}, {u"Ostrel", 0}, {u"Other", 0}};
  for (const auto& c : cases) {
    UseSettings(c.brand, DefaultVerCfg());
    Open();
    g_menuIds.clear();
    g_menusShown = 0;
    // Entry 4 of the full menu is "How to find the files"; the short menu has no such entry.
    g_menuChoice = c.entries == 8 ? 1156 : 1135;
    Rec().opened.clear();
    dlg_->SendMessage(WM_RBUTTONDOWN, 0, MAKELPARAM(300, 300));
    PumpAll();
    EXPECT_EQ(g_menusShown, c.entries ? 1 : 0) << CString(c.brand).ToUtf8();
    EXPECT_EQ(g_menuIds.size(), c.entries) << CString(c.brand).ToUtf8();
    if (c.entries) {
      EXPECT_EQ(g_menuIds[0], 1136u);
      EXPECT_EQ(g_menuIds[1], 1135u);
      EXPECT_EQ(g_menuTexts[1], CString(u"2. Website"));
      const CString want = c.entries == 2 ? CString(u"http://127.0.0.1/")
                           : CString(c.brand) == CString(u"Drevask") ? CString(u"http://127.0.0.1/help/21findfile.html")
                                                                    : CString(u"http://127.0.0.1/help/FindFile.html");
      ASSERT_EQ(Rec().opened.size(), 1u) << CString(c.brand).ToUtf8();
      EXPECT_EQ(Rec().opened[0], want);
    }
    if (c.entries == 8) {
      EXPECT_EQ(g_menuIds[3], 1156u);
    }
    Close();
  }
}

TEST_F(HelpMenuTest, HelpCommandsOpenTheirPagesByBrand) {
  const struct {
    UINT command;
    const char16_t* page;
    const char16_t* drevaskPage;
  } cases[] = {
      {1155, u"help/helpvideo.html", u"help/helpvideo.html"}, {1156, u"help/FindFile.html", u"help/21findfile.html"},
      {1157, u"help/fileerr.html", u"help/25fileerr.html"},   {1158, u"help/clone.html", u"help/26clone.html"},
      {1159, u"help/mov.html", u"help/23mov.html"},           {1160, u"help/mts.html", u"help/24mts.html"},
  };
  for (const char16_t* brand : {u"Tesmur", u"Drevask"}) {
    UseSettings(brand, DefaultVerCfg());
    Open();
    for (const auto& c : cases) {
      Rec().opened.clear();
      dlg_->SendMessage(WM_COMMAND, c.command);
      ASSERT_EQ(Rec().opened.size(), 1u);
      const CString page = CString(brand) == CString(u"Drevask") ? c.drevaskPage : c.page;
      EXPECT_EQ(Rec().opened[0], CString(u"http://127.0.0.1/") + page);
    }
    Rec().opened.clear();
    dlg_->SendMessage(WM_COMMAND, ID_MENU_WEBSITE);
    dlg_->SendMessage(WM_COMMAND, ID_MENU_COMMUNITY);
    EXPECT_EQ(Rec().opened, (std::vector<CString>{u"http://127.0.0.1/", u"http://127.0.0.1/community"}));
    Close();
  }
  // An empty "Web" leaves a bare page path, which is not an address: nothing opens.
  UseSettings(u"Tesmur", u"Default-Web:\r\n");
  Open();
  Rec().opened.clear();
  dlg_->SendMessage(WM_COMMAND, 1156);
  EXPECT_TRUE(Rec().opened.empty());
}

TEST_F(HelpMenuTest, OnlyTheSystemMenusAboutRangeOpensTheAboutBox) {
  Open();
  for (UINT id : {16u, 17u, 31u, 32u}) {
    std::atomic<bool> stop{false};
    std::atomic<HWND> seen{nullptr};
    std::thread closer([&] {
      // The About box is modal on the test thread: close the first one that shows.
      while (!stop) {
        HWND p = GetLastActivePopup(dlg_->m_hWnd);
        if (p && p != dlg_->m_hWnd && IsWindowVisible(p)) {
          seen = p;
          PostMessageW(p, WM_COMMAND, IDOK, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    dlg_->SendMessage(WM_SYSCOMMAND, id, 0);
    if (id > 31) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = true;
    closer.join();
    EXPECT_EQ(seen.load() != nullptr, id >= 16 && id <= 31) << id;
  }
}

// ---- About ----

class AboutTest : public MainWindowTest {};

TEST_F(AboutTest, RowsFollowBrandAndEdition) {
  const struct {
    const char16_t* brand;
    const char16_t* mail;
    bool developer, serviceCode, mailRow, company;
    int height;  // 0: the template's
  } cases[] = {
      {u"Tesmur", u"help@127.0.0.1", true, true, true, true, 0},
      {u"Tesmur", u"-", true, true, false, true, 0},
      {u"Tesmur", u"", true, true, true, true, 0},
      {u"Ostrel", u"help@127.0.0.1", false, false, true, false, 240},
      {u"Virelmo", u"help@127.0.0.1", false, false, false, true, 240},
      {u"Pelmar", u"x", false, false, true, true, 240},
  };
  for (const auto& c : cases) {
    UseSettings(c.brand, CString(DefaultVerCfg()) + u"Default-ServerMail: " + c.mail + u"\r\n");
    CAboutDlg about;
    ASSERT_TRUE(about.Create(IDD_ABOUT));
    const std::string tag = CString(c.brand).ToUtf8() + "/" + CString(c.mail).ToUtf8();
    auto shown = [](CWnd& w) { return (w.GetStyle() & WS_VISIBLE) != 0; };
    EXPECT_EQ(shown(about.m_developer), c.developer) << tag;
    EXPECT_EQ(shown(about.m_serviceCode), c.serviceCode) << tag;
    EXPECT_EQ(shown(about.m_mail), c.mailRow) << tag;
    EXPECT_EQ(shown(about.m_company), c.company) << tag;
    if (c.mailRow && CString(c.brand) != CString(u"Virelmo")) {
      EXPECT_EQ(about.m_mail.m_text.Right(int(std::u16string_view(c.mail).size()) + 2), CString(u": ") + c.mail);
    }
    RECT r{};
    about.GetWindowRect(&r);
    if (c.height) EXPECT_EQ(r.bottom - r.top, c.height) << tag;
    else EXPECT_GT(r.bottom - r.top, 240) << tag;
    EXPECT_EQ(about.m_versionRow.m_text.Right(14), CString(u": 9.0.5  Win64"));
    about.DestroyWindow();
  }
}

TEST_F(AboutTest, TheBuildDateIsWrittenTheEnglishWayOnlyForEN) {
  for (const auto& [language, date] : {std::pair{u"EN", u"19/02/2024"}, std::pair{u"en", u"2024.02.19"},
                                       std::pair{u"English", u"2024.02.19"}}) {
    UseSettings(u"Tesmur", DefaultVerCfg(), language);
    EXPECT_EQ(FormatBuildDate(), CString(date));
  }
}

// ---- Support dialogs ----

class SupportTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ClearOnlineCfgForTest();
    ResetCopyStatistics();
  }
  void TearDown() override {
    ClearOnlineCfgForTest();
    ResetCopyStatistics();
    MainWindowTest::TearDown();
  }
  static void Links(std::vector<LinkEntry> links) {
    std::lock_guard<std::mutex> g(OnlineCfgLock);
    LinkList = std::move(links);
  }
};

TEST_F(SupportTest, LinksShowOnlyAfterLargeRecoveriesAndGrowTheDialog) {
  const struct {
    uint32_t files;
    uint64_t bytes;
    std::vector<LinkEntry> links;
    int width, height;
    int linkRows, descriptionRows;
  } cases[] = {
      {30, 40u << 20, {{u"Guide", u"http://127.0.0.1/g"}}, 300, 145, 0, 0},
      {31, 16u << 20, {{u"Guide", u"http://127.0.0.1/g"}}, 300, 145, 0, 0},
      {31, 20u << 20, {}, 300, 145, 0, 0},
      {31, 20u << 20, {{u"Guide", u"http://127.0.0.1/g"}}, 400, 155, 1, 0},
      {31, 20u << 20, {{u"Guide", u"http://127.0.0.1/g"}, {u"Call us any time", u""}}, 400, 175, 1, 1},
  };
  for (const auto& c : cases) {
    ResetCopyStatistics();
    UpdateCopyStatistics(c.files, c.bytes);
    Links(c.links);
    CSupportSoftDlg d;
    d.m_resultText = u"31 files recovered";
    ASSERT_TRUE(d.Create(IDD_SUPPORT_SOFT));
    RECT r{};
    d.GetWindowRect(&r);
    EXPECT_EQ(r.right - r.left, c.width) << c.files << " " << c.bytes;
    EXPECT_EQ(r.bottom - r.top, c.height) << c.files << " " << c.bytes;
    EXPECT_EQ(int(d.m_linkAddresses.size()), c.linkRows);
    if (c.linkRows) {
      RECT l{};
      d.m_links[0].GetWindowRect(&l);
      EXPECT_EQ(l.top - r.top, 85);
      EXPECT_EQ(l.right - l.left, 370);
    }
    if (c.descriptionRows) {
      RECT t{};
      d.m_descriptions[0].GetWindowRect(&t);
      EXPECT_EQ(t.top - r.top, 105);
      EXPECT_EQ(d.m_descriptions[0].m_text, CString(u"Call us any time"));
    }
    EXPECT_EQ(d.m_result.m_text, CString(u"31 files recovered"));
    d.DestroyWindow();
  }
}

TEST_F(SupportTest, LinkButtonKOpensTheKthLinkAndTheFolderButtonItsFolder) {
  UpdateCopyStatistics(40, 64u << 20);
  Links({{u"One", u"http://127.0.0.1/1"}, {u"Text", u""}, {u"Two", u"https://127.0.0.1/2"}, {u"Bad", u"file:///etc/passwd"}});
  CSupportSoftDlg d;
  d.m_resultText = u"40 files recovered (64.00(MB)).";
  ASSERT_TRUE(d.Create(IDD_SUPPORT_SOFT));
  for (int k = 0; k < 5; ++k) d.SendMessage(WM_COMMAND, MAKEWPARAM(kSupportLinkIds[k], BN_CLICKED));
  EXPECT_EQ(Rec().opened, (std::vector<CString>{u"http://127.0.0.1/1", u"https://127.0.0.1/2"}));
  Rec().opened.clear();
  SetLastSaveFolder(u"/tmp/recovered");
  d.SendMessage(WM_COMMAND, MAKEWPARAM(1056, BN_CLICKED));
  EXPECT_EQ(Rec().opened, (std::vector<CString>{u"/tmp/recovered"}));
  d.ShowWindow(SW_SHOW);
  UpdateAllWindows();
  SaveWindowPng(d.m_hWnd, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/support_soft.png");
  d.DestroyWindow();
  SetLastSaveFolder(CString());
}

TEST_F(SupportTest, TheConsultButtonOpensOnlyAWebAccount) {
  for (const auto& [qq, opened] : {std::pair{u"http://127.0.0.1/chat", true}, std::pair{u"12345", false}}) {
    UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-QQ: " + qq + u"\r\n");
    Open();  // the dialog centres itself on the main window
    Rec().opened.clear();
    CSupporterDlg d;
    ASSERT_TRUE(d.Create(IDD_SUPPORTER));
    RECT r{};
    d.GetWindowRect(&r);
    EXPECT_EQ(r.right - r.left, 340);
    EXPECT_EQ(r.bottom - r.top, 255);
    d.SendMessage(WM_COMMAND, MAKEWPARAM(1131, BN_CLICKED));
    EXPECT_EQ(Rec().opened.size(), opened ? 1u : 0u);
    d.DestroyWindow();
    Close();
  }
}

// ---- The web-page dialog ----

class WebDialogTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    RegisterWebViewStandIn();
    ResetWebViewStandInForTest();
    ASSERT_TRUE(LoadWebViewLibrary());
    Open();
  }
  void TearDown() override {
    SetWebViewContentSizeForTest(0, 0);
    MainWindowTest::TearDown();
  }
  // Runs ShowWebDlg on this thread; `during` runs inside its modal loop once the page loaded.
  void ShowAndRun(const CString& url, int w, int h, std::function<void(CWebDlg&)> during) {
    const UINT_PTR timer = 0x7777;
    struct Ctx {
      std::function<void(CWebDlg&)> fn;
      bool done = false;
    };
    static Ctx* ctx = nullptr;
    Ctx c{std::move(during)};
    ctx = &c;
    UseVirtualMessageClock(false);
    // A timer of the main window steps in once the dialog runs.
    ::SetTimer(dlg_->m_hWnd, timer, 10, [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
      if (!CurrentWebDlg || ctx->done) return;
      ::KillTimer(hwnd, id);
      ctx->done = true;
      ctx->fn(*CurrentWebDlg);
    });
    ShowWebDlg(url, w, h);
    UseVirtualMessageClock(true);
    ::KillTimer(dlg_->m_hWnd, timer);
    EXPECT_TRUE(c.done);
    ctx = nullptr;
  }
};

TEST_F(WebDialogTest, APageShowsAtItsSizeOrTheRequestedOne) {
  for (const auto& [content, expected] : {std::pair{SIZE{0, 0}, SIZE{755, 480}}, std::pair{SIZE{500, 300}, SIZE{500, 300}},
                                          std::pair{SIZE{0, 350}, SIZE{755, 350}}}) {
    SetWebViewContentSizeForTest(content.cx, content.cy);
    ShowAndRun(u"http://127.0.0.1/about", 755, 480, [&](CWebDlg& d) {
      PumpAll();  // the page finishes loading
      RECT r{};
      d.GetWindowRect(&r);
      EXPECT_EQ(r.right - r.left, expected.cx) << content.cx << "x" << content.cy;
      EXPECT_EQ(r.bottom - r.top, expected.cy) << content.cx << "x" << content.cy;
      RECT v{};
      ::GetWindowRect(WebViewWindowForTest(d.m_view), &v);
      EXPECT_EQ(v.right - v.left, expected.cx);
      EXPECT_EQ(WebViewUrlForTest(d.m_view), "http://127.0.0.1/about");
      d.PostMessage(WM_CLOSE_WEB);
    });
  }
  EXPECT_EQ(CurrentWebDlg, nullptr);
  EXPECT_EQ(LiveWebViewsForTest(), 0);
}

TEST_F(WebDialogTest, ASecondPageLoadsIntoTheOpenDialog) {
  ShowAndRun(u"http://127.0.0.1/one", 755, 480, [&](CWebDlg& d) {
    CWebDlg* before = CurrentWebDlg;
    ShowWebDlg(u"http://127.0.0.1/two", 600, 400);  // returns at once
    EXPECT_EQ(CurrentWebDlg, before);
    EXPECT_EQ(WebViewUrlForTest(d.m_view), "http://127.0.0.1/two");
    EXPECT_EQ(LiveWebViewsForTest(), 1);
    d.PostMessage(WM_CLOSE_WEB);
  });
  const auto loads = WebViewLoadsForTest();
  ASSERT_GE(loads.size(), 2u);
  EXPECT_EQ(loads.back(), "http://127.0.0.1/two");
}

TEST_F(WebDialogTest, PageFunctionsCopyOpenAndClose) {
  ShowAndRun(u"http://127.0.0.1/about", 755, 480, [&](CWebDlg& d) {
    // An empty text is an empty Unicode text: two zero bytes.
    ASSERT_TRUE(CallBoundWebFunctionForTest(d.m_view, "jsCopyTextData", {CString(u"")}));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HGLOBAL mem = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(mem, nullptr);
    EXPECT_EQ(GlobalSize(mem), 2u);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(mem));
    EXPECT_EQ(p[0] | p[1], 0);
    GlobalUnlock(mem);
    CloseClipboard();
    ASSERT_TRUE(CallBoundWebFunctionForTest(d.m_view, "jsCopyTextData", {CString(u"序列号 K-1")}));
    CString text;
    EXPECT_TRUE(GetClipboardText(&text));
    EXPECT_EQ(text, CString(u"序列号 K-1"));
    // Only web addresses leave the program.
    for (const char16_t* url : {u"https://127.0.0.1/buy", u"file:///etc/passwd", u"/usr/bin/xterm", u"javascript:x"}) {
      CallBoundWebFunctionForTest(d.m_view, "wc_OpenUrl", {CString(url)});
    }
    CallBoundWebFunctionForTest(d.m_view, "jsAboutDlgNotify", {2, CString(u"http://127.0.0.1/about2")});
    CallBoundWebFunctionForTest(d.m_view, "jsAboutDlgNotify", {2, CString(u"calc.exe")});
    CallBoundWebFunctionForTest(d.m_view, "jsAboutDlgNotify", {5, CString(u"http://127.0.0.1/x")});
    EXPECT_EQ(Rec().opened, (std::vector<CString>{u"https://127.0.0.1/buy", u"http://127.0.0.1/about2"}));
    // Closing is posted: the page's function returns first.
    CallBoundWebFunctionForTest(d.m_view, "wc_close", {0});
    EXPECT_EQ(CurrentWebDlg, &d);
  });
  EXPECT_EQ(CurrentWebDlg, nullptr);
}

TEST_F(WebDialogTest, ANotifyToCloseWithoutAWebDialogGoesToTheMainWindow) {
  MainWebView().address = u"http://127.0.0.1/embedded";
  // Bound by an earlier dialog of this run.
  ShowAndRun(u"http://127.0.0.1/about", 755, 480, [&](CWebDlg& d) { d.PostMessage(WM_CLOSE_WEB); });
  ASSERT_EQ(CurrentWebDlg, nullptr);
  ASSERT_TRUE(CallBoundWebFunctionForTest(nullptr, "jsAboutDlgNotify", {-1}));
  EXPECT_FALSE(MainWebView().address.IsEmpty());
  PumpAll();
  EXPECT_TRUE(MainWebView().address.IsEmpty());
}

// A real page in the dialog: it takes the page's size, and its links call the program.
TEST_F(WebDialogTest, APagesLinksCopyOpenAndClose) {
  ResetWebViewStandInForTest();  // the page's own size
  const std::string dir = ::testing::TempDir() + "webdlg_page_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/about.html")
      << "<html><head><title>About</title></head><body style=\"background-color:#eef4ff\">"
         "<h2>Kestrel</h2><p>Serial: K-1</p>"
         "<p><a href=\"kestrel-call:jsCopyTextData?K-1%20%E5%BA%8F\">Copy the serial</a></p>"
         "<p><a href=\"kestrel-call:wc_OpenUrl?http%3A%2F%2F127.0.0.1%2Fshop\">Open the shop</a></p>"
         "<p><a href=\"kestrel-call:wc_close\">Close</a></p></body></html>";
  auto click = [](CWebDlg& d, const char* text) {
    POINT p{};
    ASSERT_TRUE(WebViewLinkPointForTest(d.m_view, text, &p)) << text;
    ::ClientToScreen(WebViewWindowForTest(d.m_view), &p);
    InjectMouseMove(p.x, p.y);
    InjectMouseButton(0, true, p.x, p.y);
    InjectMouseButton(0, false, p.x, p.y);
    PumpAll();
  };
  bool reached = false;
  ShowAndRun(CString(FromHostPath("file://" + dir + "/about.html")), 600, 400, [&](CWebDlg& d) {
    PumpAll();  // the page finishes loading and the dialog takes its size
    RECT r{};
    d.GetWindowRect(&r);
    EXPECT_EQ(r.right - r.left, 600);
    EXPECT_GT(r.bottom - r.top, 100);
    EXPECT_LT(r.bottom - r.top, 400);
    SaveWindowPng(d.m_hWnd, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/web_dialog.png");
    click(d, "Copy the serial");
    CString text;
    EXPECT_TRUE(GetClipboardText(&text));
    EXPECT_EQ(text, CString(u"K-1 序"));
    click(d, "Open the shop");
    EXPECT_EQ(Rec().opened, (std::vector<CString>{u"http://127.0.0.1/shop"}));
    reached = true;
    click(d, "Close");
  });
  EXPECT_TRUE(reached);
  EXPECT_EQ(CurrentWebDlg, nullptr);  // the page closed it
}

}  // namespace
}  // namespace mainwnd_test
