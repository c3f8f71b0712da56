// The NTFS extent provider: run lists and attribute lists of NTFS records as sector runs.
#pragma once

#include "core/dataextent.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

// Installs the provider for NTFS volumes (type 12). The program and the test tools call it once
// at start; calling it again changes nothing.
void InitNtfsExtentProvider();
// Runs of a record of an NTFS volume that is neither an explicit extent list nor resident.
bool GetNtfsRecordExtents(VolumeContext& vol, FileRecord& rec, DataExtentList& out);
