#include "core/diskreader.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "app/settings.h"
#include "platform/hooks.h"
#include "platform/machine.h"
#include "platform/textconv.h"

std::atomic<uint32_t> SmallChunkReads{0};
std::atomic<uint32_t> LastReadError{0};
std::atomic<uint32_t> DeviceReadErrorSeen{0};
std::atomic<uint32_t> BlockReads{0};
std::atomic<uint32_t> BlockReadFailures{0};
std::atomic<uint32_t> OtherReads{0};
std::atomic<uint32_t> OtherReadFailures{0};

namespace {

std::atomic<ReadTimeoutHook> g_timeoutHook{nullptr};

// The inclusive last LBA of a volume; hostile sums saturate instead of wrapping.
int64_t LastLbaOf(const VolumeContext& t) {
  if (t.sectorCount == kUnknownSectorCount) return kUnknownSizeLba;
  if (t.sectorCount > uint64_t(INT64_MAX) || t.firstLba > uint64_t(INT64_MAX)) return INT64_MAX;
  int64_t last = 0;
  if (__builtin_add_overflow(int64_t(t.firstLba), int64_t(t.sectorCount) - 1, &last)) return INT64_MAX;
  return last;
}

bool OpenTarget(const VolumeContext& ctx, DiskReader& out) {
  out.Close();
  DWORD err = 0;
  StorageHandle h = StorageOpen(ctx.devicePath, &err);
  out.handle = h;
  if (!IsOpenStorageHandle(h)) return false;
  out.name = ctx.name;
  out.lastLba = LastLbaOf(ctx);
  out.devicePath = ctx.devicePath;
  out.aborted = 0;
  return true;
}

bool AskRetry(const CString& name) {
  return ShowMessageBox(name + u" " + GetLangStr(u"UsbNeedRetry"), GetLangStr(u"Retry"), GetLangStr(u"Cancel"));
}

}  // namespace

CCriticalSection& SectorReadLock() {
  static CCriticalSection& cs = *new CCriticalSection();
  return cs;
}

void SetReadTimeoutHook(ReadTimeoutHook hook) { g_timeoutHook.store(hook); }

void UpdateSmallChunkReads(const VolumeContext& target) {
  SmallChunkReads.store(0);
  // The limit is in sectors (40 TiB), not bytes: in practice every removable target gets
  // small chunks, which is what slow and flaky USB readers need.
  uint64_t rounded = target.sectorCount & ~((uint64_t(1) << 30) - 1);
  if (target.removable != 0 && rounded < 0x1400000000ull) SmallChunkReads.store(1);
}

void DiskReader::Close() {
  if (IsOpenStorageHandle(handle)) StorageClose(handle);
  handle = nullptr;
}

BOOL DiskReader::ReadAt(void* buf, uint64_t byteOffset, uint32_t count) {
  DWORD timeout = count < 0x20000 ? 4000 : 8000;
  if (ReadTimeoutHook hook = g_timeoutHook.load()) timeout = hook(timeout, count);
  DWORD err = 0;
  if (StorageRead(handle, buf, byteOffset, count, timeout, &err)) return 1;
  LastReadError.store(err);
  DeviceReadErrorSeen.store(1);
  return 0;
}

BOOL DiskReader::ReadSectorsImpl(void* buf, uint64_t lba, uint32_t count, DWORD* error) {
  *error = 0;
  uint8_t* out = static_cast<uint8_t*>(buf);
  size_t bytes = size_t(count) * kSectorBytes;
  // No device reaches this far: a read here is a failure, never zeros handed back as data.
  if (lba >= uint64_t(kUnknownSizeLba)) {
    if (bytes != 0) std::memset(out, 0, bytes);
    return 0;
  }
  CSectionLock lock(SectorReadLock());
  uint64_t chunk = SmallChunkReads.load() != 0 ? 256 : 2048;
  LastReadError.store(0);
  int64_t first = int64_t(lba);
  if (first > lastLba) {
    if (bytes != 0) std::memset(out, 0, bytes);
    return 0;
  }
  uint64_t n = count;
  if (first + int64_t(n) - 1 > lastLba) n = uint64_t(lastLba - first + 1);
  // Every byte not read is zero: the part cut off at the device end now, and from a failed
  // chunk on when one fails. Bytes that are read are not zeroed first.
  if (n < count) std::memset(out + n * kSectorBytes, 0, size_t(count - n) * kSectorBytes);

  bool ok = true;
  for (uint64_t done = 0; done < n; done += chunk) {
    uint64_t sectors = std::min(chunk, n - done);
    uint8_t* dest = out + done * kSectorBytes;
    if (!ReadAt(dest, (lba + done) * kSectorBytes, uint32_t(sectors * kSectorBytes))) {
      // Part of a failed chunk may have arrived; the failed request leaves zeros from the
      // failed chunk on, so callers that go on with it never see stale partial data.
      std::memset(dest, 0, size_t(n - done) * kSectorBytes);
      ok = false;
      *error = LastReadError.load();
      break;
    }
  }
  // A lost device is not counted; the caller still sees the failure.
  if (ok || !IsDeviceGoneError(*error)) {
    if (n == kScanBlockSectors) {
      BlockReads.fetch_add(1);
      if (!ok) BlockReadFailures.fetch_add(1);
    } else {
      OtherReads.fetch_add(1);
      if (!ok) OtherReadFailures.fetch_add(1);
    }
  }
  return ok ? 1 : 0;
}

BOOL DiskReader::ReadSectors(void* buf, uint64_t lba, uint32_t count) {
  DWORD err = 0;
  return ReadSectorsImpl(buf, lba, count, &err);
}

BOOL DiskReader::ReadSectors(void* buf, uint64_t lba, uint32_t count, DWORD* error) {
  return ReadSectorsImpl(buf, lba, count, error);
}

BOOL DiskReader::ReadSectorsWithRetry(void* buf, uint64_t lba, uint32_t count) {
  while (aborted == 0) {
    // The error of this request itself, not the process-wide LastReadError, which another
    // thread may already have overwritten once the lock was released.
    DWORD err = 0;
    if (ReadSectorsImpl(buf, lba, count, &err)) return 1;
    if (!IsDeviceGoneError(err)) return 0;
    // The reader comes back on its own device: a copy may read a volume other than the scan
    // target. Only a reader of the scan target's device takes the target's name and bounds.
    VolumeContext target = CopyScanTarget();
    const bool own = target.devicePath != devicePath;
    const int64_t ownLastLba = lastLba;
    if (own) {
      ResetVolumeContext(target);
      target.devicePath = devicePath;
      target.name = name;
    }
    for (;;) {
      if (!AskRetry(target.name)) {
        aborted = 1;
        return 0;
      }
      if (OpenTarget(target, *this)) {
        if (own) lastLba = ownLastLba;
        break;
      }
    }
  }
  return 0;
}

uint64_t DiskReader::GetSizeBytes(const CString& path) {
  StorageDevice* dev = StorageDeviceOf(handle);
  uint64_t bytes = 0;
  if (dev != nullptr && dev->DiskLength(&bytes)) return bytes;
  if (dev != nullptr && dev->FileSize(&bytes) && bytes != 0) return bytes;
  // The file system size of the drive, for a volume path "\\.\X:" only: any other path has no
  // drive letter at that place.
  char16_t letter = 0;
  if (ParseDriveLetterPath(path, &letter) && StorageDriveTotalBytes(letter, &bytes)) return bytes;
  if (dev != nullptr && dev->SeekEnd(&bytes)) return bytes;
  return 0;
}

BOOL DiskReader::GetModelName(CString& model) {
  StorageDevice* dev = StorageDeviceOf(handle);
  StorageDeviceInfo info;
  if (dev == nullptr || !dev->QueryInfo(&info)) return 0;
  switch (info.busType) {
    case kBusScsi: case kBusAta: case kBusUsb: case kBusIscsi:
    case kBusSas: case kBusSata: case kBusSd: case kBusNvme: break;
    default: return 0;
  }
  auto cText = [](const std::string& s, size_t limit) {
    std::string t = s.substr(0, std::min(s.find('\0'), limit));
    return t;
  };
  auto trimRight = [](std::string& s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
  };
  std::string text = cText(info.vendor, 4096);
  trimRight(text);
  if (!text.empty()) text += ' ';
  text += cText(info.model, 10240);
  trimRight(text);
  model = CString(AnsiToUtf16(text));
  return 1;
}

BOOL DiskReader::IsUsbBus() {
  StorageDevice* dev = StorageDeviceOf(handle);
  StorageDeviceInfo info;
  return dev != nullptr && dev->QueryInfo(&info) && info.busType == kBusUsb ? 1 : 0;
}

BOOL OpenVolumeDevice(const VolumeContext& ctx, DiskReader& out) { return OpenTarget(ctx, out) ? 1 : 0; }

BOOL OpenVolumeDeviceWithRetry(const VolumeContext& ctx, DiskReader& out) {
  for (;;) {
    if (OpenTarget(ctx, out)) return 1;
    if (ctx.removable == 0 || !AskRetry(ctx.name)) return 0;
  }
}

BOOL OpenDeviceByPath(const CString& path, DiskReader& out, uint32_t readOnly) {
  (void)readOnly;
  DWORD err = 0;
  StorageHandle h = StorageOpen(path, &err);
  if (IsOpenStorageHandle(out.handle)) StorageClose(out.handle);
  out.handle = h;
  if (!IsOpenStorageHandle(h)) return 0;
  out.devicePath = path;
  out.name = path;
  out.sizeBytes = out.GetSizeBytes(path);
  out.lastLba = int64_t(out.sizeBytes / kSectorBytes) - 1;
  return 1;
}

uint64_t GetDriveFreeBytes(const CString& path) { return StorageFreeBytes(path); }
