// Installing the layer into the message core.
#include <mutex>

#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

void InitWindowLayer() {
  static std::once_flag once;
  std::call_once(once, [] {
    WindowLayerHooks h{};
    h.created = &LayerWindowCreated;
    h.destroying = &LayerWindowDestroying;
    h.destroyed = &LayerWindowDestroyed;
    h.defProc = &LayerDefProc;
    h.pendingPaint = &PendingPaint;
    h.cookInput = &CookInput;
    InstallWindowLayer(h);
    RegisterControlClasses();
  });
}

// Programs that link the layer have it before their first window.
[[maybe_unused]] static const bool g_installed = (InitWindowLayer(), true);
