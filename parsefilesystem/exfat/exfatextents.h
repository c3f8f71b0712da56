// The exFAT extent provider: an exFAT file's clusters as sector runs.
#pragma once

#include "core/dataextent.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

// Installs the provider for exFAT volumes (type 4). The program and the test tools call it once
// at start; calling it again changes nothing.
void InitExfatExtentProvider();
// The runs of the file's clusters from its first cluster and size; false for an empty list.
bool GetExfatRecordExtents(VolumeContext& vol, FileRecord& rec, DataExtentList& out);
