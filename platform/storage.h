// Raw storage: disks, drives and image files opened read-only and read with a time-out.
//
// The program names sources the Windows way: "\\.\PhysicalDriveN" (N = 0..63), "\\.\X:" and
// plain file paths. Here they resolve to Linux block devices (found in sysfs, in a stable
// order) or, when the environment variable KESTREL_MACHINE names a machine description, to
// image files or windows (offset, length) into them. See machine.h for the description.
//
// Nothing here ever opens a source for writing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/wintypes.h"

// System error codes the program tests. The first three mean the device was removed or lost.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_NO_SUCH_DEVICE = 433;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_BUSY = 170;

// Storage bus types as the device property query reports them.
constexpr DWORD kBusScsi = 1;
constexpr DWORD kBusAta = 3;
constexpr DWORD kBusUsb = 7;
constexpr DWORD kBusIscsi = 9;
constexpr DWORD kBusSas = 10;
constexpr DWORD kBusSata = 11;
constexpr DWORD kBusSd = 12;
constexpr DWORD kBusNvme = 17;

bool IsDeviceGoneError(DWORD code);
// Maps a Linux errno to the code the program tests. EIO is a plain read error unless the device
// has vanished (deviceVanished), when it is a lost device like ENODEV.
DWORD MapErrnoToWinError(int err, bool deviceVanished);
// "usb", "sata", "nvme" ... or a decimal number; 0 when unknown.
DWORD BusTypeFromName(const std::string& name);

// What the device property query answers: vendor and product texts (bytes in the ANSI code
// page, as the device reports them), bus type, removable flag and logical sector size.
struct StorageDeviceInfo {
  std::string vendor;
  std::string model;
  DWORD busType = 0;
  bool removable = false;
  uint32_t logicalSectorSize = 512;
};

// One opened source. Implementations: the Linux file/block device below, and fakes in tests.
// Pread may be called on a helper thread while the opener has already given up on the read, so
// implementations keep everything they use alive on their own (the device object is shared).
class StorageDevice {
 public:
  virtual ~StorageDevice() = default;
  // Reads up to count bytes at byte offset into buf, which is 4096-byte aligned and has room for
  // count + 8192 bytes. Returns the bytes read (fewer at the end of the device), or -errno.
  virtual int64_t Pread(void* buf, uint32_t count, uint64_t offset) = 0;
  // The length of a disk or volume (a block device, or a disk or drive of the machine
  // description); false for a plain file.
  virtual bool DiskLength(uint64_t* bytes) { (void)bytes; return false; }
  // The size of a plain file; false for a device.
  virtual bool FileSize(uint64_t* bytes) { (void)bytes; return false; }
  // The end position found by seeking to the end.
  virtual bool SeekEnd(uint64_t* bytes) { (void)bytes; return false; }
  virtual bool QueryInfo(StorageDeviceInfo* info) { (void)info; return false; }
  // False once the device node (or its image file) is gone; used to tell a lost device from a
  // plain read error.
  virtual bool StillPresent() { return true; }
  // The size of the pieces a long read is split into on the helper thread.
  virtual uint32_t PieceBytes() { return 256 * 1024; }
  // How many pieces of one read may be in flight at once. Devices stay at 1 (one read at a
  // time, in order); an image file served from the page cache reads faster with two.
  virtual uint32_t Parallelism() { return 1; }
  // True for a source whose reads need no time-out (an image file read through the page
  // cache): StorageRead then calls Pread on the caller's thread, straight into the caller's
  // buffer (any alignment, room for exactly count bytes), with no helper thread and no copy.
  virtual bool ReadsOnCaller() { return false; }
};

// Where devices come from. The default is the Linux backend (machine description or sysfs);
// tests install their own with SetStorageBackend.
class StorageBackend {
 public:
  virtual ~StorageBackend() = default;
  // Opens the program path read-only; on failure null and *err set (a system error code).
  virtual std::shared_ptr<StorageDevice> Open(const CString& path, DWORD* err) = 0;
  // Free and total bytes of the file system behind a drive path ("X:..." or "\\.\X:") or a
  // host folder (its nearest existing ancestor). False when nothing answers.
  virtual bool VolumeSpace(const CString& path, uint64_t* freeBytes, uint64_t* totalBytes) = 0;
};
// Null restores the Linux backend. Set before any reader thread starts.
void SetStorageBackend(StorageBackend* backend);
StorageBackend& GetStorageBackend();
StorageBackend& LinuxStorageBackend();

// An opened source as the program holds it.
struct StorageFile;
using StorageHandle = StorageFile*;
inline StorageHandle const kInvalidStorageHandle = reinterpret_cast<StorageHandle>(intptr_t(-1));
inline bool IsOpenStorageHandle(StorageHandle h) { return h != nullptr && h != kInvalidStorageHandle; }

// Opens read-only. On failure returns kInvalidStorageHandle and sets *err.
StorageHandle StorageOpen(const CString& path, DWORD* err);
// Closes the handle; a read that is still stuck on a helper thread keeps the device alive
// until it ends. Null and the invalid handle are ignored.
void StorageClose(StorageHandle h);
StorageDevice* StorageDeviceOf(StorageHandle h);

// Reads count bytes at the byte offset into buf, waiting at most timeoutMs. A source that
// ReadsOnCaller is read on the calling thread straight into buf, and the time-out does not
// apply. Other sources are read by helper I/O threads into buffers of their own; only the
// calling thread copies into buf, piece by piece as the pieces arrive. When the time-out passes, the call returns false with
// ERROR_OPERATION_ABORTED and nothing is ever written into buf afterwards (a read that cannot
// be cancelled finishes into the helper's buffer and is thrown away). On success *err is 0.
// A stuck helper is not reused until its read comes back; while every helper is stuck, new
// reads fail with ERROR_BUSY.
bool StorageRead(StorageHandle h, void* buf, uint64_t offset, uint32_t count, uint32_t timeoutMs,
                 DWORD* err);

// Free bytes of the file system behind a drive path or a host folder; 0 when nothing answers.
uint64_t StorageFreeBytes(const CString& path);
// Total bytes of the file system behind the drive of that letter; false when nothing answers.
bool StorageDriveTotalBytes(char16_t letter, uint64_t* bytes);

// The physical disks the machine shows, in order (index N is "\\.\PhysicalDriveN").
struct StorageDiskEntry {
  int index = 0;
  CString path;          // "\\.\PhysicalDriveN"
  std::string hostPath;  // block device or image file
  uint64_t sizeBytes = 0;
  StorageDeviceInfo info;
};
std::vector<StorageDiskEntry> ListStorageDisks();

// Where a lettered drive lies: the disk holding it (index N of ListStorageDisks, -1 when it is
// on none of them), its start and length in bytes on that disk. False when no drive has the
// letter. From the machine description (a drive window into a disk's image), else from sysfs
// (the partition's start and size, its parent disk).
struct StorageDriveExtent {
  int diskIndex = -1;
  uint64_t startBytes = 0;
  uint64_t lengthBytes = 0;
  bool removable = false;
};
bool QueryDriveExtent(char16_t letter, StorageDriveExtent* out);
// The folder where the drive of that letter is mounted: the description's "mount", else the
// mount point of the mounted block device behind the letter; empty when unknown.
std::string StorageDriveMountPoint(char16_t letter);
// True when the disk accepts discards (TRIM); always false for a described machine.
bool QueryDiskTrim(int diskIndex);
