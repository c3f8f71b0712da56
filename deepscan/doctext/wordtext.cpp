// Word binary documents: the piece table in the table stream lists where each run of the
// document's characters lies in the WordDocument stream, as 8-bit or UTF-16 characters.
#include <vector>

#include "deepscan/doctext/doctext.h"
#include "deepscan/fileendrules.h"
#include "deepscan/olereader.h"

namespace {

constexpr uint64_t kFcClxAt = 418;
// Text is collected up to 32 KiB; a further piece starts only below 16 KiB.
constexpr uint64_t kPieceTextBytes = 0x8000;
constexpr uint64_t kNextPieceBelow = 0x4000;
constexpr uint32_t kCompressedPiece = 0x40000000;
constexpr uint32_t kPieceDescriptorBytes = 8;

}  // namespace

bool ReadWordPieceText(const uint8_t* wordDoc, uint64_t wordSize, const uint8_t* table, uint64_t tableSize,
                       std::u16string& text) {
  text.clear();
  if (!wordDoc || !table || wordSize < kFcClxAt + 4) return false;
  const uint64_t clx = FeLe32(wordDoc + kFcClxAt);
  if (tableSize < 9 || clx > tableSize - 9) return false;
  const uint32_t length = FeLe32(table + clx + 1);
  if (length < 4 || length - 4 <= 11) return false;
  const uint64_t pieces = (uint64_t(length) - 4) / 12;
  const uint64_t cps = clx + 5;
  const uint64_t descriptors = cps + (pieces + 1) * 4;
  uint64_t collected = 0;
  for (uint64_t i = 0; i < pieces; ++i) {
    const uint64_t d = descriptors + i * kPieceDescriptorBytes;
    if (d > tableSize || tableSize - d < kPieceDescriptorBytes) break;
    if (collected > kPieceTextBytes - 1) break;
    // Character positions lie before the descriptors, so inside the stream too.
    const uint32_t from = FeLe32(table + cps + 4 * i);
    const uint32_t to = FeLe32(table + cps + 4 * (i + 1));
    if (to < from) break;
    uint64_t count = to - from;
    bool last = false;
    if (collected + 2 * count > kPieceTextBytes) {
      count = (kPieceTextBytes - collected) / 2;
      last = true;
    }
    const uint32_t fc = FeLe32(table + d + 2);
    if (fc & kCompressedPiece) {
      const uint64_t at = (fc & 0x3FFFFFFF) / 2;
      if (at > wordSize || wordSize - at < count) break;
      for (uint64_t k = 0; k < count; ++k) text.push_back(char16_t(wordDoc[at + k]));
    } else {
      const uint64_t at = fc;
      if (at > wordSize || (wordSize - at) / 2 < count) break;
      for (uint64_t k = 0; k < count; ++k) text.push_back(char16_t(FeLe16(wordDoc + at + 2 * k)));
    }
    collected += 2 * count;
    if (last || collected >= kNextPieceBelow) break;
  }
  return !text.empty();
}

CString CleanWordText(const std::u16string& raw) {
  std::u16string out;
  out.reserve(raw.size() + raw.size() / 8);
  bool afterCr = false;
  for (char16_t c : raw) {
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') c = u' ';
    if (c == u'\r') {
      if (!afterCr) out += u"\r\n";
      afterCr = true;
      continue;
    }
    afterCr = false;
    out.push_back(c);
  }
  return CString(std::move(out));
}

bool ExtractWordText(const uint8_t* file, uint64_t size, CString& text) {
  text.Empty();
  if (size < 1024 || !HasOleSignature(file, size)) return false;
  OleTables t;
  if (!OleLoadTables(file, size, t)) return false;
  std::vector<uint8_t> wordDoc, table;
  if (!OleReadStreamByName(file, size, t, u"WordDocument", wordDoc)) return false;
  if (!OleReadStreamByName(file, size, t, u"1Table", table) && !OleReadStreamByName(file, size, t, u"0Table", table))
    return false;
  std::u16string raw;
  if (!ReadWordPieceText(wordDoc.data(), wordDoc.size(), table.data(), table.size(), raw)) return false;
  text = CleanWordText(raw);
  return !text.IsEmpty();
}
