// The result view over a volume of 1,000,000 files (ten folders of 100,000), headless on the
// real clock, in the main window as the program builds it: from the results-ready messages to
// the first painted view (aim under 500 ms), opening another folder of 100,000 children (aim
// under 50 ms), and checking the root, which sets every record and recounts the selection
// (aim under 100 ms).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "app/settings.h"
#include "app/softcfg.h"
#include "base/heap.h"
#include "core/checkstate.h"
#include "core/filetree.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "dialogs/mainwnd.h"
#include "platform/fileio.h"
#include "platform/wnd/wnd.h"
#include "program/kestrelapp.h"
#include "results/resultview.h"
#include "skin/skinfonts.h"
#include "skin/skintheme.h"
#include "skin/splash.h"

namespace {

constexpr uint32_t kFolders = 10;
constexpr uint32_t kFilesPerFolder = 100000;
constexpr uint32_t kFirstFolderId = 10;
constexpr uint32_t kFirstFileId = 100;

char16_t* HeapName(const std::u16string& text) {
  auto* p = static_cast<char16_t*>(AllocMem((text.size() + 1) * sizeof(char16_t), 1));
  std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
  return p;
}

FileRecord Record(uint32_t id, uint32_t parent, const std::u16string& name, uint16_t flags, uint64_t size,
                  uint32_t time) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  r.id = id;
  r.parent = parent;
  r.flags = flags;
  r.size = size;
  r.ctime = time;
  r.mtime = time;
  r.typeId = 234;
  r.name = HeapName(name);
  return r;
}

VolumeContext MillionFiles() {
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = kVolTypeNtfs;
  v.label = u"Bench";
  CreateRootAndLostFolders(v);
  const char16_t* exts[] = {u".jpg", u".docx", u".txt", u".mp4", u".zip"};
  uint32_t id = kFirstFileId;
  for (uint32_t f = 0; f < kFolders; ++f) {
    AddFileRecord(v, Record(kFirstFolderId + f, kRootId, u"folder" + std::u16string(1, u'0' + f),
                            kRecInUse | kRecDirectory, 0, 0), 1);
    for (uint32_t i = 0; i < kFilesPerFolder; ++i, ++id) {
      const std::string n = std::to_string(i);
      std::u16string name(n.begin(), n.end());
      name = u"file" + name + exts[i % 5];
      const uint32_t time = (uint32_t(40 + i % 20) << 25) | (uint32_t(1 + i % 12) << 21) | (uint32_t(1 + i % 28) << 16);
      AddFileRecord(v, Record(id, kFirstFolderId + f, name, kRecInUse, 1000 + i, time), 1);
    }
  }
  return v;
}

struct Bench {
  CKestrelDlg* dlg = nullptr;
  CDorivDlg* view = nullptr;
};

Bench& Ready() {
  static Bench b;
  if (b.dlg) return b;
  SetProgramDirOverride(CString(KESTREL_BENCH_BIN_DIR));
  InstallProgramServices();
  CString err;
  InitSoftCfg(err);
  InitSkinFonts();
  SetSkinThemeValues();
  SplashEnabled = 0;
  ClassifyAllowed = 1;
  b.dlg = new CKestrelDlg;
  theApp.m_pMainWnd = b.dlg;
  b.dlg->Create(IDD_MAIN_WINDOW);
  b.view = dynamic_cast<CDorivDlg*>(&b.dlg->m_resultView);
  VolumeList& list = AppVolumeList();
  list.mainWindow = b.dlg->m_hWnd;
  ResetVolumeList(list, nullptr, 0);
  VolumeContext v = MillionFiles();
  AddScannedVolume(list, nullptr, v, 0);
  UpdateAllWindows();
  return b;
}

void Paint(Bench& b) {
  UpdateAllWindows();
  benchmark::DoNotOptimize(GetWindowPixel(b.dlg->m_hWnd, 600, 300));
}

void BM_ResultsReadyToFirstPaintedView(benchmark::State& state) {
  Bench& b = Ready();
  if (!b.view) return state.SkipWithError("no result view");
  for (auto _ : state) {
    state.PauseTiming();
    b.view->SetLayoutState(1);
    b.view->SetClassifyMode(kModeByPath);
    b.view->ShowResultView(1);
    Paint(b);
    state.ResumeTiming();
    NotifyVolumeListeners(AppVolumeList(), nullptr, WM_VIEW_RESULTSREADY, kFirstScannedSlot, 0);
    b.dlg->SendMessage(WM_RESULTS_READY, 0, 0);
    Paint(b);
  }
}
BENCHMARK(BM_ResultsReadyToFirstPaintedView)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenFolderOf100000Children(benchmark::State& state) {
  Bench& b = Ready();
  if (!b.view) return state.SkipWithError("no result view");
  uint32_t f = 0;
  for (auto _ : state) {
    RequestOpenFolder(AppVolumeList(), nullptr, kFirstScannedSlot, kFirstFolderId + (f++ % kFolders));
    Paint(b);
  }
  state.counters["rows"] = double(b.view->Pane(kModeByPath)->m_details.m_ids.size());
}
BENCHMARK(BM_OpenFolderOf100000Children)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_CheckTheRoot(benchmark::State& state) {
  Bench& b = Ready();
  if (!b.view) return state.SkipWithError("no result view");
  for (auto _ : state) {
    ToggleItemCheck(AppVolumeList(), nullptr, kFirstScannedSlot, kRootId);
    Paint(b);
  }
  state.counters["checked"] = double(b.view->m_selCount);
}
BENCHMARK(BM_CheckTheRoot)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
