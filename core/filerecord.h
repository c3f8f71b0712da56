// FileRecord: one found file or directory, 83 packed bytes, and ViewNode: one node of a
// classified view. Both live in the chunks of a VolumeContext's record table.
//
// The scan-state data file stores FileRecords byte for byte, so the layout is fixed. In a
// chunk the records sit at an 83-byte stride: the pointer fields and the flags word are
// unaligned. Read and write them through the packed struct (or memcpy), never through a
// pointer to a member.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/cstring.h"

#pragma pack(push, 1)
struct FileRecord {
  uint32_t id;             // 1 … 3,999,999
  uint32_t parent;         // the root's parent is itself
  uint32_t childCapacity;  // entries allocated in childIds
  uint32_t childCount;
  uint32_t* childIds;      // guarded-heap array of child ids
  int32_t filesBelow;      // directories: files in the subtree
  union {
    uint32_t firstCluster;  // FAT and exFAT files
    uint32_t blobLength;    // bytes of the blob (16 per pair of an explicit extent list)
  };
  uint64_t lba;            // NTFS: its MFT record; FAT/exFAT: first cluster; carved: start
  uint64_t size;           // bytes; directories: total of the files below
  uint32_t ctime;          // packed local time
  uint32_t mtime;          // packed local time
  char16_t* name;          // NUL-terminated, guarded heap
  uint8_t* blob;           // run list, attribute list or ByteRangeList, guarded heap
  uint64_t previewHandle;  // owned by the preview worker
  uint8_t typeId;          // file type id, 234 for none
  uint16_t flags;
};

// A node of a classified view. It begins with the same five fields as a FileRecord, so the
// child-list operations serve both.
struct ViewNode {
  uint32_t id;
  uint32_t parent;
  uint32_t childCapacity;
  uint32_t childCount;
  uint32_t* childIds;
  uint32_t slot;      // VolumeList slot of the record shown
  uint32_t recordId;  // id of that record in that slot
  uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(FileRecord) == 83);
static_assert(sizeof(ViewNode) == 36);

// The child ids of a record or view node, copied (the array may move while it is used) and
// bounded by the array's own block, so a damaged count never reads past it.
std::vector<uint32_t> ChildIdList(const FileRecord* r);
std::vector<uint32_t> ChildIdList(const ViewNode* n);

// FileRecord flags.
enum FileRecordFlags : uint16_t {
  kRecResident = 0x1,         // NTFS data inside the MFT record
  kRecChecked = 0x2,
  kRecPartChecked = 0x4,
  kRecInUse = 0x8,            // clear: deleted
  kRecDirectory = 0x10,
  kRecVisible = 0x20,         // visible under the current filter
  kRecExtentList = 0x40,      // the blob is a ByteRangeList
  kRecNoPreview = 0x80,
  kRecPreviewQueued = 0x100,
  kRecPreviewReady = 0x180,   // both bits
  kRecExfatChain = 0x200,     // exFAT file that follows the FAT chain
  kRecAttrList = 0x400,       // the blob is an NTFS attribute list
  kRecUnnamed = 0x800,        // kept for its data only
  kRecAttrListOnDisk = 0x1000,
  kRecCompressed = 0x2000,    // NTFS data in compression units of 16 clusters
  kRecDamaged = 0x4000,       // size or runs that the volume cannot hold: no copy can be whole
};

constexpr uint32_t kRootId = 5;
constexpr uint32_t kLostFolderId = 4;
constexpr uint32_t kMaxRecordId = 3999999;
constexpr uint32_t kRecordIdEnd = 4000000;  // ids at or above fail every store
// Upward and downward walks over parent ids from a disk stop after this many steps.
constexpr uint32_t kMaxTreeDepth = 4096;

// The flags word is changed by the user-interface thread (check and visible bits) and by the
// preview worker (preview bits). It is unaligned, so those read-modify-writes take this lock.
std::mutex& RecordFlagsLock();
void SetRecordFlags(FileRecord& rec, uint16_t bits);
void ClearRecordFlags(FileRecord& rec, uint16_t bits);

// Appends a child id, growing the array 0 → 8 → 12 → 18 → 27 …; false when the array cannot
// grow further. Works on FileRecords and ViewNodes.
bool AppendChildId(FileRecord& rec, uint32_t childId);
bool AppendChildId(ViewNode& node, uint32_t childId);
// Replaces the child list by kept when dropped is not empty. Then frees a record left without
// children (other than the root) and returns 0; else 1.
int SetChildIds(FileRecord& rec, const std::vector<uint32_t>& kept, const std::vector<uint32_t>& dropped);
// Replaces the name with a guarded-heap copy of the text.
void SetRecordName(FileRecord& rec, const char16_t* text);
// Frees the name, the child array and the blob, then zeroes all 83 bytes.
void FreeFileRecord(FileRecord& rec);
// Copies src into dst with a name and blob of its own, no children and no preview handle.
// Nothing happens for a null or nameless source.
void CopyFileRecord(FileRecord* dst, const FileRecord* src);

// Guarded-heap copies used by the record and tree code. The name copy stops at the first NUL
// or at the end of the source block.
char16_t* DupRecordName(const char16_t* name, unsigned allocTag, unsigned copyTag);
// A copy of length bytes of a guarded-heap block; bytes beyond the source block are zero.
uint8_t* DupHeapBytes(const void* src, uint32_t length, unsigned allocTag, unsigned copyTag);
// Length in units of a record's name, bounded by its block.
uint32_t RecordNameLength(const char16_t* name);
