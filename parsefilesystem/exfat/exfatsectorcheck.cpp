#include "parsefilesystem/exfat/exfatsectorcheck.h"

namespace {

bool IsFileType(uint8_t t) { return t == kExfatFile || t == kExfatFileDeleted; }
bool IsStreamType(uint8_t t) { return t == kExfatStream || t == kExfatStreamDeleted; }
bool IsNameType(uint8_t t) { return t == kExfatName || t == kExfatNameDeleted; }
bool IsLabelType(uint8_t t) { return t == kExfatLabel || t == kExfatLabelUnused; }

// The looser second look at a sector without a complete set: every one of the 16 entries
// belongs to a set, there is one file entry, its stream entry follows it (unless the file entry
// is the last of the sector), and the only other stream entry allowed is one at index 0, the
// tail of a set from the sector before.
bool HoldsOneOpenSet(const uint8_t* sector) {
  int fileIndex = -1;
  for (int i = 0; i < 16; ++i) {
    uint8_t t = sector[32 * i];
    if (IsFileType(t)) {
      if (fileIndex >= 0) return false;
      fileIndex = i;
    } else if (!IsStreamType(t) && !IsNameType(t)) {
      return false;
    }
  }
  if (fileIndex < 0) return false;
  if (fileIndex < 15 && !IsStreamType(sector[32 * (fileIndex + 1)])) return false;
  for (int i = 1; i < 16; ++i)
    if (IsStreamType(sector[32 * i]) && i != fileIndex + 1) return false;
  return true;
}

}  // namespace

bool IsExfatLabelEntry(const uint8_t* entry) {
  if (!IsLabelType(entry[0])) return false;
  unsigned count = entry[1];
  if (count >= 16) return false;
  for (unsigned c = 0; c < count; ++c)
    if (entry[2 + 2 * c] == 0 && entry[3 + 2 * c] == 0) return false;
  for (unsigned b = 2 + 2 * count; b < 32; ++b)
    if (entry[b] != 0) return false;
  return true;
}

bool CheckExfatDirEntries(const uint8_t* sector, unsigned first) {
  if (first >= 16) return false;
  enum { kNoSet, kWantStream, kWantNames } state = kNoSet;
  int remaining = 0, files = 0, streams = 0, completed = 0;
  for (unsigned i = first; i < 16; ++i) {
    const uint8_t* e = sector + 32 * i;
    uint8_t t = e[0];
    if (t == 0) break;
    if ((i == 1 && t == kExfatBitmap) || (i == 2 && t == kExfatUpcase)) continue;
    bool known = IsFileType(t) || IsStreamType(t) || IsNameType(t) || IsLabelType(t);
    if (!known) return false;
    if (IsLabelType(t) && !IsExfatLabelEntry(e)) return false;
    switch (state) {
      case kNoSet:
        if (IsFileType(t)) {
          state = kWantStream;
          remaining = e[1];  // SecondaryCount
          ++files;
        }
        break;
      case kWantStream:
        if (!IsStreamType(t)) return false;
        --remaining;
        ++streams;
        state = kWantNames;
        if (remaining == 0) {
          ++completed;
          state = kNoSet;
        }
        break;
      case kWantNames:
        if (!IsNameType(t)) return false;
        if (--remaining == 0) {
          ++completed;
          state = kNoSet;
        }
        break;
    }
  }
  if (completed > 0) return true;
  return files == 1 && streams == 1 && HoldsOneOpenSet(sector);
}

bool IsExfatRootDirSector(const uint8_t* sector) {
  return IsExfatLabelEntry(sector) && sector[32] == kExfatBitmap && sector[64] == kExfatUpcase &&
         CheckExfatDirEntries(sector, 3);
}
