// The tree view at the size a folder tree can meet: a million children filled under one item
// when it first opens (as the owner does in TVN_ITEMEXPANDED), shown, and scrolled to the
// end and painted; then a page scroll and repaint at the end of that million. Neither may
// grow with the square of the children.
#include <benchmark/benchmark.h>

#include "platform/wnd/controls.h"

namespace {

int g_fill = 0;  // children the parent adds when the item opens

HTREEITEM Insert(HWND tree, HTREEITEM parent, const char16_t* text) {
  TVINSERTSTRUCTW is{};
  is.hParent = parent;
  is.hInsertAfter = TVI_LAST;
  is.item.mask = TVIF_TEXT;
  is.item.pszText = const_cast<char16_t*>(text);
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
}

LRESULT ParentProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_NOTIFY) {
    auto* nm = reinterpret_cast<NMTREEVIEWW*>(l);
    if (nm->hdr.code == TVN_ITEMEXPANDEDW && (nm->itemNew.state & TVIS_EXPANDED)) {
      for (int i = 0; i < g_fill; ++i) Insert(nm->hdr.hwndFrom, nm->itemNew.hItem, u"Folder 2024-05-17     (12 Files)");
    }
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

struct Window {
  HWND top = nullptr;
  HWND tree = nullptr;
  Window() {
    InitWindowLayer();
    static bool registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &ParentProc;
      wc.lpszClassName = u"TreeBenchParent";
      RegisterClassW(&wc);
      return true;
    }();
    (void)registered;
    top = CreateWindowExW(0, u"TreeBenchParent", u"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 800, nullptr, nullptr,
                          nullptr, nullptr);
    tree = CreateWindowExW(0, WC_TREEVIEW, u"",
                           WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_CHECKBOXES, 0, 0,
                           400, 800, top, reinterpret_cast<void*>(intptr_t(1)), nullptr, nullptr);
    UpdateAllWindows();
  }
  ~Window() { DestroyWindow(top); }
};

void BM_MillionChildrenFillExpandScrollToEnd(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Window w;
    HTREEITEM root = Insert(w.tree, TVI_ROOT, u"00 Found files");
    Insert(w.tree, root, u"***");
    g_fill = 1000000;
    state.ResumeTiming();
    SendMessageW(w.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    UpdateWindow(w.tree);
    SendMessageW(w.tree, WM_VSCROLL, 7 /* SB_BOTTOM */, 0);
    UpdateWindow(w.tree);
    state.PauseTiming();
    benchmark::DoNotOptimize(SendMessageW(w.tree, TVM_GETCOUNT, 0, 0));
    g_fill = 0;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_MillionChildrenFillExpandScrollToEnd)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_PageScrollAndRepaintInAMillion(benchmark::State& state) {
  Window w;
  HTREEITEM root = Insert(w.tree, TVI_ROOT, u"00 Found files");
  for (int i = 0; i < 1000000; ++i) Insert(w.tree, root, u"Folder 2024-05-17     (12 Files)");
  SendMessageW(w.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
  SendMessageW(w.tree, WM_VSCROLL, 7, 0);
  UpdateWindow(w.tree);
  int direction = 2;  // page up from the end, then back down
  for (auto _ : state) {
    SendMessageW(w.tree, WM_VSCROLL, WPARAM(direction), 0);
    UpdateWindow(w.tree);
    const HTREEITEM first = reinterpret_cast<HTREEITEM>(SendMessageW(w.tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0));
    if (first == root) direction = 3;
  }
}
BENCHMARK(BM_PageScrollAndRepaintInAMillion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
