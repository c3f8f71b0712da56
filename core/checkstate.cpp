#include "core/checkstate.h"

#include "core/chainguard.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "core/walkguard.h"

namespace {

struct Tally {
  uint32_t checked = 0;
  uint32_t unchecked = 0;
  uint32_t partly = 0;
  void Add(uint32_t state) {
    if (state == 1) ++checked;
    else if (state == 0) ++unchecked;
    else ++partly;
  }
  bool Mixed() const { return partly != 0 || (checked != 0 && unchecked != 0); }
  uint32_t State() const {
    if (Mixed()) return 2;
    return (checked != 0) ? 1 : 0;
  }
};

uint32_t SlotIdLimit(const VolumeList& list, uint32_t slot) {
  return slot < list.slotCount ? list.slots[slot].idLimit : 0;
}

uint32_t ViewIdLimit(const VolumeList& list, uint32_t viewId) {
  return (IsViewId(viewId) && ViewIndexOf(viewId) < kViewCount) ? list.views[ViewIndexOf(viewId)].idLimit : 0;
}

int ComputeChecksImpl(VolumeList& list, uint32_t slot, uint32_t id, uint32_t& state, WalkGuard& guard, uint32_t depth) {
  FileRecord* r = GetItemRecord(list, slot, id);
  if (!r) return 0;
  if (HasChildren(*r)) {
    Tally tally;
    for (uint32_t c : ChildIdList(r)) {
      uint32_t s = 0;
      if (c != kRootId && guard.Enter(c, depth + 1) && ComputeChecksImpl(list, slot, c, s, guard, depth + 1)) tally.Add(s);
    }
    SetCheckState(*r, tally.State());
  }
  state = GetCheckState(*r);
  return 1;
}

int ComputeViewChecksImpl(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t& state, WalkGuard& guard,
                          uint32_t depth) {
  const ViewNode* node = ResolveViewNode(list, viewId, nodeId, 0);
  FileRecord* r = GetItemRecord(list, viewId, nodeId);
  if (!node || !r) return 0;
  if (HasChildren(*node)) {
    Tally tally;
    for (uint32_t c : ChildIdList(node)) {
      uint32_t s = 0;
      if (c != kRootId && guard.Enter(c, depth + 1) && ComputeViewChecksImpl(list, viewId, c, s, guard, depth + 1))
        tally.Add(s);
    }
    SetCheckState(*r, tally.State());
  }
  state = GetCheckState(*r);
  return 1;
}

void SetSubtreeImpl(VolumeList& list, uint32_t slot, uint32_t id, uint32_t state, WalkGuard& guard, uint32_t depth) {
  const FileRecord* r = GetItemRecord(list, slot, id);
  if (!r) return;
  for (uint32_t c : ChildIdList(r)) {
    if (c == kRootId) continue;
    FileRecord* cr = GetItemRecord(list, slot, c);
    if (!cr || !guard.Enter(c, depth + 1)) continue;
    SetCheckState(*cr, state);
    SetSubtreeImpl(list, slot, c, state, guard, depth + 1);
  }
}

void SetViewSubtreeImpl(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t state, WalkGuard& guard,
                        uint32_t depth) {
  const ViewNode* node = GetViewNode(list.views[ViewIndexOf(viewId)], nodeId);
  for (uint32_t c : ChildIdList(node)) {
    if (c == kRootId || !guard.Enter(c, depth + 1)) continue;
    // A child whose record no longer resolves ends the walk there.
    FileRecord* cr = GetItemRecord(list, viewId, c);
    if (!cr) continue;
    SetCheckState(*cr, state);
    SetViewSubtreeImpl(list, viewId, c, state, guard, depth + 1);
  }
}

void SumCheckedImpl(VolumeList& list, uint32_t slot, uint32_t id, CheckedTotals& t, WalkGuard& guard, uint32_t depth) {
  const FileRecord* r = GetItemRecord(list, slot, id);
  if (!r || GetCheckState(*r) == 0) return;
  if (!(r->flags & kRecDirectory)) {
    ++t.files;
    t.bytes += r->size;
    return;
  }
  std::vector<uint32_t> children;
  ListVolumeChildren(list, slot, id, children, 0);
  for (uint32_t c : children)
    if (guard.Enter(c, depth + 1)) SumCheckedImpl(list, slot, c, t, guard, depth + 1);
}

void SumVolumeImpl(VolumeList& list, uint32_t slot, uint32_t id, int32_t& count, uint64_t& bytes, WalkGuard& guard,
                   uint32_t depth) {
  const FileRecord* r = GetItemRecord(list, slot, id);
  if (!r) return;
  if (!(r->flags & kRecDirectory)) {
    ++count;
    bytes += r->size;
    return;
  }
  std::vector<uint32_t> children;
  if (!ListVolumeChildren(list, slot, id, children, 0)) return;
  for (uint32_t c : children)
    if (guard.Enter(c, depth + 1)) SumVolumeImpl(list, slot, c, count, bytes, guard, depth + 1);
}

void SumViewImpl(VolumeList& list, uint32_t viewId, uint32_t nodeId, int32_t& count, uint64_t& bytes, WalkGuard& guard,
                 uint32_t depth) {
  const ViewNode* node = ResolveViewNode(list, viewId, nodeId, 0);
  if (!node) return;
  if (HasChildren(*node)) {
    std::vector<uint32_t> children;
    ListViewChildren(list, viewId, nodeId, children, 0);
    for (uint32_t c : children)
      if (guard.Enter(c, depth + 1)) SumViewImpl(list, viewId, c, count, bytes, guard, depth + 1);
    return;
  }
  // A folder node without children holds no file.
  const FileRecord* r = GetItemRecord(list, viewId, nodeId);
  if (r && !(r->flags & kRecDirectory)) {
    ++count;
    bytes += r->size;
  }
}

}  // namespace

int ToggleItemCheck(VolumeList& list, HWND caller, uint32_t a, uint32_t id) {
  bool known = false;
  {
    VolumeListReadGuard guard(list);
    FileRecord* r = GetItemRecord(list, a, id);
    if (!r) return 0;
    const uint32_t state = (r->flags & kRecChecked) ? 0 : 1;
    SetCheckState(*r, state);
    if (IsViewId(a)) {
      SetViewSubtreeCheck(list, a, id, state);
      UpdateViewAncestorChecks(list, a, id);
      known = ViewIndexOf(a) < kViewCount;
    } else {
      SetSubtreeCheck(list, a, id, state);
      UpdateAncestorChecks(list, a, id);
      known = a < list.slotCount;
    }
  }
  if (known) NotifyVolumeListeners(list, caller, WM_VIEW_CHECKCHANGED, WPARAM(a), LPARAM(id));
  return 1;
}

void CheckAllItems(VolumeList& list, int32_t mode) {
  VolumeListReadGuard guard(list);
  uint32_t state = 0;
  if (mode == kModeByPath || mode == kModeSearch) {
    for (uint32_t s = kFindFileSlot; s < list.slotCount; ++s) ComputeCheckStates(list, s, kRootId, state);
  } else if (mode >= kModeByType && mode <= kModeByModification) {
    ComputeViewCheckStates(list, kViewIdFlag | uint32_t(mode), kRootId, state);
  }
}

int ComputeCheckStates(VolumeList& list, uint32_t slot, uint32_t id, uint32_t& state) {
  VolumeListReadGuard lock(list);
  if (IsViewId(slot) || slot >= list.slotCount) return 0;
  WalkGuard guard(SlotIdLimit(list, slot));
  guard.Enter(id, 0);
  return ComputeChecksImpl(list, slot, id, state, guard, 0);
}

int ComputeViewCheckStates(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t& state) {
  VolumeListReadGuard lock(list);
  WalkGuard guard(ViewIdLimit(list, viewId));
  guard.Enter(nodeId, 0);
  return ComputeViewChecksImpl(list, viewId, nodeId, state, guard, 0);
}

void SetSubtreeCheck(VolumeList& list, uint32_t slot, uint32_t id, uint32_t state) {
  VolumeListReadGuard lock(list);
  if (IsViewId(slot) || slot >= list.slotCount) return;
  WalkGuard guard(SlotIdLimit(list, slot));
  guard.Enter(id, 0);
  SetSubtreeImpl(list, slot, id, state, guard, 0);
}

void SetViewSubtreeCheck(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t state) {
  VolumeListReadGuard lock(list);
  if (!ResolveViewNode(list, viewId, nodeId, 0)) return;
  WalkGuard guard(ViewIdLimit(list, viewId));
  guard.Enter(nodeId, 0);
  SetViewSubtreeImpl(list, viewId, nodeId, state, guard, 0);
}

void UpdateAncestorChecks(VolumeList& list, uint32_t slot, uint32_t id) {
  VolumeListReadGuard lock(list);
  ChainGuard chain;
  while (!IsViewId(slot) && slot < list.slotCount && chain.Visit(id)) {
    const FileRecord* r = GetItemRecord(list, slot, id);
    if (!r) return;
    const uint32_t parentId = r->parent;
    FileRecord* p = GetItemRecord(list, slot, parentId);
    if (!p) return;
    Tally tally;
    for (uint32_t c : ChildIdList(p)) {
      if (c == kRootId) continue;
      const FileRecord* cr = GetItemRecord(list, slot, c);
      if (!cr) continue;
      tally.Add(GetCheckState(*cr));
      if (tally.Mixed()) break;
    }
    const uint32_t state = tally.State();
    if (GetCheckState(*p) == state) return;
    SetCheckState(*p, state);
    id = parentId;
  }
}

void UpdateViewAncestorChecks(VolumeList& list, uint32_t viewId, uint32_t nodeId) {
  VolumeListReadGuard lock(list);
  ChainGuard chain;
  while (chain.Visit(nodeId)) {
    const ViewNode* node = ResolveViewNode(list, viewId, nodeId, 0);
    if (!node) return;
    const uint32_t parentId = node->parent;
    const ViewNode* parent = ResolveViewNode(list, viewId, parentId, 0);
    if (!parent) return;
    Tally tally;
    for (uint32_t c : ChildIdList(parent)) {
      if (c == kRootId) continue;
      const FileRecord* cr = GetItemRecord(list, viewId, c);
      if (!cr) continue;
      tally.Add(GetCheckState(*cr));
      if (tally.Mixed()) break;
    }
    FileRecord* pr = GetItemRecord(list, viewId, parentId);
    const uint32_t state = tally.State();
    if (!pr || GetCheckState(*pr) == state) return;
    SetCheckState(*pr, state);
    if (parentId == kRootId) return;
    nodeId = parentId;
  }
}

void SumCheckedFiles(VolumeList& list, uint32_t slot, uint32_t id, CheckedTotals& totals) {
  VolumeListReadGuard lock(list);
  if (IsViewId(slot) || slot >= list.slotCount) return;
  WalkGuard guard(SlotIdLimit(list, slot));
  guard.Enter(id, 0);
  SumCheckedImpl(list, slot, id, totals, guard, 0);
}

void SumVolumeItemFiles(VolumeList& list, uint32_t slot, uint32_t id, int32_t& count, uint64_t& bytes) {
  VolumeListReadGuard lock(list);
  if (IsViewId(slot) || slot >= list.slotCount) return;
  WalkGuard guard(SlotIdLimit(list, slot));
  guard.Enter(id, 0);
  SumVolumeImpl(list, slot, id, count, bytes, guard, 0);
}

void SumViewItemFiles(VolumeList& list, uint32_t viewId, uint32_t nodeId, int32_t& count, uint64_t& bytes) {
  VolumeListReadGuard lock(list);
  if (!ResolveViewNode(list, viewId, nodeId, 0)) {
    count = 0;
    bytes = 0;
    return;
  }
  WalkGuard guard(ViewIdLimit(list, viewId));
  guard.Enter(nodeId, 0);
  SumViewImpl(list, viewId, nodeId, count, bytes, guard, 0);
}
