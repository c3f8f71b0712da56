// The worker side of a copy-out job: what one running copy carries, and the steps that walk the
// items. Used by the copy-out threads (copyjobs.cpp) and their tests.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "core/copyout.h"
#include "core/diskreader.h"
#include "core/volumelist.h"

struct CopyRun {
  CopyRun(RecoverJob& j, VolumeList& l, DiskReader& r, CopyProgress& p) : job(j), list(l), reader(r), progress(p) {}
  RecoverJob& job;
  VolumeList& list;
  DiskReader& reader;
  CopyProgress& progress;
  bool tempCopy = false;  // a temporary copy: the file is listed for the purge
  std::unordered_set<uint64_t> visited;  // items copied in this job; a looped tree stops
  CopyStaging staging;
  CString failedDevice;  // a device that could not be opened: its other files fail at once
};

// The device a slot's records were read from, as the reader opens it. A slot names its own
// device; one without (volumes rebuilt from scan hits) lies on the scan target, and a slot on the
// scan target's device reads within the target's bounds.
bool SlotDeviceContext(VolumeList& list, uint32_t slot, VolumeContext& out);
// Points the run's reader at the device of the slot, reopening it when the slot lies elsewhere.
// False (and the job's result says so) when that device cannot be opened.
bool UseSlotDevice(CopyRun& run, uint32_t slot);

// 1 for a record that may be copied: any record with the flag 0; with the flag 1 only one
// with exactly one of the checked and partly-checked bits.
int IsItemSelectedForCopy(const FileRecord* rec, uint32_t checkFlag);
// Copies one file item to path (numbered when taken; path takes the name used).
CopyFileResult CopyOneFile(CopyRun& run, uint32_t slotOrView, uint32_t id, CString& path);
// Copies the item (a file, or a folder with everything below it) into folder. 0 when the job
// stops, the item is not selected or its folder cannot be made.
int CopyItemTree(CopyRun& run, uint32_t slotOrView, uint32_t id, const CString& folder, uint32_t checkFlag);
// The top-level item of a view: its own name keeps its colons.
int CopyViewItemTree(CopyRun& run, uint32_t viewId, uint32_t nodeId, const CString& folder);
// Copies the job's item into the job's folder, every file read from its own volume's device;
// false when a device could not be opened (the job's result says so).
bool OpenRecoverSource(RecoverJob& job, CopyProgress& progress, const CString& folder);
// Copies the job's file item into the job's folder as a temporary copy; 0 for a folder item or
// when the device could not be opened.
int CopyItemToTemp(RecoverJob& job, CopyProgress& progress);

// A folder to copy into: an existing folder is used; a file of the name makes the folder take
// the first free " (N)" name. False when none can be made.
bool MakeTargetFolder(CString& path);
// True once the job was stopped, its device lost or its target full.
bool CopyRunEnded(const CopyRun& run);
// The files at and below an item that cannot be reached count as handled and failed.
void CountUnreachableItem(CopyRun& run, uint32_t slotOrView, uint32_t id, uint32_t checkFlag);

// Temporary copies made for opening.
void AddTempCopy(const CString& path, uint64_t size);
size_t TempCopyCount();
void ClearTempCopies();

// Writes every byte through the copy's write hook; 0 or the errno.
int CopyWriteAll(int fd, const void* buf, uint64_t n);
