// NTFS directory index records ("INDX" blocks) found on the disk: their live entries and the
// stale entries left in the slack behind them name files whose MFT records may be gone. The
// entries become index-entry FileRecords in the process-wide IndxFileList; at the end of a
// deep scan those that no parsed volume knows are added to it as explicit-extent records.
// The cluster LBAs of the short index allocations of parsed directories are kept in
// KnownIndxLbas, so the deep scan can drop index records a parsed volume already explains.
//
// Index records come from the disk: every entry offset, length and name length is checked
// against the 4096 bytes of the record before it is read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "scanbase/knowndirlbas.h"

constexpr uint32_t kIndxRecordBytes = 4096;
// Bytes of an index entry up to its name.
constexpr uint32_t kIndexEntryHead = 82;

// The index-entry records found so far; each owns its name. Every access holds the lock.
std::vector<FileRecord>& IndxFileList();
std::mutex& IndxFileListLock();
// Frees the names and empties the list (deep-scan start).
void ClearIndxFileList();

// 1 only while the deep scan's end-of-scan hit handling runs.
extern std::atomic<uint32_t> ScanEndStageActive;

// Applies the update-sequence fix-up of a raw 4096-byte block to a copy: false unless the
// magic is "INDX", the array sits at 0x28 with 9 words and every sector ends in the sequence
// number. The source is not changed.
bool RepairIndxRecord(const uint8_t* raw, uint8_t* repaired);
// One repaired record; false when its magic is not "INDX" (true also when nothing was taken).
bool ParseIndxRecord(const uint8_t* record);
// Copies, repairs and parses a raw block as the deep scan finds it.
bool ParseRawIndxRecord(const uint8_t* raw);

// The live entries from the entry at offset (bytes left to the record's end) that share the
// parent; offset and left end on the last entry looked at. taken receives the offsets of the
// entries read as live ones.
void AddIndexEntryRecords(const uint8_t* record, uint32_t& offset, uint32_t& left, uint32_t parent,
                          std::vector<uint32_t>* taken = nullptr);
// One stale entry with bytes to the record's end; true when accepted.
bool AddStaleIndexEntry(const uint8_t* entry, uint32_t bytes, uint32_t parent);
// Index-entry items that the volume does not know become its explicit-extent records.
void AddIndxOnlyFiles(VolumeContext& vol);
// The attribute (attrBytes of it readable) when it is a non-resident $INDEX_ALLOCATION: the
// LBAs of every cluster of its runs shorter than 16 clusters go to KnownIndxLbas.
bool CollectIndexAllocationLbas(const VolumeContext& vol, const uint8_t* attr, uint32_t attrBytes);
