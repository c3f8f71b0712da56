#include "parsefilesystem/parsentfs/logfilesplit.h"

#include <algorithm>
#include <cstring>

#include "base/pathutil.h"

namespace {

constexpr uint32_t kPageHead = 0x40;
constexpr uint32_t kSectorsPerPage = kLogPageBytes / 512;

bool HasRcrdMagic(const uint8_t* p) { return std::memcmp(p, "RCRD", 4) == 0; }

uint64_t RoundUp8(uint64_t v) { return (v + 7) & ~uint64_t(7); }

// The client header of the record at c looks like one a log writer produced. The caller has
// made sure the header (0x3C bytes from c) is readable.
bool HasValidClientHeader(const uint8_t* r) {
  const uint32_t redoOp = NtfsRead16(r + 0x30), undoOp = NtfsRead16(r + 0x32);
  const uint32_t redoOff = NtfsRead16(r + 0x34), redoLen = NtfsRead16(r + 0x36);
  const uint32_t undoOff = NtfsRead16(r + 0x38);
  if (redoOp < 256 && undoOp < 256 && redoOff == 0x28 &&
      (undoOff == 0x28 || undoOff == RoundUp8(redoLen) + 0x28))
    return true;
  return redoOp == 1 && undoOp == 0 && redoOff == 0 && NtfsRead64(r + 0x08) == 0 && NtfsRead64(r + 0x10) == 0;
}

// Where the record at r ends by its redo and undo data, rounded to 8 bytes.
uint64_t RecordExtent(const uint8_t* r) {
  const uint64_t redoOff = NtfsRead16(r + 0x34), redoLen = NtfsRead16(r + 0x36);
  const uint64_t undoOff = NtfsRead16(r + 0x38), undoLen = NtfsRead16(r + 0x3A);
  const uint64_t extent = redoOff + redoLen == undoOff ? redoLen + 88 + undoLen : undoOff + 48 + undoLen;
  return RoundUp8(extent);
}

// Puts the saved words of the update-sequence array back into the sector tails of a page whose
// every sector carries the sequence number; any other page is left as it is.
void RepairRcrdPage(uint8_t* page) {
  if (!HasRcrdMagic(page)) return;
  const uint32_t usa = NtfsRead16(page + 4), usaCount = NtfsRead16(page + 6);
  if (usa >= 512 || usaCount != kSectorsPerPage + 1) return;
  const uint8_t* seq = page + usa;
  for (uint32_t s = 0; s < kSectorsPerPage; ++s)
    if (std::memcmp(page + s * 512 + 510, seq, 2) != 0) return;
  for (uint32_t s = 0; s < kSectorsPerPage; ++s) std::memcpy(page + s * 512 + 510, seq + 2 + 2 * s, 2);
}

}  // namespace

char16_t* CopyUtf16Name(const uint8_t* p, uint32_t chars) {
  std::vector<char16_t> units(chars);
  for (uint32_t i = 0; i < chars; ++i) units[i] = char16_t(NtfsRead16(p + 2 * i));
  char16_t* out = nullptr;
  CopyLegalName(out, units.data(), chars);
  return out;
}

bool CheckFollowingLogRecords(const uint8_t* buffer, uint32_t n, uint64_t position, uint64_t lsnBefore) {
  // The whole client header must be readable, not only the LSN.
  if (position + kLogClientHeadEnd > n) return false;
  const uint8_t* r = buffer + position;
  if (!HasValidClientHeader(r)) return false;
  const uint64_t prev = NtfsRead64(r + 0x08);
  return prev == 0 || prev == lsnBefore;
}

void SplitRcrdRecords(uint32_t pageIndex, const uint8_t* buffer, uint32_t n, uint32_t carried,
                      std::vector<LogRecordItem>& items) {
  if (n <= 152 || !HasRcrdMagic(buffer)) return;
  const uint64_t lastLsn = NtfsRead64(buffer + 0x08), lastEndLsn = NtfsRead64(buffer + 0x20);
  uint64_t c = kPageHead;
  bool carriedFirst = carried > 0;
  while (c + 88 < n) {
    if (!HasValidClientHeader(buffer + c)) {
      // Damage or slack: look for the next record that a following record confirms.
      carriedFirst = false;
      for (;;) {
        c += 8;
        if (c + 264 >= n) return;
        const uint8_t* r = buffer + c;
        if (HasValidClientHeader(r) && CheckFollowingLogRecords(buffer, n, c + RecordExtent(r), NtfsRead64(r)))
          break;
      }
    }
    const uint8_t* r = buffer + c;
    const uint64_t lsn = NtfsRead64(r);
    const uint64_t recordBytes = uint64_t(NtfsRead32(r + 0x18)) + kLogRecordHead;
    const int64_t position =
        int64_t(pageIndex) * kLogPageBytes + int64_t(c) - int64_t(carried) - (carriedFirst ? int64_t(kPageHead) : 0);
    const uint64_t rest = n - c;
    if (rest > 88 && rest >= recordBytes && IsAcceptedRedoOp(NtfsRead16(r + 0x30))) {
      LogRecordItem item;
      item.position = int32_t(position);
      item.lsn = lsn;
      // The record's own bytes only: a copy of the rest of the page for every record of a full
      // log would need gigabytes.
      item.copy.assign(r, r + std::min(rest, recordBytes));
      items.push_back(std::move(item));
    }
    if (lastLsn > lastEndLsn && lsn == lastEndLsn) return;
    c += recordBytes;  // at least 0x30: always forward
    carriedFirst = false;
  }
}

void SplitRcrdPage(uint32_t pageIndex, const uint8_t* page, uint8_t* carry, uint32_t& carryLength,
                   std::vector<LogRecordItem>& items) {
  if (carryLength >= 1 && carryLength < kLogPageBytes) {
    // The record carried from the page before, followed by its continuation on this page.
    std::vector<uint8_t> joined(2 * kLogPageBytes, 0);
    std::memcpy(joined.data(), page, kPageHead);
    std::memcpy(joined.data() + kPageHead, carry, carryLength);
    std::memcpy(joined.data() + kPageHead + carryLength, page + kPageHead, kLogPageBytes - kPageHead);
    const uint32_t carried = carryLength;
    carryLength = 0;
    SplitRcrdRecords(pageIndex, joined.data(), carried + kLogPageBytes, carried, items);
  } else {
    SplitRcrdRecords(pageIndex, page, kLogPageBytes, 0, items);
  }
  const uint64_t lastLsn = NtfsRead64(page + 0x08), lastEndLsn = NtfsRead64(page + 0x20);
  const uint32_t next = NtfsRead16(page + 0x18);
  if (lastLsn > lastEndLsn && next + 8 <= kLogPageBytes && NtfsRead64(page + next) == lastLsn) {
    carryLength = kLogPageBytes - next;
    std::memcpy(carry, page + next, carryLength);
  }
}

bool ScanLogFilePages(uint8_t* bytes, uint64_t count, std::vector<LogRecordItem>& items) {
  const uint64_t pages = count / kLogPageBytes;
  if (count >= 0x4000)
    for (uint64_t p = 0; p < pages; ++p) RepairRcrdPage(bytes + p * kLogPageBytes);
  uint8_t carry[kLogPageBytes];
  uint32_t carryLength = 0;
  for (uint64_t p = 0; p < pages; ++p) {
    const uint8_t* page = bytes + p * kLogPageBytes;
    if (HasRcrdMagic(page)) SplitRcrdPage(uint32_t(p), page, carry, carryLength, items);
  }
  SortLogRecordItems(items);
  return !items.empty();
}

void SortLogRecordItems(std::vector<LogRecordItem>& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const LogRecordItem& a, const LogRecordItem& b) { return a.lsn < b.lsn; });
  std::vector<LogRecordItem> kept;
  kept.reserve(items.size());
  uint64_t last = 0;
  for (LogRecordItem& item : items) {
    if (item.lsn == last) continue;
    last = item.lsn;
    kept.push_back(std::move(item));
  }
  items.swap(kept);
}

bool ValidateLogRecord(uint8_t* copy, uint32_t length) {
  if (!copy || length < 88 || length > 2 * kLogPageBytes) return false;
  if (length < uint64_t(NtfsRead32(copy + 0x18)) + kLogRecordHead) return false;
  auto clearLsn = [&](uint32_t at) {
    if (NtfsRead64(copy + at) > kMaxPlausibleLsn) std::memset(copy + at, 0, 8);
  };
  clearLsn(0x00);
  clearLsn(0x08);
  // Redo and undo data count from the client data at 0x30 and must lie inside the copy.
  auto dropOutside = [&](uint32_t offsetAt, uint32_t lengthAt) {
    if (kLogRecordHead + uint64_t(NtfsRead16(copy + offsetAt)) + NtfsRead16(copy + lengthAt) > length)
      std::memset(copy + lengthAt, 0, 2);
  };
  dropOutside(0x34, 0x36);
  dropOutside(0x38, 0x3A);
  return true;
}
