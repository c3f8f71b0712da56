// Excel binary workbooks (BIFF8): the workbook stream is a row of sub-streams, each from a BOF
// record to an EOF record. The globals name the sheets and hold the shared strings; the cells
// of a worksheet point into them.
#include <algorithm>
#include <vector>

#include "base/textutil.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/fileendrules.h"
#include "deepscan/olereader.h"

namespace {

constexpr uint16_t kBof = 0x0809, kEof = 0x000A, kBoundSheet = 0x0085, kSst = 0x00FC, kLabelSst = 0x00FD;
constexpr uint16_t kGlobals = 5, kWorksheet = 16;
// At most this many bytes of a shared string are taken (512 UTF-16 or 1024 8-bit characters).
constexpr uint32_t kSstStringBytes = 1024;

using SharedStrings = std::vector<std::u16string>;

void AppendItem(CString& text, const std::u16string& item) {
  if (!text.IsEmpty()) text += u" | ";
  text += std::u16string_view(item);
}

// A BOUNDSHEET record: the sheet's name behind its length and flag bytes.
void AppendSheetName(const uint8_t* data, uint32_t length, CString& text) {
  if (length < 8) return;
  const uint32_t chars = data[6];
  const bool wide = data[7] & 1;
  if (chars * (wide ? 2u : 1u) > length - 8) return;
  std::u16string name;
  if (wide) {
    for (uint32_t i = 0; i < chars; ++i) name.push_back(char16_t(FeLe16(data + 8 + 2 * i)));
  } else {
    name = AnsiInBufToCString(data, length, reinterpret_cast<const char*>(data + 8), int(chars)).Str();
  }
  AppendItem(text, name);
}

// The shared strings of one SST record; strings continued in later records are not read.
void ReadSst(const uint8_t* data, uint32_t length, SharedStrings& sst) {
  if (length < 8) return;
  const uint32_t count = FeLe32(data);
  uint64_t at = 8;
  for (uint32_t i = 0; i < count; ++i) {
    if (at + 3 > length) return;
    const uint32_t chars = FeLe16(data + at);
    const uint8_t flags = data[at + 2];
    uint64_t head = at + 3;
    uint32_t runs = 0, extension = 0;
    if (flags & 8) {
      if (head + 2 > length) return;
      runs = FeLe16(data + head);
      head += 2;
    }
    if (flags & 4) {
      if (head + 4 > length) return;
      extension = FeLe32(data + head);
      head += 4;
    }
    const bool wide = flags & 1;
    const uint64_t charBytes = uint64_t(chars) * (wide ? 2 : 1);
    const uint64_t end = head + charBytes + 4ull * runs + extension;
    if (end > length) return;
    std::u16string s;
    const uint64_t take = std::min<uint64_t>(charBytes, kSstStringBytes);
    if (wide) {
      for (uint64_t k = 0; k + 2 <= take; k += 2) s.push_back(char16_t(FeLe16(data + head + k)));
    } else {
      // 8-bit strings hold the low bytes of their UTF-16 characters.
      for (uint64_t k = 0; k < take; ++k) s.push_back(char16_t(data[head + k]));
    }
    sst.push_back(std::move(s));
    at = end;
  }
}

// One sub-stream, record by record, up to its EOF record.
void WalkBiffRecords(const uint8_t* sub, uint64_t size, CString& text, uint32_t limit, SharedStrings& sst) {
  uint64_t at = 0;
  while (at + 4 <= size && uint32_t(text.GetLength()) <= limit) {
    const uint16_t id = FeLe16(sub + at);
    const uint16_t length = FeLe16(sub + at + 2);
    if (at + 4 + length > size) return;
    const uint8_t* data = sub + at + 4;
    if (id == kEof) return;
    if (id == kBoundSheet) {
      AppendSheetName(data, length, text);
    } else if (id == kSst) {
      ReadSst(data, length, sst);
    } else if (id == kLabelSst && length >= 10) {
      const uint32_t index = FeLe32(data + 6);
      if (index < sst.size()) AppendItem(text, sst[index]);
    }
    at += 4 + length;
  }
}

}  // namespace

bool WalkBiffSubstreams(const uint8_t* stream, uint64_t size, CString& text, uint32_t limit) {
  text.Empty();
  if (!stream) return false;
  SharedStrings sst;
  uint64_t at = 0;
  while (at + 4 <= size && FeLe16(stream + at) == kBof && uint32_t(text.GetLength()) <= limit) {
    const uint16_t bofLength = FeLe16(stream + at + 2);
    const uint16_t kind = bofLength >= 4 && at + 8 <= size ? FeLe16(stream + at + 6) : 0;
    // The sub-stream runs to its EOF record; every record must lie inside the stream.
    uint64_t end = 0;
    for (uint64_t r = at; r + 4 <= size;) {
      const uint64_t next = r + 4 + FeLe16(stream + r + 2);
      if (next > size) break;
      if (FeLe16(stream + r) == kEof) {
        end = next;
        break;
      }
      r = next;
    }
    if (end == 0) break;
    if (kind == kGlobals || kind == kWorksheet) WalkBiffRecords(stream + at, end - at, text, limit, sst);
    at = end;
  }
  return !text.IsEmpty();
}

bool ExtractExcelText(const uint8_t* file, uint64_t size, CString& text, uint32_t limit) {
  text.Empty();
  if (size < 1024 || !HasOleSignature(file, size)) return false;
  OleTables t;
  std::vector<uint8_t> workbook;
  if (!OleLoadTables(file, size, t) || !OleReadStreamByName(file, size, t, u"Workbook", workbook)) return false;
  return WalkBiffSubstreams(workbook.data(), workbook.size(), text, limit);
}
