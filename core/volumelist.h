// The VolumeList: the one model of results the user browses. 1024 slots of VolumeContexts
// (0 the file-type tree, 1 and 2 the creation- and modification-date trees, 3 the carved-file
// volume "FindFile", scanned volumes from 4), three classified views of ViewNodes over the same
// records, the result windows that hear of every change, and the ClassifyMode word.
//
// Threads. Scan threads reset, append and add carved files; the user-interface thread reads,
// ticks, renames and filters; the preview worker reads records. A reset or clear frees every
// record, so the list carries a reader/writer lock: the operations that free or move what a
// reader may hold (reset, clear, append, publish, carved additions, rename) take it
// exclusively, every query takes it shared, and a caller that keeps record or node pointers
// between calls holds a VolumeListReadGuard for as long as it uses them. The lock is re-entrant
// per thread. View messages are always sent after the lock is released, so a window thread
// that answers a message may query the list while the sender waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "core/filerecord.h"
#include "core/stopword.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"
#include "platform/wndcore.h"

constexpr uint32_t kVolumeSlotMax = 1024;
constexpr uint32_t kViewCount = 3;
constexpr uint32_t kViewIdFlag = 0x10000;
constexpr uint32_t kFindFileSlot = 3;
constexpr uint32_t kFirstScannedSlot = 4;
constexpr uint32_t kTypeViewFirstFileId = 233;
constexpr uint32_t kTimeViewFirstFileId = 25080;
constexpr uint32_t kFirstYear = 1980;
constexpr uint32_t kLastYear = 2039;
constexpr uint32_t kFirstMonthNodeId = 2040;
constexpr uint32_t kFirstDayNodeId = 2760;
constexpr uint32_t kLastDayNodeId = 25079;
constexpr uint32_t kPlaceProgressStep = 1879;

// View messages to the result windows (sent, except WM_VIEW_PREVIEWREADY, which is posted).
constexpr UINT WM_VIEW_OPENFOLDER = 0x4C8;
constexpr UINT WM_VIEW_CHECKCHANGED = 0x4C9;
constexpr UINT WM_VIEW_RESULTSREADY = 0x4CA;
constexpr UINT WM_VIEW_MODECHANGED = 0x4CB;
constexpr UINT WM_VIEW_SEARCHDONE = 0x4CC;
constexpr UINT WM_VIEW_SLOTADDED = 0x4CD;
constexpr UINT WM_VIEW_FILESADDED = 0x4CE;
constexpr UINT WM_VIEW_RENAMED = 0x4CF;
constexpr UINT WM_VIEW_PREVIEWREADY = 0x4D1;
// To the main window alone: the first results exist.
constexpr UINT WM_RESULTS_READY = 0x468;

enum ClassifyMode : int32_t {
  kModeByPath = -2,
  kModeSearch = -1,  // every query sees only records with the visible flag
  kModeByType = 0,
  kModeByCreation = 1,
  kModeByModification = 2,
};

// Five lists of texts that are emptied at every reset; nothing fills or reads them yet.
class CFileClassify {
 public:
  virtual ~CFileClassify();
  void Clear();
  std::vector<CString> lists[5];
};

// Set by the scan start for every scan: 0 when the machine has too little memory for the
// classified views of a large target. Read together with the edition value "ClassifyFile".
extern std::atomic<uint32_t> ClassifyAllowed;

class VolumeListLock {
 public:
  void LockShared();
  void UnlockShared();
  void Lock();
  void Unlock();

 private:
  std::shared_mutex mutex_;
};

struct VolumeList {
  VolumeList();
  ~VolumeList();  // DestroyVolumeList: records must have been freed by ClearVolumeList
  VolumeList(const VolumeList&) = delete;
  VolumeList& operator=(const VolumeList&) = delete;

  VolumeContext slots[kVolumeSlotMax];
  uint32_t slotCount = 0;
  VolumeContext views[kViewCount];
  int32_t mode = 0;  // ClassifyMode
  CFileClassify classify;
  // The window that hears WM_RESULTS_READY (the main dialog); null: nobody.
  HWND mainWindow = nullptr;

  // The result windows, in registration order; never removed (dead ones are skipped).
  void AddListener(HWND hwnd);
  std::vector<HWND> Listeners() const;

  VolumeListLock lock;

 private:
  mutable std::mutex listenerLock_;
  std::vector<HWND> listeners_;
};

// The application's list (process lifetime, never destroyed).
VolumeList& AppVolumeList();

class VolumeListReadGuard {
 public:
  explicit VolumeListReadGuard(VolumeList& list) : lock_(list.lock) { lock_.LockShared(); }
  ~VolumeListReadGuard() { lock_.UnlockShared(); }
  VolumeListReadGuard(const VolumeListReadGuard&) = delete;
  VolumeListReadGuard& operator=(const VolumeListReadGuard&) = delete;

 private:
  VolumeListLock& lock_;
};

class VolumeListWriteGuard {
 public:
  explicit VolumeListWriteGuard(VolumeList& list) : lock_(list.lock) { lock_.Lock(); }
  ~VolumeListWriteGuard() { lock_.Unlock(); }
  VolumeListWriteGuard(const VolumeListWriteGuard&) = delete;
  VolumeListWriteGuard& operator=(const VolumeListWriteGuard&) = delete;

 private:
  VolumeListLock& lock_;
};

inline bool StopRequested(StopWord w) { return w && w->load(std::memory_order_relaxed) == 2; }

inline bool IsViewId(uint32_t a) { return (a & 0xFFFF0000u) == kViewIdFlag; }
inline uint32_t ViewIndexOf(uint32_t a) { return a & 0xFFFFu; }

// Classification is on when "ClassifyFile" is "1" and ClassifyAllowed is set.
bool ClassificationOn();

void ResetVolumeList(VolumeList& list, StopWord stop, uint32_t notify);
void ClearVolumeList(VolumeList& list);
void AppendVolumeSlot(VolumeList& list, StopWord stop, const VolumeContext& v, uint32_t notify);
// True when the volume was taken into a slot (the slot then owns its records); false when it
// holds no file or the list is full, and its records stay with the caller.
bool AddScannedVolume(VolumeList& list, StopWord stop, VolumeContext& v, uint32_t notify);
void AddFindFileSlot(VolumeList& list, uint32_t notify);
// Takes every volume: the carved-file volume into slot 3, the others as scanned volumes; a
// volume that is not shown (no file, no room) has its records freed.
void PublishScanResults(VolumeList& list, StopWord stop, std::vector<VolumeContext>& volumes);
void AddCarvedHitsToFindView(VolumeList& list, const std::vector<SectorHit>& hits);

// Sends the message to every registered window that still exists, except the sender.
void NotifyVolumeListeners(VolumeList& list, HWND sender, UINT msg, WPARAM wParam, LPARAM lParam);

// The thumbnail of an item is ready: posted, so the preview worker does not wait.
void PostPreviewReady(VolumeList& list, uint32_t slotOrView, uint32_t id);

// 1 with the label of a slot (3 and up) or a view id; 0 for an unknown slot or view index.
int GetVolumeSlotLabel(VolumeList& list, uint32_t slotOrView, CString& text);

// The carved-file records come from the deep scan: it installs the routine that adds the
// carved files of a hit list to a volume (raising its file count). Without it no file is added.
using AddCarvedFilesHook = void (*)(VolumeContext& findFileVolume, const std::vector<SectorHit>& hits);
void SetAddCarvedFilesHook(AddCarvedFilesHook hook);

// The logical drives in a stretch of a disk, from the device discovery; it installs the hook.
// Without it the list is empty and a logical drive's label has no drive part.
using FindDriveVolumesHook = void (*)(uint32_t diskNumber, uint64_t firstLba, uint64_t sectorCount,
                                      std::vector<VolumeContext>& drives);
void SetFindDriveVolumesHook(FindDriveVolumesHook hook);

// Progress of the view placement (current id, id limit); the deep scan installs its mailbox
// post. Called every kPlaceProgressStep ids.
using ViewPlacementProgressHook = void (*)(uint32_t current, uint32_t total);
void SetViewPlacementProgressHook(ViewPlacementProgressHook hook);
void ReportPlacementProgress(uint32_t current, uint32_t total);
