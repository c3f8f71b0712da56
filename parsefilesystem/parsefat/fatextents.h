// The data of a FAT file as runs of sectors on the device.
#pragma once

#include "core/dataextent.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

// Follows the file's cluster chain from its first cluster until its size is covered. Where the
// chain is cleared, ends early or comes back to a cluster it already gave, the file is taken to
// go on in the next cluster (a deleted file whose FAT entries were zeroed reads as contiguous
// clusters). A deleted directory gives one run of its recorded size. True when at least one run
// results; every run has cluster delta 0 and cluster count 0.
bool GetFatFileExtents(const VolumeContext& ctx, const FileRecord& rec, DataExtentList& out);
