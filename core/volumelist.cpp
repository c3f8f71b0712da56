#include "core/volumelist.h"

#include <algorithm>

#include "app/settings.h"
#include "base/heap.h"
#include "base/log.h"
#include "base/textutil.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/viewtrees.h"

std::atomic<uint32_t> ClassifyAllowed{1};

namespace {

// What this thread holds of which list lock: the mode taken from the mutex (1 shared,
// 2 exclusive) and the nesting counts.
struct LockHold {
  const VolumeListLock* lock;
  int mode;
  int shared;
  int exclusive;
};
thread_local std::vector<LockHold> tLockHolds;

LockHold* FindHold(const VolumeListLock* lock) {
  for (LockHold& h : tLockHolds)
    if (h.lock == lock) return &h;
  return nullptr;
}

void DropHold(const VolumeListLock* lock) {
  auto it = std::find_if(tLockHolds.begin(), tLockHolds.end(), [lock](const LockHold& h) { return h.lock == lock; });
  if (it != tLockHolds.end()) tLockHolds.erase(it);
}

struct HookSet {
  AddCarvedFilesHook addCarved = nullptr;
  FindDriveVolumesHook findDrives = nullptr;
  ViewPlacementProgressHook progress = nullptr;
};
HookSet& Hooks() {
  static auto& hooks = *new HookSet();
  return hooks;
}

// A message decided under the write lock and sent after it is released.
struct Notice {
  bool toMainWindow;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
using Notices = std::vector<Notice>;

void SendNotices(VolumeList& list, const Notices& notices) {
  for (const Notice& n : notices) {
    if (n.toMainWindow) {
      if (list.mainWindow && IsWindow(list.mainWindow)) SendMessageW(list.mainWindow, n.msg, n.wParam, n.lParam);
    } else {
      NotifyVolumeListeners(list, nullptr, n.msg, n.wParam, n.lParam);
    }
  }
}

bool ViewsBuilt(const VolumeList& list) { return list.views[0].type == kVolTypeView; }

void ClearLocked(VolumeList& list) {
  for (uint32_t s = 0; s < list.slotCount && s < kVolumeSlotMax; ++s) FreeAllFileRecords(list.slots[s]);
  list.slotCount = 0;
  for (VolumeContext& view : list.views) {
    for (uint32_t id = kLostFolderId; id < view.idLimit; ++id) {
      ViewNode* node = GetViewNode(view, id);
      if (node && node->childIds) {
        FreeMem(node->childIds);
        node->childIds = nullptr;
      }
    }
    for (uint8_t*& chunk : view.recordTable) {
      if (chunk) FreeMem(chunk);
      chunk = nullptr;
    }
    ResetVolumeContext(view);
  }
}

void AddFindFileSlotLocked(VolumeList& list, uint32_t notify, Notices& notices) {
  if (list.slotCount >= kVolumeSlotMax) return;
  VolumeContext f;
  ResetVolumeContext(f);
  f.name = GetLangStr(u"FindFile");
  f.label = f.name;
  f.type = kVolTypeFindFile;
  f.devicePath = ScanTarget().devicePath;
  CreateRootAndLostFolders(f);
  // Ids below 233 stay free for the category and type folders of the carved files.
  if (f.idLimit < kTypeViewFirstFileId) f.idLimit = kTypeViewFirstFileId;
  const uint32_t s = list.slotCount;
  list.slots[s] = f;
  ++list.slotCount;
  if (notify) notices.push_back({false, WM_VIEW_SLOTADDED, WPARAM(s), 0});
}

bool AppendLocked(VolumeList& list, StopWord stop, const VolumeContext& v, uint32_t notify, Notices& notices) {
  if (list.slotCount >= kVolumeSlotMax) return false;
  const uint32_t s = list.slotCount;
  list.slots[s] = v;
  ++list.slotCount;
  if (list.slotCount <= 3) return true;

  FileRecord* root = GetFileRecord(list.slots[s], kRootId, 0);
  if (root && list.mode == kModeSearch && !(root->flags & kRecVisible)) root = nullptr;
  CString label;
  if (root && GetVolumeSlotLabel(list, s, label)) SetRecordName(*root, label.GetString());

  if (ClassificationOn() && ViewsBuilt(list) && list.slots[s].type != kVolTypeFindFile) {
    PlaceVolumeInViews(list, stop, list.slots[s], s);
    for (uint32_t i = 0; i < kViewCount; ++i) {
      uint32_t files = 0;
      uint64_t bytes = 0;
      if (ComputeViewTotals(list, stop, kViewIdFlag | i, kRootId, files, bytes) == 1) list.views[i].fileCount = files;
    }
  }
  if (notify) {
    notices.push_back({false, WM_VIEW_SLOTADDED, WPARAM(s), 0});
    if (list.slotCount == kFirstScannedSlot + 1 && list.slots[kFindFileSlot].fileCount == 0)
      notices.push_back({true, WM_RESULTS_READY, 0, 0});
  }
  return true;
}

// False when the volume was not taken (no file, or the list is full): its records stay with
// the caller.
bool AddScannedLocked(VolumeList& list, StopWord stop, VolumeContext& v, uint32_t notify, Notices& notices) {
  if (list.slotCount >= 3) {
    FileRecord* root = GetFileRecord(v, kRootId, 0);
    uint32_t files = 0;
    uint64_t bytes = 0;
    ComputeSubtreeTotals(v, root, files, bytes);
    v.fileCount = files;
    if (files == 0 || v.idLimit == 0) return false;
    CompactFileRecords(v);
  }
  return AppendLocked(list, stop, v, notify, notices);
}

void ResetLocked(VolumeList& list, StopWord stop, uint32_t notify, Notices& notices) {
  list.mode = kModeByPath;
  ClearLocked(list);
  for (VolumeContext& slot : list.slots) ResetVolumeContext(slot);
  BuildClassifiedTrees(list, stop);
  if (ClassificationOn()) {
    for (uint32_t i = 0; i < kViewCount; ++i) {
      VolumeContext& view = list.views[i];
      ViewNode root{};
      root.id = kRootId;
      root.parent = kRootId;
      root.slot = i;
      root.recordId = kRootId;
      AddViewNode(view, root);
      view.label = u"Virtual";
      view.type = kVolTypeView;
      if (i == 0) {
        view.idLimit = kTypeViewFirstFileId;
      } else {
        // Every chunk below the first file id exists before any folder node is added.
        for (uint32_t id = view.idLimit; id < kTimeViewFirstFileId; ++id) AllocViewNodeSlot(view, id);
        view.idLimit = kTimeViewFirstFileId;
      }
    }
  }
  AddFindFileSlotLocked(list, notify, notices);
  list.classify.Clear();
}

// Published records may carry preview handles into the thumbnail cache, which the scan's end
// frees: they start over without a preview.
void DropPreviewHandles(VolumeContext& v) {
  std::lock_guard<std::mutex> flagsGuard(RecordFlagsLock());
  const uint32_t end = std::min(v.idLimit, kRecordIdEnd);
  for (uint32_t id = 1; id < end; ++id) {
    FileRecord* r = PeekRecordSlot(v, id);
    if (!r) continue;
    r->previewHandle = 0;
    r->flags = uint16_t(r->flags & ~kRecPreviewReady);
  }
}

}  // namespace

// ---- lock ----

void VolumeListLock::LockShared() {
  if (LockHold* h = FindHold(this)) {
    ++h->shared;
    return;
  }
  mutex_.lock_shared();
  tLockHolds.push_back({this, 1, 1, 0});
}

void VolumeListLock::UnlockShared() {
  LockHold* h = FindHold(this);
  if (!h || h->shared == 0) return;
  --h->shared;
  if (h->shared == 0 && h->exclusive == 0) {
    const int mode = h->mode;
    DropHold(this);
    if (mode == 2) mutex_.unlock();
    else if (mode == 1) mutex_.unlock_shared();
  }
}

void VolumeListLock::Lock() {
  if (LockHold* h = FindHold(this)) {
    // A shared hold cannot become exclusive without letting go of what the caller reads; the
    // caller is wrong, and waiting here would never end.
    if (h->mode == 1) WriteLog(u"VolumeList: write requested under a read guard");
    ++h->exclusive;
    return;
  }
  mutex_.lock();
  tLockHolds.push_back({this, 2, 0, 1});
}

void VolumeListLock::Unlock() {
  LockHold* h = FindHold(this);
  if (!h || h->exclusive == 0) return;
  --h->exclusive;
  if (h->shared == 0 && h->exclusive == 0) {
    const int mode = h->mode;
    DropHold(this);
    if (mode == 2) mutex_.unlock();
    else if (mode == 1) mutex_.unlock_shared();
  }
}

// ---- list ----

CFileClassify::~CFileClassify() { Clear(); }

void CFileClassify::Clear() {
  for (auto& l : lists) l.clear();
}

VolumeList::VolumeList() {
  for (VolumeContext& v : views) ResetVolumeContext(v);
}

VolumeList::~VolumeList() {
  // The records belong to the list; a list that was not cleared lets go of them here.
  ClearVolumeList(*this);
}

void VolumeList::AddListener(HWND hwnd) {
  std::lock_guard<std::mutex> guard(listenerLock_);
  listeners_.push_back(hwnd);
}

std::vector<HWND> VolumeList::Listeners() const {
  std::lock_guard<std::mutex> guard(listenerLock_);
  return listeners_;
}

VolumeList& AppVolumeList() {
  static auto& list = *new VolumeList();
  return list;
}

bool ClassificationOn() { return IsSoftCfgOn(u"ClassifyFile") && ClassifyAllowed.load() != 0; }

void SetAddCarvedFilesHook(AddCarvedFilesHook hook) { Hooks().addCarved = hook; }
void SetFindDriveVolumesHook(FindDriveVolumesHook hook) { Hooks().findDrives = hook; }
void SetViewPlacementProgressHook(ViewPlacementProgressHook hook) { Hooks().progress = hook; }

void ReportPlacementProgress(uint32_t current, uint32_t total) {
  if (Hooks().progress) Hooks().progress(current, total);
}

void ResetVolumeList(VolumeList& list, StopWord stop, uint32_t notify) {
  Notices notices;
  {
    VolumeListWriteGuard guard(list);
    ResetLocked(list, stop, notify, notices);
  }
  SendNotices(list, notices);
}

void ClearVolumeList(VolumeList& list) {
  VolumeListWriteGuard guard(list);
  ClearLocked(list);
}

void AppendVolumeSlot(VolumeList& list, StopWord stop, const VolumeContext& v, uint32_t notify) {
  Notices notices;
  {
    VolumeListWriteGuard guard(list);
    AppendLocked(list, stop, v, notify, notices);
  }
  SendNotices(list, notices);
}

bool AddScannedVolume(VolumeList& list, StopWord stop, VolumeContext& v, uint32_t notify) {
  Notices notices;
  bool taken = false;
  {
    VolumeListWriteGuard guard(list);
    taken = AddScannedLocked(list, stop, v, notify, notices);
  }
  SendNotices(list, notices);
  return taken;
}

void AddFindFileSlot(VolumeList& list, uint32_t notify) {
  Notices notices;
  {
    VolumeListWriteGuard guard(list);
    AddFindFileSlotLocked(list, notify, notices);
  }
  SendNotices(list, notices);
}

void PublishScanResults(VolumeList& list, StopWord stop, std::vector<VolumeContext>& volumes) {
  Notices notices;
  {
    VolumeListWriteGuard guard(list);
    ResetLocked(list, stop, 0, notices);
    for (VolumeContext& v : volumes) {
      DropPreviewHandles(v);
      if (v.type == kVolTypeFindFile) {
        if (list.slotCount <= kFindFileSlot) {
          FreeAllFileRecords(v);
          continue;
        }
        // The carved volume replaces the empty one of the reset, whose records go with it.
        FreeAllFileRecords(list.slots[kFindFileSlot]);
        list.slots[kFindFileSlot] = v;
      } else if (!AddScannedLocked(list, stop, v, 0, notices)) {
        // A volume without files (or beyond the last slot) is not shown; nobody else owns it.
        FreeAllFileRecords(v);
      }
    }
    // Sent even when only carved files were found: the result view opens from it.
    if (list.slotCount > kFindFileSlot) notices.push_back({false, WM_VIEW_RESULTSREADY, 4, 0});
  }
  SendNotices(list, notices);
}

void AddCarvedHitsToFindView(VolumeList& list, const std::vector<SectorHit>& hits) {
  Notices notices;
  {
    VolumeListWriteGuard guard(list);
    if (list.slotCount <= kFindFileSlot) return;
    VolumeContext& find = list.slots[kFindFileSlot];
    const uint32_t before = find.fileCount;
    std::vector<SectorHit> kept;
    const std::vector<SectorHit>* pass = &hits;
    if (!IsSoftCfgOn(u"ShowAllFile")) {
      for (const SectorHit& h : hits)
        if (IsPhotoOrVideoType(h.kind)) kept.push_back(h);
      pass = &kept;
    }
    if (!pass->empty() && Hooks().addCarved) Hooks().addCarved(find, *pass);
    if (find.fileCount > before) {
      notices.push_back({false, WM_VIEW_FILESADDED, 0, 0});
      if (before == 0) notices.push_back({true, WM_RESULTS_READY, 0, 0});
    }
  }
  SendNotices(list, notices);
}

void NotifyVolumeListeners(VolumeList& list, HWND sender, UINT msg, WPARAM wParam, LPARAM lParam) {
  for (HWND h : list.Listeners())
    if (h != sender && IsWindow(h)) SendMessageW(h, msg, wParam, lParam);
}

void PostPreviewReady(VolumeList& list, uint32_t slotOrView, uint32_t id) {
  for (HWND h : list.Listeners())
    if (IsWindow(h)) PostMessageW(h, WM_VIEW_PREVIEWREADY, WPARAM(slotOrView), LPARAM(id));
}

int GetVolumeSlotLabel(VolumeList& list, uint32_t a, CString& text) {
  VolumeContext ctx;
  {
    VolumeListReadGuard guard(list);
    if (IsViewId(a)) {
      if (ViewIndexOf(a) >= kViewCount) return 0;
      ctx = list.views[ViewIndexOf(a)];
    } else {
      // The fixed trees below slot 3 have no label of their own.
      if (a >= list.slotCount || a < kFindFileSlot) return 0;
      ctx = list.slots[a];
    }
  }
  const CString files = GetLangStr(u"Files");
  CString out;
  if (IsViewId(a)) {
    static const char16_t* const kViewKeys[kViewCount] = {u"SortByFileType", u"SortByCreateTime", u"SortByFixTime"};
    const uint32_t v = ViewIndexOf(a);
    out.Format(u"%02u  ", v);
    out += GetLangStr(kViewKeys[v]);
    out.AppendFormat(u"     (%u%s)", ctx.fileCount, files.GetString());
  } else {
    out.Format(u"%02u ", a - kFindFileSlot);
    if (ctx.logicalDrive) {
      std::vector<VolumeContext> drives;
      if (Hooks().findDrives) {
        const VolumeContext& target = ScanTarget();
        Hooks().findDrives(target.diskNumber, target.firstLba, target.sectorCount, drives);
      }
      for (const VolumeContext& d : drives) {
        if (!d.logicalDrive || d.driveLetter != ctx.driveLetter) continue;
        out += ctx.label;
        out += u" (";
        out += ctx.driveLetter;
        out += u":) ";
      }
    } else {
      out += ctx.label;
      out += u" ";
    }
    if (ctx.splitKind == kSplitDeleted) out += GetLangStr(u"DelFile");
    else if (ctx.splitKind == kSplitExisting) out += GetLangStr(u"NormalFile");
    if (ctx.label.IsEmpty()) {
      switch (ctx.type) {
        case kVolTypeNtfs: out += u" NTFS"; break;
        case kVolTypeFat16: out += u" FAT16"; break;
        case kVolTypeFat32: out += u" FAT32"; break;
        case kVolTypeExfat: out += u" EXFAT"; break;
        case kVolTypeFat32Rebuilt: out += u" Fat32"; break;
        case kVolTypeExfatRebuilt: out += u" Exfat"; break;
        default: break;
      }
    }
    out.AppendFormat(u"  (%u %s)", ctx.fileCount, files.GetString());
  }
  TrimBlanks(out);
  text = out;
  return 1;
}
