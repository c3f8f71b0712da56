// Hand-built $LogFile pages and USN records for the journal tests: log records with a client
// header and redo/undo data, packed into "RCRD" pages the way a log writer fills them (a record
// that does not fit runs on into the next page), with the update sequence applied.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace logtest {

inline void W16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void W32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void W64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

struct LogRecord {
  uint64_t lsn = 0;
  uint64_t previousLsn = 0;
  uint64_t undoNextLsn = 0;
  uint16_t redoOp = 0;
  uint16_t undoOp = 0;
  std::vector<uint8_t> redo;
  std::vector<uint8_t> undo;
  uint16_t recordOffset = 0;
  uint16_t attrOffset = 0;
  uint16_t clusterBlockOffset = 0;
  uint32_t targetVcn = 0;
  uint64_t lcn = 0;

  std::vector<uint8_t> Bytes() const {
    const uint32_t redoPadded = (uint32_t(redo.size()) + 7) & ~7u;
    const uint32_t undoPadded = (uint32_t(undo.size()) + 7) & ~7u;
    const uint32_t client = 0x28 + redoPadded + undoPadded;
    std::vector<uint8_t> b(0x30 + client, 0);
    W64(&b[0x00], lsn);
    W64(&b[0x08], previousLsn);
    W64(&b[0x10], undoNextLsn);
    W32(&b[0x18], client);
    W32(&b[0x20], 1);
    W16(&b[0x30], redoOp);
    W16(&b[0x32], undoOp);
    W16(&b[0x34], 0x28);
    W16(&b[0x36], uint16_t(redo.size()));
    W16(&b[0x38], uint16_t(0x28 + redoPadded));
    W16(&b[0x3A], uint16_t(undo.size()));
    W16(&b[0x40], recordOffset);
    W16(&b[0x42], attrOffset);
    W16(&b[0x44], clusterBlockOffset);
    W16(&b[0x46], 1);
    W32(&b[0x48], targetVcn);
    W64(&b[0x50], lcn);
    if (!redo.empty()) std::memcpy(&b[0x58], redo.data(), redo.size());
    if (!undo.empty()) std::memcpy(&b[0x58 + redoPadded], undo.data(), undo.size());
    return b;
  }
};

// Pages of 4096 bytes, records from 0x40. Each record's byte position in the returned file is
// kept in positions (two restart pages come first).
class LogFileWriter {
 public:
  explicit LogFileWriter(bool fixups = true) : fixups_(fixups) {
    file_.assign(2 * 4096, 0);
    std::memcpy(&file_[0], "RSTR", 4);
    std::memcpy(&file_[4096], "RSTR", 4);
  }

  void Add(const LogRecord& r) { pending_.push_back(r); }

  // Lays the added records into pages (a record runs on into at most one next page); the
  // file is padded with empty pages to minPages.
  std::vector<uint8_t> Build(size_t minPages = 4) {
    std::vector<uint8_t> page = NewPage();
    uint32_t at = 0x40;
    uint64_t lastEnd = 0;
    for (const LogRecord& r : pending_) {
      const std::vector<uint8_t> bytes = r.Bytes();
      if (at + 0x58 > 4096) {
        Finish(page, lastEnd, lastEnd, uint16_t(at));
        page = NewPage();
        at = 0x40;
      }
      positions.push_back(int32_t(file_.size() + at));
      if (at + bytes.size() <= 4096) {
        std::memcpy(&page[at], bytes.data(), bytes.size());
        at += uint32_t(bytes.size());
      } else {
        const uint32_t placed = 4096 - at;
        std::memcpy(&page[at], bytes.data(), placed);
        Finish(page, r.lsn, lastEnd, uint16_t(at));
        page = NewPage();
        at = 0x40;
        std::memcpy(&page[at], bytes.data() + placed, bytes.size() - placed);
        at += uint32_t(bytes.size() - placed);
      }
      lastEnd = r.lsn;
      at = (at + 7) & ~7u;
    }
    Finish(page, lastEnd, lastEnd, uint16_t(std::min<uint32_t>(at, 4095)));
    while (file_.size() < minPages * 4096) file_.resize(file_.size() + 4096, 0);
    return file_;
  }

  std::vector<int32_t> positions;

 private:
  std::vector<uint8_t> NewPage() {
    std::vector<uint8_t> p(4096, 0);
    std::memcpy(&p[0], "RCRD", 4);
    W16(&p[4], 0x28);
    W16(&p[6], 9);
    return p;
  }
  void Finish(std::vector<uint8_t>& page, uint64_t lastLsn, uint64_t lastEndLsn, uint16_t next) {
    W64(&page[0x08], lastLsn);
    W16(&page[0x18], next);
    W64(&page[0x20], lastEndLsn);
    if (fixups_) {
      const uint16_t usn = 0x0102;
      W16(&page[0x28], usn);
      for (int s = 0; s < 8; ++s) {
        std::memcpy(&page[0x2A + 2 * s], &page[s * 512 + 510], 2);
        W16(&page[s * 512 + 510], usn);
      }
    }
    file_.insert(file_.end(), page.begin(), page.end());
  }

  bool fixups_;
  std::vector<uint8_t> file_;
  std::vector<LogRecord> pending_;
};

// An index entry (file reference, parent, times, size, attributes, name) as log data.
inline std::vector<uint8_t> IndexEntry(uint32_t record, uint32_t parent, const std::u16string& name, uint64_t size,
                                       bool directory, uint64_t fileTime, uint8_t nameSpace = 1) {
  std::vector<uint8_t> e((0x52 + name.size() * 2 + 7) & ~size_t(7), 0);
  W64(&e[0x00], record | (uint64_t(1) << 48));
  W16(&e[0x08], uint16_t(e.size()));
  W16(&e[0x0A], uint16_t(0x42 + name.size() * 2));
  W64(&e[0x10], parent | (uint64_t(1) << 48));
  W64(&e[0x18], fileTime);
  W64(&e[0x20], fileTime);
  W64(&e[0x38], (size + 4095) & ~uint64_t(4095));
  W64(&e[0x40], size);
  W32(&e[0x48], directory ? 0x10000000 : 0x20);
  e[0x50] = uint8_t(name.size());
  e[0x51] = nameSpace;
  std::memcpy(&e[0x52], name.data(), name.size() * 2);
  return e;
}

// A USN_RECORD_V2 of the given reason; the name length in bytes may be set apart from the name.
inline std::vector<uint8_t> UsnRecord(uint32_t record, uint32_t parent, uint64_t usn, uint32_t reason,
                                      const std::u16string& name, int nameBytes = -1, uint16_t nameOffset = 60) {
  const uint32_t bytes = nameBytes < 0 ? uint32_t(name.size() * 2) : uint32_t(nameBytes);
  std::vector<uint8_t> r((60 + std::max<size_t>(bytes, name.size() * 2) + 7) & ~size_t(7), 0);
  W32(&r[0x00], uint32_t(r.size()));
  W16(&r[0x04], 2);
  W64(&r[0x08], record | (uint64_t(1) << 48));
  W64(&r[0x10], parent | (uint64_t(1) << 48));
  W64(&r[0x18], usn);
  W32(&r[0x28], reason);
  W16(&r[0x38], uint16_t(bytes));
  W16(&r[0x3A], nameOffset);
  std::memcpy(&r[0x3C], name.data(), name.size() * 2);
  return r;
}

}  // namespace logtest
