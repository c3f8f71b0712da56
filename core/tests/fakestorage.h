// Test doubles for the storage layer: a device whose sector N holds the number N, with
// scripted failures, stalls and a vanishing act, and a backend that hands such devices out.
#pragma once

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/storage.h"

// Fills a sector with its own LBA (64 copies of the little-endian u64).
inline void FillLbaSector(uint8_t* sector, uint64_t lba) {
  for (int i = 0; i < 64; ++i) std::memcpy(sector + 8 * i, &lba, 8);
}
// True when the 512 bytes hold the LBA pattern of that sector.
inline bool IsLbaSector(const uint8_t* sector, uint64_t lba) {
  uint8_t want[512];
  FillLbaSector(want, lba);
  return std::memcmp(sector, want, 512) == 0;
}
inline bool IsZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

class FakeDevice : public StorageDevice {
 public:
  explicit FakeDevice(uint64_t sectors) : sectors_(sectors) {}

  int64_t Pread(void* buf, uint32_t count, uint64_t offset) override {
    {
      std::unique_lock<std::mutex> lk(m_);
      ++reads_;
      if (stalled_ && (offset + count - 1) / 512 >= stallFrom_) {
        ++stuck_;
        cv_.notify_all();
        cv_.wait(lk, [this] { return !stalled_; });
        --stuck_;
        cv_.notify_all();
      }
      if (goneErrno_ != 0) return -goneErrno_;
      uint64_t first = offset / 512, last = (offset + count - 1) / 512;
      for (uint64_t bad : failLbas_)
        if (bad >= first && bad <= last) return -failErrno_;
    }
    uint64_t end = sectors_ * 512;
    if (offset >= end) return 0;
    uint32_t n = uint32_t(std::min<uint64_t>(count, end - offset));
    uint8_t* out = static_cast<uint8_t*>(buf);
    for (uint32_t i = 0; i < n;) {
      uint64_t lba = (offset + i) / 512;
      uint32_t in = uint32_t((offset + i) % 512);
      uint8_t sector[512];
      FillLbaSector(sector, lba);
      uint32_t take = std::min<uint32_t>(512 - in, n - i);
      std::memcpy(out + i, sector + in, take);
      i += take;
    }
    return n;
  }
  bool DiskLength(uint64_t* bytes) override {
    if (!isDisk_) return false;
    *bytes = sectors_ * 512;
    return true;
  }
  bool FileSize(uint64_t* bytes) override {
    if (isDisk_) return false;
    *bytes = fileSize_;
    return true;
  }
  bool SeekEnd(uint64_t* bytes) override {
    *bytes = seekEnd_;
    return seekEnd_ != 0;
  }
  bool QueryInfo(StorageDeviceInfo* info) override {
    if (!hasInfo_) return false;
    *info = info_;
    return true;
  }
  bool StillPresent() override { return present_; }
  uint32_t Parallelism() override { return parallel_; }

  // Scripting.
  void FailAt(uint64_t lba, int err = EIO) {
    std::lock_guard<std::mutex> g(m_);
    failLbas_.insert(lba);
    failErrno_ = err;
  }
  void Vanish(int err = ENODEV) {
    std::lock_guard<std::mutex> g(m_);
    goneErrno_ = err;
    present_ = false;
  }
  // Reads that reach the LBA (or any read) block until Release.
  void Stall(uint64_t fromLba = 0) {
    std::lock_guard<std::mutex> g(m_);
    stalled_ = true;
    stallFrom_ = fromLba;
  }
  void Release() {
    std::lock_guard<std::mutex> g(m_);
    stalled_ = false;
    cv_.notify_all();
  }
  // Waits until no read is stuck in the device any more.
  void WaitIdle() {
    std::unique_lock<std::mutex> lk(m_);
    cv_.wait(lk, [this] { return stuck_ == 0; });
  }
  int Reads() {
    std::lock_guard<std::mutex> g(m_);
    return reads_;
  }

  bool isDisk_ = true;
  uint64_t fileSize_ = 0;
  uint64_t seekEnd_ = 0;
  bool hasInfo_ = false;
  bool present_ = true;
  uint32_t parallel_ = 1;  // pieces of one read in flight at once
  StorageDeviceInfo info_;

 private:
  uint64_t sectors_;
  std::mutex m_;
  std::condition_variable cv_;
  std::set<uint64_t> failLbas_;
  int failErrno_ = EIO;
  int goneErrno_ = 0;
  bool stalled_ = false;
  uint64_t stallFrom_ = 0;
  int stuck_ = 0;
  int reads_ = 0;
};

class FakeBackend : public StorageBackend {
 public:
  std::shared_ptr<StorageDevice> Open(const CString& path, DWORD* err) override {
    std::lock_guard<std::mutex> g(m_);
    ++opens_;
    if (!openResults_.empty()) {
      DWORD e = openResults_.front();
      openResults_.pop_front();
      if (e != 0) {
        *err = e;
        return nullptr;
      }
    }
    auto it = devices_.find(path.ToUtf8());
    if (it == devices_.end()) {
      *err = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    return it->second;
  }
  bool VolumeSpace(const CString& path, uint64_t* freeBytes, uint64_t* totalBytes) override {
    std::lock_guard<std::mutex> g(m_);
    lastSpacePath_ = path.ToUtf8();
    if (path.GetLength() < 1 || ToUpperUnit(path[0]) != u'E') return false;
    *freeBytes = 123456789;
    *totalBytes = 987654321;
    return true;
  }

  void Add(const std::string& path, std::shared_ptr<StorageDevice> dev) {
    std::lock_guard<std::mutex> g(m_);
    devices_[path] = std::move(dev);
  }
  // The next opens fail with these codes in turn (0: open normally).
  void QueueOpenResults(std::initializer_list<DWORD> codes) {
    std::lock_guard<std::mutex> g(m_);
    openResults_.insert(openResults_.end(), codes);
  }
  int Opens() {
    std::lock_guard<std::mutex> g(m_);
    return opens_;
  }
  std::string lastSpacePath_;

 private:
  std::mutex m_;
  std::map<std::string, std::shared_ptr<StorageDevice>> devices_;
  std::deque<DWORD> openResults_;
  int opens_ = 0;
};
