// The web view under the x11 backend: the page shows on the X screen as it renders headless,
// and a real click (xdotool) on a link loads the next page. The X screen's picture is
// webview_x11.png next to the test program. Skipped without Xvfb or xdotool.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process.h"
#include "platform/webview/webviewlib.h"
#include "platform/wnd/tests/x11/x11_test_util.h"

#ifndef KESTREL_WEBVIEW_SHOT_DIR
#define KESTREL_WEBVIEW_SHOT_DIR "."
#endif

namespace {

TEST(X11WebView, APageShowsOnTheScreenAndALinkFollowsARealClick) {
  if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (x11test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  x11test::XServer server;
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(SelectBackend("x11"));
  InitWindowLayer();
  RegisterWebViewStandIn();
  HMODULE m = LoadLibraryW(kWebViewLibraryName);
  ASSERT_NE(m, nullptr);
  auto create = reinterpret_cast<wkeCreateWebWindowFn>(GetProcAddress(m, "wkeCreateWebWindow"));
  auto load = reinterpret_cast<wkeLoadURLFn>(GetProcAddress(m, "wkeLoadURL"));
  auto show = reinterpret_cast<wkeShowWindowFn>(GetProcAddress(m, "wkeShowWindow"));
  auto destroy = reinterpret_cast<wkeDestroyWebWindowFn>(GetProcAddress(m, "wkeDestroyWebWindow"));
  ASSERT_TRUE(create && load && show && destroy);

  const std::string dir = ::testing::TempDir() + "webview_x11_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/next.html") << "<html><head><title>Next</title></head><body><h2>The next page</h2></body></html>";
  std::ofstream(dir + "/first.html")
      << "<html><head><title>First</title><style>h1{color:#b03030} .band{background-color:#3060c0;height:40px}"
         "</style></head><body><h1>Recovered on the screen</h1><div class=\"band\"></div>"
         "<p>Go on to <a href=\"next.html\">the next page</a>.</p></body></html>";

  HWND top = MakeWindow(WS_POPUP, 60, 40, 520, 320);
  ASSERT_NE(top, nullptr);
  ShowWindow(top, SW_SHOW);
  UpdateWindow(top);
  wkeWebView view = create(WKE_WINDOW_TYPE_CONTROL, top, 0, 0, 520, 320);
  ASSERT_NE(view, nullptr);
  show(view, true);
  load(view, ("file://" + dir + "/first.html").c_str());
  ASSERT_TRUE(x11test::PumpUntil([&] { return WebViewTitleForTest(view) == "First"; }));
  HWND viewWnd = WebViewWindowForTest(view);
  // The band's blue shows on the X screen where it shows headless.
  int bandY = -1;
  for (int y = 0; y < 320 && bandY < 0; ++y) {
    if (GetWindowPixel(viewWnd, 100, y) == RGB(0x30, 0x60, 0xc0)) bandY = y;
  }
  ASSERT_GE(bandY, 0);
  EXPECT_TRUE(x11test::PumpUntil([&] { return server.PixelAt(60 + 100, 40 + bandY + 5) == RGB(0x30, 0x60, 0xc0); }));
  server.SaveScreen(std::string(KESTREL_WEBVIEW_SHOT_DIR) + "/webview_x11.png");

  POINT link{};
  ASSERT_TRUE(WebViewLinkPointForTest(view, "next page", &link));
  ClientToScreen(viewWnd, &link);
  EXPECT_EQ(x11test::Run({"xdotool", "mousemove", std::to_string(link.x), std::to_string(link.y), "click", "1"}), 0);
  EXPECT_TRUE(x11test::PumpUntil([&] { return WebViewTitleForTest(view) == "Next"; }));

  destroy(view);
  DestroyWindow(top);
  x11test::PumpFor(50);
  SelectBackend("headless");
}

}  // namespace
