// The disk-image writer: the image file chosen before a scan, and the loop that writes every
// block the scan's reader delivers at its own position (LBA x 512) in that file, so a failing
// disk can be copied once and then scanned from the copy.
//
// The source is only ever read (by the scan's reader); the writer refuses a target on the
// device being imaged. Every create, seek and write is checked: a full disk or a failed write
// ends imaging and is reported as a failure, never as a complete image.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/volumecontext.h"
#include "platform/cstring.h"

constexpr uint64_t kImageBlockBytes = 8ull << 20;
// Room the chosen drive must keep besides the image: more on the system drive.
constexpr uint64_t kImageSystemDriveMargin = 0x38800000;  // 904 MiB
constexpr uint64_t kImageOtherDriveMargin = 0x1F400000;   // 500 MiB

// The image file chosen last, exactly as the user chose it.
CString GetDiskImagePath();
void SetDiskImagePath(const CString& path);

// The services the chooser needs, replaceable for tests: the save-as dialog (false when the
// user cancelled), the bytes free to the caller on the file system of a path (false when that
// cannot be told) and whether a path lies on the system's own file system (the root's device),
// which must keep the larger margin.
struct DiskImageServices {
  bool (*saveAsDialog)(const CString& initialName, CString& chosen) = nullptr;
  bool (*freeBytes)(const CString& path, uint64_t& bytes) = nullptr;
  bool (*onSystemDrive)(const CString& path) = nullptr;
};
void SetDiskImageServices(const DiskImageServices& services);  // nulls restore the defaults

// Asks for the image file (".QZD"), the overwrite question for an existing file, refuses a
// path on the device being imaged (the ScanTarget), writes 4 test bytes, checks the free space
// (size + 904 MiB on the system drive, + 500 MiB elsewhere), then remembers the path and writes
// it to "ClonePath.txt" beside the program. False, with the reason shown, when a step fails.
bool ChooseDiskImagePath(uint64_t sizeBytes, const CString& initialName);
// The same for a source that is not the ScanTarget yet: the device selection asks for the image
// path before the chosen device becomes the target.
bool ChooseDiskImagePath(uint64_t sizeBytes, const CString& initialName, const VolumeContext& source);

// Blocks whose read succeeded, failed, and the blocks the whole device takes.
struct ImageCounts {
  uint32_t blocksRead = 0;
  uint32_t blocksFailed = 0;
  uint32_t blocksExpected = 0;
};

// Where the writer takes its blocks: kImageBlockBytes of data with their first LBA and read
// result. take returns false when no block is waiting; release gives a taken block back; wait
// sleeps a little; progress hears the counts after each block (may be null).
struct ImageBlockSource {
  bool (*take)(void* context, const uint8_t** data, uint64_t* lba, bool* readOk) = nullptr;
  void (*release)(void* context) = nullptr;
  void (*wait)(void* context) = nullptr;
  void (*progress)(void* context, const ImageCounts& counts) = nullptr;
  void* context = nullptr;
};

struct ImageWriteResult {
  ImageCounts counts;
  bool created = false;     // the image file could be made
  bool writeFailed = false; // a seek or write failed: the image is not whole
  bool stopped = false;     // the user stopped the scan
};

// The writing loop: creates the image file anew, then until the state word reads 2, or 3 with
// no block waiting, writes each block at LBA x 512 (a failed read is written as the reader left
// it and counted as failed) and reports the counts. A block is cut at the device's
// end (deviceBytes), so the image of a whole device is byte for byte the device. A failed
// create or write sets the state word to 2, so the scan stops too.
ImageWriteResult WriteImageBlocks(std::atomic<uint32_t>* state, const CString& imagePath, const ImageBlockSource& source,
                                  uint64_t deviceBytes);
// Blocks of 8 MiB the image of a device of this many sectors takes (a last part block counts).
uint32_t ExpectedImageBlocks(uint64_t deviceSectors);

// "总镜像: %s 镜像成功: %s 镜像失败: %s 镜像成功率: %u%%" of the counts.
CString FormatImageProgress(const ImageCounts& counts);
// The message shown when imaging ends: complete, stopped or failed, the summary, where the image
// is and how to scan it.
CString ImageClosingMessage(const ImageWriteResult& result, const CString& imagePath);
