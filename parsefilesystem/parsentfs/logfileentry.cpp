#include "parsefilesystem/parsentfs/logfileentry.h"

#include <cstring>
#include <utility>

#include "base/heap.h"

namespace {
constexpr unsigned kTagEntryName = 341;
constexpr unsigned kTagEntryBlob = 342;

void StealRecord(FileRecord& to, FileRecord& from) {
  std::memcpy(static_cast<void*>(&to), &from, sizeof(FileRecord));
  std::memset(static_cast<void*>(&from), 0, sizeof(FileRecord));
}
}  // namespace

LogFileEntry::LogFileEntry(LogFileEntry&& other) noexcept { *this = std::move(other); }

LogFileEntry& LogFileEntry::operator=(LogFileEntry&& other) noexcept {
  if (this == &other) return *this;
  ReleaseRecord();
  position = other.position;
  kind = other.kind;
  recordNumber = other.recordNumber;
  parent = other.parent;
  secondParent = other.secondParent;
  createdDirId = other.createdDirId;
  lsn = other.lsn;
  previousLsn = other.previousLsn;
  attrOffset = other.attrOffset;
  bitCount = other.bitCount;
  nameSpace = other.nameSpace;
  usn = other.usn;
  usnMark = other.usnMark;
  StealRecord(rec, other.rec);
  return *this;
}

LogFileEntry::~LogFileEntry() { ReleaseRecord(); }

void LogFileEntry::ReleaseRecord() {
  // Only the name and blob are ever set on an embedded record; it never has children.
  if (rec.name) FreeMem(rec.name);
  if (rec.blob) FreeMem(rec.blob);
  std::memset(static_cast<void*>(&rec), 0, sizeof(FileRecord));
}

LogFileEntry LogFileEntry::Clone() const {
  LogFileEntry e;
  e.position = position;
  e.kind = kind;
  e.recordNumber = recordNumber;
  e.parent = parent;
  e.secondParent = secondParent;
  e.createdDirId = createdDirId;
  e.lsn = lsn;
  e.previousLsn = previousLsn;
  e.attrOffset = attrOffset;
  e.bitCount = bitCount;
  e.nameSpace = nameSpace;
  e.usn = usn;
  e.usnMark = usnMark;
  std::memcpy(static_cast<void*>(&e.rec), &rec, sizeof(FileRecord));
  e.rec.childIds = nullptr;
  e.rec.childCapacity = 0;
  e.rec.childCount = 0;
  e.rec.name = rec.name ? DupRecordName(rec.name, kTagEntryName, kTagEntryName) : nullptr;
  e.rec.blob = nullptr;
  if (rec.blob && rec.blobLength) e.rec.blob = DupHeapBytes(rec.blob, rec.blobLength, kTagEntryBlob, kTagEntryBlob);
  else e.rec.blobLength = 0;
  return e;
}
