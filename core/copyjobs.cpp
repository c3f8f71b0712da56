// The three copy-out drivers and their worker threads, the save folder, the temporary copies
// and the result report.
#include <mutex>
#include <vector>

#include "app/edition.h"
#include "app/settings.h"
#include "base/pathutil.h"
#include "base/sizetext.h"
#include "base/textutil.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "core/copyrun.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/thread.h"

namespace {

constexpr unsigned kTagOpenJob = 202;
constexpr unsigned kTagOneItemJob = 166;
constexpr unsigned kTagCheckedJob = 148;
constexpr size_t kTempCopiesKept = 10;
constexpr uint64_t kTempBytesKept = 0x20000000;  // 512 MiB

struct TempCopyEntry {
  CString path;
  uint64_t size = 0;
};
std::vector<TempCopyEntry>& TempCopyList() {
  static auto& list = *new std::vector<TempCopyEntry>();
  return list;
}
std::mutex& TempCopyLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}

// The job's item: how many files and bytes it holds.
void SumItem(VolumeList& list, uint32_t slot, uint32_t id, uint32_t& files, uint64_t& bytes) {
  int32_t count = 0;
  bytes = 0;
  if (IsViewId(slot)) SumViewItemFiles(list, slot, id, count, bytes);
  else SumVolumeItemFiles(list, slot, id, count, bytes);
  files = count > 0 ? uint32_t(count) : 0;
}

bool ItemExists(VolumeList& list, uint32_t slot, uint32_t id) {
  VolumeListReadGuard guard(list);
  return GetItemRecord(list, slot, id) != nullptr;
}

// The devices a job on these slots reads (a view item may show records of every slot), with the
// scan target.
std::vector<VolumeContext> SourceDevices(VolumeList& list, const std::vector<uint32_t>& slots) {
  std::vector<VolumeContext> out{CopyScanTarget()};
  std::vector<uint32_t> all;
  const std::vector<uint32_t>* use = &slots;
  for (uint32_t s : slots) {
    if (!IsViewId(s)) continue;
    VolumeListReadGuard guard(list);
    for (uint32_t k = kFindFileSlot; k < list.slotCount; ++k) all.push_back(k);
    use = &all;
    break;
  }
  for (uint32_t s : *use) {
    VolumeContext dev;
    if (SlotDeviceContext(list, s, dev)) out.push_back(dev);
  }
  return out;
}

// The chosen folder must fit the job record and must not lie on any device the job reads.
bool AcceptTargetFolder(VolumeList& list, const std::vector<uint32_t>& slots, const CString& folder) {
  if (folder.IsEmpty() || folder.GetLength() >= kRecoverFolderUnits) return false;
  if (TargetLiesOnSources(folder, SourceDevices(list, slots))) {
    ShowMessageBox(GetLangStr(u"RecoverDirOnSource"));
    return false;
  }
  return true;
}

RecoverJob* MakeJob(unsigned tag, VolumeList& list, const CString& folder, uint32_t slot, uint32_t id,
                    uint32_t existsChoice, uint32_t errorChoice) {
  RecoverJob* job = NewRecoverJob(tag);
  CopyToWBuf(job->folder, kRecoverFolderUnits, folder);
  job->slot = slot;
  job->id = id;
  job->existsChoice = existsChoice;
  job->errorChoice = errorChoice > kErrorWriteZeros ? kErrorKeepPart : errorChoice;
  job->list = &list;
  return job;
}

// The bytes the checked items of these slots hold.
uint64_t CheckedJobBytes(VolumeList& list, const std::vector<uint32_t>& slots) {
  CheckedTotals totals;
  std::vector<uint32_t> items;
  for (uint32_t s : slots) {
    ListRootItemsToRecover(list, s, items);
    for (uint32_t id : items) SumCheckedFiles(list, s, id, totals);
  }
  return totals.bytes;
}

// A job larger than the free space under the target folder cannot end whole: it is refused
// before anything is written. When nothing answers for the folder's space, the copy's own
// handling of a full target stands.
bool FitsTargetFolder(const CString& folder, uint64_t bytes) {
  const uint64_t free = GetDriveFreeBytes(folder);
  if (free == 0 || bytes <= free) return true;
  ShowMessageBox(FormatCString(GetLangStr(u"RecoverNoSpace").View(), FormatByteSize(bytes), FormatByteSize(free)));
  return false;
}

enum RunOutcome { kNotStarted, kStopped, kDone };

// Runs the worker under the progress dialog. The worker holds a reference of its own, so the
// record outlives a stop for as long as the worker still uses it.
RunOutcome RunJob(RecoverJob* job, AFX_THREADPROC proc, void* owner) {
  if (!CopyOutCreateProgressDlg(&job->status, owner)) return kNotStarted;
  AddJobRef(job);
  if (!AfxBeginThread(proc, job)) {
    ReleaseJob(job);
    job->status.store(kCopyJobStopped);
    CopyOutRunProgressDlg();
    return kNotStarted;
  }
  return CopyOutRunProgressDlg() ? kDone : kStopped;
}

// The device a job's failure concerns: the one it read last, else the scan target.
CString DeviceNameOf(const RecoverJob& job) { return job.deviceName.IsEmpty() ? CopyScanTarget().name : job.deviceName; }

// What went wrong in a job that ran to its end, one line each; empty when nothing did.
CString JobProblems(const RecoverJob& job) {
  CString text;
  auto add = [&text](const CString& line) {
    if (line.IsEmpty()) return;
    if (!text.IsEmpty()) text += u"\n";
    text += line;
  };
  if (job.result == kJobResultDeviceLost) add(FormatCString(GetLangStr(u"RecoverDeviceLost").View(), DeviceNameOf(job)));
  if (job.result == kJobResultDiskFull) add(GetLangStr(u"RecoverDiskFull"));
  if (job.filesFailed != 0) add(FormatCString(GetLangStr(u"RecoverFailedFiles").View(), job.filesFailed));
  if (job.zeroSectors != 0) add(FormatCString(GetLangStr(u"RecoverZeroSectors").View(), job.zeroSectors));
  return text;
}

// A job that could not start copying at all: said plainly, never reported as complete.
bool ReportJobNotRun(const RecoverJob& job) {
  if (job.result == kJobResultOpenFailed) {
    ShowMessageBox(FormatCString(GetLangStr(u"RecoverDevOpenFailed").View(), DeviceNameOf(job)));
    return true;
  }
  if (job.result == kJobResultFolderFailed) {
    ShowMessageBox(FormatCString(GetLangStr(u"RecoverDirFailed").View(), CString(job.folder)));
    return true;
  }
  return false;
}

// Every worker ends the same way: the final counts posted, then done unless the dialog
// stopped it first.
void FinishWorker(RecoverJob& job, CopyProgress& progress, const CString& name) {
  CopyOutPostProgress(progress);
  CopyOutRunning.store(0);
  uint32_t running = kCopyJobRunning;
  job.status.compare_exchange_strong(running, kCopyJobDone);
  CopyOutThreadEnd(name);
  ReleaseJob(&job);
}

void ReportManyFiles(const RecoverJob& job) {
  if (job.filesDone >= 2)
    SendEventReport(45, FormatCString(u"Vor save file: %u / %u", job.filesDone, job.filesTotal), true);
}

// The start of a worker for one item (a file or a folder with its subtree): counted as a
// worker, totals summed and posted.
CopyProgress BeginOneItemWorker(RecoverJob& job, const char16_t* name) {
  CopyOutThreadBegin(name);
  CopyOutRunning.store(1);
  CopyProgress progress = MakeCopyProgress();
  SumItem(*job.list, job.slot, job.id, job.filesTotal, progress.bytesTotal);
  progress.filesTotal = job.filesTotal;
  CopyOutPostProgress(progress);
  return progress;
}

}  // namespace

void AddTempCopy(const CString& path, uint64_t size) {
  std::lock_guard<std::mutex> g(TempCopyLock());
  TempCopyList().push_back({path, size});
}

size_t TempCopyCount() {
  std::lock_guard<std::mutex> g(TempCopyLock());
  return TempCopyList().size();
}

void ClearTempCopies() {
  std::lock_guard<std::mutex> g(TempCopyLock());
  TempCopyList().clear();
}

int PurgeTempCopies() {
  bool refuse = false;
  {
    std::lock_guard<std::mutex> g(TempCopyLock());
    std::vector<TempCopyEntry> kept;
    uint64_t bytes = 0;
    for (const TempCopyEntry& e : TempCopyList()) {
      if (!FileExists(e.path)) continue;
      if (!IsTempCopyInUse(e.path) && DeleteFileW(e.path)) continue;
      kept.push_back(e);
      bytes += e.size;
    }
    TempCopyList().swap(kept);
    refuse = TempCopyList().size() > kTempCopiesKept || bytes > kTempBytesKept;
  }
  if (refuse) ShowMessageBox(GetLangStr(u"CloseTempFileToOpenNew"));
  return refuse ? 0 : 1;
}

int CheckScanFinished(const CString& action) {
  const uint32_t state = CopyOutScanRunState();
  if ((state == 0 || state == 1) && GetSoftCfg(u"MustScanEnd") == u"1") {
    ShowMessageBox(FormatCString(GetLangStr(u"MustScanEndToHand").View(), action));
    return 0;
  }
  return 1;
}

int CheckScanFinishedForAll(const CString& action) { return CheckScanFinished(action); }

bool PrepareSaveFolder(const RecoverJob& job, CString& folder) {
  CString f(job.folder);
  while (f.GetLength() > 1 && (f[f.GetLength() - 1] == u'/' || f[f.GetLength() - 1] == u'\\'))
    f.Truncate(f.GetLength() - 1);
  if (!MakeTargetFolder(f)) return false;
  const CString saveDir = GetSoftCfg(u"SaveDir");
  const int sep = std::max(f.ReverseFind(u'/'), f.ReverseFind(u'\\'));
  const bool already = sep > 0 && sep < f.GetLength() - 1 && f.Mid(sep + 1) == saveDir;
  if (!saveDir.IsEmpty() && !already) {
    f = JoinPath(f, saveDir);
    if (!MakeTargetFolder(f)) return false;
  }
  SetLastSaveFolder(f);
  folder = f;
  return true;
}

CString& FormatCopyProgress(CString& out, const CopyProgress& p) {
  out.Format(u"%s copy data: %s / %s     ", GetEditionTag(), FormatByteSize(p.bytesDone), FormatByteSize(p.bytesTotal));
  out.AppendFormat(u"File num: %u / %u", p.filesDone, p.filesTotal);
  return out;
}

void ReportRecoverResult(const RecoverJob& job, void* owner) {
  if (ReportJobNotRun(job)) return;
  const uint32_t failures = OtherReadFailures.load();
  if (failures != 0) {
    CString text = FormatCString(GetLangStr(u"RecoverEncountErr").View(), failures);
    if (CopyScanTarget().removable) text += u"\n" + GetLangStr(u"MaybeUsbPoorContact");
    ShowMessageBox(text);
    SendEventReport(24, FormatCString(u"Disk scan error: %u / %u", failures, OtherReads.load()), true);
  }
  const CString problems = JobProblems(job);
  if (!problems.IsEmpty()) ShowMessageBox(problems);
  const CopyStatisticsValues stats = GetCopyStatistics();
  CopyOutSupportSoftDlg(owner, FormatCString(GetLangStr(u"RecoverTotalInfo").View(), stats.lastFiles,
                                             FormatByteSize(stats.lastBytes)));
}

UINT QuickOpenFileThread(LPVOID param) {
  RecoverJob& job = *static_cast<RecoverJob*>(param);
  CopyProgress progress = BeginOneItemWorker(job, u"QuickOpenFileThread");
  SendEventReport(28, u"Quick open file", true);
  CopyItemToTemp(job, progress);
  job.bytesCopied = progress.bytesDone;
  UpdateCopyStatistics(job.filesCopied, job.bytesCopied, job.filesFailed, job.result);
  CString text;
  SendEventReport(28, FormatCopyProgress(text, progress), true);
  FinishWorker(job, progress, u"QuickOpenFileThread");
  return 0;
}

UINT SaveCurrFileThread(LPVOID param) {
  RecoverJob& job = *static_cast<RecoverJob*>(param);
  CopyProgress progress = BeginOneItemWorker(job, u"SaveCurrFileThread");
  CString folder;
  if (!PrepareSaveFolder(job, folder)) job.result = kJobResultFolderFailed;
  else OpenRecoverSource(job, progress, folder);
  ReportManyFiles(job);
  job.bytesCopied = progress.bytesDone;
  UpdateCopyStatistics(job.filesCopied, job.bytesCopied, job.filesFailed, job.result);
  FinishWorker(job, progress, u"SaveCurrFileThread");
  return 0;
}

UINT SaveAllToDirThread(LPVOID param) {
  RecoverJob& job = *static_cast<RecoverJob*>(param);
  VolumeList& list = *job.list;
  CopyOutThreadBegin(u"SaveAllToDirThread");
  CopyOutRunning.store(1);
  CopyProgress progress = MakeCopyProgress();
  std::vector<uint32_t> slots, items;
  ListCheckedVolumeSlots(list, slots);
  CheckedTotals totals;
  for (uint32_t s : slots) {
    ListRootItemsToRecover(list, s, items);
    for (uint32_t id : items) SumCheckedFiles(list, s, id, totals);
  }
  job.filesTotal = totals.files;
  progress.filesTotal = totals.files;
  progress.bytesTotal = totals.bytes;
  CopyOutPostProgress(progress);

  // Every slot is read from its own device (the reader follows the slots); a device that
  // cannot be opened fails its files and the job does not pass for a complete one.
  DiskReader reader;
  CString base;
  if (!PrepareSaveFolder(job, base)) {
    job.result = kJobResultFolderFailed;
  } else {
    CopyRun run{job, list, reader, progress};
    for (uint32_t s : slots) {
      if (CopyRunEnded(run)) break;
      if (!ItemExists(list, s, kRootId)) continue;
      CString label;
      GetVolumeSlotLabel(list, s, label);
      ColonToBlank(label);
      RepairNameComponent(label);
      CString slotFolder = JoinPath(base, label);
      ListRootItemsToRecover(list, s, items);
      const bool made = MakeTargetFolder(slotFolder);
      for (uint32_t id : items) {
        if (CopyRunEnded(run)) break;
        if (made) CopyItemTree(run, s, id, slotFolder, 1);
        else CountUnreachableItem(run, s, id, 1);
      }
    }
  }
  reader.Close();
  ReportManyFiles(job);
  job.bytesCopied = progress.bytesDone;
  UpdateCopyStatistics(job.filesCopied, job.bytesCopied, job.filesFailed, job.result);
  FinishWorker(job, progress, u"SaveAllToDirThread");
  return 0;
}

int OpenItemViaTempCopy(VolumeList& list, uint32_t slot, uint32_t id, void* owner) {
  if (!CheckScanFinished(GetLangStr(u"Open")) || !ItemExists(list, slot, id)) return 0;
  CString folder = JoinPath(GetExeDir(), u"DataRecoveryTemp");
  // Checked before anything is made there.
  if (!AcceptTargetFolder(list, {slot}, folder)) return 0;
  if (!MakeTargetFolder(folder) || !PurgeTempCopies()) return 0;
  RecoverJob* job = MakeJob(kTagOpenJob, list, folder, slot, id, kExistsOverwrite, kErrorEmptyFile);
  const int paused = CopyOutPauseScan();
  const RunOutcome outcome = RunJob(job, QuickOpenFileThread, owner);
  int opened = 0;
  if (outcome == kDone && !ReportJobNotRun(*job)) {
    if (job->filesCopied == 1 && !job->writtenPath.IsEmpty()) {
      opened = ShellOpen(job->writtenPath) ? 1 : 0;
    } else {
      const CString problems = JobProblems(*job);
      if (!problems.IsEmpty()) ShowMessageBox(problems);
    }
  }
  if (paused) CopyOutResumeScan();
  ReleaseJob(job);
  return opened;
}

int RecoverOneItem(VolumeList& list, uint32_t slot, uint32_t id, void* owner) {
  if (!CheckScanFinished(GetLangStr(u"Recover")) || !ItemExists(list, slot, id)) return 0;
  uint32_t files = 0;
  uint64_t bytes = 0;
  SumItem(list, slot, id, files, bytes);
  RecoverOptions options;
  if (!CopyOutSaveParamDlg(owner, files, bytes, options) || !AcceptTargetFolder(list, {slot}, options.folder) ||
      !FitsTargetFolder(options.folder, bytes))
    return 0;
  SendEventReport(28, u"Quick save file", true);
  OtherReads.store(0);
  OtherReadFailures.store(0);
  const int paused = CopyOutPauseScan();
  RecoverJob* job =
      MakeJob(kTagOneItemJob, list, options.folder, slot, id, options.existsChoice, options.errorChoice);
  const RunOutcome outcome = RunJob(job, SaveCurrFileThread, owner);
  if (paused) CopyOutResumeScan();
  int done = 0;
  if (outcome == kDone) {
    ReportRecoverResult(*job, owner);
    done = job->result == kJobResultOk ? 1 : 0;
  } else if (outcome == kStopped) {
    ShowMessageBox(GetLangStr(u"RecoverTerminat"));
  }
  ReleaseJob(job);
  return done;
}

int RecoverCheckedItems(VolumeList& list, uint32_t files, uint64_t bytes) {
  if (!CheckScanFinishedForAll(GetLangStr(u"Recover"))) return 0;
  CheckAllItems(list, kModeByPath);
  std::vector<uint32_t> slots;
  if (!ListCheckedVolumeSlots(list, slots)) {
    ShowMessageBox(GetLangStr(u"SelRecoverFile"));
    return 0;
  }
  RecoverOptions options;
  if (!CopyOutSaveParamDlg(nullptr, files, bytes, options) || !AcceptTargetFolder(list, slots, options.folder) ||
      !FitsTargetFolder(options.folder, CheckedJobBytes(list, slots)))
    return 0;
  SendEventReport(2, u"", true);
  OtherReads.store(0);
  OtherReadFailures.store(0);
  const int paused = CopyOutPauseScan();
  ResetCopyStatistics();
  RecoverJob* job = MakeJob(kTagCheckedJob, list, options.folder, 0, 0, options.existsChoice, options.errorChoice);
  const RunOutcome outcome = RunJob(job, SaveAllToDirThread, nullptr);
  if (paused) CopyOutResumeScan();
  if (outcome == kDone) ReportRecoverResult(*job, nullptr);
  else if (outcome == kStopped) ShowMessageBox(GetLangStr(u"RecoverTerminat"));
  ReleaseJob(job);
  return 1;
}

int OpenItemViaTempCopy(uint32_t slot, uint32_t id, void* owner) {
  return OpenItemViaTempCopy(AppVolumeList(), slot, id, owner);
}
int RecoverOneItem(uint32_t slot, uint32_t id, void* owner) { return RecoverOneItem(AppVolumeList(), slot, id, owner); }
int RecoverCheckedItems(uint32_t files, uint64_t bytes) { return RecoverCheckedItems(AppVolumeList(), files, bytes); }
