// The web view as the program uses it, through the functions it looks up by name: a local page
// and a loopback page rendered (pictures of both go next to the test program), refused and
// missing pages, links that load the next page or call the program, and scrolling by wheel,
// keys and scroll bar.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/tests/loopback_http.h"
#include "platform/process.h"
#include "platform/textconv.h"
#include "platform/webview/webviewlib.h"
#include "platform/wnd/tests/wnd_test_util.h"

#ifndef KESTREL_WEBVIEW_SHOT_DIR
#define KESTREL_WEBVIEW_SHOT_DIR "."
#endif

namespace {

struct Finished {
  int count = 0;
  std::string url;
};
void OnFinished(wkeWebView, void* param, const void* url, int, const void*) {
  auto* f = static_cast<Finished*>(param);
  ++f->count;
  f->url = static_cast<const char*>(url);
}

std::vector<std::vector<std::string>> g_calls;
jsValue (*g_undefined)() = nullptr;
jsArgFn g_arg = nullptr;
jsToStringWFn g_toString = nullptr;
jsValue RecordCall(jsExecState es, void* param) {
  std::vector<std::string> call{static_cast<const char*>(param)};
  for (int i = 0; i < 3; ++i) call.push_back(Utf16ToUtf8(g_toString(es, g_arg(es, i))));
  g_calls.push_back(call);
  return g_undefined();
}

class WebViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    RegisterWebViewStandIn();
    ResetWebViewStandInForTest();
    module_ = LoadLibraryW(kWebViewLibraryName);
    ASSERT_NE(module_, nullptr);
    Get("wkeInitializeEx", init_);
    Get("wkeCreateWebWindow", create_);
    Get("wkeDestroyWebWindow", destroy_);
    Get("wkeShowWindow", show_);
    Get("wkeMoveWindow", move_);
    Get("wkeLoadURL", load_);
    Get("wkeOnLoadingFinish", onFinish_);
    Get("wkeGetContentWidth", width_);
    Get("wkeGetContentHeight", height_);
    Get("wkeJsBindFunction", bind_);
    Get("jsArg", g_arg);
    Get("jsToTempStringW", g_toString);
    Get("jsUndefined", g_undefined);
    init_(nullptr);
    parent_ = MakeWindow(WS_POPUP | WS_VISIBLE, 40, 30, 640, 420);
    view_ = create_(WKE_WINDOW_TYPE_CONTROL, parent_, 0, 0, 640, 420);
    ASSERT_NE(view_, nullptr);
    onFinish_(view_, &OnFinished, &finished_);
    show_(view_, true);
    dir_ = ::testing::TempDir() + "webview_pages_" + std::to_string(getpid());
    std::filesystem::create_directories(dir_);
    g_calls.clear();
  }
  void TearDown() override {
    destroy_(view_);
    EXPECT_EQ(LiveWebViewsForTest(), 0);
    DestroyWindow(parent_);
    Pump();
  }
  template <typename Fn>
  void Get(const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(GetProcAddress(module_, name));
    ASSERT_NE(fn, nullptr) << name;
  }
  std::string WritePage(const std::string& name, const std::string& html) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << html;
    return "file://" + path;
  }
  // Loads the address and waits for its finish.
  void LoadAndWait(const std::string& url) {
    const int before = finished_.count;
    load_(view_, url.c_str());
    Pump();
    ASSERT_EQ(finished_.count, before + 1) << url;
  }
  HWND ViewWnd() { return WebViewWindowForTest(view_); }
  void Shot(const char* name) {
    UpdateWindow(parent_);
    SaveWindowPng(parent_, std::string(KESTREL_WEBVIEW_SHOT_DIR) + "/" + name);
  }

  HMODULE module_ = nullptr;
  wkeInitializeExFn init_ = nullptr;
  wkeCreateWebWindowFn create_ = nullptr;
  wkeDestroyWebWindowFn destroy_ = nullptr;
  wkeShowWindowFn show_ = nullptr;
  wkeMoveWindowFn move_ = nullptr;
  wkeLoadURLFn load_ = nullptr;
  wkeOnLoadingFinishFn onFinish_ = nullptr;
  wkeGetContentSizeFn width_ = nullptr;
  wkeGetContentSizeFn height_ = nullptr;
  wkeJsBindFunctionFn bind_ = nullptr;
  HWND parent_ = nullptr;
  wkeWebView view_ = nullptr;
  Finished finished_;
  std::string dir_;
};

constexpr char kLocalPage[] = R"(<html><head><title>Recovery help</title>
<style>
  body { font-family: sans-serif; }
  h1 { color: #1a4f8b; border-bottom: 3px solid #1a4f8b; }
  .box { background-color: #ffe08a; padding: 8px; border: 2px solid #c08000; width: 200px; }
  td { border: 1px solid #888888; padding: 4px; }
</style></head>
<body>
<h1>Finding lost files</h1>
<p>Choose a <b>drive</b>, then start the <i>deep scan</i>. Read <a href="next.html">the next page</a>.</p>
<ul><li>Photos</li><li>Documents</li></ul>
<ol><li>First</li><li>Second</li></ol>
<div class="box">A boxed note</div>
<table><tr><td>Name</td><td>Size</td></tr><tr><td>a.jpg</td><td>12 KB</td></tr></table>
</body></html>)";

TEST_F(WebViewTest, ALocalPageIsLaidOutAndDrawn) {
  WritePage("next.html", "<html><head><title>Next</title></head><body><p>Second page</p></body></html>");
  const std::string url = WritePage("help.html", kLocalPage);
  load_(view_, url.c_str());
  EXPECT_EQ(WebViewUrlForTest(view_), url);
  EXPECT_EQ(finished_.count, 0);  // finishing is heard from the message loop
  Pump();
  ASSERT_EQ(finished_.count, 1);
  EXPECT_EQ(finished_.url, url);
  EXPECT_FALSE(WebViewShowsMessageForTest(view_));
  EXPECT_EQ(WebViewTitleForTest(view_), "Recovery help");
  const std::string text = WebViewTextForTest(view_);
  EXPECT_NE(text.find("Finding lost files"), std::string::npos) << text;
  EXPECT_NE(text.find("12 KB"), std::string::npos) << text;
  // The page's own size: as wide as the view, as tall as its content.
  EXPECT_EQ(width_(view_), 640);
  EXPECT_GT(height_(view_), 200);
  EXPECT_LT(height_(view_), 420);
  Shot("webview_local.png");
  // The box's background and border where the layout put them, the heading's rule under it.
  POINT link{};
  ASSERT_TRUE(WebViewLinkPointForTest(view_, "next page", &link));
  int yellow = 0, blue = 0, linkBlue = 0;
  for (int y = 0; y < 420; ++y) {
    for (int x = 0; x < 640; ++x) {
      const COLORREF c = GetWindowPixel(ViewWnd(), x, y);
      yellow += c == RGB(0xff, 0xe0, 0x8a);
      blue += c == RGB(0x1a, 0x4f, 0x8b);
    }
  }
  for (int x = link.x; x < link.x + 40; ++x) {
    for (int y = link.y - 8; y < link.y + 8; ++y) linkBlue += GetWindowPixel(ViewWnd(), x, y) != RGB(255, 255, 255);
  }
  EXPECT_GT(yellow, 200 * 10);
  EXPECT_GT(blue, 300 * 3);  // the rule at least
  EXPECT_GT(linkBlue, 20);
}

TEST_F(WebViewTest, OtherAddressesAreNotAvailableOffline) {
  SetWebViewContentSizeForTest(0, 0);
  ResetWebViewStandInForTest();  // back to the page's own size
  for (const char* url : {"http://www.example.com/about", "https://127.0.0.1/", "ftp://127.0.0.1/x",
                          "javascript:alert(1)", "http://10.1.2.3/", "kestrel-call:wc_close"}) {
    LoadAndWait(url);
    EXPECT_TRUE(WebViewShowsMessageForTest(view_)) << url;
    EXPECT_NE(WebViewTextForTest(view_).find("This page is not available offline."), std::string::npos) << url;
    // A message has no size of its own: the program keeps the size it asked for.
    EXPECT_EQ(width_(view_), 0) << url;
    EXPECT_EQ(height_(view_), 0) << url;
  }
  Shot("webview_offline.png");
  LoadAndWait("file://" + dir_ + "/no-such-page.html");
  EXPECT_NE(WebViewTextForTest(view_).find("This page could not be loaded."), std::string::npos);
  LoadAndWait("http://127.0.0.1:1/nobody-listens");
  EXPECT_NE(WebViewTextForTest(view_).find("This page could not be loaded."), std::string::npos);
  // The page's markup never comes from the address itself.
  LoadAndWait("http://www.example.com/<b>bold</b>");
  EXPECT_NE(WebViewTextForTest(view_).find("<b>bold</b>"), std::string::npos);
}

TEST_F(WebViewTest, LinksLoadTheNextPageOrCallTheProgram) {
  bind_("wc_OpenUrl", &RecordCall, const_cast<char*>("wc_OpenUrl"), 1);
  bind_("wc_close", &RecordCall, const_cast<char*>("wc_close"), 1);
  WritePage("b.html", "<html><head><title>B</title></head><body><p>Page B</p>"
                      "<p><a href=\"kestrel-call:wc_OpenUrl?http%3A%2F%2F127.0.0.1%2Fbuy%3Fa%3D1&second\">Buy</a></p>"
                      "<p><a href=\"kestrel-call:wc_close\">Close</a></p>"
                      "<p><a href=\"kestrel-call:unbound?x\">Nothing</a></p>"
                      "<p><a href=\"http://www.example.com/\">Outside</a></p></body></html>");
  const std::string a = WritePage("a.html", "<html><head><title>A</title></head><body>"
                                            "<p><a href=\"b.html\">to page B</a></p></body></html>");
  LoadAndWait(a);
  auto click = [&](const char* text) {
    POINT p{};
    ASSERT_TRUE(WebViewLinkPointForTest(view_, text, &p)) << text;
    Click(ViewWnd(), p.x, p.y);
    Pump();
  };
  click("to page B");
  ASSERT_EQ(finished_.count, 2);
  EXPECT_EQ(WebViewTitleForTest(view_), "B");
  EXPECT_EQ(WebViewLoadsForTest().back(), "file://" + dir_ + "/b.html");
  click("Buy");
  click("Close");
  click("Nothing");  // unbound: nothing happens
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0], (std::vector<std::string>{"wc_OpenUrl", "http://127.0.0.1/buy?a=1", "second", "undefined"}));
  EXPECT_EQ(g_calls[1][0], "wc_close");
  EXPECT_EQ(WebViewTitleForTest(view_), "B");  // calls load nothing
  EXPECT_EQ(finished_.count, 2);
  click("Outside");
  EXPECT_EQ(finished_.count, 3);
  EXPECT_TRUE(WebViewShowsMessageForTest(view_));
  // The test entry point reaches the same bindings.
  EXPECT_TRUE(CallBoundWebFunctionForTest(view_, "wc_close", {7}));
  EXPECT_EQ(g_calls.back(), (std::vector<std::string>{"wc_close", "7", "undefined", "undefined"}));
  EXPECT_FALSE(CallBoundWebFunctionForTest(view_, "unbound", {}));
}

TEST_F(WebViewTest, ALongPageScrolls) {
  std::string html = "<html><body>";
  for (int i = 0; i < 120; ++i) html += "<p>Paragraph " + std::to_string(i) + " of the long page.</p>";
  html += "</body></html>";
  LoadAndWait(WritePage("long.html", html));
  const int content = height_(view_);
  ASSERT_GT(content, 3000);
  EXPECT_NE(GetWindowLongPtrW(ViewWnd(), GWL_STYLE) & WS_VSCROLL, 0);  // the bar came
  RECT rc{};
  GetClientRect(ViewWnd(), &rc);
  EXPECT_LT(rc.right, 640);
  EXPECT_EQ(WebViewScrollForTest(view_), 0);
  const POINT mid = At(ViewWnd(), 100, 100);
  InjectMouseMove(mid.x, mid.y);
  InjectMouseWheel(-WHEEL_DELTA, mid.x, mid.y);
  Pump();
  EXPECT_EQ(WebViewScrollForTest(view_), 120);
  SetFocus(ViewWnd());
  InjectKeyPress(VK_END);
  Pump();
  EXPECT_EQ(WebViewScrollForTest(view_), content - rc.bottom);
  Shot("webview_scrolled.png");
  int ink = 0;
  for (int y = rc.bottom - 60; y < rc.bottom; ++y) {
    for (int x = 0; x < 200; ++x) ink += GetWindowPixel(ViewWnd(), x, y) != RGB(255, 255, 255);
  }
  EXPECT_GT(ink, 50);  // the last paragraphs show at the bottom
  EXPECT_NE(WebViewTextForTest(view_).find("Paragraph 119"), std::string::npos);
  InjectKeyPress(VK_PRIOR);
  Pump();
  EXPECT_EQ(WebViewScrollForTest(view_), content - rc.bottom - (rc.bottom - 40));
  SendMessageW(ViewWnd(), WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(WebViewScrollForTest(view_), 0);
  SendMessageW(ViewWnd(), WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(WebViewScrollForTest(view_), 40);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(ViewWnd(), SB_VERT, &si));
  EXPECT_EQ(si.nPos, 40);
  EXPECT_EQ(si.nMax, content - 1);
  // A taller view shows more and needs less scrolling; a new page starts at the top.
  move_(view_, 0, 0, 640, 420);
  LoadAndWait(WritePage("short.html", "<p>short</p>"));
  EXPECT_EQ(WebViewScrollForTest(view_), 0);
  EXPECT_EQ(GetWindowLongPtrW(ViewWnd(), GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(WebViewTest, ALoopbackPageBringsItsStyleAndPicture) {
  // A 20 x 10 red picture.
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP red = CreateCompatibleBitmap(dc, 20, 10);
  HGDIOBJ old = SelectObject(dc, red);
  RECT all{0, 0, 20, 10};
  FillSolidRectDc(dc, &all, RGB(230, 20, 20));
  SelectObject(dc, old);
  DeleteDC(dc);
  const std::string png = dir_ + "/red.png";
  ASSERT_TRUE(WriteBitmapPng(red, png));
  DeleteObject(red);
  std::ifstream in(png, std::ios::binary);
  const std::string pngBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  // The same picture declaring 30000 by 30000 pixels: refused before it is decoded.
  std::string huge = pngBytes;
  for (size_t at : {16u, 20u}) huge.replace(at, 4, std::string("\x00\x00\x75\x30", 4));
  LoopbackHttpServer server;
  server.Script({Reply(200, "<html><head><title>Served</title><link rel=\"stylesheet\" href=\"/s.css\"></head>"
                            "<body><p class=\"x\">From the loopback server</p><img src=\"pic/red.png\"><img src=\"huge.png\"></body></html>"),
                 Reply(200, "body { background-color: #d0f0d0; } .x { color: #800080; }"), Reply(200, pngBytes),
                 Reply(200, huge)});
  LoadAndWait(server.Url("/doc/page.html"));
  ASSERT_FALSE(WebViewShowsMessageForTest(view_));
  EXPECT_EQ(WebViewTitleForTest(view_), "Served");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(LoopbackHttpServer::PathOf(requests[1]), "/s.css");
  EXPECT_EQ(LoopbackHttpServer::PathOf(requests[2]), "/doc/pic/red.png");
  Shot("webview_loopback.png");
  int green = 0, redPixels = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 640; ++x) {
      const COLORREF c = GetWindowPixel(ViewWnd(), x, y);
      green += c == RGB(0xd0, 0xf0, 0xd0);
      redPixels += c == RGB(230, 20, 20);
    }
  }
  EXPECT_GT(green, 640 * 100);
  EXPECT_EQ(redPixels, 200);
}

}  // namespace
