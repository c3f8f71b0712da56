// The Recycle Bin repair, run while a parser links a volume's tree: the folder "$RECYCLE.BIN"
// below the root becomes the deleted directory named by the language text "RecycleBin", and
// every data file "$R…" whose information file "$I…" names its former path gets deleted copies
// under its former name, once inside that folder along the former path and once at the former
// place below the root. The data file itself stays under its "$R" name.
//
// Information files come from the disk: they are read whole (at most 10,240 bytes) and never
// past their end; former paths are split into names that are repaired like every name from a
// disk, and the components "", "." and ".." are skipped, so no copy can be placed above the
// folder it belongs in. A copy never goes into the subtree it is copied from.
#pragma once

#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "core/volumesplit.h"
#include "platform/cstring.h"

constexpr uint32_t kMaxRecycleInfoBytes = 10240;
constexpr uint32_t kMaxRecycleNameUnits = 260;

struct RecyclePathPair {
  uint32_t dataId;  // the "$R" data file or directory
  CString path;     // former path from the '\' after the drive colon, e.g. "\Users\x\a.txt"
};

// The repair of a whole volume (exFAT, FAT32, NTFS and the rebuilt FAT32 and exFAT volumes;
// not FAT16). Running it again on a repaired volume changes nothing.
void RepairRecycleBin(VolumeContext& v);
// The data files of one folder (the Recycle Bin folder itself or a per-user folder).
void RepairRecycleFolder(VolumeContext& v, uint32_t binId, uint32_t folderId);
// Ids whose record's name is longer than two characters and begins with "$R" go to dataIds,
// the others with a record to otherIds.
void SplitRecycleNames(const VolumeContext& v, const RecordIdList& ids, RecordIdList& dataIds, RecordIdList& otherIds);
// Opens the ScanTarget once and pairs the data files of ids with the information files of the
// same name from the third character on.
void ReadRecycleOriginalPaths(VolumeContext& v, const RecordIdList& ids, RecordIdList& used,
                              std::vector<RecyclePathPair>& pairs);
// 1 when the information file with this id gave a former path.
int ReadRecycleInfoFile(DiskReader& reader, VolumeContext& v, uint32_t id, CString& path);
// The former path out of the bytes of an information file; 1 when there is one. Files whose
// header promises more than they hold, files under two units, files without a drive colon and
// names over 260 units give none.
int ParseRecycleInfo(const uint8_t* data, uint32_t size, CString& path);
void RestoreRecycledNames(VolumeContext& v, uint32_t binId, const std::vector<RecyclePathPair>& pairs);
// Walks (and makes, as deleted directories) the folders of parts, all but the last, from dirId;
// dirId ends as the last folder. 0 for an empty list.
int EnsurePathFolders(VolumeContext& v, const std::vector<CString>& parts, uint32_t& dirId);
// The first child directory (not the root) with exactly that name, or null.
FileRecord* FindChildRecordByName(const VolumeContext& v, uint32_t dirId, const char16_t* name);
// Copies the record (and a directory's subtree) under the target directory as deleted
// records, under the name when one is given. When the target already holds a directory of
// that name, a directory's children go into it and a file is not copied. 0 when the record is
// missing or the target lies inside the record's own subtree.
int CopyRecordUnder(VolumeContext& v, uint32_t targetDirId, uint32_t recordId, const char16_t* name);

// Installs the repair and the record copy into the tree building; the program and the tools
// call it at start.
void InstallRecycleBinRepair();
