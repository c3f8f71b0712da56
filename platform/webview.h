// The web-view library as the program reaches it: a library loaded by name ("node.dll") whose C
// functions are found by name. The program creates a web view as a child control of one of its
// windows, loads an address into it, hears when a page has finished loading, and binds a few of
// its own functions by name so that a page's script can call them.
//
// Script values are opaque 64-bit words that only the library's own functions read.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

struct HWND__;
struct wkeWebViewObject;
struct jsExecStateObject;
using wkeWebView = wkeWebViewObject*;
using jsExecState = jsExecStateObject*;
using jsValue = int64_t;

// The window type of a web view that lives inside a window of the program.
constexpr int WKE_WINDOW_TYPE_CONTROL = 2;

using wkeLoadingFinishCallback = void (*)(wkeWebView view, void* param, const void* url, int result,
                                          const void* failedReason);
// A program function a page can call: it receives the script state (and the parameter given at
// binding) and returns a script value.
using wkeJsNativeFunction = jsValue (*)(jsExecState es, void* param);
using jsNativeFunction = jsValue (*)(jsExecState es);

// The functions by the names the library exports them under.
using wkeInitializeExFn = void (*)(const void* settings);
using wkeFinalizeFn = void (*)();
using wkeCreateWebWindowFn = wkeWebView (*)(int type, HWND__* parent, int x, int y, int width, int height);
using wkeDestroyWebWindowFn = void (*)(wkeWebView view);
using wkeShowWindowFn = void (*)(wkeWebView view, bool show);
using wkeMoveWindowFn = void (*)(wkeWebView view, int x, int y, int width, int height);
using wkeLoadURLFn = void (*)(wkeWebView view, const char* url);
using wkeOnLoadingFinishFn = void (*)(wkeWebView view, wkeLoadingFinishCallback callback, void* param);
using wkeGetContentSizeFn = int (*)(wkeWebView view);
using wkeJsBindFunctionFn = void (*)(const char* name, wkeJsNativeFunction fn, void* param, unsigned argCount);
using jsBindFunctionFn = void (*)(const char* name, jsNativeFunction fn, unsigned argCount);
using jsArgFn = jsValue (*)(jsExecState es, int index);
using jsToIntFn = int (*)(jsExecState es, jsValue v);
using jsToStringWFn = const char16_t* (*)(jsExecState es, jsValue v);
using jsGetWebViewFn = wkeWebView (*)(jsExecState es);
using jsUndefinedFn = jsValue (*)();
