// File-delete records of the USN journal ($UsnJrnl) and their merge into the $LogFile entries.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "base/heap.h"
#include "base/pathutil.h"
#include "core/dataextents.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/logfilesplit.h"
#include "parsefilesystem/parsentfs/logrecover.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

namespace {

constexpr unsigned kTagUsnBuffer = 345;
constexpr uint32_t kUsnBlock = 4096;
constexpr uint32_t kUsnMinBytes = 63;
constexpr uint32_t kUsnMaxRecord = 580;
constexpr uint32_t kUsnMaxName = 520;
constexpr uint32_t kUsnReasonDelete = 0x200;
constexpr uint64_t kSparseLba = 0x1000000000000ull;

// A file reference as a plausible one: a record number the table can hold, nothing in bits
// 32-47, a small sequence number.
bool PlausibleReference(uint64_t ref) {
  return (ref & 0xFFFFFFFF) <= 0x800000 && ((ref >> 32) & 0xFFFF) == 0 && (ref >> 48) <= 0x20;
}

std::u16string LegalName(const uint8_t* p, uint32_t chars) {
  char16_t* legal = CopyUtf16Name(p, chars);
  std::u16string out(legal);
  FreeMem(legal);
  return out;
}

// The journal's records start at its first run that holds data: a long-lived volume's stream
// begins with a large sparse region that reads as zeros.
uint64_t FirstDataOffset(VolumeContext& vol, uint32_t id) {
  DataExtentList extents;
  if (GetRecordExtents(vol, id, extents) == 0) return 0;
  uint64_t offset = 0;
  for (const DataExtent& e : extents) {
    if (e.startLba < kSparseLba) return offset;
    offset += e.sectorCount * 512;
  }
  return 0;
}

}  // namespace

bool ScanUsnRecords(const uint8_t* buffer, uint32_t length, std::vector<UsnDeleteItem>& items) {
  bool added = false;
  uint64_t a = 0;
  auto nextBlock = [&] { a = (a / kUsnBlock + 1) * kUsnBlock; };
  while (a < length) {
    if (length - a < kUsnMinBytes) break;
    if (a % kUsnBlock + kUsnMinBytes > kUsnBlock) {
      nextBlock();
      continue;
    }
    const uint8_t* r = buffer + a;
    const uint32_t recordLength = NtfsRead32(r);
    const uint32_t nameBytes = NtfsRead16(r + 0x38);
    const bool plausible = NtfsRead16(r + 4) == 2 && recordLength >= nameBytes + 60 && recordLength <= kUsnMaxRecord &&
                           (nameBytes & ~1u) <= kUsnMaxName && NtfsRead16(r + 0x3A) == 60 &&
                           PlausibleReference(NtfsRead64(r + 0x08)) && PlausibleReference(NtfsRead64(r + 0x10)) &&
                           a + recordLength <= length;
    if (!plausible) {
      nextBlock();
      continue;
    }
    if (NtfsRead32(r + 0x28) & kUsnReasonDelete) {
      UsnDeleteItem item;
      item.record = NtfsRead32(r + 0x08);
      item.parent = NtfsRead32(r + 0x10);
      item.usn = NtfsRead64(r + 0x18);
      item.name = LegalName(r + 0x3C, nameBytes / 2);
      items.push_back(std::move(item));
      added = true;
    }
    a += recordLength;  // at least 60: always forward
  }
  return added;
}

bool LoadUsnDeleteRecords(VolumeContext& vol, std::vector<UsnDeleteItem>& items) {
  FileRecord* journal = nullptr;
  uint32_t journalId = 0;
  for (uint32_t id = 0; id < vol.idLimit && !journal; ++id) {
    FileRecord* rec = GetFileRecord(vol, id, 0);
    if (rec && rec->name && std::u16string_view(rec->name) == u"$UsnJrnl" && rec->size > 1024) {
      journal = rec;
      journalId = id;
    }
  }
  if (!journal) return false;
  const uint64_t size = journal->size;
  const uint64_t start = std::min(FirstDataOffset(vol, journalId), size);
  auto* buffer = static_cast<uint8_t*>(AllocMem(kUsnPieceBytes, kTagUsnBuffer));
  for (uint64_t offset = start; offset < size; offset += kUsnPieceBytes) {
    const uint64_t got = ReadRecordData(vol, *journal, offset, buffer);
    if (got < kUsnBlock) break;
    if (!ScanUsnRecords(buffer, uint32_t(got), items)) break;
  }
  FreeMem(buffer);
  if (items.empty()) return false;
  if (items.size() > kMaxReplayEntries) items.resize(kMaxReplayEntries);
  std::stable_sort(items.begin(), items.end(), [](const UsnDeleteItem& x, const UsnDeleteItem& y) {
    return int64_t(x.usn) < int64_t(y.usn);
  });
  std::vector<UsnDeleteItem> kept;
  kept.reserve(items.size());
  for (UsnDeleteItem& item : items)
    if (kept.empty() || int64_t(item.usn) > int64_t(kept.back().usn)) kept.push_back(std::move(item));
  items.swap(kept);
  return true;
}

void MarkUsnDirectories(std::vector<UsnDeleteItem>& items) {
  // A folder is deleted after its contents: an item whose record was named as the parent of
  // an earlier deletion is a folder.
  std::unordered_set<uint32_t> parents;
  for (UsnDeleteItem& item : items) {
    parents.insert(item.parent);
    if (parents.erase(item.record)) item.isDirectory = 1;
    else item.isDirectory = item.name.find(u'.') == std::u16string::npos ? 1 : 0;
  }
}

void MergeUsnWithLogEntries(std::vector<UsnDeleteItem>& items, LogEntryList& entries) {
  if (items.empty()) return;
  MarkUsnDirectories(items);
  LogEntryList merged;
  merged.reserve(entries.size() + items.size());
  size_t a = 0;
  for (LogFileEntry& e : entries) {
    if (e.kind == kLogUsnRecord) {
      // The deletions the journal recorded up to this USN happened before this log record.
      const int64_t u = int64_t(e.usn);
      const size_t first = a;
      while (a < items.size() && int64_t(items[a].usn) <= u) ++a;
      const uint64_t consumed = a - first;
      if (consumed > 0 && e.lsn > consumed - 1) {
        for (uint64_t k = 0; k < consumed; ++k) {
          const UsnDeleteItem& item = items[first + k];
          if (int64_t(item.usn) >= u) continue;
          LogFileEntry d;
          d.kind = kLogUsnDeleted;
          d.recordNumber = item.record;
          d.parent = item.parent;
          d.lsn = e.lsn - consumed + k;
          d.usn = item.usn;
          d.rec.id = item.record;
          d.rec.parent = item.parent;
          CopyLegalName(d.rec.name, item.name.c_str(), item.name.size());
          d.rec.flags = item.isDirectory ? kRecDirectory : 0;
          merged.push_back(std::move(d));
        }
      }
    }
    merged.push_back(std::move(e));
  }
  entries.swap(merged);
}
