// Raster throughput: halving a full-HD picture with area averaging, copying it, and drawing
// many short strings. A 1024x768 window repaints from its finished background with one
// BitBlt, so BM_BitBlt/1024 is that repaint's cost.
#include <benchmark/benchmark.h>

#include "platform/paint/afxgdi.h"

namespace {

struct Dib {
  CDC dc;
  CBitmap bmp;
  CBitmap* old = nullptr;
  Dib(int w, int h) {
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{40, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bmp.Attach(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc.CreateCompatibleDC(nullptr);
    old = dc.SelectObject(&bmp);
    auto* p = static_cast<uint8_t*>(bits);
    const size_t n = size_t((w * 3 + 3) & ~3) * size_t(h);
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(i * 31 + (i >> 9));
  }
  ~Dib() { dc.SelectObject(old); }
};

void BM_StretchHalftoneHalf(benchmark::State& state) {
  Dib src(1920, 1080), dst(960, 540);
  dst.dc.SetStretchBltMode(HALFTONE);
  for (auto _ : state) {
    dst.dc.StretchBlt(0, 0, 960, 540, &src.dc, 0, 0, 1920, 1080, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StretchHalftoneHalf)->Unit(benchmark::kMillisecond);

void BM_BitBlt(benchmark::State& state) {
  const int w = int(state.range(0)), h = w == 1920 ? 1080 : 768;
  Dib src(w, h), dst(w, h);
  for (auto _ : state) {
    dst.dc.BitBlt(0, 0, w, h, &src.dc, 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BitBlt)->Arg(1920)->Arg(1024)->Unit(benchmark::kMicrosecond);

void BM_TenThousandShortStrings(benchmark::State& state) {
  Dib dst(1024, 768);
  CFont font;
  font.CreateFont(15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 3, 2, 2, 0, u"MS Shell Dlg");
  CFont* old = dst.dc.SelectObject(&font);
  dst.dc.SetBkMode(TRANSPARENT);
  const CString texts[4] = {CString(u"Disk 0"), CString(u"Recovery.docx"), CString(u"12.5 GB"), CString(u"C:\\Users")};
  for (auto _ : state) {
    for (int i = 0; i < 10000; ++i) {
      RECT r{(i * 37) % 900, (i * 17) % 740, (i * 37) % 900 + 120, (i * 17) % 740 + 20};
      dst.dc.DrawText(texts[i % 4], &r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    }
    benchmark::ClobberMemory();
  }
  dst.dc.SelectObject(old);
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_TenThousandShortStrings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
