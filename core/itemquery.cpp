#include "core/itemquery.h"

#include <algorithm>

#include "app/settings.h"
#include "core/chainguard.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"

namespace {

bool Visible(const VolumeList& list, const FileRecord* r) {
  return r && (list.mode != kModeSearch || (r->flags & kRecVisible));
}

bool KnownAddress(const VolumeList& list, uint32_t a) {
  return IsViewId(a) ? ViewIndexOf(a) < kViewCount : a < list.slotCount;
}

bool IsPictureType(uint32_t t) {
  return (t >= 44 && t <= 48) || t == 76 || t == 85 || t == 132 || t == 162 || IsPhotoType(int32_t(t));
}

}  // namespace

void SetCheckState(FileRecord& r, uint32_t state) {
  std::lock_guard<std::mutex> guard(RecordFlagsLock());
  r.flags = uint16_t((r.flags & ~(kRecChecked | kRecPartChecked)) | ((state & 3) << 1));
}


CString RecordNameText(const FileRecord* r) {
  if (!r || !r->name) return CString();
  return CString(r->name, int(RecordNameLength(r->name)));
}

FileRecord* GetItemRecord(VolumeList& list, uint32_t a, uint32_t id) {
  VolumeListReadGuard guard(list);
  FileRecord* r = nullptr;
  if (IsViewId(a)) {
    if (ViewIndexOf(a) >= kViewCount) return nullptr;
    const ViewNode* node = GetViewNode(list.views[ViewIndexOf(a)], id);
    if (!node) return nullptr;
    const uint32_t slot = node->slot;
    if (slot >= list.slotCount) return nullptr;
    r = GetFileRecord(list.slots[slot], node->recordId, 0);
  } else {
    if (a >= list.slotCount) return nullptr;
    r = GetFileRecord(list.slots[a], id, 0);
  }
  return Visible(list, r) ? r : nullptr;
}

ViewNode* ResolveViewNode(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t withChildren) {
  VolumeListReadGuard guard(list);
  if (!IsViewId(viewId) || ViewIndexOf(viewId) >= kViewCount || nodeId == 0) return nullptr;
  ViewNode* node = GetViewNode(list.views[ViewIndexOf(viewId)], nodeId);
  if (!node || !GetItemRecord(list, viewId, nodeId)) return nullptr;
  if (withChildren && !HasChildren(*node)) return nullptr;
  return node;
}

int CopySlotContext(VolumeList& list, uint32_t a, VolumeContext& out) {
  VolumeListReadGuard guard(list);
  if (!KnownAddress(list, a)) return 0;
  out = IsViewId(a) ? list.views[ViewIndexOf(a)] : list.slots[a];
  return 1;
}

int ListVolumeChildren(VolumeList& list, uint32_t slot, uint32_t id, std::vector<uint32_t>& out,
                       uint32_t withChildren) {
  VolumeListReadGuard guard(list);
  out.clear();
  if (IsViewId(slot) || slot >= list.slotCount) return 0;
  const FileRecord* r = GetItemRecord(list, slot, id);
  if (!r || !HasChildren(*r)) return 0;
  for (uint32_t c : ChildIdList(r)) {
    if (c == kRootId) continue;
    const FileRecord* cr = GetItemRecord(list, slot, c);
    if (cr && (!withChildren || HasChildren(*cr))) out.push_back(c);
  }
  return 1;
}

int ListViewChildren(VolumeList& list, uint32_t viewId, uint32_t nodeId, std::vector<uint32_t>& out,
                     uint32_t withChildren) {
  VolumeListReadGuard guard(list);
  const ViewNode* node = ResolveViewNode(list, viewId, nodeId, 1);
  if (!node) return 0;
  out.clear();
  for (uint32_t c : ChildIdList(node))
    if (c != kRootId && ResolveViewNode(list, viewId, c, withChildren)) out.push_back(c);
  return 1;
}

int HasSubfolders(VolumeList& list, uint32_t a, uint32_t id) {
  VolumeListReadGuard guard(list);
  if (IsViewId(a)) {
    const ViewNode* node = ResolveViewNode(list, a, id, 1);
    if (!node) return 0;
    for (uint32_t c : ChildIdList(node))
      if (c != kRootId && ResolveViewNode(list, a, c, 1)) return 1;
    return 0;
  }
  const FileRecord* r = GetItemRecord(list, a, id);
  if (!r) return 0;
  for (uint32_t c : ChildIdList(r)) {
    if (c == kRootId) continue;
    const FileRecord* cr = GetItemRecord(list, a, c);
    if (cr && HasChildren(*cr)) return 1;
  }
  return 0;
}

int GetItemPathIds(VolumeList& list, uint32_t a, uint32_t id, std::vector<uint32_t>& out) {
  VolumeListReadGuard guard(list);
  ChainGuard chain;
  while (chain.Visit(id)) {
    uint32_t parent = 0;
    if (IsViewId(a)) {
      const ViewNode* node = ResolveViewNode(list, a, id, 0);
      if (!node) return 0;
      parent = node->parent;
    } else {
      const FileRecord* r = GetItemRecord(list, a, id);
      if (!r) return 0;
      parent = r->parent;
    }
    out.push_back(id);
    if (id == kRootId) return 1;
    id = parent;
  }
  return 0;  // a loop of parent ids that never reaches the root
}

int ListCheckedVolumeSlots(VolumeList& list, std::vector<uint32_t>& out) {
  VolumeListReadGuard guard(list);
  for (uint32_t s = kFindFileSlot; s < list.slotCount; ++s) {
    const FileRecord* root = GetItemRecord(list, s, kRootId);
    if (root && GetCheckState(*root) != 0) out.push_back(s);
  }
  return out.empty() ? 0 : 1;
}

int ListVisibleVolumeSlots(VolumeList& list, std::vector<uint32_t>& out) {
  VolumeListReadGuard guard(list);
  for (uint32_t s = kFirstScannedSlot; s < list.slotCount; ++s) {
    const FileRecord* root = GetFileRecord(list.slots[s], kRootId, 0);
    if (root && (root->flags & kRecVisible)) out.push_back(s);
  }
  return out.empty() ? 0 : 1;
}

void ListRootItemsToRecover(VolumeList& list, uint32_t slot, std::vector<uint32_t>& out) {
  VolumeListReadGuard guard(list);
  out.clear();
  if (IsViewId(slot) || slot >= list.slotCount) return;
  std::vector<uint32_t> children;
  ListVolumeChildren(list, slot, kRootId, children, 0);
  for (uint32_t c : children) {
    const FileRecord* r = GetItemRecord(list, slot, c);
    if (r && GetCheckState(*r) != 0) out.push_back(c);
  }
}

int RequestOpenFolder(VolumeList& list, HWND /*caller*/, uint32_t a, uint32_t id) {
  bool known = false;
  {
    VolumeListReadGuard guard(list);
    const FileRecord* r = GetItemRecord(list, a, id);
    if (!r || !(r->flags & kRecDirectory)) return 0;
    known = KnownAddress(list, a);
  }
  if (known) NotifyVolumeListeners(list, nullptr, WM_VIEW_OPENFOLDER, WPARAM(a), LPARAM(id));
  return 1;
}

int GetItemLabel(VolumeList& list, uint32_t a, uint32_t id, CString& text, uint32_t& state) {
  VolumeListReadGuard guard(list);
  const FileRecord* r = GetItemRecord(list, a, id);
  if (!r) return 0;
  const CString name = RecordNameText(r);
  if (r->flags & kRecDirectory)
    text = FormatCString(u"%s     (%u %s)", name.GetString(), uint32_t(r->filesBelow), GetLangStr(u"Files").GetString());
  else
    text = name;
  state = GetCheckState(*r);
  return 1;
}

int GetItemLabelsAndChecks(VolumeList& list, uint32_t a, const std::vector<uint32_t>& ids,
                           std::vector<CString>& texts, std::vector<uint32_t>& states) {
  VolumeListReadGuard guard(list);
  for (uint32_t id : ids) {
    CString text;
    uint32_t state = 0;
    if (!GetItemLabel(list, a, id, text, state)) continue;
    texts.push_back(text);
    states.push_back(state);
  }
  return 1;
}

int RenameItem(VolumeList& list, uint32_t a, uint32_t id, const CString& name) {
  if (name.IsEmpty()) return 0;
  bool known = false;
  {
    // The old name is freed: no reader may hold it meanwhile.
    VolumeListWriteGuard guard(list);
    FileRecord* r = GetItemRecord(list, a, id);
    if (!r) return 0;
    SetRecordName(*r, name.GetString());
    known = KnownAddress(list, a);
  }
  if (known) NotifyVolumeListeners(list, nullptr, WM_VIEW_RENAMED, WPARAM(a), LPARAM(id));
  return 1;
}

int FindFirstPreviewableItem(VolumeList& list, const std::vector<uint32_t>& ids, uint32_t a, uint32_t& outId) {
  if (ids.empty()) return 0;
  VolumeListReadGuard guard(list);
  outId = ids.front();
  for (uint32_t id : ids) {
    const FileRecord* r = GetItemRecord(list, a, id);
    if (r && !(r->flags & kRecDirectory) && IsPictureType(r->typeId)) {
      outId = id;
      break;
    }
  }
  return 1;
}
