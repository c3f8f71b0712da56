#include "deepscan/sectorsignature.h"

#include <array>
#include <cstring>
#include <initializer_list>

#include "core/filetypetable.h"
#include "parsefilesystem/exfat/exfatsectorcheck.h"
#include "parsefilesystem/parsefat/fatsectorcheck.h"
#include "scanbase/scanhitstore.h"

std::atomic<uint64_t> LastExfatDirLba{0};

namespace {

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

bool BytesAre(const uint8_t* p, const char* text, size_t n) { return std::memcmp(p, text, n) == 0; }

// One row of the table: up to eight bytes at an offset (compared under a mask), an optional
// further condition, and the type it gives. Several rows may share an order number when a row
// has alternative byte strings; the order is what decides between rows that both match.
struct Row {
  uint8_t order;
  uint8_t type;
  uint8_t offset;
  uint8_t length;
  const char* bytes;
  bool (*condition)(const uint8_t*);
  // Rows at offset 0 are filed under their first byte. Rows that test later bytes only are
  // filed under every first byte, unless firstBytes names the ones they accept.
  std::initializer_list<uint8_t> firstBytes;
};

bool AceDb(const uint8_t* s) { return BytesAre(s + 4, "Standard ACE DB", 15); }
bool JetTail(const uint8_t* s) { return BytesAre(s + 12, " J", 2); }
bool ChmVersion(const uint8_t* s) { return s[8] == 0x60; }
bool GifVersion(const uint8_t* s) { return (s[4] == '7' || s[4] == '9') && s[5] == 'a'; }
bool JpegMarker(const uint8_t* s) {
  switch (s[3]) {
    case 0xDB: case 0xE0: case 0xE1: case 0xEB: case 0xEE: case 0xFE: case 0xC4: case 0xE9: return true;
    default: return false;
  }
}
bool BmpHeader(const uint8_t* s) {
  return s[7] == 0 && s[9] == 0 && s[15] == 0 && (s[14] == 0x0C || s[14] == 0x28 || s[14] == 0x6C || s[14] == 0x7C);
}
bool Id3Version(const uint8_t* s) { return s[3] == 2 || s[3] == 3 || s[3] == 4; }
bool BrandM4a(const uint8_t* s) { return BytesAre(s + 8, "M4A ", 4); }
bool Brand3gp(const uint8_t* s) { return BytesAre(s + 8, "3gp", 3); }
bool BrandM4v(const uint8_t* s) { return BytesAre(s + 8, "M4V ", 4); }
bool BrandMp4(const uint8_t* s) { return BytesAre(s + 8, "isom", 4) || BytesAre(s + 8, "mmp4", 4); }
bool MpegPackHeader(const uint8_t* s) {
  return BytesAre(s + 4, "\x21\x00\x01\x00", 4) || BytesAre(s + 4, "\x44\x00\x04\x00", 4);
}
bool MzHeader(const uint8_t* s) { return s[3] <= 2 && s[5] <= 2; }
bool DwgVersion(const uint8_t* s) {
  if (s[6] != 0 || s[7] != 0) return false;
  static const char* const kVersions[] = {"18", "15", "14", "13", "09", "12", "21", "24", "27"};
  for (const char* v : kVersions)
    if (s[4] == v[0] && s[5] == v[1]) return true;
  return false;
}
bool WorkspaceTail(const uint8_t* s) { return BytesAre(s + 28, "orks", 4); }
bool SolutionTail(const uint8_t* s) { return BytesAre(s + 24, "Solu", 4); }
bool BomSolutionTail(const uint8_t* s) { return BytesAre(s + 28, " Sol", 4); }
bool ExfatRoot(const uint8_t* s) { return s[32] == kExfatBitmap && s[64] == kExfatUpcase && IsExfatRootDirSector(s); }

// Every row, in the order in which rows are tried.
const Row kRows[] = {
    {1, 36, 0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", nullptr, {}},
    {2, 77, 4, 8, "Standard", JetTail, {}},
    {3, 78, 0, 4, "\x00\x01\x00\x00", AceDb, {}},
    {4, 39, 0, 4, "ITSF", ChmVersion, {}},
    {5, 40, 0, 7, "%PDF-1.", nullptr, {}},
    {6, 41, 0, 4, "\x3F\x5F\x03\x00", nullptr, {}},
    {6, 41, 0, 4, "\x4C\x4E\x02\x00", nullptr, {}},
    {7, 42, 0, 4, "\x01\xC3\x5B\x50", nullptr, {}},
    {8, 43, 0, 8, "\xEF\xBB\xBFMIME-", nullptr, {}},
    {9, 43, 0, 8, "MIME-Ver", nullptr, {}},
    {10, 43, 0, 5, "From:", nullptr, {}},
    {11, 44, 0, 8, "\x89PNG\x0D\x0A\x1A\x0A", nullptr, {}},
    {12, 45, 0, 4, "GIF8", GifVersion, {}},
    {13, 86, 0, 4, "\x1A\x45\xDF\xA3", nullptr, {}},
    {14, 84, 0, 8, "MSCF\x00\x00\x00\x00", nullptr, {}},
    {15, 84, 0, 4, "ISc(", nullptr, {}},
    {16, 145, 0, 4, "MCVL", nullptr, {}},
    {17, 164, 3, 6, "{\\rtf1", nullptr, {}},
    {17, 164, 0, 6, "{\\rtf1", nullptr, {}},
    {18, 46, 0, 3, "\xFF\xD8\xFF", JpegMarker, {}},
    {19, 88, 4, 4, "\x47\x40\x00\x10", nullptr, {0x00, 0x01}},
    {20, 143, 0, 7, "\x47\x48\x10\x11\x00\x00\x01", nullptr, {}},
    {21, 47, 0, 8, "8BPS\x00\x01\x00\x00", nullptr, {}},
    {22, 48, 0, 2, "BM", BmpHeader, {}},
    {23, 51, 0, 4, "II*\x00", nullptr, {}},
    {23, 51, 0, 4, "MM\x00*", nullptr, {}},
    {23, 51, 0, 4, "IIRO", nullptr, {}},
    {23, 51, 0, 4, "IIU\x00", nullptr, {}},
    {24, 54, 0, 3, "ID3", Id3Version, {}},
    {25, 57, 0, 4, "MThd", nullptr, {}},
    {26, 108, 0, 8, "\x30\x26\xB2\x75\x8E\x66\xCF\x11", nullptr, {}},
    {27, 59, 0, 4, "\xFF\xFA\x90\x40", nullptr, {}},
    {27, 59, 0, 4, "\xFF\xE3\x20\xC0", nullptr, {}},
    {28, 55, 0, 4, "OggS", nullptr, {}},
    {29, 56, 0, 4, "MAC ", nullptr, {}},
    {30, 60, 0, 5, "\x37\x7A\xBC\xAF\x27", nullptr, {}},
    {31, 61, 0, 4, "PK\x03\x04", nullptr, {}},
    {32, 62, 0, 7, "Rar!\x1A\x07\x00", nullptr, {}},
    {33, 63, 0, 4, "\x5F\x27\xA8\x89", nullptr, {}},
    {34, 64, 0, 4, "FLV\x01", nullptr, {}},
    {35, 65, 0, 4, ".ra?", nullptr, {}},
    {36, 66, 0, 4, ".RMF", nullptr, {}},
    {37, kKindRiff, 0, 4, "RIFF", nullptr, {}},
    {38, 69, 4, 4, "ftyp", BrandM4a, {}},
    {39, 68, 4, 4, "ftyp", Brand3gp, {}},
    {40, 71, 4, 4, "ftyp", BrandM4v, {}},
    {41, 72, 4, 4, "ftyp", BrandMp4, {}},
    {42, 67, 4, 4, "ftyp", nullptr, {}},
    {43, 82, 0, 4, "\x00\x00\x01\xBA", MpegPackHeader, {}},
    {44, 74, 0, 2, "MZ", MzHeader, {}},
    {45, 75, 0, 4, "AC10", DwgVersion, {}},
    {46, 146, 0, 8, "\xC5\xD0\xD3\xC6\x20\x00\x00\x00", nullptr, {}},
    {47, 80, 0, 4, "Micr", WorkspaceTail, {}},
    {48, 81, 0, 4, "Micr", SolutionTail, {}},
    {49, 81, 0, 4, "\xEF\xBB\xBF\x0D", BomSolutionTail, {}},
    {50, 163, 0, 8, "<Ui xmln", nullptr, {}},
    {51, 79, 0, 4, "<?xm", nullptr, {}},
    {51, 79, 0, 4, "l ve", nullptr, {}},
    {52, 79, 0, 6, "<HEAD>", nullptr, {}},
    {53, 79, 0, 7, "<script", nullptr, {}},
    {54, 79, 0, 4, "\xFF\xFE\x3C\x00", nullptr, {}},
    {54, 79, 0, 4, "\xEF\xBB\xBF\x3C", nullptr, {}},
    {55, 148, 0, 4, "\xCA\xFE\xBA\xBE", nullptr, {}},
    // The media byte of the table's first entry is F8.
    {56, kKindFat32Table, 0, 1, "\xF8", IsFat32TableStart, {}},
    {57, kKindExfatDirEntries, 0, 1, "\x03", ExfatRoot, {}},
    {57, kKindExfatDirEntries, 0, 1, "\x83", ExfatRoot, {}},
};
constexpr size_t kRowCount = sizeof(kRows) / sizeof(kRows[0]);

// A row prepared for the match: eight bytes under a mask.
struct PreparedRow {
  uint64_t value;
  uint64_t mask;
  uint8_t offset;
  uint8_t type;
  bool (*condition)(const uint8_t*);
};

// For each possible first byte, the rows that can match a sector starting with it, in order.
struct RowIndex {
  std::array<PreparedRow, kRowCount> rows;
  std::array<std::array<uint8_t, 24>, 256> lists;
  std::array<uint8_t, 256> counts;
};

RowIndex BuildRowIndex() {
  RowIndex ix{};
  for (size_t r = 0; r < kRowCount; ++r) {
    const Row& row = kRows[r];
    uint8_t bytes[8] = {}, mask[8] = {};
    std::memcpy(bytes, row.bytes, row.length);
    std::memset(mask, 0xFF, row.length);
    ix.rows[r] = {Load64(bytes), Load64(mask), row.offset, row.type, row.condition};
    for (unsigned b = 0; b < 256; ++b) {
      bool files;
      if (row.offset == 0) {
        files = uint8_t(row.bytes[0]) == b;
      } else if (row.firstBytes.size() != 0) {
        files = false;
        for (uint8_t f : row.firstBytes) files = files || f == b;
      } else {
        files = true;
      }
      if (files) ix.lists[b][ix.counts[b]++] = uint8_t(r);
    }
  }
  return ix;
}

const RowIndex& Index() {
  static const RowIndex& ix = *new RowIndex(BuildRowIndex());
  return ix;
}

bool IsExfatEntryType(uint8_t b) {
  switch (b) {
    case 0x03: case 0x05: case 0x40: case 0x41: case 0x83: case 0x85: case 0xC0: case 0xC1: return true;
    default: return false;
  }
}

// HTML and XML text after at most ten line-break bytes.
bool IsMarkupStart(const uint8_t* s) {
  int i = 0;
  while (i < 10 && (s[i] == 0x0D || s[i] == 0x0A)) ++i;
  const uint8_t* p = s + i;
  if (*p != '<') return false;
  return BytesAre(p, "<html", 5) || BytesAre(p, "<HTML", 5) || BytesAre(p, "<!doctyp", 8) ||
         BytesAre(p, "<!DOCTYP", 8) || BytesAre(p, "<!--", 4) || BytesAre(p, "<xs:schema", 10) ||
         BytesAre(p, "<?xml\0", 6);
}

}  // namespace

bool MatchSectorSignature(const uint8_t* s, uint32_t& out, uint64_t lba) {
  out = kTypeNone;
  uint64_t head = Load64(s);
  if ((head & 0xFFFFFFFFull) == 0) return false;
  if (head == 0x7F7F7F7F7F7F7F7Full) return false;

  const RowIndex& ix = Index();
  const uint8_t first = s[0];
  const uint8_t* list = ix.lists[first].data();
  for (unsigned i = 0, n = ix.counts[first]; i < n; ++i) {
    const PreparedRow& row = ix.rows[list[i]];
    if ((Load64(s + row.offset) & row.mask) != row.value) continue;
    if (row.condition != nullptr && !row.condition(s)) continue;
    out = row.type;
    if (row.type == kKindExfatDirEntries) LastExfatDirLba.store(lba, std::memory_order_relaxed);
    return true;
  }

  if (IsExfatEntryType(first) && CheckExfatDirEntries(s, 0)) {
    // A run of directory sectors is one find: only the sector that does not directly follow
    // the last one counts.
    uint64_t last = LastExfatDirLba.exchange(lba, std::memory_order_relaxed);
    if (lba == last + 1) return false;
    out = kKindExfatDirEntries;
    return true;
  }
  if ((first == 0x0A || first == 0x0D || first == '<') && IsMarkupStart(s)) {
    out = 79;
    return true;
  }
  return false;
}

void InitSectorSignatureMatcher() { SetSectorSignatureMatcher(&MatchSectorSignature); }
