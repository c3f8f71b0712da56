#include "parsefilesystem/parsentfs/ntfsextents.h"

#include "core/dataextents.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

bool GetNtfsRecordExtents(VolumeContext& vol, FileRecord& rec, DataExtentList& out) {
  out.clear();
  // A list that was never joined is not a run list; reading it as one would give garbage. The
  // volume walk joins every list, so readers never change a record they share.
  if (rec.flags & (kRecAttrList | kRecAttrListOnDisk)) return false;
  if (!rec.blob || rec.blobLength == 0) return false;
  return DataRunsToSectors(vol, rec.blob, rec.blobLength, out);
}

void InitNtfsExtentProvider() { SetExtentProvider(kVolTypeNtfs, &GetNtfsRecordExtents); }
