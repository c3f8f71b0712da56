// One file's bytes: a target that never replaces an existing file, and the chunked copy from
// the file's runs under the read-error choice.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "base/heap.h"
#include "base/pathutil.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "core/copyrun.h"
#include "platform/fileio.h"
#include "platform/storage.h"

namespace {

constexpr uint32_t kChunkSectors = 8192;  // 4 MiB
constexpr unsigned kTagStaging = 34;
constexpr uint32_t kMaxNumberedName = 1023;
// Under the write-zeros choice a failed chunk is read again in pieces, and a failed piece
// sector by sector, so only the sectors that really fail become zeros. After this many failed
// sectors in a row the rest of the chunk is taken as unreadable, so a dead stretch does not cost
// one time-out per sector.
constexpr uint32_t kSalvagePieceSectors = 128;
constexpr uint32_t kSalvageGiveUp = 64;

std::atomic<CopyWriteFn> g_write{nullptr};

long PlainWrite(int fd, const void* buf, unsigned long count) { return long(::write(fd, buf, count)); }

}  // namespace

int CopyWriteAll(int fd, const void* buf, uint64_t n) {
  const auto* p = static_cast<const uint8_t*>(buf);
  CopyWriteFn w = g_write.load();
  if (!w) w = &PlainWrite;
  while (n > 0) {
    const unsigned long step = (unsigned long)std::min<uint64_t>(n, 1u << 30);
    errno = 0;
    const long got = w(fd, p, step);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno != 0 ? errno : EIO;
    }
    if (got == 0) return ENOSPC;
    p += got;
    n -= uint64_t(got);
  }
  return 0;
}

namespace {

bool PathTaken(const CString& path) {
  struct stat st;
  return ::lstat(HostPath(path).c_str(), &st) == 0;
}

// O_EXCL: the name is taken at the moment of creation or not at all, so a file that appears
// between the check and the open is never replaced, and a symbolic link is never followed.
int OpenNew(const CString& path) {
  return ::open(HostPath(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
}

int CreateUnique(CString& path, int* lastErr) {
  *lastErr = 0;
  if (!PathTaken(path)) {
    const int fd = OpenNew(path);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      *lastErr = errno;
      return -1;
    }
  }
  CString ext;
  const bool hasExt = GetFileExtLower(path.GetString(), ext);
  const CString stem = hasExt ? path.Left(path.GetLength() - ext.GetLength() - 1) : path;
  for (uint32_t n = 1; n <= kMaxNumberedName; ++n) {
    CString candidate = stem + FormatCString(u" (%u)", n);
    if (hasExt) candidate += u"." + ext;
    if (PathTaken(candidate)) continue;
    const int fd = OpenNew(candidate);
    if (fd >= 0) {
      path = candidate;
      return fd;
    }
    if (errno == EEXIST) continue;
    *lastErr = errno;
    return -1;
  }
  *lastErr = EEXIST;
  return -1;
}

// Reads a failed chunk again piece by piece; unreadable sectors become zeros. Returns the count
// of unreadable sectors; lost is set when the device went away.
uint64_t SalvageChunk(DiskReader& reader, uint8_t* buf, uint64_t lba, uint32_t count, bool* lost) {
  uint64_t bad = 0;
  uint32_t failedInRow = 0;
  for (uint32_t p = 0; p < count; p += kSalvagePieceSectors) {
    const uint32_t n = std::min(kSalvagePieceSectors, count - p);
    DWORD err = 0;
    if (failedInRow < kSalvageGiveUp && reader.ReadSectors(buf + uint64_t(p) * kSectorBytes, lba + p, n, &err)) {
      failedInRow = 0;
      continue;
    }
    if (IsDeviceGoneError(err)) {
      *lost = true;
      return bad;
    }
    for (uint32_t s = 0; s < n; ++s) {
      uint8_t* at = buf + uint64_t(p + s) * kSectorBytes;
      if (failedInRow < kSalvageGiveUp) {
        if (reader.ReadSectors(at, lba + p + s, 1, &err)) {
          failedInRow = 0;
          continue;
        }
        if (IsDeviceGoneError(err)) {
          *lost = true;
          return bad;
        }
      }
      std::memset(at, 0, kSectorBytes);
      ++bad;
      ++failedInRow;
    }
  }
  return bad;
}

void PostFileProgress(CopyProgress& progress, uint64_t bytes) {
  progress.bytesDone += bytes;
  progress.fileDone += bytes;
  CopyOutPostProgress(progress);
}

}  // namespace

void SetCopyWriteHook(CopyWriteFn fn) { g_write.store(fn); }

RecoverJob* NewRecoverJob(unsigned tag) {
  void* mem = AllocMem(sizeof(RecoverJob), tag);
  return new (mem) RecoverJob();
}

void AddJobRef(RecoverJob* job) {
  if (job) job->refs.fetch_add(1);
}

void ReleaseJob(RecoverJob* job) {
  if (!job || job->refs.fetch_sub(1) != 1) return;
  job->~RecoverJob();
  FreeMem(job);
}

CopyProgress MakeCopyProgress() {
  CopyProgress p;
  std::memset(static_cast<void*>(&p), 0, sizeof p);
  p.kind = kCopyProgressKind;
  return p;
}

int CreateUniqueTargetFile(CString& path) {
  int err = 0;
  int fd = CreateUnique(path, &err);
  if (fd >= 0 || err == EEXIST) return fd;  // all numbered names taken: never overwrite
  // The file system refused the name itself: try it once more with the illegal characters
  // replaced.
  CString fixed = path;
  if (!FixIllegalName(fixed) || fixed == path) return -1;
  fd = CreateUnique(fixed, &err);
  if (fd >= 0) path = fixed;
  return fd;
}

namespace {

// Writes one chunk on a thread of its own while the next chunk is read, so a large file costs
// about the slower of reading and writing instead of their sum. One write is in flight at a
// time; its error is seen by the next Wait.
class ChunkWriter {
 public:
  explicit ChunkWriter(int fd) : fd_(fd), thread_([this] { Run(); }) {}
  ~ChunkWriter() {
    {
      std::lock_guard<std::mutex> g(m_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  // Waits for the write in flight; 0 or its errno.
  int Wait() {
    std::unique_lock<std::mutex> lk(m_);
    cv_.wait(lk, [this] { return !pending_; });
    return err_;
  }
  void Submit(const uint8_t* buf, uint64_t n) {
    std::lock_guard<std::mutex> g(m_);
    buf_ = buf;
    n_ = n;
    pending_ = true;
    cv_.notify_all();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
      cv_.wait(lk, [this] { return pending_ || quit_; });
      if (!pending_) return;
      const uint8_t* buf = buf_;
      const uint64_t n = n_;
      lk.unlock();
      const int err = err_ == 0 ? CopyWriteAll(fd_, buf, n) : err_;
      lk.lock();
      err_ = err;
      pending_ = false;
      cv_.notify_all();
    }
  }

  int fd_;
  std::mutex m_;
  std::condition_variable cv_;
  const uint8_t* buf_ = nullptr;
  uint64_t n_ = 0;
  bool pending_ = false;
  bool quit_ = false;
  int err_ = 0;
  std::thread thread_;
};

CopyFileResult WriteFailure(int err) { return err == ENOSPC || err == EDQUOT ? kCopyDiskFull : kCopyWriteFailed; }

}  // namespace

CopyStaging::~CopyStaging() {
  for (uint8_t*& b : buf) {
    if (b) FreeMem(b);
    b = nullptr;
  }
}

uint8_t* CopyStaging::Get(int i) {
  if (!buf[i]) buf[i] = static_cast<uint8_t*>(AllocMem(uint64_t(kChunkSectors) * kSectorBytes, kTagStaging));
  return buf[i];
}

CopyFileResult CopyFileByExtents(RecoverJob& job, DiskReader& reader, CopyProgress& progress, int fd,
                                 const DataExtentList& extents, uint64_t phase, uint64_t size, uint32_t choice) {
  CopyStaging staging;
  return CopyFileByExtents(job, reader, progress, fd, extents, phase, size, choice, staging);
}

CopyFileResult CopyFileByExtents(RecoverJob& job, DiskReader& reader, CopyProgress& progress, int fd,
                                 const DataExtentList& extents, uint64_t phase, uint64_t size, uint32_t choice,
                                 CopyStaging& staging) {
  constexpr uint64_t kChunkBytes = uint64_t(kChunkSectors) * kSectorBytes;
  // Files of more than one chunk overlap reading and writing.
  std::unique_ptr<ChunkWriter> writer;
  if (size > kChunkBytes) writer = std::make_unique<ChunkWriter>(fd);
  int current = 0;
  CopyFileResult result = kCopyOk;
  uint64_t written = 0;  // bytes handed to the writer (or written)
  uint64_t pendingBytes = 0;
  uint64_t skip = phase;  // bytes of the runs before the file's first byte
  bool zeroed = false;
  auto waitWriter = [&]() -> bool {
    if (!writer) return true;
    const int err = writer->Wait();
    if (pendingBytes != 0 && err == 0) PostFileProgress(progress, pendingBytes);
    pendingBytes = 0;
    if (err != 0 && result == kCopyOk) result = WriteFailure(err);
    return err == 0;
  };
  bool endsInHole = false;
  for (const DataExtent& e : extents) {
    if (written >= size || result != kCopyOk) break;
    // Sector counts come from the disk: a run longer than 2^54 sectors cannot be addressed.
    const uint64_t runSectors = std::min<uint64_t>(e.sectorCount, uint64_t(1) << 54);
    if (skip >= runSectors * kSectorBytes) {
      skip -= runSectors * kSectorBytes;
      continue;
    }
    if (IsUnreadableExtent(e)) {
      // Nothing on the device holds these bytes: the copy ends here, and no choice fills them.
      result = kCopyReadFailed;
      break;
    }
    if (IsHoleExtent(e)) {
      // A hole stays a hole: the target skips it instead of storing zeros, so a large sparse
      // file costs no more than its data.
      const uint64_t bytes = std::min(runSectors * kSectorBytes - skip, size - written);
      if (!waitWriter()) break;
      if (::lseek(fd, off_t(bytes), SEEK_CUR) < 0) {
        result = kCopyWriteFailed;
        break;
      }
      written += bytes;
      skip = 0;
      endsInHole = true;
      PostFileProgress(progress, bytes);
      continue;
    }
    endsInHole = false;
    uint64_t sector = skip / kSectorBytes;
    skip %= kSectorBytes;
    while (sector < runSectors && written < size) {
      if (job.status.load() == kCopyJobStopped) {
        result = kCopyStopped;
        break;
      }
      uint8_t* buf = staging.Get(current);
      // Sectors still needed, without an addition that a size near 2^64 would wrap.
      const uint64_t left = size - written;
      const uint64_t needed = left / kSectorBytes + (left % kSectorBytes + skip + kSectorBytes - 1) / kSectorBytes;
      const uint32_t chunk = uint32_t(std::min<uint64_t>({kChunkSectors, runSectors - sector, needed}));
      const uint64_t lba = e.startLba + sector;
      bool ok = false;
      if (choice == kErrorWriteZeros) {
        DWORD err = 0;
        ok = reader.aborted == 0 && reader.ReadSectors(buf, lba, chunk, &err);
        if (!ok && reader.aborted == 0 && !IsDeviceGoneError(err)) {
          bool lost = false;
          const uint64_t bad = SalvageChunk(reader, buf, lba, chunk, &lost);
          if (!lost) {
            job.zeroSectors += bad;
            zeroed = zeroed || bad != 0;
            ok = true;
          }
        }
        // A lost device is never papered over with zeros: it gets the retry question.
        if (!ok) ok = reader.ReadSectorsWithRetry(buf, lba, chunk);
      } else {
        ok = reader.ReadSectorsWithRetry(buf, lba, chunk);
      }
      if (!ok) {
        result = reader.aborted ? kCopyDeviceLost : kCopyReadFailed;
        break;
      }
      const uint64_t bytes = std::min<uint64_t>(uint64_t(chunk) * kSectorBytes - skip, size - written);
      if (writer) {
        if (!waitWriter()) break;
        writer->Submit(buf + skip, bytes);
        pendingBytes = bytes;
        current ^= 1;
      } else {
        const int werr = CopyWriteAll(fd, buf + skip, bytes);
        if (werr != 0) {
          result = WriteFailure(werr);
          break;
        }
        PostFileProgress(progress, bytes);
      }
      written += bytes;
      skip = 0;
      sector += chunk;
    }
  }
  waitWriter();
  writer.reset();
  // A hole at the end leaves no write behind it to give the file its length.
  if (endsInHole && ::ftruncate(fd, off_t(written)) != 0 && result == kCopyOk) result = kCopyWriteFailed;
  // Runs that end before the file does: the rest cannot be read.
  if (result == kCopyOk && written < size) {
    if (choice == kErrorWriteZeros) {
      uint8_t* zeros = staging.Get(0);
      std::memset(zeros, 0, kChunkBytes);
      job.zeroSectors += (size - written + kSectorBytes - 1) / kSectorBytes;
      while (written < size) {
        const uint64_t bytes = std::min<uint64_t>(kChunkBytes, size - written);
        const int werr = CopyWriteAll(fd, zeros, bytes);
        if (werr != 0) {
          result = WriteFailure(werr);
          break;
        }
        written += bytes;
        PostFileProgress(progress, bytes);
      }
    }
    if (result == kCopyOk) result = kCopyReadFailed;
  }
  if (result == kCopyOk && zeroed) result = kCopyReadFailed;
  if (result != kCopyOk && choice == kErrorEmptyFile) {
    if (::ftruncate(fd, 0) != 0) result = kCopyWriteFailed;
  }
  return result;
}
