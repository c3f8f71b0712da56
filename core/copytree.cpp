// The walk of a copy-out job: folders made under the target, files copied one by one, names
// from the disk repaired before they are joined to a path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include "base/heap.h"
#include "base/packedtime.h"
#include "base/pathutil.h"
#include "base/textutil.h"
#include "core/checkstate.h"
#include "core/copyouthooks.h"
#include "core/copyrun.h"
#include "core/dataextents.h"
#include "core/itemquery.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "platform/fileio.h"
#include "platform/wintime.h"

namespace {

constexpr unsigned kTagResident = 35;
constexpr uint64_t kMaxResidentBytes = 1024;  // resident data never exceeds its MFT record
// Deeper folders could not be made anyway (a host path holds at most 4096 bytes).
constexpr uint32_t kMaxCopyDepth = 2048;

// What the copy needs of a record, taken under the list's read lock.
struct ItemInfo {
  uint16_t flags = 0;
  uint64_t size = 0;
  uint64_t lba = 0;
  uint32_t ctime = 0;
  uint32_t mtime = 0;
  CString name;
  uint32_t volumeType = 0;
  uint64_t phase = 0;
  uint32_t slot = 0;  // the volume slot the record belongs to (a view node's own slot)
  uint32_t sectorsPerCluster = 0;
  uint64_t volumeBytes = 0;  // 0 when the volume's length is not known
};

bool SnapshotItem(VolumeList& list, uint32_t a, uint32_t id, ItemInfo& out) {
  VolumeListReadGuard guard(list);
  const FileRecord* rec = GetItemRecord(list, a, id);
  if (!rec) return false;
  uint32_t slot = a;
  if (IsViewId(a)) {
    const ViewNode* node = ResolveViewNode(list, a, id, 0);
    if (!node) return false;
    slot = node->slot;
  }
  VolumeContext ctx;
  if (!CopySlotContext(list, slot, ctx)) return false;
  out.flags = rec->flags;
  out.size = rec->size;
  out.lba = rec->lba;
  out.ctime = rec->ctime;
  out.mtime = rec->mtime;
  out.name = RecordNameText(rec);
  out.volumeType = ctx.type;
  out.phase = ItemDataPhase(ctx, *rec);
  out.slot = slot;
  out.sectorsPerCluster = ctx.bootSector[0x0D];
  if (ctx.sectorCount != 0 && ctx.sectorCount != kUnknownSectorCount) out.volumeBytes = ctx.sectorCount * kSectorBytes;
  return true;
}

// The name a record gets on the target: never a path of its own, never "." or "..".
CString TargetName(const CString& recordName, bool colonToBlank) {
  CString name = recordName;
  if (colonToBlank) ColonToBlank(name);
  RepairNameComponent(name);
  return name;
}

// The record is packed: the name goes in through a plain buffer, never a pointer to the member.
void SetProgressName(CopyProgress& p, const CString& name) {
  char16_t buf[260] = {};
  CopyToWBuf(buf, 260, name);
  std::memcpy(reinterpret_cast<uint8_t*>(&p) + offsetof(CopyProgress, name), buf, sizeof buf);
}

bool IsDirectoryPath(const CString& path) {
  struct stat st;
  return ::stat(HostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool MakeTargetFolder(CString& path) {
  if (IsDirectoryPath(path)) return true;
  if (!FileExists(path)) return CreateDirFixed(path) && IsDirectoryPath(path);
  for (uint32_t n = 1; n <= 1023; ++n) {
    CString candidate = path + FormatCString(u" (%u)", n);
    if (FileExists(candidate)) continue;
    if (CreateDirectoryW(candidate)) {
      path = candidate;
      return true;
    }
  }
  return false;
}

bool CopyRunEnded(const CopyRun& run) {
  return run.job.status.load() == kCopyJobStopped || run.reader.aborted != 0 ||
         run.job.result == kJobResultDiskFull;
}

namespace {

void CountFile(CopyRun& run, CopyFileResult r) {
  run.job.filesDone += 1;
  run.progress.filesDone += 1;
  if (r == kCopyOk) run.job.filesCopied += 1;
  else run.job.filesFailed += 1;
  if (r == kCopyDiskFull) run.job.result = kJobResultDiskFull;
  if (r == kCopyDeviceLost || run.reader.aborted) run.job.result = kJobResultDeviceLost;
}

}  // namespace

void CountUnreachableItem(CopyRun& run, uint32_t a, uint32_t id, uint32_t checkFlag) {
  uint32_t files = 0;
  if (IsViewId(a)) {
    int32_t count = 0;
    uint64_t bytes = 0;
    SumViewItemFiles(run.list, a, id, count, bytes);
    files = count > 0 ? uint32_t(count) : 0;
  } else if (checkFlag) {
    CheckedTotals totals;
    SumCheckedFiles(run.list, a, id, totals);
    files = totals.files;
  } else {
    int32_t count = 0;
    uint64_t bytes = 0;
    SumVolumeItemFiles(run.list, a, id, count, bytes);
    files = count > 0 ? uint32_t(count) : 0;
  }
  run.job.filesDone += files;
  run.job.filesFailed += files;
  run.progress.filesDone += files;
}

namespace {

// The resident data of an NTFS file, out of its MFT record. Anything but the whole value is a
// read failure under the read-error choice, never the record's own bytes.
CopyFileResult CopyResident(CopyRun& run, int fd, const ItemInfo& info) {
  auto* buf = static_cast<uint8_t*>(AllocMem(kMaxResidentBytes, kTagResident));
  const uint64_t got = ReadResidentData(run.reader, info.lba, 0, buf, std::min(info.size, kMaxResidentBytes));
  const uint32_t choice = run.job.errorChoice;
  CopyFileResult r = got == info.size ? kCopyOk : kCopyReadFailed;
  const uint64_t keep = r == kCopyOk || choice != kErrorEmptyFile ? got : 0;
  int werr = CopyWriteAll(fd, buf, keep);
  uint64_t written = werr == 0 ? keep : 0;
  if (werr == 0 && r != kCopyOk && choice == kErrorWriteZeros) {
    // Resident data never exceeds its record, so a larger size is damage: the zeros stop there.
    const uint64_t pad = std::min(info.size, kMaxResidentBytes) - std::min(got, info.size);
    std::fill(buf, buf + kMaxResidentBytes, 0);
    werr = CopyWriteAll(fd, buf, pad);
    if (werr == 0) written += pad;
    run.job.zeroSectors += (pad + kSectorBytes - 1) / kSectorBytes;
  }
  if (werr != 0) r = werr == ENOSPC || werr == EDQUOT ? kCopyDiskFull : kCopyWriteFailed;
  run.progress.bytesDone += written;
  run.progress.fileDone += written;
  CopyOutPostProgress(run.progress);
  FreeMem(buf);
  return r;
}

// A compressed NTFS file, unit by unit through an item reader. A unit that cannot be read or
// decoded ends the copy, or under the write-zeros choice becomes zeros and the copy goes on.
CopyFileResult CopyCompressed(CopyRun& run, int fd, const ItemInfo& info, DataExtentList extents) {
  ItemLayout layout;
  layout.extents = std::move(extents);
  layout.size = info.size;
  layout.unitSectors = CompressionUnitSectors(info.sectorsPerCluster);
  ItemReader item;
  item.Use(std::move(layout), run.reader);
  constexpr uint64_t kPiece = 4u << 20;
  const uint64_t unitBytes = uint64_t(item.layout().unitSectors) * kSectorBytes;
  uint8_t* buf = run.staging.Get(0);
  CopyFileResult r = kCopyOk;
  for (uint64_t done = 0; done < info.size;) {
    if (run.job.status.load() == kCopyJobStopped) return kCopyStopped;
    const uint64_t want = std::min(kPiece, info.size - done);
    uint64_t got = item.Read(done, buf, want);
    if (got < want) {
      r = kCopyReadFailed;
      if (run.job.errorChoice != kErrorWriteZeros || run.reader.aborted || unitBytes > kPiece) {
        if (got != 0 && CopyWriteAll(fd, buf, got) == 0) done += got;
        break;
      }
      // The failed unit becomes zeros; the read starts again with the next unit.
      const uint64_t unitEnd = std::min(info.size, (done + got) / unitBytes * unitBytes + unitBytes);
      std::memset(buf + got, 0, unitEnd - done - got);
      run.job.zeroSectors += (unitEnd - done - got + kSectorBytes - 1) / kSectorBytes;
      got = unitEnd - done;
    }
    const int werr = CopyWriteAll(fd, buf, got);
    if (werr != 0) return werr == ENOSPC || werr == EDQUOT ? kCopyDiskFull : kCopyWriteFailed;
    run.progress.bytesDone += got;
    run.progress.fileDone += got;
    CopyOutPostProgress(run.progress);
    done += got;
  }
  if (r != kCopyOk && run.job.errorChoice == kErrorEmptyFile && ::ftruncate(fd, 0) != 0) r = kCopyWriteFailed;
  return r;
}

void SetTimesFromRecord(int fd, const ItemInfo& info) {
  // A record without a creation time keeps the times its creation gave it.
  if (info.ctime == 0) return;
  FILETIME created{}, modified{};
  if (!PackedTimeToFileTime(info.ctime, created) || !PackedTimeToFileTime(info.mtime, modified)) return;
  // Linux keeps no settable creation time: access and modification both take the
  // modification time.
  const int64_t unixTime = FileTimeToUnix(modified);
  struct timespec ts[2];
  ts[0].tv_sec = time_t(unixTime);
  ts[0].tv_nsec = 0;
  ts[1] = ts[0];
  (void)::futimens(fd, ts);
}

}  // namespace

int IsItemSelectedForCopy(const FileRecord* rec, uint32_t checkFlag) {
  if (!rec) return 0;
  if (!checkFlag) return 1;
  const bool checked = (rec->flags & kRecChecked) != 0;
  const bool partly = (rec->flags & kRecPartChecked) != 0;
  return checked != partly ? 1 : 0;
}

CopyFileResult CopyOneFile(CopyRun& run, uint32_t a, uint32_t id, CString& path) {
  ItemInfo info;
  if (!SnapshotItem(run.list, a, id, info)) return kCopyReadFailed;
  if (!UseSlotDevice(run, info.slot)) return kCopyReadFailed;
  const int fd = CreateUniqueTargetFile(path);
  if (fd < 0) return kCopyCreateFailed;
  if (run.tempCopy) {
    AddTempCopy(path, info.size);
    run.job.writtenPath = path;
  }
  CopyFileResult r = kCopyOk;
  if (info.size != 0) {
    DataExtentList extents;
    const bool resident =
        (info.flags & kRecResident) && !(info.flags & kRecExtentList) && info.volumeType == kVolTypeNtfs;
    if (!GetItemExtents(run.list, a, id, extents)) {
      // Without its runs nothing of the file can be found; it stays empty.
      r = kCopyReadFailed;
    } else if (resident) {
      r = CopyResident(run, fd, info);
    } else if ((info.flags & kRecCompressed) && info.volumeType == kVolTypeNtfs) {
      r = CopyCompressed(run, fd, info, std::move(extents));
    } else {
      // A size the volume cannot hold is damage: the copy takes what the runs hold and fails,
      // instead of filling the target with zeros up to a size from a broken record.
      uint64_t size = info.size;
      const bool damaged = (info.flags & kRecDamaged) || (info.volumeBytes != 0 && size > info.volumeBytes);
      if (damaged) {
        const uint64_t sectors = ExtentSectors(extents);
        const uint64_t held = sectors > UINT64_MAX / kSectorBytes ? UINT64_MAX : sectors * kSectorBytes;
        size = std::min(size, held > info.phase ? held - info.phase : 0);
      }
      r = CopyFileByExtents(run.job, run.reader, run.progress, fd, extents, info.phase, size,
                            run.job.errorChoice, run.staging);
      if (damaged && r == kCopyOk) r = kCopyReadFailed;
    }
    SetTimesFromRecord(fd, info);
  }
  if (::close(fd) != 0 && r == kCopyOk) r = kCopyWriteFailed;
  return r;
}

namespace {

int CopyItemTreeAt(CopyRun& run, uint32_t a, uint32_t id, const CString& folder, uint32_t checkFlag,
                   bool colonToBlank, uint32_t depth) {
  if (CopyRunEnded(run)) return 0;
  // A damaged tree may loop or nest without end; every item is copied once, to a bounded depth.
  if (depth > kMaxCopyDepth || !run.visited.insert((uint64_t(a) << 32) | id).second) return 0;
  bool isDir = false;
  CString name;
  uint64_t size = 0;
  {
    VolumeListReadGuard guard(run.list);
    const FileRecord* rec = GetItemRecord(run.list, a, id);
    if (!IsItemSelectedForCopy(rec, checkFlag)) return 0;
    isDir = (rec->flags & kRecDirectory) != 0;
    name = RecordNameText(rec);
    size = rec->size;
  }
  CString path = JoinPath(folder, TargetName(name, colonToBlank));
  if (isDir) {
    if (!MakeTargetFolder(path)) {
      CountUnreachableItem(run, a, id, checkFlag);
      return 0;
    }
    std::vector<uint32_t> children;
    if (IsViewId(a)) ListViewChildren(run.list, a, id, children, 0);
    else ListVolumeChildren(run.list, a, id, children, 0);
    for (uint32_t child : children) {
      if (CopyRunEnded(run)) break;
      CopyItemTreeAt(run, a, child, path, checkFlag, true, depth + 1);
    }
    return 1;
  }
  SetProgressName(run.progress, name);
  run.progress.fileSize = size;
  run.progress.fileDone = 0;
  CountFile(run, CopyOneFile(run, a, id, path));
  return 1;
}

}  // namespace

int CopyItemTree(CopyRun& run, uint32_t a, uint32_t id, const CString& folder, uint32_t checkFlag) {
  return CopyItemTreeAt(run, a, id, folder, checkFlag, true, 0);
}

int CopyViewItemTree(CopyRun& run, uint32_t viewId, uint32_t nodeId, const CString& folder) {
  return CopyItemTreeAt(run, viewId, nodeId, folder, 0, false, 0);
}

bool SlotDeviceContext(VolumeList& list, uint32_t slot, VolumeContext& out) {
  VolumeContext v;
  if (IsViewId(slot) || !CopySlotContext(list, slot, v)) return false;
  const VolumeContext target = CopyScanTarget();
  if (v.devicePath.IsEmpty() || v.devicePath == target.devicePath) {
    out = target;
    return true;
  }
  ResetVolumeContext(out);
  out.devicePath = v.devicePath;
  out.name = v.name.IsEmpty() ? v.devicePath : v.name;
  out.removable = v.removable;
  // The whole device, at least as far as the volume reaches; unknown when nothing says.
  uint64_t end = 0;
  if (v.sectorCount != 0 && v.sectorCount != kUnknownSectorCount && !__builtin_add_overflow(v.firstLba, v.sectorCount, &end))
    end = std::max(end, v.deviceSectors);
  else
    end = v.deviceSectors;
  out.sectorCount = end != 0 && end < kUnknownSectorCount ? end : kUnknownSectorCount;
  return true;
}

bool UseSlotDevice(CopyRun& run, uint32_t slot) {
  VolumeContext dev;
  if (!SlotDeviceContext(run.list, slot, dev)) return false;
  run.job.deviceName = dev.name;
  if (IsOpenStorageHandle(run.reader.handle) && run.reader.devicePath == dev.devicePath) return true;
  if (run.reader.aborted == 0 && dev.devicePath != run.failedDevice && OpenVolumeDeviceWithRetry(dev, run.reader))
    return true;
  run.failedDevice = dev.devicePath;
  if (run.job.result == kJobResultOk) run.job.result = kJobResultOpenFailed;
  return false;
}

bool OpenRecoverSource(RecoverJob& job, CopyProgress& progress, const CString& folder) {
  DiskReader reader;
  CopyRun run{job, *job.list, reader, progress};
  if (IsViewId(job.slot)) CopyViewItemTree(run, job.slot, job.id, folder);
  else CopyItemTree(run, job.slot, job.id, folder, 0);
  reader.Close();
  return job.result != kJobResultOpenFailed;
}

int CopyItemToTemp(RecoverJob& job, CopyProgress& progress) {
  ItemInfo info;
  if (!SnapshotItem(*job.list, job.slot, job.id, info) || (info.flags & kRecDirectory)) return 0;
  DiskReader reader;
  CopyRun run{job, *job.list, reader, progress};
  run.tempCopy = true;
  CString path = JoinPath(CString(job.folder), TargetName(info.name, true));
  SetProgressName(progress, info.name);
  progress.fileSize = info.size;
  CountFile(run, CopyOneFile(run, job.slot, job.id, path));
  reader.Close();
  return job.filesCopied == 1 ? 1 : 0;
}
