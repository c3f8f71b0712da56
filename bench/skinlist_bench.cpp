// The skinned report list at the size of a result pane: 100,000 rows of four columns in a
// 1100 by 700 list with the program's skin fonts; a whole repaint (the list's painting into the
// memory picture, every visible row drawn, one blit) and a hover step from row to row (two
// rows painted straight on the screen). Aim: a whole repaint under 5 ms.
#include <benchmark/benchmark.h>

#include "platform/afx/afxmsg.h"
#include "skin/skinfonts.h"
#include "skin/skinlist.h"
#include "skin/skintheme.h"

namespace {

constexpr int kRows = 100000;

struct Pane {
  CWnd parent;
  CSkinListCtrl list;
  Pane() {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    SetSkinThemeValues();
    InitSkinFonts();
    parent.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{0, 0, 1120, 720}, nullptr, 0);
    list.Create(WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS, RECT{10, 10, 1110, 710}, &parent, 5);
    list.InsertColumn(0, u"Name", LVCFMT_LEFT, 420);
    list.InsertColumn(1, u"Size", LVCFMT_LEFT, 140);
    list.InsertColumn(2, u"Type", LVCFMT_LEFT, 140);
    list.InsertColumn(3, u"Modified", LVCFMT_LEFT, 360);
    for (int i = 0; i < kRows; ++i) {
      list.InsertItem(i, FormatCString(u"DSC_%05d.JPG", i).GetString());
      list.SetItemText(i, 1, FormatCString(u"%d KB", 100 + i % 9000).GetString());
      list.SetItemText(i, 2, u"JPEG picture");
      list.SetItemText(i, 3, u"2024-02-19  10:42:07");
    }
    list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    list.EnsureVisible(kRows / 2, FALSE);
    UpdateAllWindows();
  }
  ~Pane() { parent.DestroyWindow(); }
};

Pane& TheOne() {
  static Pane& p = *new Pane;
  return p;
}

void BM_RepaintHundredThousandRowList(benchmark::State& state) {
  Pane& p = TheOne();
  for (auto _ : state) {
    p.list.Invalidate(FALSE);
    p.list.UpdateWindow();
  }
  state.counters["rows_shown"] = double(p.list.GetCountPerPage());
}
BENCHMARK(BM_RepaintHundredThousandRowList)->Unit(benchmark::kMillisecond);

void BM_HoverStepBetweenRows(benchmark::State& state) {
  Pane& p = TheOne();
  RECT r{};
  p.list.GetItemRect(p.list.GetTopIndex() + 4, &r, LVIR_BOUNDS);
  const int y0 = (r.top + r.bottom) / 2, step = r.bottom - r.top;
  int k = 0;
  for (auto _ : state) {
    p.list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(600, y0 + (k++ & 1) * step));
    p.list.UpdateWindow();
  }
}
BENCHMARK(BM_HoverStepBetweenRows)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
