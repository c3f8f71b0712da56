// The web-view library as the program loads it by the name "node.dll": built into the program
// and registered under that name, it exports the functions the program looks up by name and
// shows pages in child windows of the program, laid out and drawn by litehtml through the
// program's raster. Pages come from files and from servers on the loopback interface only;
// any other address shows "This page is not available offline." There is no script engine:
// the functions a page may call (those the program bound) are reached from links of the form
// kestrel-call:NAME?ARG&ARG, and from tests. Links load their page into the same view; the
// wheel, the keys and the scroll bar scroll it.
//
// A page "finishes loading" through a posted message, so the program hears of it from its
// own message loop, as with an outside library.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "platform/cstring.h"
#include "platform/webview.h"

constexpr char16_t kWebViewLibraryName[] = u"node.dll";

// Makes the library loadable under kWebViewLibraryName.
void RegisterWebViewStandIn();

// ---- For tests ----
// The content size every view reports from now on instead of its page's own (the reset goes
// back to the page's own size).
void SetWebViewContentSizeForTest(int width, int height);
// The address last loaded into the view, as the program handed it over (ANSI).
std::string WebViewUrlForTest(wkeWebView view);
// Every address loaded into any view since the last reset, in order (links followed too).
std::vector<std::string> WebViewLoadsForTest();
// How many views exist now.
int LiveWebViewsForTest();
// Calls the function bound under the name as a page of the view would; false when nothing is
// bound under it.
using WebViewArg = std::variant<int, CString>;
bool CallBoundWebFunctionForTest(wkeWebView view, const char* name, const std::vector<WebViewArg>& args);
// The window of a view (for pictures, sizes and input).
HWND__* WebViewWindowForTest(wkeWebView view);
// What the view shows: the page's title, its plain text (every text run in document order,
// separated by spaces), whether it is a message page in place of the asked one, and the
// vertical scroll position.
std::string WebViewTitleForTest(wkeWebView view);
std::string WebViewTextForTest(wkeWebView view);
bool WebViewShowsMessageForTest(wkeWebView view);
int WebViewScrollForTest(wkeWebView view);
// Where on the view (client coordinates) the first link whose text contains `text` shows;
// false when no such link is in sight.
bool WebViewLinkPointForTest(wkeWebView view, const std::string& text, POINT* at);
void ResetWebViewStandInForTest();
