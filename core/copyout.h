// Copy-out: found files copied from the scanned device into a folder the user chose, or one
// file into a temporary folder beside the program for the desktop to open.
//
// Three drivers run on the user-interface thread. Each pauses a running scan, starts its worker
// (QuickOpenFileThread, SaveCurrFileThread, SaveAllToDirThread) under the modal job-progress
// dialog, resumes the scan and reports. The dialogs, the scan's pause and resume, the progress
// mailbox and the worker count belong to higher layers and are reached through the services of
// copyouthooks.h.
//
// What a copy promises:
//   - names from a disk never leave the chosen folder (every component is repaired before it
//     is joined), an existing file is never overwritten (" (N)" before the lower-cased
//     extension, N = 1 … 1023; with all taken the file fails);
//   - a file counts as recovered only when all its bytes were read (or, under the write-zeros
//     policy, written as zeros and counted) and written; write errors, missing or short extents
//     and unreadable resident data fail the file and are reported;
//   - a job whose device cannot be opened, or whose device is lost, never ends as complete;
//   - a target folder on the device or image being recovered is refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/dataextent.h"
#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"
#include "platform/wintypes.h"

struct VolumeList;

// Read-error choices.
enum RecoverErrorChoice : uint32_t {
  kErrorEmptyFile = 0,  // a failed read leaves the file empty
  kErrorKeepPart = 1,   // keep what was copied, go on with the next file
  kErrorWriteZeros = 2, // copy everything, unreadable sectors as zeros
};
// File-exists choices; the engine always numbers a clashing name, whatever the choice.
enum RecoverExistsChoice : uint32_t { kExistsAsk = 0, kExistsOverwrite = 1, kExistsSkip = 2 };

// What the recovery options dialog returns.
struct RecoverOptions {
  CString folder;
  uint32_t existsChoice = kExistsOverwrite;
  uint32_t errorChoice = kErrorKeepPart;
};

// Job status words of the progress dialog.
constexpr uint32_t kCopyJobRunning = 0;
constexpr uint32_t kCopyJobStopped = 2;
constexpr uint32_t kCopyJobDone = 3;

// How a job ended, beside its status word.
enum RecoverJobResult : uint32_t {
  kJobResultOk = 0,
  kJobResultOpenFailed = 1,   // the device could not be opened: nothing was copied
  kJobResultDeviceLost = 2,   // the device went away and the retry was cancelled
  kJobResultDiskFull = 3,     // the target ran out of space
  kJobResultFolderFailed = 4, // the save folder could not be made
};

constexpr int kRecoverFolderUnits = 260;

// The job record handed to a copy-out thread. The status word comes first: the progress dialog
// watches it. The driver and the worker each hold a reference; the last one frees the record,
// so a worker still finishing a read after a stop never touches freed memory.
struct RecoverJob {
  std::atomic<uint32_t> status{kCopyJobRunning};
  char16_t folder[kRecoverFolderUnits] = {};
  uint32_t slot = 0;  // VolumeList slot, or 0x10000 | view
  uint32_t id = 0;    // record id, or node id in a view
  uint32_t existsChoice = kExistsOverwrite;
  uint32_t errorChoice = kErrorKeepPart;

  // Beside the dialog's record: the list the item lives in, and what the worker reports once
  // the status reads 3.
  VolumeList* list = nullptr;
  std::atomic<uint32_t> refs{1};
  uint32_t result = kJobResultOk;
  uint32_t filesTotal = 0;
  uint32_t filesDone = 0;    // files handled, copied or not
  uint32_t filesCopied = 0;  // files recovered whole
  uint32_t filesFailed = 0;
  uint64_t bytesCopied = 0;  // bytes written
  uint64_t zeroSectors = 0;  // unreadable sectors written as zeros
  CString writtenPath;       // the file a temporary copy went to
  CString deviceName;        // the device the job read last (named when it fails)
};

// A new job from the guarded heap (caller tag), one reference held by the caller.
RecoverJob* NewRecoverJob(unsigned tag);
void AddJobRef(RecoverJob* job);
void ReleaseJob(RecoverJob* job);

// The progress record of a copy (kind 3): the layout the progress mailbox carries.
#pragma pack(push, 1)
struct CopyProgress {
  uint32_t kind;  // 3
  uint32_t reserved;
  uint32_t filesTotal;
  uint32_t filesDone;
  uint64_t bytesTotal;
  uint64_t bytesDone;
  uint64_t fileSize;
  uint64_t fileDone;
  char16_t name[260];
  uint8_t unused[648 - 568];
};
#pragma pack(pop)
static_assert(sizeof(CopyProgress) == 648);
constexpr uint32_t kCopyProgressKind = 3;
CopyProgress MakeCopyProgress();

// Copy statistics: totals since the last copy of checked items began, and the last job.
struct CopyStatisticsValues {
  uint64_t totalBytes = 0;
  uint32_t totalFiles = 0;
  uint64_t lastBytes = 0;
  uint32_t lastFiles = 0;
  uint32_t lastFailed = 0;             // files of the last job that were not recovered whole
  uint32_t lastResult = kJobResultOk;  // how the last job ended (RecoverJobResult)
};
CopyStatisticsValues GetCopyStatistics();
void ResetCopyStatistics();
// After a job: its values become the last job's (bytes written count even when no file was
// recovered whole, so a job that wrote never reads as 0) and are added to the totals.
void UpdateCopyStatistics(uint32_t files, uint64_t bytes, uint32_t failed = 0, uint32_t result = kJobResultOk);

// Set by each copy-out thread for its duration.
extern std::atomic<uint32_t> CopyOutRunning;
// The folder that received the last copy.
CString GetLastSaveFolder();
void SetLastSaveFolder(const CString& folder);

// ---- Drivers (user-interface thread). The forms without a list use AppVolumeList().
int OpenItemViaTempCopy(uint32_t slot, uint32_t id, void* owner);
int OpenItemViaTempCopy(VolumeList& list, uint32_t slot, uint32_t id, void* owner);
int RecoverOneItem(uint32_t slot, uint32_t id, void* owner);
int RecoverOneItem(VolumeList& list, uint32_t slot, uint32_t id, void* owner);
int RecoverCheckedItems(uint32_t files, uint64_t bytes);
int RecoverCheckedItems(VolumeList& list, uint32_t files, uint64_t bytes);

// ---- Worker threads (a RecoverJob* as parameter; each releases its reference at the end).
UINT QuickOpenFileThread(LPVOID param);
UINT SaveCurrFileThread(LPVOID param);
UINT SaveAllToDirThread(LPVOID param);

// ---- Supporting operations.
// 1 when copying may start: refused with "MustScanEndToHand" while a scan runs or is paused
// and the edition value "MustScanEnd" is "1".
int CheckScanFinished(const CString& action);
int CheckScanFinishedForAll(const CString& action);
// The job's folder, joined with the edition value "SaveDir" unless its last component already
// is that; made when missing; it becomes the last save folder. False when it cannot be made.
bool PrepareSaveFolder(const RecoverJob& job, CString& folder);
// Forgets temporary copies that are gone or could be deleted; 0 (after "CloseTempFileToOpenNew")
// when more than 10 copies or more than 512 MiB of them are still in use.
int PurgeTempCopies();
// The result of the last job: read errors, failed files and "RecoverTotalInfo".
void ReportRecoverResult(const RecoverJob& job, void* owner);
CString& FormatCopyProgress(CString& out, const CopyProgress& progress);
// True when the folder lies on the device or image file being recovered (ScanTarget): the
// same file, a loop device backed by it, the same block device, a partition of it, or a device
// built on it. For a block-device source a folder whose device cannot be traced counts as on it.
bool TargetLiesOnSource(const CString& folder);
// The same test against each of the sources (the devices of the volumes a job reads).
bool TargetLiesOnSources(const CString& folder, const std::vector<VolumeContext>& sources);

// ---- Copy steps (worker side).
// Result of one file's copy.
enum CopyFileResult : int {
  kCopyOk = 0,
  kCopyReadFailed = 1,   // a read failed or the data could not be found
  kCopyWriteFailed = 2,
  kCopyStopped = 3,      // the job was stopped
  kCopyDeviceLost = 4,   // the retry question was cancelled
  kCopyCreateFailed = 5, // no name could be created
  kCopyDiskFull = 6,
};

// Creates path (or the first free " (N)" form of it) for reading and writing without ever
// replacing an existing file; the path takes the name used. -1 when no name could be made.
int CreateUniqueTargetFile(CString& path);
// The two 4 MiB staging buffers of a copy, from the guarded heap on first use; a job keeps one
// pair for all its files.
struct CopyStaging {
  CopyStaging() = default;
  ~CopyStaging();
  CopyStaging(const CopyStaging&) = delete;
  CopyStaging& operator=(const CopyStaging&) = delete;
  uint8_t* Get(int i);
  uint8_t* buf[2] = {nullptr, nullptr};
};
// Copies size bytes of the runs (from byte phase of the first run on) to the open file under
// the read-error choice; the job's zeroSectors counts sectors written as zeros. The first form
// uses staging buffers of its own.
CopyFileResult CopyFileByExtents(RecoverJob& job, DiskReader& reader, CopyProgress& progress, int fd,
                                 const DataExtentList& extents, uint64_t phase, uint64_t size, uint32_t choice);
CopyFileResult CopyFileByExtents(RecoverJob& job, DiskReader& reader, CopyProgress& progress, int fd,
                                 const DataExtentList& extents, uint64_t phase, uint64_t size, uint32_t choice,
                                 CopyStaging& staging);

// The write the copy uses for its output: ::write unless a test replaces it (null restores).
using CopyWriteFn = long (*)(int fd, const void* buf, unsigned long count);
void SetCopyWriteHook(CopyWriteFn fn);
