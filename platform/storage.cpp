// Opened sources, error codes, and reads with a time-out on helper I/O threads.
#include "platform/storage.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

struct StorageFile {
  std::shared_ptr<StorageDevice> device;
};

bool IsDeviceGoneError(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_SUCH_DEVICE || code == ERROR_FILE_INVALID;
}

DWORD MapErrnoToWinError(int err, bool deviceVanished) {
  switch (err) {
    case 0: return 0;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM: return ERROR_NO_SUCH_DEVICE;
    case EBADF:
    case ESTALE: return ERROR_FILE_INVALID;
    case EIO: return deviceVanished ? ERROR_NO_SUCH_DEVICE : ERROR_IO_DEVICE;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY: return ERROR_BUSY;
    default: return ERROR_GEN_FAILURE;
  }
}

DWORD BusTypeFromName(const std::string& name) {
  std::string n;
  for (char c : name) n += char(std::tolower(static_cast<unsigned char>(c)));
  if (n == "scsi") return kBusScsi;
  if (n == "ata" || n == "ide") return kBusAta;
  if (n == "usb") return kBusUsb;
  if (n == "iscsi") return kBusIscsi;
  if (n == "sas") return kBusSas;
  if (n == "sata") return kBusSata;
  if (n == "sd" || n == "mmc") return kBusSd;
  if (n == "nvme") return kBusNvme;
  if (!n.empty() && n.find_first_not_of("0123456789") == std::string::npos && n.size() < 6)
    return DWORD(std::strtoul(n.c_str(), nullptr, 10));
  return 0;
}

namespace {

std::atomic<StorageBackend*> g_backend{nullptr};

// Waits on the condition variable until the condition holds or the deadline passes; true when
// it holds. Whoever changes what the condition reads does so under m (or takes m once after
// the change) and then notifies, so a wake-up is never lost. Nothing spins: an idle helper or
// a caller waiting for a stalled device costs no processor time.
template <typename Pred>
bool WaitUntil(std::mutex& m, std::condition_variable& cv, Pred ready, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lk(m);
  if (deadline == std::chrono::steady_clock::time_point::max()) {
    cv.wait(lk, ready);
    return true;
  }
  return cv.wait_until(lk, deadline, ready);
}

constexpr auto kForever = std::chrono::steady_clock::time_point::max();

// The share of one read handed to one helper: the pieces first, first + stride, ... The helper
// reads its pieces into two slots of its own buffer; the caller copies each piece out while
// the helpers read the next ones. Only the caller ever writes into the caller's buffer, so
// once it has given up nothing can reach it.
struct ReadRequest {
  std::mutex m;
  std::condition_variable cv;
  std::shared_ptr<StorageDevice> device;
  uint64_t offset = 0;
  uint32_t count = 0;
  uint32_t pieceMax = 0;
  uint32_t first = 0;
  uint32_t stride = 1;
  uint8_t* slot[2] = {nullptr, nullptr};
  uint32_t slotLen[2] = {0, 0};
  std::atomic<uint32_t> ready{0};     // pieces the helper has filled
  std::atomic<uint32_t> consumed{0};  // pieces the caller has copied out
  std::atomic<bool> finished{false};  // the helper reads no more; err is final
  std::atomic<bool> abandoned{false};  // set under m: the caller gave up
  int err = 0;                        // errno of a failed piece; 0 for success or a short read

  void Wake() {
    { std::lock_guard<std::mutex> g(m); }
    cv.notify_all();
  }
};

class IoHelper;

// Helpers that are free for the next read. A helper whose read stalled stays out of the pool
// until the read comes back; it then returns itself.
struct HelperPool {
  std::mutex m;
  std::vector<IoHelper*> idle;
  int total = 0;
};
constexpr int kMaxHelpers = 16;

HelperPool& Pool() {
  static HelperPool& p = *new HelperPool();
  return p;
}

void ReturnToPool(IoHelper* h) {
  HelperPool& p = Pool();
  std::lock_guard<std::mutex> g(p.m);
  p.idle.push_back(h);
}

class IoHelper {
 public:
  IoHelper() { std::thread([this] { Run(); }).detach(); }

  // Prepares the request's slots in this helper's buffer and starts it.
  bool Start(const std::shared_ptr<ReadRequest>& req) {
    size_t slotBytes = (size_t(req->pieceMax) + 8192 + 4095) & ~size_t(4095);
    if (!EnsureBounce(2 * slotBytes)) return false;
    req->slot[0] = bounce_;
    req->slot[1] = bounce_ + slotBytes;
    {
      std::lock_guard<std::mutex> g(m_);
      req_ = req;
      has_.store(true, std::memory_order_release);
    }
    cv_.notify_one();
    return true;
  }

 private:
  bool EnsureBounce(size_t bytes) {
    if (bytes <= cap_) return true;
    void* p = nullptr;
    if (posix_memalign(&p, 4096, bytes) != 0) return false;
    std::free(bounce_);
    bounce_ = static_cast<uint8_t*>(p);
    cap_ = bytes;
    return true;
  }

  // Reads the pieces; returns true when the caller gave up, so the helper must put itself
  // back into the pool.
  bool Serve(ReadRequest& r) {
    int err = 0;
    for (uint32_t i = 0;; ++i) {
      uint64_t pieceOff = (uint64_t(r.first) + uint64_t(i) * r.stride) * r.pieceMax;
      if (pieceOff >= r.count) break;
      if (i >= 2) {
        // Slot i % 2 is free once the caller copied piece i - 2 out of it.
        bool gaveUp = false;
        WaitUntil(r.m, r.cv, [&] { return r.consumed.load(std::memory_order_acquire) + 1 >= i || (gaveUp = r.abandoned.load()); },
                     kForever);
        if (gaveUp) break;
      }
      uint32_t piece = uint32_t(std::min<uint64_t>(r.pieceMax, r.count - pieceOff));
      int64_t got = r.device->Pread(r.slot[i % 2], piece, r.offset + pieceOff);
      if (got < 0) {
        err = int(-got);
        break;
      }
      uint32_t take = uint32_t(std::min<int64_t>(got, piece));
      r.slotLen[i % 2] = take;
      if (take != 0) r.ready.store(i + 1, std::memory_order_release);
      r.Wake();
      if (take < piece) break;
    }
    bool abandoned;
    {
      std::lock_guard<std::mutex> g(r.m);
      r.err = err;
      r.finished.store(true, std::memory_order_release);
      abandoned = r.abandoned.load();
    }
    r.cv.notify_all();
    return abandoned;
  }

  void Run() {
    for (;;) {
      WaitUntil(m_, cv_, [this] { return has_.load(std::memory_order_acquire); }, kForever);
      std::shared_ptr<ReadRequest> req;
      {
        std::lock_guard<std::mutex> g(m_);
        req = std::move(req_);
        req_ = nullptr;
        has_.store(false);
      }
      // A request the caller still follows is handed back by the caller once it has copied
      // the last piece; an abandoned one by the helper.
      if (Serve(*req)) ReturnToPool(this);
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::atomic<bool> has_{false};
  std::shared_ptr<ReadRequest> req_;
  uint8_t* bounce_ = nullptr;
  size_t cap_ = 0;
};

IoHelper* TakeHelper() {
  HelperPool& p = Pool();
  std::lock_guard<std::mutex> g(p.m);
  if (!p.idle.empty()) {
    IoHelper* h = p.idle.back();
    p.idle.pop_back();
    return h;
  }
  if (p.total >= kMaxHelpers) return nullptr;
  ++p.total;
  return new IoHelper();
}

}  // namespace

void SetStorageBackend(StorageBackend* backend) { g_backend.store(backend); }

StorageBackend& GetStorageBackend() {
  StorageBackend* b = g_backend.load();
  return b != nullptr ? *b : LinuxStorageBackend();
}

StorageHandle StorageOpen(const CString& path, DWORD* err) {
  DWORD e = 0;
  std::shared_ptr<StorageDevice> dev = GetStorageBackend().Open(path, &e);
  if (!dev) {
    *err = e != 0 ? e : ERROR_FILE_NOT_FOUND;
    return kInvalidStorageHandle;
  }
  *err = 0;
  return new StorageFile{std::move(dev)};
}

void StorageClose(StorageHandle h) {
  if (IsOpenStorageHandle(h)) delete h;
}

StorageDevice* StorageDeviceOf(StorageHandle h) { return IsOpenStorageHandle(h) ? h->device.get() : nullptr; }

namespace {

// Ends the caller's part in a read: a helper that has finished goes back to the pool now,
// one still reading is told to throw its work away and returns itself when it is done.
void Release(ReadRequest& r, IoHelper* helper) {
  bool finished;
  {
    std::lock_guard<std::mutex> g(r.m);
    finished = r.finished.load();
    if (!finished) r.abandoned.store(true);
  }
  r.cv.notify_all();
  if (finished) ReturnToPool(helper);
}

// The same outcomes as a read through the helpers: every byte (0), a short read at the end of
// the source (ERROR_HANDLE_EOF), or the mapped error of the failed read.
bool ReadOnCaller(StorageDevice& dev, void* buf, uint64_t offset, uint32_t count, DWORD* err) {
  int64_t got = dev.Pread(buf, count, offset);
  if (got > 0 && got < int64_t(count)) {
    // A read that stopped early is asked once more for the rest: nothing more is the end of
    // the source, an error is the reason it stopped.
    const int64_t more = dev.Pread(static_cast<uint8_t*>(buf) + got, count - uint32_t(got), offset + uint64_t(got));
    got = more < 0 ? more : got + more;
  }
  if (got >= int64_t(count)) {
    *err = 0;
    return true;
  }
  if (got >= 0) {
    *err = ERROR_HANDLE_EOF;
  } else {
    const int e = int(-got);
    *err = MapErrnoToWinError(e, e == EIO && !dev.StillPresent());
  }
  return false;
}

}  // namespace

bool StorageRead(StorageHandle h, void* buf, uint64_t offset, uint32_t count, uint32_t timeoutMs, DWORD* err) {
  if (!IsOpenStorageHandle(h)) {
    *err = ERROR_FILE_INVALID;
    return false;
  }
  if (count == 0) {
    *err = 0;
    return true;
  }
  StorageDevice& dev = *h->device;
  if (dev.ReadsOnCaller()) return ReadOnCaller(dev, buf, offset, count, err);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  uint32_t piece = dev.PieceBytes();
  if (piece == 0 || piece > count) piece = count;
  uint32_t pieces = uint32_t((uint64_t(count) + piece - 1) / piece);
  uint32_t want = std::max<uint32_t>(1, std::min<uint32_t>({dev.Parallelism(), pieces, 4}));

  IoHelper* helpers[4] = {};
  std::shared_ptr<ReadRequest> subs[4];
  uint32_t p = 0;
  for (; p < want; ++p) {
    helpers[p] = TakeHelper();
    if (helpers[p] == nullptr) break;
  }
  if (p == 0) {
    *err = ERROR_BUSY;
    return false;
  }
  for (uint32_t j = 0; j < p; ++j) {
    subs[j] = std::make_shared<ReadRequest>();
    ReadRequest& r = *subs[j];
    r.device = h->device;
    r.offset = offset;
    r.count = count;
    r.pieceMax = piece;
    r.first = j;
    r.stride = p;
  }
  for (uint32_t j = 0; j < p; ++j) {
    if (!helpers[j]->Start(subs[j])) {
      for (uint32_t i = 0; i < p; ++i) {
        if (i < j) Release(*subs[i], helpers[i]);
        else ReturnToPool(helpers[i]);
      }
      *err = ERROR_NOT_ENOUGH_MEMORY;
      return false;
    }
  }

  uint8_t* dest = static_cast<uint8_t*>(buf);
  uint32_t copied = 0;
  int failErr = 0;
  bool timedOut = false;
  for (uint32_t k = 0; k < pieces; ++k) {
    ReadRequest& r = *subs[k % p];
    uint32_t i = k / p;
    bool arrived = WaitUntil(r.m, r.cv, [&] {
      return r.ready.load(std::memory_order_acquire) > i || r.finished.load(std::memory_order_acquire);
    }, deadline);
    if (!arrived) {
      timedOut = true;
      break;
    }
    if (r.ready.load(std::memory_order_acquire) <= i) {
      failErr = r.err;  // finished without this piece: its error, or 0 for the end of the device
      break;
    }
    uint32_t len = r.slotLen[i % 2];
    std::memcpy(dest + copied, r.slot[i % 2], len);
    copied += len;
    r.consumed.store(i + 1, std::memory_order_release);
    r.Wake();
    uint32_t expected = uint32_t(std::min<uint64_t>(piece, uint64_t(count) - uint64_t(k) * piece));
    if (len < expected) break;
  }
  if (copied == count) {
    // Every piece is out, so each helper is about to finish: wait for that so it can be
    // reused at once rather than a new one being started for the next read.
    for (uint32_t j = 0; j < p; ++j) {
      ReadRequest& r = *subs[j];
      WaitUntil(r.m, r.cv, [&] { return r.finished.load(std::memory_order_acquire); }, deadline);
    }
  }
  for (uint32_t j = 0; j < p; ++j) Release(*subs[j], helpers[j]);

  if (copied == count) {
    *err = 0;
    return true;
  }
  if (timedOut) {
    *err = ERROR_OPERATION_ABORTED;
  } else if (failErr == 0) {
    *err = ERROR_HANDLE_EOF;
  } else {
    bool vanished = failErr == EIO && !dev.StillPresent();
    *err = MapErrnoToWinError(failErr, vanished);
  }
  return false;
}

uint64_t StorageFreeBytes(const CString& path) {
  uint64_t freeBytes = 0, total = 0;
  return GetStorageBackend().VolumeSpace(path, &freeBytes, &total) ? freeBytes : 0;
}

bool StorageDriveTotalBytes(char16_t letter, uint64_t* bytes) {
  uint64_t freeBytes = 0;
  CString root = CString(letter) + u":\\";
  return GetStorageBackend().VolumeSpace(root, &freeBytes, bytes);
}
