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

// One read handed to a helper. The helper copies into dest only under m and only while the
// caller has not given up (abandoned), so a caller that returned never sees a late write.
struct ReadRequest {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  bool abandoned = false;
  std::shared_ptr<StorageDevice> device;
  uint8_t* dest = nullptr;
  uint64_t offset = 0;
  uint32_t count = 0;
  uint32_t copied = 0;
  int err = 0;  // errno of the failed piece, 0 for success or a short read
};

class IoHelper;

// Helpers that are free for the next read. A helper whose read stalled stays out of the pool
// until the read comes back.
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

class IoHelper {
 public:
  IoHelper() { std::thread([this] { Run(); }).detach(); }

  void Give(std::shared_ptr<ReadRequest> req) {
    std::lock_guard<std::mutex> g(m_);
    req_ = std::move(req);
    cv_.notify_one();
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

  void Serve(ReadRequest& r) {
    uint32_t pieceMax = r.device->PieceBytes();
    if (pieceMax == 0 || pieceMax > r.count) pieceMax = r.count;
    uint32_t done = 0;
    int err = 0;
    if (!EnsureBounce(size_t(pieceMax) + 8192)) err = ENOMEM;
    while (err == 0 && done < r.count) {
      uint32_t piece = std::min(pieceMax, r.count - done);
      int64_t got = r.device->Pread(bounce_, piece, r.offset + done);
      if (got < 0) {
        err = int(-got);
        break;
      }
      uint32_t take = uint32_t(std::min<int64_t>(got, piece));
      {
        std::lock_guard<std::mutex> g(r.m);
        if (r.abandoned) break;
        std::memcpy(r.dest + done, bounce_, take);
      }
      done += take;
      if (take < piece) break;
    }
    std::lock_guard<std::mutex> g(r.m);
    r.copied = done;
    r.err = err;
    r.done = true;
    r.cv.notify_all();
  }

  void Run() {
    for (;;) {
      std::shared_ptr<ReadRequest> req;
      {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait(lk, [this] { return req_ != nullptr; });
        req = std::move(req_);
        req_ = nullptr;
      }
      Serve(*req);
      req.reset();
      HelperPool& p = Pool();
      std::lock_guard<std::mutex> g(p.m);
      p.idle.push_back(this);
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
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

bool StorageRead(StorageHandle h, void* buf, uint64_t offset, uint32_t count, uint32_t timeoutMs, DWORD* err) {
  if (!IsOpenStorageHandle(h)) {
    *err = ERROR_FILE_INVALID;
    return false;
  }
  if (count == 0) {
    *err = 0;
    return true;
  }
  IoHelper* helper = TakeHelper();
  if (helper == nullptr) {
    *err = ERROR_BUSY;
    return false;
  }
  auto req = std::make_shared<ReadRequest>();
  req->device = h->device;
  req->dest = static_cast<uint8_t*>(buf);
  req->offset = offset;
  req->count = count;
  helper->Give(req);

  std::unique_lock<std::mutex> lk(req->m);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  if (!req->cv.wait_until(lk, deadline, [&] { return req->done; })) {
    req->abandoned = true;
    *err = ERROR_OPERATION_ABORTED;
    return false;
  }
  if (req->copied == count) {
    *err = 0;
    return true;
  }
  if (req->err == 0) {
    *err = ERROR_HANDLE_EOF;
  } else {
    bool vanished = req->err == EIO && !req->device->StillPresent();
    *err = MapErrnoToWinError(req->err, vanished);
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
