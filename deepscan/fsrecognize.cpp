#include "deepscan/fsrecognize.h"

#include <cstring>

#include "app/settings.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsefat/fatvolume.h"
#include "parsefilesystem/parsentfs/mftrun.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"

namespace {


std::atomic<NtfsBootHitCheck>& NtfsHitCheck() {
  static std::atomic<NtfsBootHitCheck>& c = *new std::atomic<NtfsBootHitCheck>(nullptr);
  return c;
}

bool IsNtfsRow(const uint8_t* s) { return IsNtfsBootSector(s); }

const FsProbeRow kRows[] = {
    {"NTFS", kVolTypeNtfs, &IsNtfsRow},
    {"FAT16", kVolTypeFat16, &IsFat16BootSector},
    {"FAT32", kVolTypeFat32, &IsFat32BootSector},
    {"exFat", kVolTypeExfat, &IsExfatBootSector},
};

// Until the NTFS scan validator is linked: the sector at lba is an NTFS boot sector of the same
// size, and the first MFT record it names (from lba) starts with "FILE".
// The records where the boot sector puts the MFT must be that MFT's: a stray copy of a boot
// sector, or one whose volume was formatted over, names records of other numbers or none.
bool DefaultNtfsHit(DiskReader& reader, const uint8_t* boot, uint64_t lba) {
  return MftStartHoldsOwnRecords(reader, boot, lba);
}

}  // namespace

bool HasBootSignature(const uint8_t* s) { return s[510] == 0x55 && s[511] == 0xAA; }

bool IsExfatBootSector(const uint8_t* s) {
  if (!HasBootSignature(s)) return false;
  if (s[0] != 0xEB && s[2] != 0x90) return false;
  return std::memcmp(s + 3, "EXFAT", 5) == 0 && s[0x6C] == 9 && s[0x6D] <= 16;
}

void SetNtfsBootHitCheck(NtfsBootHitCheck check) { NtfsHitCheck().store(check); }

const FsProbeRow* FsProbeTable(uint32_t* rows) {
  *rows = uint32_t(sizeof kRows / sizeof kRows[0]);
  return kRows;
}

uint32_t ProbeBootSector(const uint8_t* sector) {
  for (const FsProbeRow& r : kRows)
    if (r.probe(sector)) return r.type;
  return kVolTypeNone;
}

const char16_t* FsNameOfType(uint32_t type) {
  switch (type) {
    case kVolTypeNtfs: return u"NTFS";
    case kVolTypeFat16: return u"FAT16";
    case kVolTypeFat32: return u"FAT32";
    case kVolTypeExfat: return u"exFat";
    default: return u"";
  }
}

bool DetectVolumeFileSystem(DiskReader& reader, VolumeContext& vol, uint32_t* type) {
  *type = kVolTypeNone;
  uint8_t s[512] = {};
  const uint64_t base = vol.firstLba;
  // How many sectors of the volume the reader can reach.
  auto readable = [&](uint64_t rel) { return reader.lastLba >= 0 && base + rel <= uint64_t(reader.lastLba) && rel < vol.sectorCount; };
  bool ok = readable(1) && reader.ReadSectors(s, base, 1);
  if (ok) *type = ProbeBootSector(s);
  // A volume of no sectors has no last sector to try.
  if (*type == kVolTypeNone && vol.sectorCount > 0) {
    std::memset(s, 0, sizeof s);
    if (reader.ReadSectors(s, base + vol.sectorCount - 1, 1) && IsNtfsBootSector(s)) *type = kVolTypeNtfs;
  }
  if (*type == kVolTypeNone && readable(7)) {
    std::memset(s, 0, sizeof s);
    if (reader.ReadSectors(s, base + 6, 1)) {
      if (IsFat16BootSector(s)) *type = kVolTypeFat16;
      if (IsFat32BootSector(s)) *type = kVolTypeFat32;
    }
  }
  if (*type == kVolTypeNone && readable(13)) {
    std::memset(s, 0, sizeof s);
    if (reader.ReadSectors(s, base + 12, 1) && IsExfatBootSector(s)) *type = kVolTypeExfat;
  }
  if (*type == kVolTypeNone) return false;
  std::memcpy(vol.bootSector, s, sizeof s);
  return true;
}

bool SetupVolumeOfType(uint32_t type, const VolumeContext& source, DiskReader& reader, const uint8_t* boot,
                       uint64_t firstLba, uint64_t sectors, VolumeContext& out) {
  switch (type) {
    case kVolTypeNtfs: return SetupNtfsVolume(source, reader, boot, firstLba, sectors, out);
    case kVolTypeFat16:
    case kVolTypeFat32: return SetupFatVolume(source, reader, boot, firstLba, sectors, out);
    case kVolTypeExfat: return SetupExfatVolume(source, reader, boot, firstLba, sectors, out);
    default: return false;
  }
}

bool ReadVolumeLabelOfType(uint32_t type, DiskReader& reader, VolumeContext& vol) {
  switch (type) {
    case kVolTypeNtfs: return ReadNtfsVolumeLabel(reader, vol);
    case kVolTypeFat16:
    case kVolTypeFat32: return ReadFatVolumeLabel(reader, vol);
    case kVolTypeExfat: return ReadExfatVolumeLabel(reader, vol);
    default: return false;
  }
}

bool ValidateNtfsBootHit(DiskReader& reader, const uint8_t* boot, uint64_t lba) {
  NtfsBootHitCheck f = NtfsHitCheck().load();
  return f ? f(reader, boot, lba) : DefaultNtfsHit(reader, boot, lba);
}

int ParseVolumeFileSystem(FsStopWord* runState, VolumeContext& vol) {
  if (GetSoftCfg(u"ParseFileSys") != CString(u"1")) return 0;
  switch (vol.type) {
    case kVolTypeNtfs: return ParseNtfsVolume(runState, vol) ? 1 : 0;
    case kVolTypeFat16:
    case kVolTypeFat32: return ParseFatVolume(runState, vol) ? 1 : 0;
    case kVolTypeExfat: return ParseExfatVolume(runState, vol) ? 1 : 0;
    default: return 0;
  }
}
