// Check states through a tree: ticking an item sets its whole subtree and recomputes its
// ancestors; a directory is checked when all its counted children are, unchecked when none
// is, partly checked otherwise. A view's folder keeps its state in the folder record it shows;
// a file node shares the state of the file's own record. Totals of checked or all files.
//
// Walks are bounded: an id met twice (a loop left by a repair) and depths beyond the tree
// limit are not followed.
#pragma once

#include <cstdint>

#include "core/volumelist.h"

// 1 after flipping the item (checked becomes unchecked, anything else checked), setting its
// subtree and its ancestors; every listener but the caller hears WM_VIEW_CHECKCHANGED.
int ToggleItemCheck(VolumeList& list, HWND caller, uint32_t slotOrView, uint32_t id);
// Recomputes all folder states from the files: modes -2 and -1 every slot from 3, modes 0 … 2
// that view.
void CheckAllItems(VolumeList& list, int32_t mode);
int ComputeCheckStates(VolumeList& list, uint32_t slot, uint32_t id, uint32_t& state);
int ComputeViewCheckStates(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t& state);
void SetSubtreeCheck(VolumeList& list, uint32_t slot, uint32_t id, uint32_t state);
void SetViewSubtreeCheck(VolumeList& list, uint32_t viewId, uint32_t nodeId, uint32_t state);
void UpdateAncestorChecks(VolumeList& list, uint32_t slot, uint32_t id);
void UpdateViewAncestorChecks(VolumeList& list, uint32_t viewId, uint32_t nodeId);

struct CheckedTotals {
  uint32_t files = 0;
  uint64_t bytes = 0;
};
// Adds the checked files at and below a volume item.
void SumCheckedFiles(VolumeList& list, uint32_t slot, uint32_t id, CheckedTotals& totals);
// Add every file at and below the item.
void SumVolumeItemFiles(VolumeList& list, uint32_t slot, uint32_t id, int32_t& count, uint64_t& bytes);
void SumViewItemFiles(VolumeList& list, uint32_t viewId, uint32_t nodeId, int32_t& count, uint64_t& bytes);
