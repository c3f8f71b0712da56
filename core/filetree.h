// Turning a heap of stored records into a browsable tree: the root "." and the lost-files
// folder, linking by parent id with lost directories for missing parents, the split of an
// oversized lost-files folder, the carved view's category and type folders, the merges of
// directories found twice, id compaction, freeing a whole table and the one deep copy.
//
// "A record" here is a record GetFileRecord finds without the allow-unnamed flag. The
// whole-table operations (compaction, freeing, deep copy) also carry unnamed records, so no
// record found for its data alone is lost or leaked.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/volumecontext.h"

// Root (id 5) stored directly, the id limit raised to at least 6, then the lost-files folder
// (id 4, parent 5, not in use) named by the language text "FileLost".
void CreateRootAndLostFolders(VolumeContext& ctx);
// An in-use directory with the given ids and a copy of the name.
uint32_t AddDirectoryRecord(VolumeContext& ctx, uint32_t parentId, uint32_t id, const char16_t* name,
                            uint32_t link);
// A lost directory "Dir%08llu" (low 32 bits of number), not in use, with the LBA field set,
// linked under parentId with the next free id. Returns its id or 0.
uint32_t CreateLostDirectory(VolumeContext& ctx, uint32_t parentId, uint64_t number, uint64_t lba);
// The ViewNode counterpart of AddFileRecord. Returns the id or 0.
uint32_t AddViewNode(VolumeContext& view, const ViewNode& tmpl);

// Rebuilds every child list from the parent ids. With lostFlag a record whose parent is
// missing, is not a directory, or sits on a loop of parent ids goes into a lost directory
// "Dir%08llu" of that parent id under the lost-files folder, and the Recycle Bin repair runs.
void LinkFileTree(VolumeContext& ctx, uint32_t lostFlag);
// Splits a lost-files folder of more than 300 entries into subfolders "000", "001", … of 300.
void SplitLostFolder(VolumeContext& ctx);
// Carved-file view: makes the type folder (id = type id) and its category folder on demand.
void EnsureCategoryFolder(VolumeContext& ctx, uint32_t typeId);
// Puts the in-use directories of the id range [first, end) before the other ids, keeping the
// order of each group. Parents and children are not adjusted (used before anything refers to
// the range).
void MoveDirectoriesFirst(VolumeContext& ctx, uint32_t first, uint32_t end);
// 1 with the id of the ancestor (or the record itself) whose parent is the root; 0 when the
// chain reaches a missing record or loops.
int FindTopLevelAncestor(const VolumeContext& ctx, const FileRecord* rec, uint32_t& topId);
// Moves all children of a directory with children into a directory without children; the
// target becomes not in use.
void MergeDirectoryInto(VolumeContext& ctx, FileRecord* source, FileRecord* target);
void MergeDuplicateDirectories(VolumeContext& ctx);
void MatchRecycleDirectories(VolumeContext& ctx);

struct LostDirEntry {
  uint64_t lba;
  uint32_t id;
};
void MergeLostDirectories(VolumeContext& ctx, const std::vector<LostDirEntry>& lostDirs);

// Moves the record oldId to newId (an empty slot), fixing its parent's child list and its
// children's parent ids. True when moved.
bool RenumberFileRecord(VolumeContext& ctx, uint32_t newId, uint32_t oldId);
uint32_t CountLiveRecords(const VolumeContext& ctx);
void CompactFileRecords(VolumeContext& ctx);
// Frees every record, chunk and buffer the context owns and clears the pointers; the id
// limit and counts stay (ResetVolumeContext clears them).
void FreeAllFileRecords(VolumeContext& ctx);
// The one deep copy: dst gets records, names, child arrays, blobs and buffers of its own.
// 0 when the source has no records.
int DeepCopyVolume(VolumeContext& src, VolumeContext& dst);

// True for a record named "$RECYCLE.BIN" (12 characters, ASCII case ignored).
bool IsRecycleBinName(const FileRecord* rec);

// The Recycle Bin repair (RepairRecycleBin) and the record copy (CopyRecordUnder) belong to
// the deleted/existing split, which is built apart from the tree code. Until it installs them
// LinkFileTree repairs nothing and MatchRecycleDirectories copies nothing.
using RepairRecycleBinHook = void (*)(VolumeContext& ctx);
using CopyRecordUnderHook = int (*)(VolumeContext& ctx, uint32_t targetDirId, uint32_t recordId,
                                    const char16_t* name);
void SetRepairRecycleBinHook(RepairRecycleBinHook hook);
void SetCopyRecordUnderHook(CopyRecordUnderHook hook);
