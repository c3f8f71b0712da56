// The sector reader: every byte taken from a disk, volume or image passes through a DiskReader.
//
// Requests are split into chunks (2048 sectors, 256 for removable targets), each chunk bounded
// by a time-out (4000 ms below 128 KiB, else 8000 ms; an image file read through the page
// cache is read on the calling thread without one). One process-wide lock serialises every
// request of every thread. A chunk that times out is abandoned on its helper I/O thread: the
// call fails and nothing is written into the caller's buffer afterwards, but the stuck read
// itself cannot be cancelled on Linux and stays in flight until the device answers, so at such
// moments more than one read may be outstanding in the process.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/volumecontext.h"
#include "platform/cstring.h"
#include "platform/storage.h"
#include "platform/sync.h"
#include "platform/wintypes.h"

// The last-LBA value that means "size unknown": every LBA below it counts as readable; a read at
// or above it fails (with zeros in the buffer) whatever the device.
constexpr int64_t kUnknownSizeLba = 0x1000000000000;
constexpr uint32_t kSectorBytes = 512;
// A deep-scan block: requests of exactly this many sectors count as block reads.
constexpr uint32_t kScanBlockSectors = 16384;

struct DiskReader {
  StorageHandle handle = nullptr;  // kInvalidStorageHandle after a failed open
  CString name;
  CString devicePath;
  int64_t lastLba = 0;  // inclusive; kUnknownSizeLba: unknown size
  uint64_t sizeBytes = 0;
  uint32_t aborted = 0;

  DiskReader() = default;
  ~DiskReader() { Close(); }
  DiskReader(const DiskReader&) = delete;
  DiskReader& operator=(const DiskReader&) = delete;

  // One read of count bytes at the byte offset, bounded by its time-out. The caller holds
  // SectorReadLock(). 1 when every byte was read.
  BOOL ReadAt(void* buf, uint64_t byteOffset, uint32_t count);
  // Fills count * 512 bytes from lba onward; see the .cpp for the rules at the device end.
  BOOL ReadSectors(void* buf, uint64_t lba, uint32_t count);
  // The same, with the error of this very request (0 on success), which another thread cannot
  // overwrite as it can LastReadError.
  BOOL ReadSectors(void* buf, uint64_t lba, uint32_t count, DWORD* error);
  // ReadSectors, asking Retry/Cancel when the device is gone; after Cancel every later call
  // fails at once until a successful re-open.
  BOOL ReadSectorsWithRetry(void* buf, uint64_t lba, uint32_t count);
  // The size in bytes of the opened device or file, 0 when nothing answers.
  uint64_t GetSizeBytes(const CString& path);
  // Vendor and product text of the device.
  BOOL GetModelName(CString& model);
  BOOL IsUsbBus();
  // Closes an open handle and sets it to null.
  void Close();

 private:
  BOOL ReadSectorsImpl(void* buf, uint64_t lba, uint32_t count, DWORD* error);
};

BOOL OpenVolumeDevice(const VolumeContext& ctx, DiskReader& out);
BOOL OpenVolumeDeviceWithRetry(const VolumeContext& ctx, DiskReader& out);
// The read-only flag is accepted as callers pass it, but a source is never opened for
// writing: a read-write request opens read-only as well.
BOOL OpenDeviceByPath(const CString& path, DiskReader& out, uint32_t readOnly);
// Free bytes of the drive or folder the path names, 0 when the query fails.
uint64_t GetDriveFreeBytes(const CString& path);

// Process-wide reader state.
CCriticalSection& SectorReadLock();
extern std::atomic<uint32_t> SmallChunkReads;
extern std::atomic<uint32_t> LastReadError;
extern std::atomic<uint32_t> DeviceReadErrorSeen;  // raised by every failed read, never cleared
extern std::atomic<uint32_t> BlockReads;
extern std::atomic<uint32_t> BlockReadFailures;
extern std::atomic<uint32_t> OtherReads;
extern std::atomic<uint32_t> OtherReadFailures;

// Clears SmallChunkReads, then sets it for a removable target below 0x1400000000 sectors (the
// count rounded down to a multiple of 2^30): in practice every removable target.
void UpdateSmallChunkReads(const VolumeContext& target);

// Sees the time-out of every chunk (4000 or 8000 ms) and the chunk's byte count, and returns
// the time-out to use. Tests record chunking with it and shorten the wait; null restores the
// plain time-outs.
using ReadTimeoutHook = DWORD (*)(DWORD timeoutMs, DWORD byteCount);
void SetReadTimeoutHook(ReadTimeoutHook hook);
