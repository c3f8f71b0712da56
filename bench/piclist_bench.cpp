// The thumbnail view over a folder of 1,000 JPEG photos carved from a scratch image, with the
// real preview worker thread: the time from showing the folder until every tile of the first
// screenful (1280 x 800) is drawn with its thumbnail, the thumbnails per second while the view
// is paged through to the end (each page waits for its tiles), and the memory the preview cache
// holds afterwards. KESTREL_PICLIST_BENCH_PHOTOS sets the number of photos (default 1000).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/codec/imagecodec.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/preview/previewworker.h"
#include "core/recordtable.h"
#include "results/piclist.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSlot = 4;
constexpr int kWidth = 1280, kHeight = 800;

uint32_t PhotoCount() {
  const char* v = getenv("KESTREL_PICLIST_BENCH_PHOTOS");
  const long n = v ? strtol(v, nullptr, 10) : 0;
  return n > 0 ? uint32_t(n) : 1000;
}

// A few distinct photos, 1.9 to 3 megapixels, with gradients and grain so they decode like
// camera pictures.
std::vector<std::vector<uint8_t>> MakePhotos() {
  const uint32_t sizes[][2] = {{1600, 1200}, {2048, 1536}, {1920, 1080}, {1800, 1350}};
  std::vector<std::vector<uint8_t>> out;
  uint32_t seed = 777;
  for (const auto& s : sizes) {
    ImageCodec img;
    if (img.Create(s[0], s[1], 24) != ImageStatus::kOk) continue;
    for (uint32_t y = 0; y < s[1]; ++y) {
      uint8_t* p = img.GetRow(y);
      for (uint32_t x = 0; x < s[0]; ++x, p += 3) {
        seed = seed * 1103515245u + 12345u;
        const int grain = int((seed >> 16) & 15) - 8;
        p[0] = uint8_t(std::clamp(int(x * 255 / s[0]) + grain, 0, 255));
        p[1] = uint8_t(std::clamp(int(y * 255 / s[1]) + grain, 0, 255));
        p[2] = uint8_t(std::clamp(int((x + y) * 127 / (s[0] + s[1]) + 64) + grain, 0, 255));
      }
    }
    std::vector<uint8_t> jpeg;
    if (img.EncodeJpeg(jpeg, 85)) out.push_back(std::move(jpeg));
  }
  return out;
}

struct Figures {
  double firstScreenMs = 0;
  double perSecond = 0;
  uint64_t cacheBytes = 0;
  size_t cacheEntries = 0;
  uint32_t photos = 0;
  uint64_t imageBytes = 0;
} g_figures;

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

// Every tile of the screenful shows its thumbnail: its record is ready and nothing waits to be
// painted.
bool ScreenDone(CPicListCtrl& view, VolumeList& list) {
  RECT client{};
  view.GetClientRect(&client);
  VolumeListReadGuard guard(list);
  for (int i = 0; i < view.GetItemCount(); ++i) {
    RECT b{};
    if (!view.GetItemRect(i, &b, LVIR_BOUNDS) || b.bottom <= 0 || b.top >= client.bottom) continue;
    const FileRecord* r = GetItemRecord(list, kSlot, view.m_ids[size_t(i)]);
    if (!r || (r->flags & kRecPreviewReady) != kRecPreviewReady || r->previewHandle == 0) return false;
  }
  RECT pending{};
  return !GetUpdateRect(view.m_hWnd, &pending, FALSE);
}

bool WaitScreen(CPicListCtrl& view, VolumeList& list) {
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  while (Clock::now() < deadline) {
    Pump();
    UpdateAllWindows();
    if (ScreenDone(view, list)) return true;
    usleep(200);
  }
  return false;
}

void BM_ThumbnailView(benchmark::State& state) {
  for (auto _ : state) {
    const uint32_t count = PhotoCount();
    const std::vector<std::vector<uint8_t>> photos = MakePhotos();
    // The photos one after another on a scratch image, each at its own sector.
    const std::string path = (fs::temp_directory_path() / ("kestrel_piclist_bench_" + std::to_string(getpid()))).string();
    std::vector<uint64_t> lbas, sizes;
    {
      std::ofstream out(path, std::ios::binary);
      uint64_t at = 0;
      for (uint32_t i = 0; i < count; ++i) {
        const std::vector<uint8_t>& p = photos[i % photos.size()];
        lbas.push_back(at / 512);
        sizes.push_back(p.size());
        out.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
        const uint64_t padded = (p.size() + 511) / 512 * 512;
        out.write(std::string(size_t(padded - p.size()), '\0').data(), std::streamsize(padded - p.size()));
        at += padded;
      }
      g_figures.imageBytes = at;
    }
    ScanTarget().devicePath = CString(std::u16string(path.begin(), path.end()).c_str());
    ScanTarget().sectorCount = g_figures.imageBytes / 512;

    auto owned = std::make_unique<VolumeList>();
    VolumeList& list = *owned;
    VolumeContext& v = list.slots[kSlot];
    ResetVolumeContext(v);
    v.type = kVolTypeFindFile;
    CreateRootAndLostFolders(v);
    for (uint32_t i = 0; i < count; ++i) {
      FileRecord r;
      std::memset(static_cast<void*>(&r), 0, sizeof r);
      r.id = 100 + i;
      r.parent = kRootId;
      r.flags = kRecInUse;
      r.lba = lbas[i];
      r.size = sizes[i];
      r.typeId = 46;
      char16_t name[32];
      const CString n = FormatCString(u"IMG_%04u.jpg", i);
      std::copy(n.GetString(), n.GetString() + n.GetLength() + 1, name);
      SetRecordName(r, name);
      AddFileRecord(v, r, 1);
    }
    list.slotCount = kSlot + 1;
    list.mode = kModeByPath;
    PreviewService service(list);
    service.Start();

    CWnd pane;
    pane.CreateEx(0, nullptr, u"Pane", WS_POPUP | WS_VISIBLE, RECT{0, 0, kWidth, kHeight}, nullptr, 0);
    CPicListCtrl view;
    view.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_ICON | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP |
                    LVS_NOCOLUMNHEADER,
                RECT{0, 0, kWidth, kHeight}, &pane, 1004);
    view.Init(&list, kModeByPath, &service);
    view.SendMessage(WM_SIZE, 0, MAKELPARAM(kWidth - 2, kHeight - 2));

    const auto t0 = Clock::now();
    view.SendMessage(WM_VIEW_RESULTSREADY, kSlot, 0);
    if (!WaitScreen(view, list)) state.SkipWithError("the first screenful never finished");
    const auto t1 = Clock::now();
    g_figures.firstScreenMs = std::chrono::duration<double, std::milli>(t1 - t0).count();

    // Page down to the end, each page waiting for its thumbnails.
    RECT client{};
    view.GetClientRect(&client);
    for (int guard = 0; guard < 10000; ++guard) {
      const int before = view.m_firstVisible;
      view.Scroll(CSize(0, client.bottom));
      if (!WaitScreen(view, list)) {
        state.SkipWithError("a page never finished");
        break;
      }
      if (view.m_firstVisible == before) break;
    }
    const auto t2 = Clock::now();
    size_t ready = 0;
    std::set<uint64_t> buffers;
    {
      VolumeListReadGuard g(list);
      for (uint32_t i = 0; i < count; ++i) {
        const FileRecord* r = GetItemRecord(list, kSlot, 100 + i);
        if (r && (r->flags & kRecPreviewReady) == kRecPreviewReady) ++ready;
        if (r && r->previewHandle) buffers.insert(r->previewHandle);
      }
    }
    g_figures.cacheBytes = 0;
    for (uint64_t h : buffers) g_figures.cacheBytes += GetMemSize(reinterpret_cast<const void*>(uintptr_t(h)));
    g_figures.cacheEntries = service.CacheCount();
    g_figures.photos = uint32_t(ready);
    g_figures.perSecond = double(ready) / std::chrono::duration<double>(t2 - t0).count();
    state.counters["thumbnails_per_s"] = g_figures.perSecond;
    state.counters["first_screen_ms"] = g_figures.firstScreenMs;

    view.DestroyWindow();
    pane.DestroyWindow();
    service.Stop();
    service.ClearPreviewCache();
    ClearVolumeList(list);
    ResetVolumeContext(ScanTarget());
    fs::remove(path);
  }
}

BENCHMARK(BM_ThumbnailView)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  InitWindowLayer();
  SetScreenSize(1920, 1080);
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"Files: Files\r\n");
  InitFileTypeTables();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("photos %u (%.0f MiB on the image): first screenful drawn in %.0f ms; %.1f thumbnails per second "
              "paging to the end; cache %zu entries holding %.2f MiB (%.1f KiB each)\n",
              g_figures.photos, g_figures.imageBytes / 1048576.0, g_figures.firstScreenMs, g_figures.perSecond,
              g_figures.cacheEntries, g_figures.cacheBytes / 1048576.0,
              g_figures.photos ? g_figures.cacheBytes / 1024.0 / g_figures.photos : 0.0);
  return 0;
}
