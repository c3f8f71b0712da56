// The folder tree over a folder of many sub-folders: a volume whose root holds N folders (each
// with a file and every tenth with a sub-folder) is announced to a by-path tree, which makes
// the roots and opens them; the time is that of filling the N folders behind the placeholder.
// Then a refresh of the opened branch (as carved files arrive) and a check-box refresh. Run at
// 10,000 and 100,000 folders: the times must grow with N, not with its square.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "platform/afx/afxwin.h"
#include "results/explorertree.h"

namespace {

char16_t* HeapName(const std::u16string& text) {
  auto* p = static_cast<char16_t*>(AllocMem((text.size() + 1) * sizeof(char16_t), 1));
  std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
  return p;
}

FileRecord Row(uint32_t id, uint32_t parent, bool dir, const std::u16string& name) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  r.id = id;
  r.parent = parent;
  r.flags = uint16_t(kRecInUse | (dir ? kRecDirectory : 0));
  r.size = dir ? 0 : 4096;
  r.name = HeapName(name);
  return r;
}

// Ids: folders from 10, their files after them, then the sub-folders and their files.
void InstallVolume(VolumeList& list, uint32_t folders) {
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = kVolTypeNtfs;
  v.label = u"Bench";
  CreateRootAndLostFolders(v);
  const uint32_t first = 10, files = first + folders, subs = files + folders, subFiles = subs + folders;
  for (uint32_t k = 0; k < folders; ++k) AddFileRecord(v, Row(first + k, kRootId, true, FormatW(u"Folder%06u", k)), 1);
  for (uint32_t k = 0; k < folders; ++k) AddFileRecord(v, Row(files + k, first + k, false, u"photo.jpg"), 1);
  for (uint32_t k = 0; k < folders; k += 10) {
    AddFileRecord(v, Row(subs + k, first + k, true, u"Sub"), 1);
    AddFileRecord(v, Row(subFiles + k, subs + k, false, u"inner.txt"), 1);
  }
  VolumeListWriteGuard guard(list);
  list.slots[kFirstScannedSlot] = v;
  list.slotCount = kFirstScannedSlot + 1;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_OpenFolderOfManyFolders(benchmark::State& state) {
  const auto folders = uint32_t(state.range(0));
  InitWindowLayer();
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"FileLost: Lost files\r\nFiles: Files\r\n");
  InitFileTypeTables();
  for (auto _ : state) {
    auto list = std::make_unique<VolumeList>();
    ResetVolumeList(*list, nullptr, 0);
    InstallVolume(*list, folders);
    CWnd parent;
    parent.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{0, 0, 400, 600}, nullptr, 0);
    CExplorerTreeCtrl tree;
    tree.Create(WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_CHECKBOXES, RECT{0, 0, 380, 580},
                &parent, 1002);
    tree.m_list = list.get();
    tree.InitImageList();
    list->AddListener(tree.m_hWnd);

    auto start = std::chrono::steady_clock::now();
    NotifyVolumeListeners(*list, nullptr, WM_VIEW_RESULTSREADY, kFirstScannedSlot, 0);
    const double fill = Seconds(start);
    start = std::chrono::steady_clock::now();
    NotifyVolumeListeners(*list, nullptr, WM_VIEW_FILESADDED, 0, 0);
    tree.RefreshBranch(kFirstScannedSlot, list.get(), tree.GetNextSiblingItem(tree.GetRootItem()));
    const double refresh = Seconds(start);
    start = std::chrono::steady_clock::now();
    NotifyVolumeListeners(*list, nullptr, WM_VIEW_CHECKCHANGED, kFirstScannedSlot, kRootId);
    const double checks = Seconds(start);

    state.counters["fill_ms"] = fill * 1000;
    state.counters["refresh_ms"] = refresh * 1000;
    state.counters["checks_ms"] = checks * 1000;
    state.counters["fill_ns_per_folder"] = fill * 1e9 / folders;
    state.SetIterationTime(fill + refresh + checks);
    // Two roots and the folders; each tenth holds its placeholder and, after the refresh, its
    // sub-folder beside it.
    if (tree.GetCount() != 2 + folders + 2 * (folders / 10)) state.SkipWithError(("the tree holds " + std::to_string(tree.GetCount()) + " items").c_str());
    parent.DestroyWindow();
    ClearVolumeList(*list);
  }
}

BENCHMARK(BM_OpenFolderOfManyFolders)->Arg(10000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
