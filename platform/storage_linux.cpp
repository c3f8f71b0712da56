// The Linux backend of the storage module: block devices and image files, found through the
// machine description or sysfs, opened read-only.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <mutex>

#include "platform/fileio.h"
#include "platform/machine.h"
#include "platform/storage.h"

namespace {

std::string ReadSysText(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  if (!in) return s;
  std::getline(in, s);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

std::string RealPath(const std::string& p) {
  char buf[PATH_MAX];
  if (::realpath(p.c_str(), buf) == nullptr) return std::string();
  return buf;
}

// The sysfs folder of the whole disk behind a block device number, and its name.
bool SysDiskOf(dev_t rdev, std::string* dir, std::string* name) {
  std::string p = RealPath("/sys/dev/block/" + std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev)));
  if (p.empty()) return false;
  if (::access((p + "/partition").c_str(), F_OK) == 0) {
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return false;
    p.resize(slash);
  }
  size_t slash = p.rfind('/');
  *dir = p;
  *name = slash == std::string::npos ? p : p.substr(slash + 1);
  return true;
}

// Vendor, model, bus and removable flag of a whole disk, from its sysfs folder.
StorageDeviceInfo SysDiskInfo(const std::string& dir, const std::string& name) {
  StorageDeviceInfo info;
  info.vendor = ReadSysText(dir + "/device/vendor");
  info.model = ReadSysText(dir + "/device/model");
  info.removable = ReadSysText(dir + "/removable") == "1";
  std::string lbs = ReadSysText(dir + "/queue/logical_block_size");
  unsigned long v = lbs.empty() ? 512 : std::strtoul(lbs.c_str(), nullptr, 10);
  info.logicalSectorSize = (v >= 512 && v <= 4096 && (v & (v - 1)) == 0) ? uint32_t(v) : 512;
  std::string real = RealPath(dir);
  if (real.find("/usb") != std::string::npos) info.busType = kBusUsb;
  else if (name.rfind("nvme", 0) == 0) info.busType = kBusNvme;
  else if (name.rfind("mmcblk", 0) == 0) info.busType = kBusSd;
  else if (real.find("/ata") != std::string::npos) info.busType = kBusSata;
  else info.busType = kBusScsi;
  return info;
}

int64_t PreadFull(int fd, void* buf, size_t n, uint64_t off) {
  size_t total = 0;
  while (total < n) {
    ssize_t r = ::pread(fd, static_cast<uint8_t*>(buf) + total, n - total, off_t(off + total));
    if (r < 0) {
      if (errno == EINTR) continue;
      if (total > 0) break;
      return -int64_t(errno);
    }
    if (r == 0) break;
    total += size_t(r);
  }
  return int64_t(total);
}

class LinuxDevice : public StorageDevice {
 public:
  LinuxDevice(int fd, bool direct, bool isBlock, const std::string& hostPath) :
      fd_(fd), direct_(direct), isBlock_(isBlock), hostPath_(hostPath) {}
  ~LinuxDevice() override {
    ::close(fd_);
    int b = bufferedFd_.load();
    if (b >= 0) ::close(b);
  }

  void SetWindow(uint64_t base, uint64_t length) {
    base_ = base;
    length_ = length;
  }
  void SetPresented(bool p) { presented_ = p; }
  void SetPresetInfo(const StorageDeviceInfo& info) {
    preset_ = info;
    hasPreset_ = true;
  }
  void SetSysDisk(const std::string& dir, const std::string& name) {
    sysDir_ = dir;
    sysName_ = name;
  }
  void SetAlignment(uint32_t a) { align_ = a; }

  int64_t Pread(void* buf, uint32_t count, uint64_t offset) override {
    // A described device whose image the description dropped has been pulled.
    if (presented_ && !MachineStillListsImage(hostPath_)) return -ENODEV;
    if (length_ != 0) {
      if (offset >= length_) return 0;
      count = uint32_t(std::min<uint64_t>(count, length_ - offset));
    }
    if (offset > UINT64_MAX - base_) return -EINVAL;
    uint64_t abs = base_ + offset;
    if (direct_.load()) {
      uint64_t a = align_;
      uint64_t start = abs & ~(a - 1);
      uint64_t head = abs - start;
      uint64_t span = (head + count + a - 1) & ~(a - 1);
      int64_t r = PreadFull(fd_, buf, size_t(span), start);
      if (r >= 0) {
        uint64_t avail = uint64_t(r) > head ? std::min<uint64_t>(uint64_t(r) - head, count) : 0;
        if (head != 0 && avail != 0) std::memmove(buf, static_cast<uint8_t*>(buf) + head, size_t(avail));
        return int64_t(avail);
      }
      if (r != -EINVAL) return r;
      // The file system refused direct I/O for this read after all: go on buffered.
      if (!SwitchToBuffered()) return r;
    }
    int fd = bufferedFd_.load();
    return PreadFull(fd >= 0 ? fd : fd_, buf, count, abs);
  }

  bool DiskLength(uint64_t* bytes) override {
    if (!isBlock_ && !presented_) return false;
    if (length_ != 0) {
      *bytes = length_;
      return true;
    }
    uint64_t whole = 0;
    if (isBlock_) {
      if (::ioctl(fd_, BLKGETSIZE64, &whole) != 0) return false;
    } else {
      struct stat st;
      if (::fstat(fd_, &st) != 0) return false;
      whole = uint64_t(st.st_size);
    }
    *bytes = whole > base_ ? whole - base_ : 0;
    return true;
  }

  bool FileSize(uint64_t* bytes) override {
    if (isBlock_ || presented_) return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    *bytes = uint64_t(st.st_size);
    return true;
  }

  bool SeekEnd(uint64_t* bytes) override {
    if (length_ != 0) {
      *bytes = length_;
      return true;
    }
    off_t e = ::lseek(fd_, 0, SEEK_END);
    if (e < 0) return false;
    *bytes = uint64_t(e) > base_ ? uint64_t(e) - base_ : 0;
    return true;
  }

  bool QueryInfo(StorageDeviceInfo* info) override {
    if (hasPreset_) {
      *info = preset_;
      return true;
    }
    if (!sysDir_.empty()) {
      *info = SysDiskInfo(sysDir_, sysName_);
      return true;
    }
    return false;
  }

  bool StillPresent() override {
    if (presented_ && !MachineStillListsImage(hostPath_)) return false;
    struct stat st;
    if (::stat(hostPath_.c_str(), &st) != 0) return false;
    if (!sysName_.empty() && ::access(("/sys/class/block/" + sysName_).c_str(), F_OK) != 0) return false;
    return true;
  }

  uint32_t PieceBytes() override { return direct_.load() ? 1024u * 1024 : 128u * 1024; }
  uint32_t Parallelism() override { return isBlock_ || direct_.load() ? 1 : 3; }
  // An image file read through the page cache: the data is in memory or on a disk the kernel
  // reads for us, so the read goes straight into the caller's buffer. A device, or an image
  // read past the cache as a stand-in for one, keeps the helper and its time-out.
  bool ReadsOnCaller() override { return !isBlock_ && !direct_.load(); }

 private:
  bool SwitchToBuffered() {
    std::lock_guard<std::mutex> g(switchLock_);
    if (bufferedFd_.load() < 0) {
      int fd = ::open(hostPath_.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return false;
      bufferedFd_.store(fd);
    }
    direct_.store(false);
    return true;
  }

  int fd_;
  std::atomic<int> bufferedFd_{-1};
  std::mutex switchLock_;
  std::atomic<bool> direct_;
  bool isBlock_;
  bool presented_ = false;
  std::string hostPath_;
  uint64_t base_ = 0;
  uint64_t length_ = 0;
  bool hasPreset_ = false;
  StorageDeviceInfo preset_;
  std::string sysDir_;
  std::string sysName_;
  uint32_t align_ = 4096;
};

// Whole disks of the machine in a stable order: sysfs names sorted, virtual devices left out.
std::vector<std::string> RealDiskNames() {
  std::vector<std::string> names;
  DIR* d = ::opendir("/sys/block");
  if (d == nullptr) return names;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n.empty() || n[0] == '.') continue;
    for (const char* skip : {"ram", "zram", "dm-", "md", "sr", "fd", "nbd"}) {
      if (n.rfind(skip, 0) == 0) n.clear();
    }
    if (n.empty()) continue;
    if (n.rfind("loop", 0) == 0 && ReadSysText("/sys/block/" + n + "/size") == "0") continue;
    names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

struct RealMount {
  std::string device;
  std::string mountPoint;
};

// Mounted block devices as lettered drives: "/" is C:, the others follow by mount point.
std::vector<RealMount> RealLetterMounts() {
  std::vector<RealMount> mounts;
  std::ifstream in("/proc/self/mounts");
  std::string dev, mp, rest;
  while (in >> dev >> mp && std::getline(in, rest)) {
    if (dev.rfind("/dev/", 0) != 0) continue;
    struct stat st;
    if (::stat(dev.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) continue;
    bool seen = false;
    for (const RealMount& m : mounts) seen = seen || m.device == dev;
    if (!seen) mounts.push_back({dev, mp});
  }
  std::sort(mounts.begin(), mounts.end(), [](const RealMount& a, const RealMount& b) {
    if ((a.mountPoint == "/") != (b.mountPoint == "/")) return a.mountPoint == "/";
    return a.mountPoint < b.mountPoint;
  });
  if (mounts.size() > 24) mounts.resize(24);
  return mounts;
}

bool StatvfsSpace(const std::string& folder, uint64_t* freeBytes, uint64_t* totalBytes) {
  std::string p = folder.empty() ? std::string("/") : folder;
  // The nearest existing ancestor answers for a folder that does not exist yet.
  for (;;) {
    struct statvfs sv;
    if (::statvfs(p.c_str(), &sv) == 0) {
      *freeBytes = uint64_t(sv.f_bavail) * uint64_t(sv.f_frsize);
      *totalBytes = uint64_t(sv.f_blocks) * uint64_t(sv.f_frsize);
      return true;
    }
    if (errno != ENOENT && errno != ENOTDIR) return false;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) p = ".";
    else if (slash == 0) {
      if (p == "/") return false;
      p = "/";
    } else p.resize(slash);
  }
}

// A drive letter at the start of a program path: "X:..." or "\\.\X:".
bool DriveLetterOf(const CString& path, char16_t* letter) {
  if (ParseDriveLetterPath(path, letter)) return true;
  if (path.GetLength() >= 2 && path[1] == u':') {
    char16_t c = ToUpperUnit(path[0]);
    if (c >= u'A' && c <= u'Z') {
      *letter = c;
      return true;
    }
  }
  return false;
}

std::shared_ptr<StorageDevice> OpenHost(const std::string& host, const MachineSource* src, DWORD* err) {
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    *err = MapErrnoToWinError(errno, false);
    return nullptr;
  }
  bool isBlock = S_ISBLK(st.st_mode);
  if (!isBlock && !S_ISREG(st.st_mode)) {
    *err = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  // Devices are read past the page cache, as the program always read them. Image files are
  // read through the cache unless the description asks otherwise: a cached image is read
  // several times faster and holds no data that could change underneath.
  bool direct = isBlock || (src != nullptr && src->direct);
  int fd = -1;
  if (direct) {
    fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (fd < 0 && errno == EINVAL) direct = false;
  }
  if (fd < 0 && !direct) fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = MapErrnoToWinError(errno, false);
    return nullptr;
  }
  auto dev = std::make_shared<LinuxDevice>(fd, direct, isBlock, host);
  uint32_t align = 4096;
  if (isBlock) {
    std::string dir, name;
    if (SysDiskOf(st.st_rdev, &dir, &name)) dev->SetSysDisk(dir, name);
    int lbs = 0;
    if (::ioctl(fd, BLKSSZGET, &lbs) == 0 && lbs >= 512 && lbs <= 4096) align = std::max<uint32_t>(512, uint32_t(lbs));
  }
  // Direct reads are aligned to the logical block size; 4096 covers every file system.
  dev->SetAlignment(isBlock ? align : 4096);
  if (src != nullptr) {
    dev->SetWindow(src->offset, src->length);
    dev->SetPresented(true);
    if (src->hasInfo) dev->SetPresetInfo(src->info);
  }
  *err = 0;
  return dev;
}

class LinuxBackend : public StorageBackend {
 public:
  std::shared_ptr<StorageDevice> Open(const CString& path, DWORD* err) override {
    MachineDescription md;
    bool valid = false;
    std::string why;
    bool described = LoadMachineDescription(&md, &valid, &why);
    int n = 0;
    char16_t letter = 0;
    if (ParsePhysicalDrivePath(path, &n)) {
      if (described) {
        if (!valid || size_t(n) >= md.disks.size() || md.disks[size_t(n)].image.empty()) {
          *err = ERROR_FILE_NOT_FOUND;
          return nullptr;
        }
        return OpenHost(md.disks[size_t(n)].image, &md.disks[size_t(n)], err);
      }
      std::vector<std::string> names = RealDiskNames();
      if (size_t(n) >= names.size()) {
        *err = ERROR_FILE_NOT_FOUND;
        return nullptr;
      }
      return OpenHost("/dev/" + names[size_t(n)], nullptr, err);
    }
    if (ParseDriveLetterPath(path, &letter)) {
      if (described) {
        auto it = md.drives.find(letter);
        if (!valid || it == md.drives.end() || it->second.image.empty()) {
          *err = ERROR_FILE_NOT_FOUND;
          return nullptr;
        }
        return OpenHost(it->second.image, &it->second, err);
      }
      std::vector<RealMount> mounts = RealLetterMounts();
      size_t i = size_t(letter - u'C');
      if (letter < u'C' || i >= mounts.size()) {
        *err = ERROR_FILE_NOT_FOUND;
        return nullptr;
      }
      return OpenHost(mounts[i].device, nullptr, err);
    }
    return OpenHost(HostPath(path), nullptr, err);
  }

  bool VolumeSpace(const CString& path, uint64_t* freeBytes, uint64_t* totalBytes) override {
    char16_t letter = 0;
    if (DriveLetterOf(path, &letter)) {
      MachineDescription md;
      bool valid = false;
      std::string why;
      if (LoadMachineDescription(&md, &valid, &why)) {
        auto it = md.drives.find(letter);
        if (!valid || it == md.drives.end() || it->second.mount.empty()) return false;
        return StatvfsSpace(it->second.mount, freeBytes, totalBytes);
      }
      std::vector<RealMount> mounts = RealLetterMounts();
      size_t i = size_t(letter - u'C');
      if (letter < u'C' || i >= mounts.size()) return false;
      return StatvfsSpace(mounts[i].mountPoint, freeBytes, totalBytes);
    }
    if (path.IsEmpty()) return false;
    return StatvfsSpace(HostPath(path), freeBytes, totalBytes);
  }
};

}  // namespace

StorageBackend& LinuxStorageBackend() {
  static LinuxBackend& b = *new LinuxBackend();
  return b;
}

std::vector<StorageDiskEntry> ListStorageDisks() {
  std::vector<StorageDiskEntry> out;
  MachineDescription md;
  bool valid = false;
  std::string why;
  auto add = [&](int index, const std::string& host, uint64_t size, const StorageDeviceInfo& info) {
    StorageDiskEntry e;
    e.index = index;
    e.path = FormatCString(u"\\\\.\\PhysicalDrive%d", index);
    e.hostPath = host;
    e.sizeBytes = size;
    e.info = info;
    out.push_back(std::move(e));
  };
  if (LoadMachineDescription(&md, &valid, &why)) {
    for (size_t i = 0; i < md.disks.size(); ++i) {
      const MachineSource& s = md.disks[i];
      uint64_t size = s.length;
      struct stat st;
      if (size == 0 && ::stat(s.image.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        size = uint64_t(st.st_size) > s.offset ? uint64_t(st.st_size) - s.offset : 0;
      add(int(i), s.image, size, s.info);
    }
    return out;
  }
  std::vector<std::string> names = RealDiskNames();
  for (size_t i = 0; i < names.size() && i < 64; ++i) {
    std::string dir = "/sys/block/" + names[i];
    uint64_t sectors = std::strtoull(ReadSysText(dir + "/size").c_str(), nullptr, 10);
    add(int(i), "/dev/" + names[i], sectors <= UINT64_MAX / 512 ? sectors * 512 : 0, SysDiskInfo(dir, names[i]));
  }
  return out;
}

namespace {

// The image's length from offset on (length 0: to its end).
uint64_t SourceLength(const MachineSource& s) {
  if (s.length != 0) return s.length;
  struct stat st;
  if (::stat(s.image.c_str(), &st) != 0) return 0;
  uint64_t size = 0;
  if (S_ISREG(st.st_mode)) {
    size = uint64_t(st.st_size);
  } else if (S_ISBLK(st.st_mode)) {
    int fd = ::open(s.image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      if (::ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
      ::close(fd);
    }
  }
  return size > s.offset ? size - s.offset : 0;
}

}  // namespace

std::string StorageDriveMountPoint(char16_t letter) {
  if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - 32);
  MachineDescription md;
  bool valid = false;
  std::string why;
  if (LoadMachineDescription(&md, &valid, &why)) {
    if (!valid) return std::string();
    auto it = md.drives.find(letter);
    return it == md.drives.end() ? std::string() : it->second.mount;
  }
  std::vector<RealMount> mounts = RealLetterMounts();
  size_t i = size_t(letter - u'C');
  if (letter < u'C' || i >= mounts.size()) return std::string();
  return mounts[i].mountPoint;
}

bool QueryDriveExtent(char16_t letter, StorageDriveExtent* out) {
  *out = StorageDriveExtent();
  MachineDescription md;
  bool valid = false;
  std::string why;
  if (LoadMachineDescription(&md, &valid, &why)) {
    if (!valid) return false;
    auto it = md.drives.find(letter);
    if (it == md.drives.end() || it->second.image.empty()) return false;
    const MachineSource& d = it->second;
    out->lengthBytes = SourceLength(d);
    out->removable = d.hasInfo && d.info.removable;
    std::string img = RealPath(d.image);
    for (size_t i = 0; i < md.disks.size(); ++i) {
      const MachineSource& k = md.disks[i];
      if (img.empty() || RealPath(k.image) != img || d.offset < k.offset) continue;
      uint64_t klen = SourceLength(k);
      if (d.offset - k.offset >= klen) continue;
      out->diskIndex = int(i);
      out->startBytes = d.offset - k.offset;
      if (!d.hasInfo) out->removable = k.hasInfo && k.info.removable;
      break;
    }
    return true;
  }
  std::vector<RealMount> mounts = RealLetterMounts();
  size_t i = size_t(letter - u'C');
  if (letter < u'C' || i >= mounts.size()) return false;
  struct stat st;
  if (::stat(mounts[i].device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  std::string p = RealPath("/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)));
  if (p.empty()) return false;
  uint64_t sectors = std::strtoull(ReadSysText(p + "/size").c_str(), nullptr, 10);
  out->lengthBytes = sectors <= UINT64_MAX / 512 ? sectors * 512 : 0;
  std::string diskDir = p;
  if (::access((p + "/partition").c_str(), F_OK) == 0) {
    uint64_t start = std::strtoull(ReadSysText(p + "/start").c_str(), nullptr, 10);
    out->startBytes = start <= UINT64_MAX / 512 ? start * 512 : 0;
    size_t slash = p.rfind('/');
    if (slash != std::string::npos) diskDir = p.substr(0, slash);
  }
  size_t slash = diskDir.rfind('/');
  std::string diskName = slash == std::string::npos ? diskDir : diskDir.substr(slash + 1);
  std::vector<std::string> names = RealDiskNames();
  for (size_t n = 0; n < names.size() && n < 64; ++n) {
    if (names[n] == diskName) out->diskIndex = int(n);
  }
  out->removable = ReadSysText(diskDir + "/removable") == "1";
  return true;
}

bool QueryDiskTrim(int diskIndex) {
  MachineDescription md;
  bool valid = false;
  std::string why;
  if (LoadMachineDescription(&md, &valid, &why)) return false;
  std::vector<std::string> names = RealDiskNames();
  if (diskIndex < 0 || size_t(diskIndex) >= names.size()) return false;
  std::string v = ReadSysText("/sys/block/" + names[size_t(diskIndex)] + "/queue/discard_max_bytes");
  return std::strtoull(v.c_str(), nullptr, 10) > 0;
}
