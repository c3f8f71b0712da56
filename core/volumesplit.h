// Cutting a parsed volume into the volumes the user browses: the existing files (split kind
// 1) and the deleted files (split kind 2) of one volume, the Recycle Bin with the lost files,
// or only what lies below a chosen folder. Everything here works on volumes that are not yet
// in the VolumeList, on the thread that parsed them.
//
// Ownership: a volume appended to an output list owns its records there (the list holds
// shallow copies sharing the record chunks); a volume that is not appended has its records
// freed here, except where a function says the caller keeps it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"

// The recovery modes the split tells apart; every other mode gives the plain split.
constexpr uint32_t kSplitModeDeletedFiles = 2;
constexpr uint32_t kSplitModeRecycleBin = 5;

// Keep modes of FilterRecordsByState.
enum : uint32_t { kKeepNoFile = 0, kKeepDeleted = 1, kKeepExisting = 2 };

// Record ids of one volume; order does not matter and an id may occur more than once.
using RecordIdList = std::vector<uint64_t>;

// Mode 2: only the deleted files; mode 5: only the Recycle Bin and the lost files (both kinds
// of entries); otherwise the existing files, then the deleted files when the copy could be
// made. In modes 2 and 5 v's records are freed whatever happens; otherwise v goes into out.
void SplitVolumeByDeletion(uint32_t mode, VolumeContext& v, std::vector<VolumeContext>& out);
// The same for a folder or desktop target (the ScanTarget's source path): each volume is cut
// down to the chosen folder, the deleted one keeps the Recycle Bin and the lost files too. A
// volume in which nothing is left is not appended. When the copy fails in modes 2 and 5, v
// stays with the caller.
void SplitVolumeWithRecycleView(uint32_t mode, VolumeContext& v, std::vector<VolumeContext>& out);
// 1 when split: v keeps the existing files (kind 1), d receives the deleted files (kind 2);
// 0 when the copy could not be made, v unchanged.
int SplitVolumeCopy(VolumeContext& v, VolumeContext& d);
// Filters the subtree of rec by the keep mode; 1 when rec is still there afterwards, 0 when it
// was freed. A deleted directory stays whole when deleted files are kept and loses every file
// when existing files are kept. Walks with an explicit stack, so a deep tree cannot exhaust
// the thread's stack.
int FilterRecordsByState(VolumeContext& v, FileRecord* rec, uint32_t keep);
// 1 when d holds the Recycle Bin folder and the lost files of v (a copy; v unchanged).
int BuildRecycleBinVolume(VolumeContext& v, VolumeContext& d);
// 1 when v was cut down to the records along and below the paths; 0, v unchanged, when no
// file would be left.
int BuildRecycleBinVolumeFromPaths(VolumeContext& v, const std::vector<CString>& paths);
// Appends the root, each folder along the path ("C:\a\b" or "a\b", '\' separated, names
// compared exactly) and the whole subtree at its end; 1 when the whole path was found (out is
// unchanged otherwise).
int CollectIdsByPath(const VolumeContext& v, const CString& path, RecordIdList& out);
// Appends id and every record below it (not the root again); 1 when out is not empty.
int CollectSubtreeIds(const VolumeContext& v, uint32_t id, RecordIdList& out);
// The first child of the directory with exactly that name (the root among them too).
int FindChildIdByName(const VolumeContext& v, const char16_t* name, uint32_t dirId, uint32_t& out);
// Frees every named record that is not listed (the root always stays) and relinks the tree.
void KeepOnlyListedRecords(VolumeContext& v, RecordIdList ids);
