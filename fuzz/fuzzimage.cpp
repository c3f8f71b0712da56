#include "fuzz/fuzzimage.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "deepscan/fsrecognize.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "platform/storage.h"
#include "scanbase/knowndirlbas.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanrun.h"

namespace {

constexpr char16_t kImagePath[] = u"fuzz:image";
constexpr uint64_t kSector = 512;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The sectors of one input: a map from LBA to the 512 bytes that sector holds.
class MemoryImage : public StorageDevice {
 public:
  uint64_t sectors = 0;
  std::map<uint64_t, std::vector<uint8_t>> data;

  int64_t Pread(void* buf, uint32_t count, uint64_t offset) override {
    const uint64_t end = sectors * kSector;
    if (offset >= end) return 0;
    const uint32_t n = uint32_t(std::min<uint64_t>(count, end - offset));
    auto* out = static_cast<uint8_t*>(buf);
    std::memset(out, 0, n);
    // Only the stored sectors inside the range are copied; a huge range of nothing costs one
    // map walk, not a loop over its sectors.
    const uint64_t first = offset / kSector, last = (offset + n - 1) / kSector;
    for (auto it = data.lower_bound(first); it != data.end() && it->first <= last; ++it) {
      const uint64_t at = it->first * kSector;
      const uint64_t from = std::max(at, offset), to = std::min(at + kSector, offset + n);
      std::memcpy(out + (from - offset), it->second.data() + (from - at), to - from);
    }
    return n;
  }
  bool FileSize(uint64_t* bytes) override {
    *bytes = sectors * kSector;
    return true;
  }
  uint32_t PieceBytes() override { return 4u << 20; }
};

class MemoryBackend : public StorageBackend {
 public:
  std::shared_ptr<StorageDevice> Open(const CString& path, DWORD* err) override {
    std::lock_guard<std::mutex> g(m_);
    if (path != CString(kImagePath) || !image_) {
      *err = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    return image_;
  }
  bool VolumeSpace(const CString&, uint64_t*, uint64_t*) override { return false; }
  void Set(std::shared_ptr<MemoryImage> image) {
    std::lock_guard<std::mutex> g(m_);
    image_ = std::move(image);
  }

 private:
  std::mutex m_;
  std::shared_ptr<MemoryImage> image_;
};

MemoryBackend& Backend() {
  static auto& b = *new MemoryBackend;
  return b;
}

void MakeTarget(uint64_t sectors) {
  VolumeContext& target = ScanTarget();
  ResetVolumeContext(target);
  target.devicePath = CString(kImagePath);
  target.sourcePath = target.devicePath;
  target.name = target.devicePath;
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  target.sectorCount = sectors;
  target.deviceSectors = sectors;
}

}  // namespace

void FuzzEngineInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    setenv("TZ", "UTC", 1);
    tzset();
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\n",
                        u"FileLost: FileLost\r\nRecycleBin: RecycleBin\r\nFindFile: FindFile\r\n");
    InitNtfsExtentProvider();
    InitFatExtentProvider();
    InitExfatExtentProvider();
    SetStorageBackend(&Backend());
  });
}

void FuzzResetScanState() {
  ClearKnownMftExtents();
  ReleaseFreeSpaceMap();
  ClearKnownIndxLbas();
  ClearIndxFileList();
  ClearKnownFatLbaList();
  ClearKnownExfatDirLbas();
}

bool FuzzLoadImage(const uint8_t* data, size_t size) {
  if (size < 4) return false;
  auto image = std::make_shared<MemoryImage>();
  image->sectors = Le32(data);
  size_t pos = 4;
  while (pos + 6 <= size) {
    const uint64_t lba = Le32(data + pos);
    const uint32_t count = uint32_t(data[pos + 4]) | (uint32_t(data[pos + 5]) << 8);
    pos += 6;
    for (uint32_t i = 0; i < count && pos < size; ++i) {
      std::vector<uint8_t> sector(kSector, 0);
      const size_t take = std::min<size_t>(kSector, size - pos);
      std::memcpy(sector.data(), data + pos, take);
      pos += take;
      image->data[lba + i] = std::move(sector);
    }
  }
  Backend().Set(image);
  MakeTarget(image->sectors);
  return true;
}

void FuzzLoadFlatImage(const uint8_t* data, size_t size) {
  auto image = std::make_shared<MemoryImage>();
  image->sectors = (size + kSector - 1) / kSector;
  for (uint64_t lba = 0; lba < image->sectors; ++lba) {
    std::vector<uint8_t> sector(kSector, 0);
    const size_t at = size_t(lba * kSector);
    std::memcpy(sector.data(), data + at, std::min<size_t>(kSector, size - at));
    image->data[lba] = std::move(sector);
  }
  Backend().Set(image);
  MakeTarget(image->sectors);
}

bool FuzzOpenImage(DiskReader& reader) { return OpenDeviceByPath(CString(kImagePath), reader, 1) != 0; }

void FuzzReadAllItems(VolumeContext& vol, uint64_t maxBytes) {
  const uint64_t piece = std::min<uint64_t>(maxBytes, 1u << 20);
  auto* block = static_cast<uint8_t*>(AllocMem(piece, 1));
  for (uint32_t id = 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || (rec->flags & kRecDirectory)) continue;
    // The record is packed: its size is read into a local before std::min takes a reference.
    const uint64_t recordSize = rec->size;
    const uint64_t size = std::min<uint64_t>(recordSize, maxBytes);
    for (uint64_t done = 0; done < size;) {
      const uint64_t n = ReadRecordDataMax(vol, *rec, done, block, std::min(piece, size - done));
      if (n == 0) break;
      done += n;
    }
  }
  FreeMem(block);
  FreeAllFileRecords(vol);
}

void FuzzParseImageVolume(std::initializer_list<uint32_t> types) {
  DiskReader reader;
  if (!FuzzOpenImage(reader)) return;
  uint8_t boot[512] = {};
  const uint32_t type = reader.ReadSectors(boot, 0, 1) ? ProbeBootSector(boot) : 0;
  bool wanted = false;
  for (uint32_t t : types) wanted = wanted || t == type;
  if (!wanted) return;
  const VolumeContext target = CopyScanTarget();
  VolumeContext vol;
  SetupVolumeOfType(type, target, reader, boot, 0, target.sectorCount, vol);
  reader.Close();
  std::atomic<uint32_t> running{kScanRunning};
  if (ParseVolumeFileSystem(&running, vol) > 0)
    FuzzReadAllItems(vol, 256u << 10);
  else
    FreeAllFileRecords(vol);
}

std::vector<uint8_t> FuzzFixedBytes(const uint8_t* data, size_t size, size_t n) {
  std::vector<uint8_t> out(n, 0);
  std::memcpy(out.data(), data, std::min(size, n));
  return out;
}
