// Choosing the display backend. Headless is the default: always in tests, and whenever no
// display is named or none can be opened.
#include "platform/wnd/backend.h"

#include <cstdlib>
#include <mutex>

#include "platform/wnd/selection.h"
#include "platform/wnd/wndobj.h"

DisplayBackend* CreateX11Backend();  // x11.cpp; null when the display cannot be opened

namespace {

struct BackendChoice {
  std::mutex m;
  DisplayBackend* current = nullptr;
  bool chosen = false;
};
BackendChoice& Choice() {
  static BackendChoice& c = *new BackendChoice;
  return c;
}

}  // namespace

bool SelectBackend(const std::string& name) {
  std::string want = name;
  if (want.empty()) {
    const char* display = std::getenv("DISPLAY");
    const char* test = std::getenv("KESTREL_TEST");
    want = display && *display && !(test && *test) ? "x11" : "headless";
  }
  DisplayBackend* b = nullptr;
  SelectionBridge* bridge = nullptr;
  if (want == "x11") {
    const char* display = std::getenv("DISPLAY");
    bridge = CreateX11SelectionBridge(display);
    b = CreateX11Backend();
    if (!b && bridge) {
      SetSelectionBridge(bridge);  // kept, and shut down by the next line
      bridge = nullptr;
    }
  }
  SetSelectionBridge(b ? bridge : nullptr);
  DisplayBackend* old = nullptr;
  {
    std::lock_guard<std::mutex> g(Choice().m);
    old = Choice().current;
    Choice().current = b;  // a backend once made lives as long as the program
    Choice().chosen = true;
  }
  if (old && old != b) old->Shutdown();
  return want == "headless" || b != nullptr;
}

DisplayBackend* CurrentBackend() {
  std::lock_guard<std::mutex> g(Choice().m);
  return Choice().current;
}

std::string BackendName() { return CurrentBackend() ? "x11" : "headless"; }
