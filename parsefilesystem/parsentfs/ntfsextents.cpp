#include "parsefilesystem/parsentfs/ntfsextents.h"

#include "core/dataextents.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

bool GetNtfsRecordExtents(VolumeContext& vol, FileRecord& rec, DataExtentList& out) {
  out.clear();
  if (rec.flags & kRecAttrListOnDisk) {
    // The attribute list is read from the disk and leaves an explicit extent list behind.
    if (!LoadNtfsAttributeListExtents(vol, rec)) return false;
    return FormatByteRanges(rec, out) != 0;
  }
  // A list that was never joined is not a run list; reading it as one would give garbage.
  if (rec.flags & kRecAttrList) return false;
  if (!rec.blob || rec.blobLength == 0) return false;
  return DataRunsToSectors(vol, rec.blob, rec.blobLength, out);
}

void InitNtfsExtentProvider() { SetExtentProvider(kVolTypeNtfs, &GetNtfsRecordExtents); }
