// The data of a FAT file as runs of sectors on the device.
#pragma once

#include "core/dataextent.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

// The runs of a file from its first cluster, every run with cluster delta 0 and cluster count 0;
// true when at least one run results.
//   - A live file follows its chain until its size is covered. An end mark, a bad-cluster mark,
//     a cluster outside the volume or one the chain gave before ends it; a cleared entry goes on
//     with the next cluster only while that cluster is free. A chain that ends early gives
//     fewer bytes than the size: the file cannot be copied whole, and is never filled from the
//     clusters of other files.
//   - A live directory follows its chain to its end.
//   - A deleted file's entries were cleared with it: it takes the free clusters from its first
//     cluster on until its size is covered, passing over clusters that are in use. When its
//     first cluster is in use again, its data is gone and it has no runs.
//   - A deleted directory gives one run of its recorded size.
bool GetFatFileExtents(const VolumeContext& ctx, const FileRecord& rec, DataExtentList& out);
