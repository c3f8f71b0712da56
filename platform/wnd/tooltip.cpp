// The tooltip ("tooltips_class32"): it keeps its delays and its widest line and takes relayed
// mouse messages; no tools are added to it yet, so it never shows.
#include "platform/wnd/commctrl.h"
#include "platform/wnd/wndobj.h"

namespace {

struct ToolTipState : WindowData {
  // Indexed by TTDT_RESHOW, TTDT_AUTOPOP, TTDT_INITIAL (TTDT_AUTOMATIC sets all three).
  int delays[4] = {0, 100, 5000, 500};
  int maxWidth = -1;
};

void SetAutomaticDelays(ToolTipState& s, int initial) {
  s.delays[TTDT_INITIAL] = initial;
  s.delays[TTDT_RESHOW] = initial / 5;
  s.delays[TTDT_AUTOPOP] = initial * 10;
}

}  // namespace

LRESULT ToolTipProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<ToolTipState> s = EnsureWindowData<ToolTipState>(h);
  switch (msg) {
    case TTM_RELAYEVENT: return 0;
    case TTM_SETDELAYTIME: {
      // The delay is the low word; a negative one brings back the default.
      const int ms = int(int16_t(LOWORD(uintptr_t(l))));
      if (w == TTDT_AUTOMATIC) SetAutomaticDelays(*s, ms < 0 ? 500 : ms);
      else if (w <= TTDT_INITIAL) s->delays[w] = ms >= 0 ? ms : ToolTipState{}.delays[w];
      return 0;
    }
    case TTM_GETDELAYTIME: return w >= TTDT_RESHOW && w <= TTDT_INITIAL ? s->delays[w] : 0;
    case TTM_SETMAXTIPWIDTH: {
      const int old = s->maxWidth;
      s->maxWidth = int(l);
      return old;
    }
    case TTM_GETMAXTIPWIDTH: return s->maxWidth;
    case WM_NCHITTEST: return HTTRANSPARENT;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
