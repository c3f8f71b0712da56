#include "core/copyouthooks.h"

#include <mutex>

#include "core/copyout.h"
#include "platform/sync.h"

std::atomic<uint32_t> CopyOutRunning{0};

namespace {

struct ServiceState {
  std::mutex lock;
  CopyOutServices services;
  // The headless dialog: the status word it watches.
  std::atomic<uint32_t>* headlessStatus = nullptr;
  CopyStatisticsValues stats;
  CString lastSaveFolder;
  TempCopyInUseFn inUse = nullptr;
};
ServiceState& State() {
  static ServiceState& s = *new ServiceState();
  return s;
}

CopyOutServices Snapshot() {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  return s.services;
}

}  // namespace

void SetCopyOutServices(const CopyOutServices& services) {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.services = services;
}

const CopyOutServices& GetCopyOutServices() { return State().services; }

bool CopyOutCreateProgressDlg(std::atomic<uint32_t>* status, void* owner) {
  const CopyOutServices sv = Snapshot();
  if (sv.createProgressDlg) return sv.createProgressDlg(status, owner);
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.headlessStatus != nullptr || status == nullptr) return false;
  s.headlessStatus = status;
  return true;
}

bool CopyOutRunProgressDlg() {
  const CopyOutServices sv = Snapshot();
  if (sv.runProgressDlg) return sv.runProgressDlg();
  ServiceState& s = State();
  std::atomic<uint32_t>* status = nullptr;
  {
    std::lock_guard<std::mutex> g(s.lock);
    status = s.headlessStatus;
  }
  if (status == nullptr) return false;
  for (;;) {
    const uint32_t v = status->load();
    if (v == kCopyJobStopped || v == kCopyJobDone) break;
    Sleep(5);
  }
  const bool done = status->load() == kCopyJobDone;
  std::lock_guard<std::mutex> g(s.lock);
  s.headlessStatus = nullptr;
  return done;
}

void CopyOutPostProgress(const CopyProgress& rec) {
  const CopyOutServices sv = Snapshot();
  if (sv.postProgress) sv.postProgress(rec);
}

uint32_t CopyOutScanRunState() {
  const CopyOutServices sv = Snapshot();
  return sv.scanRunState ? sv.scanRunState() : 2;
}

int CopyOutPauseScan() {
  const CopyOutServices sv = Snapshot();
  return sv.pauseScan ? sv.pauseScan() : 0;
}

void CopyOutResumeScan() {
  const CopyOutServices sv = Snapshot();
  if (sv.resumeScan) sv.resumeScan();
}

void CopyOutThreadBegin(const CString& name) {
  const CopyOutServices sv = Snapshot();
  if (sv.threadBegin) sv.threadBegin(name);
}

void CopyOutThreadEnd(const CString& name) {
  const CopyOutServices sv = Snapshot();
  if (sv.threadEnd) sv.threadEnd(name);
}

bool CopyOutSaveParamDlg(void* owner, uint32_t files, uint64_t bytes, RecoverOptions& options) {
  const CopyOutServices sv = Snapshot();
  return sv.saveParamDlg ? sv.saveParamDlg(owner, files, bytes, options) : false;
}

void CopyOutSupportSoftDlg(void* owner, const CString& resultText) {
  const CopyOutServices sv = Snapshot();
  if (sv.supportSoftDlg) sv.supportSoftDlg(owner, resultText);
}

void SetTempCopyInUseHook(TempCopyInUseFn fn) {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.inUse = fn;
}

bool IsTempCopyInUse(const CString& path) {
  TempCopyInUseFn fn = nullptr;
  {
    ServiceState& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    fn = s.inUse;
  }
  return fn ? fn(path) : false;
}

CopyStatisticsValues GetCopyStatistics() {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  return s.stats;
}

void ResetCopyStatistics() {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.stats = CopyStatisticsValues();
}

void UpdateCopyStatistics(uint32_t files, uint64_t bytes, uint32_t failed, uint32_t result) {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.stats.totalBytes += bytes;
  s.stats.totalFiles += files;
  s.stats.lastBytes = bytes;
  s.stats.lastFiles = files;
  s.stats.lastFailed = failed;
  s.stats.lastResult = result;
}

CString GetLastSaveFolder() {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  return s.lastSaveFolder;
}

void SetLastSaveFolder(const CString& folder) {
  ServiceState& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.lastSaveFolder = folder;
}
