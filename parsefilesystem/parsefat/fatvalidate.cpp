#include "parsefilesystem/parsefat/fatvalidate.h"

#include <cstring>

#include "parsefilesystem/parsefat/fatformat.h"

namespace {

bool IsForbiddenNameByte(uint8_t b) {
  return b < 0x1A || b == '"' || b == '*' || b == '/' || b == ':' || b == '<' || b == '>' || b == '?' ||
         b == '\\' || b == '|';
}

bool ValidFatDate(uint16_t d) {
  if (d == 0) return true;
  const uint32_t month = (d >> 5) & 0xF;
  return month >= 1 && month <= 12 && (d & 0x1F) != 0;
}

bool IsFillPattern(const uint8_t* e) {
  if (e[11] != e[0] || e[13] != e[0]) return false;
  for (int i = 1; i < 16; ++i)
    if (e[i] != e[0]) return false;
  return true;
}

bool AllZero(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// The validators hand the rest of the bytes to one another; this loop plays that hand-over
// without recursion.
enum class Step { Entries, EntryRun, Lfn, DeletedLfn };

bool RunValidation(Step step, const uint8_t* p, uint32_t n, uint8_t expected, uint8_t checksum) {
  for (;;) {
    switch (step) {
      case Step::Entries: {
        if (n < kFatEntryBytes) return true;
        if (p[0] == 0) return AllZero(p, n);
        const uint8_t attr = p[11];
        if (attr == 0x08 || attr == 0x28) {
          if (!IsFatVolumeLabelEntry(p)) return false;
          p += kFatEntryBytes;
          n -= kFatEntryBytes;
          continue;
        }
        if (attr == kFatAttrLongName) {
          expected = p[0] == kFatDeletedByte ? kFatDeletedByte : uint8_t((p[0] & 0x0F) + 1);
          checksum = p[13];
          step = Step::Lfn;
          continue;
        }
        step = Step::EntryRun;
        continue;
      }
      case Step::EntryRun:
        if (n == 0) return true;
        if (n < kFatEntryBytes || !IsValidFatShortEntry(p)) return false;
        p += kFatEntryBytes;
        n -= kFatEntryBytes;
        step = Step::Entries;
        continue;
      case Step::Lfn:
        while (n >= kFatEntryBytes && p[11] == kFatAttrLongName) {
          if (p[13] != checksum) return false;
          if (p[0] == kFatDeletedByte) {
            step = Step::DeletedLfn;
            break;
          }
          if (p[0] >= 0x10 && !(p[0] >= 0x40 && p[0] <= 0x4F)) return false;
          const uint8_t seq = p[0] & 0x0F;
          if (seq == 0 || seq == 1) {
            p += kFatEntryBytes;
            n -= kFatEntryBytes;
            step = Step::EntryRun;
            break;
          }
          if (expected != seq + 1) return false;
          expected = seq;
          p += kFatEntryBytes;
          n -= kFatEntryBytes;
        }
        if (step == Step::Lfn) return n == 0;
        continue;
      case Step::DeletedLfn:
        while (n >= kFatEntryBytes) {
          if (p[0] != kFatDeletedByte) return false;
          if (p[11] != kFatAttrLongName) break;
          if (p[13] != checksum) return false;
          p += kFatEntryBytes;
          n -= kFatEntryBytes;
        }
        if (n < kFatEntryBytes) return true;
        step = Step::EntryRun;
        continue;
    }
  }
}

bool ShortEntryFieldsValid(const uint8_t* e) {
  const uint8_t attr = e[11];
  if (attr == kFatAttrLongName || (attr & kFatAttrReserved)) return false;
  if (e[0] != kFatDeletedByte) {
    const uint32_t size = FatEntrySize(e);
    if ((attr & kFatAttrDirectory) && size != 0) return false;
    if (!(attr & kFatAttrDirectory) && size != 0 && FatU16(e + 26) == 0 && (FatU16(e + 20) & 0x0FFF) == 0)
      return false;
  }
  if (!IsValidShortExt(e + 8) || !CheckFatEntryDates(e) || !IsValidShortName(e, 8)) return false;
  return !IsFillPattern(e);
}

}  // namespace

bool IsValidFatTime(uint16_t t) {
  if (t == 0) return true;
  return (t >> 11) < 24 && ((t >> 5) & 0x3F) < 60 && (t & 0x1F) < 30;
}

bool CheckFatEntryDates(const uint8_t* e) {
  return ValidFatDate(FatU16(e + 16)) && ValidFatDate(FatU16(e + 18)) && ValidFatDate(FatU16(e + 24)) &&
         IsValidFatTime(FatU16(e + 14)) && IsValidFatTime(FatU16(e + 22));
}

bool IsValidShortName(const uint8_t* name, uint32_t n) {
  if (n == 0 || name[0] == ' ') return false;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t b = name[i];
    if (i == 0 && b == kFatDeletedByte) continue;
    if (b >= 0x80) {
      ++i;  // the second byte of a double-byte character passes
      continue;
    }
    if (IsForbiddenNameByte(b)) return false;
  }
  return true;
}

bool IsValidShortExt(const uint8_t* ext) {
  for (int i = 0; i < 3; ++i)
    if (IsForbiddenNameByte(ext[i]) || ext[i] == 0xFF) return false;
  return true;
}

bool IsValidFatShortEntry(const uint8_t* entry) { return ShortEntryFieldsValid(entry); }

bool ValidateFatEntryRun(const uint8_t* entry, uint32_t n) { return RunValidation(Step::EntryRun, entry, n, 0, 0); }

bool IsFatVolumeLabelEntry(const uint8_t* e) {
  if (e[11] != 0x08 && e[11] != 0x28) return false;
  for (int i = 0; i < 11; ++i)
    if (e[i] == 0) return false;
  return IsValidShortName(e, 11);
}

bool ValidateFatLfnRun(const uint8_t* entry, uint32_t n, uint8_t expectedSeq, uint8_t checksum) {
  return RunValidation(Step::Lfn, entry, n, expectedSeq, checksum);
}

bool ValidateDeletedLfnRun(const uint8_t* entry, uint32_t n, uint8_t checksum) {
  return RunValidation(Step::DeletedLfn, entry, n, 0, checksum);
}

bool ValidateFatDirEntries(const uint8_t* entries, uint32_t n) {
  return RunValidation(Step::Entries, entries, n, 0, 0);
}

bool CountSaneFat32Entries(const uint8_t* sector) {
  int sane = 0;
  for (uint32_t i = 2; i < 128; ++i) {
    const uint32_t v = FatU32(sector + 4 * i);
    if (v == 0 || v == 0x0FFFFFFF || v == i + 1) ++sane;
  }
  return sane > 96;
}

namespace {
bool FatSectorPasses(DiskReader& reader, uint64_t lba, bool fat16) {
  uint8_t s[512];
  if (!reader.ReadSectors(s, lba, 1)) return false;
  if (fat16) {
    if (FatU16(s) != 0xFFF8) return false;
    int sane = 0;
    for (uint32_t i = 2; i < 256; ++i) {
      const uint16_t v = FatU16(s + 2 * i);
      if (v == 0 || v == i + 1) ++sane;
    }
    return sane > 192;
  }
  return CountSaneFat32Entries(s);
}
}  // namespace

bool CheckFatOfBootHit(DiskReader& reader, const uint8_t* boot, uint64_t lba) {
  if (std::memcmp(boot + 3, "EXFAT", 5) == 0) return false;
  const bool fat16 = FatU16(boot + 0x11) != 0;
  const uint64_t fat1 = lba + FatU16(boot + 0x0E);
  if (FatSectorPasses(reader, fat1, fat16)) return true;
  if (boot[0x10] != 2) return false;
  const uint16_t f16 = FatU16(boot + 0x16);
  const uint64_t f = f16 ? f16 : FatU32(boot + 0x24);
  return FatSectorPasses(reader, fat1 + f, fat16);
}
