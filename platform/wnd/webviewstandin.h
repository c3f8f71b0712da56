// A stand-in for the outside web-view library, built into the program and loadable by the name
// "node.dll" once registered: it exports the same functions, creates its views as child
// windows of the program and shows the loaded page's address (pages themselves are not
// rendered). A page "finishes loading" through a posted message, so the program hears of it
// from its own message loop, as with the real library.
//
// Tests drive it like a page would: they set the content size the next pages report and call
// the functions that the program bound, with scripted arguments.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "platform/cstring.h"
#include "platform/webview.h"

constexpr char16_t kWebViewLibraryName[] = u"node.dll";

// Registers the stand-in under kWebViewLibraryName.
void RegisterWebViewStandIn();

// ---- For tests ----
// The content size every view reports from now on (0 by 0 at start: unknown).
void SetWebViewContentSizeForTest(int width, int height);
// The address last loaded into the view, as the program handed it over (ANSI).
std::string WebViewUrlForTest(wkeWebView view);
// Every address loaded into any view since the last reset, in order.
std::vector<std::string> WebViewLoadsForTest();
// How many views exist now.
int LiveWebViewsForTest();
// Calls the function bound under the name as a page of the view would; false when nothing is
// bound under it.
using WebViewArg = std::variant<int, CString>;
bool CallBoundWebFunctionForTest(wkeWebView view, const char* name, const std::vector<WebViewArg>& args);
// The window of a view (for pictures and sizes).
HWND__* WebViewWindowForTest(wkeWebView view);
void ResetWebViewStandInForTest();
