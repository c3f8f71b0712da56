// The folder trees of slots 0 … 2 and the three classified views built over the scanned
// volumes: the type tree with its category and type folders, the year/month/day trees, the
// lazy folder nodes of the views, the placement of a volume's files and the totals.
//
// These run inside the VolumeList's write operations; a caller outside them holds the list's
// write lock.
#pragma once

#include <cstdint>

#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "core/volumelist.h"

// Node ids of the time views. A date outside 1980-01-01 … 2039-12-31, or with a month or day
// that no calendar has, gets day id 0: such a time is placed in no time view.
uint32_t YearNodeId(uint32_t year);
uint32_t MonthNodeId(uint32_t year, uint32_t month);
uint32_t DayNodeId(uint32_t year, uint32_t month, uint32_t day);
uint32_t DayNodeIdOfPackedTime(uint32_t packed);

// One in-use folder per category 6 … 12 under the root, then one per type 36 … 176 under its
// category, named by the category name and the type's main extension.
void AddFileTypeFolders(VolumeContext& ctx);
// Slots 0, 1 and 2 (the list's slot count must be 0).
void BuildClassifiedTrees(VolumeList& list, StopWord stop);
// The year, month and day folder records (unlinked) of a time tree.
void BuildTimeTrees(VolumeContext& ctx);

// Adds a file node for every file of the volume in slot s to the three views.
void PlaceVolumeInViews(VolumeList& list, StopWord stop, const VolumeContext& v, uint32_t slot);
void EnsureTypeViewFolder(VolumeContext& typeView, uint32_t typeId);
void EnsureTimeViewNodes(VolumeContext& timeView, uint32_t viewIndex, uint32_t dayId);

// 1 when the node was counted: files and bytes below a folder node (stored into the folder
// record it shows; an empty folder counts 0 files), or 1 file and its size for a file node.
int ComputeViewTotals(VolumeList& list, StopWord stop, uint32_t viewId, uint32_t nodeId, uint32_t& files,
                      uint64_t& bytes);
// Prunes and counts the subtree of r: files the edition does not show are freed, directories
// left empty (other than the root) are freed. 1 when anything was kept below r (a file: when
// r itself is kept).
int ComputeSubtreeTotals(VolumeContext& v, FileRecord* r, uint32_t& files, uint64_t& bytes);
