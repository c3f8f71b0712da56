#include "deepscan/scanstatesave.h"

#include <unistd.h>

#include <algorithm>
#include <new>
#include <vector>

#include "app/settings.h"
#include "app/strutil.h"
#include "base/heap.h"
#include "base/log.h"
#include "core/diskreader.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/pendingwindow.h"
#include "deepscan/progressdlg.h"
#include "deepscan/scansaveoffer.h"
#include "parsefilesystem/exfat/exfatdirhitinfo.h"
#include "parsefilesystem/parsefat/fatdirhitinfo.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "platform/hooks.h"
#include "platform/thread.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"
#include "scansave/scansaveidx.h"
#include "scansave/scanstatefile.h"

// The data file stores these summaries byte for byte.
static_assert(sizeof(FatDirHitInfo) == kFatDirHitInfoBytes);
static_assert(sizeof(ExfatDirHitInfo) == kExfatDirHitInfoBytes);
static_assert(offsetof(ExfatDirHitInfo, entryCount) == kExfatDirHitEntryCountAt);

namespace {

constexpr unsigned kReportLoadScanState = 28;
constexpr unsigned kStatusTag = 2112;

void PostCount(uint32_t kind, uint32_t done, uint32_t total) {
  ScanProgress p = MakeScanProgress(kind);
  p.count.done = done;
  p.count.total = total;
  PostScanProgress(p);
}
void PostSaving(uint32_t done, uint32_t total) { PostCount(kProgressSaveState, done, total); }
void PostLoading(uint32_t done, uint32_t total) { PostCount(kProgressReadState, done, total); }

// Frees the details of hits that were not handed to the hit lists.
void FreeHits(std::vector<SectorHit>& hits, size_t from) {
  for (size_t i = from; i < hits.size(); ++i) FreeSectorInfo(hits[i]);
  hits.clear();
}

struct StoreStop {
  const std::atomic<uint32_t>* state;
  size_t asked = 0;  // hits looked at before the stop
};

int LoadSavedScan(std::atomic<uint32_t>* state) {
  CString path;
  if (!ChooseScanSaveToLoad(ScanTarget(), path)) return 0;
  return LoadDiskScanDataCore(state, path) ? 1 : -1;
}

bool SaveCurrentScanState() { return SaveScanState(); }

}  // namespace

bool WriteCurrentScanState(const CString& path) {
  const VolumeContext target = ScanTarget();
  ScanStateHeader header;
  header.identity = target.diskModel.View();
  if (const uint8_t* map = BlockStateBytes()) header.blockMap.assign(map, map + BlockStateCount());
  header.nextLba = NextSequentialBlock();
  header.regionStart = ScanRange().firstBlock;
  header.regionEnd = ScanRange().lastBlock;

  // A scan stopped part-way leaves files whose end detection waits for later blocks; that state
  // lives in memory only. The saved scan resumes at the block where the earliest of them starts:
  // from there on the blocks count as unread and their hits are left out, so those files are
  // carved again exactly as an uninterrupted scan carves them.
  const uint64_t pending = EarliestPendingStartLba();
  const uint64_t resumeBlock = pending == UINT64_MAX ? UINT64_MAX : pending >> kHitBlockShift;
  for (uint64_t b = resumeBlock; b < header.blockMap.size(); ++b) header.blockMap[size_t(b)] = kBlockUnread;

  // The scan is paused or ended: nothing changes the lists meanwhile, and the guard keeps it so.
  HitListsReadGuard hitsGuard;
  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  if (resumeBlock != UINT64_MAX)
    std::erase_if(hits, [&](const SectorHit& h) { return (h.lba >> kHitBlockShift) >= resumeBlock; });
  std::lock_guard<std::mutex> recordsGuard(IndxFileListLock());
  const std::vector<FileRecord>& records = IndxFileList();
  const ScanStateResult r = WriteScanStateFile(path, header, hits, records, &PostSaving);
  if (r != ScanStateResult::kOk) WriteLog(u"Scan state not written: " + path);
  return r == ScanStateResult::kOk;
}

UINT SaveDiskScanDataThread(LPVOID param) {
  auto* status = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"SaveDiskScanDataThread");
  CString path;
  bool ok = CreateDirRecursive(GetScanSaveFolder()) == 0 && MakeScanSaveFileName(path);
  // The data file comes first: an index entry is only ever written for a whole file.
  ok = ok && WriteCurrentScanState(path);
  if (ok) {
    ScanSaveSource src;
    src.target = ScanTarget();
    src.regionStart = ScanRange().firstBlock;
    src.regionEnd = ScanRange().lastBlock;
    src.blockMap = BlockStateBytes();
    src.blockMapBytes = BlockStateCount();
    src.blockReads = BlockReads.load();
    src.blockReadFailures = BlockReadFailures.load();
    if (!AppendScanSaveEntry(path, src)) {
      WriteLog(u"Scan state removed: its index entry could not be written");
      unlink(path.ToUtf8().c_str());
      ok = false;
    }
  }
  status->store(ok ? kJobDone : kJobStopped);
  OnThreadEnd(u"SaveDiskScanDataThread");
  return 0;
}

bool SaveScanState() {
  auto* status = new (AllocMem(sizeof(std::atomic<uint32_t>), kStatusTag)) std::atomic<uint32_t>(kJobRunning);
  if (!CreateProgressDlg(status, nullptr)) {
    FreeMem(status);
    return false;
  }
  if (AfxBeginThread(&SaveDiskScanDataThread, status) == nullptr) status->store(kJobStopped);
  const bool done = RunProgressDlg();
  // After a stop the worker still writes to the end and stores its status: the word stays.
  if (done) FreeMem(status);
  return done;
}

bool ChooseScanSaveToLoad(const VolumeContext& target, CString& path) {
  if (!target.scanStateFile.IsEmpty()) {
    path = target.scanStateFile;
    return true;
  }
  std::vector<ScanSaveEntry> list;
  if (!LoadScanSaveIndex(list)) return false;
  SortScanSaveEntries(list);
  uint32_t at = 0;
  if (!FindSaveForTarget(list, target, at)) return false;
  if (!ShowMessageBox(GetLangStr(u"UseSaveData"), GetLangStr(u"Yes"), GetLangStr(u"No"))) return false;
  path = EntryText(list[at].dataPath);
  return true;
}

bool LoadDiskScanDataCore(std::atomic<uint32_t>* state, const CString& path) {
  SendEventReport(kReportLoadScanState, u"LoadDiskScanDataCore begin", true);
  const VolumeContext target = ScanTarget();
  const uint64_t deviceBlocks = DeviceBlockCount(target.deviceSectors);
  LoadedScanState loaded;
  const ScanStateResult r = LoadScanStateFile(path, deviceBlocks + 1, state, loaded, &PostLoading);
  bool ok = false;
  if (loaded.hitsComplete) {
    // The map covers the device whatever the file held. Only handled blocks stay handled: a
    // block taken but never handled must be read again, or its data would never be examined.
    AllocBlockStateMap(deviceBlocks);
    uint8_t* map = BlockStateBytes();
    const size_t n = std::min<size_t>(loaded.header.blockMap.size(), size_t(deviceBlocks));
    for (size_t b = 0; b < n && map != nullptr; ++b)
      map[b] = loaded.header.blockMap[b] == kBlockHandled ? kBlockHandled : kBlockUnread;

    // The lists take the hits block by block; a file may hold them in any order, and hits
    // beyond the device have no list.
    std::vector<SectorHit>& hits = loaded.hits;
    const uint64_t lists = BlockHitListCount();
    size_t kept = 0;
    for (SectorHit& h : hits) {
      if ((h.lba >> kHitBlockShift) < lists) hits[kept++] = h;
      else FreeSectorInfo(h);
    }
    hits.resize(kept);
    std::stable_sort(hits.begin(), hits.end(), [](const SectorHit& a, const SectorHit& b) {
      return (a.lba >> kHitBlockShift) < (b.lba >> kHitBlockShift);
    });
    StoreStop stop{state};
    ok = StoreHitsByBlockUntil(hits, [](void* c) {
      auto* s = static_cast<StoreStop*>(c);
      if (s->state != nullptr && s->state->load() == kScanStopped) return true;
      ++s->asked;
      return false;
    }, &stop);
    FreeHits(hits, ok ? hits.size() : stop.asked);

    // The records read (all of them, or those before a stop) replace the list.
    {
      std::lock_guard<std::mutex> g(IndxFileListLock());
      std::vector<FileRecord>& list = IndxFileList();
      for (FileRecord& rec : list) FreeFileRecord(rec);
      list = std::move(loaded.records);
      loaded.records.clear();
    }
    // The result is that of the hits: records that end early cost only their own files.
    if (r != ScanStateResult::kOk) WriteLog(u"Scan state records not read whole: " + path);
  }
  if (ok) WriteLog(u"Scan state loaded: " + path);
  SendEventReport(kReportLoadScanState, u"LoadDiskScanDataCore end", true);
  return ok;
}

void InstallScanStateFiles() {
  SetScanStateSaver(&SaveCurrentScanState);
  SetScanStateLoadHook(&LoadSavedScan);
}
