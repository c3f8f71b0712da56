// A copy must never write into what it recovers from: the target folder is refused when it lies
// on the scanned image file or device.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/copyout.h"
#include "core/volumecontext.h"
#include "platform/blockstack.h"
#include "platform/fileio.h"
#include "platform/machine.h"
#include "platform/storage.h"

namespace {

std::string Real(const std::string& p) {
  char buf[PATH_MAX];
  return ::realpath(p.c_str(), buf) ? std::string(buf) : std::string();
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  if (in) std::getline(in, s);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// The nearest part of the path that exists (the folder may not be made yet).
std::string ExistingAncestor(std::string p) {
  if (p.empty()) p.assign(1, '.');
  for (int step = 0; step < 4096; ++step) {
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) return p;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    p.erase(slash == 0 ? 1 : slash);
  }
  return "/";
}

bool IsPartitionDir(const std::string& sys) { return !sys.empty() && ::access((sys + "/partition").c_str(), F_OK) == 0; }

std::string ParentDir(const std::string& sys) {
  const size_t slash = sys.rfind('/');
  return slash == std::string::npos ? std::string() : sys.substr(0, slash);
}

// The whole disk a block device belongs to (itself when it is one).
std::string WholeDiskDir(const std::string& sys) { return IsPartitionDir(sys) ? ParentDir(sys) : sys; }

// The image file behind a loop device (or a partition of one); empty otherwise.
std::string LoopBackingFile(const std::string& sys) {
  if (sys.empty()) return std::string();
  const std::string disk = WholeDiskDir(sys);
  const std::string backing = FirstLine(disk + "/loop/backing_file");
  return backing.empty() ? std::string() : Real(backing);
}

struct SourceDevice {
  std::string host;
  bool window = false;      // a lettered drive: a stretch of the disk
  uint64_t startBytes = 0;  // where that stretch starts
};

std::vector<SourceDevice> SourcesOf(const VolumeContext& t) {
  std::vector<SourceDevice> out;
  int n = -1;
  char16_t letter = 0;
  if (ParsePhysicalDrivePath(t.devicePath, &n)) {
    for (const StorageDiskEntry& d : ListStorageDisks())
      if (d.index == n) out.push_back({d.hostPath});
  } else if (ParseDriveLetterPath(t.devicePath, &letter)) {
    StorageDriveExtent ext;
    if (QueryDriveExtent(letter, &ext) && ext.diskIndex >= 0) {
      for (const StorageDiskEntry& d : ListStorageDisks())
        if (d.index == ext.diskIndex) out.push_back({d.hostPath, true, ext.startBytes});
    }
  } else if (!t.devicePath.IsEmpty()) {
    out.push_back({HostPath(t.devicePath)});
  }
  if (!t.sourcePath.IsEmpty() && t.sourcePath != t.devicePath) out.push_back({HostPath(t.sourcePath)});
  return out;
}

bool LiesOnSource(const std::string& dir, const struct stat& st, const std::vector<std::string>& dirDevs,
                  const VolumeContext& target) {
  const std::string realDir = Real(dir);
  for (const SourceDevice& src : SourcesOf(target)) {
    struct stat ss;
    if (src.host.empty() || ::stat(src.host.c_str(), &ss) != 0) continue;
    if (S_ISREG(ss.st_mode)) {
      const std::string image = Real(src.host);
      if (image.empty()) continue;
      // The image itself (or a path through it), or a folder on a loop mount of the image.
      if (realDir == image) return true;
      for (const std::string& d : dirDevs)
        if (LoopBackingFile(d) == image) return true;
    } else if (S_ISBLK(ss.st_mode)) {
      if (st.st_dev == ss.st_rdev) return true;
      const std::string srcSys = SysfsBlockDir(ss.st_rdev);
      // Whatever cannot be traced may lie on the source: refused rather than written to.
      if (srcSys.empty() || dirDevs.empty()) return true;
      for (const std::string& d : dirDevs) {
        if (!src.window) {
          // A whole disk: every partition on it belongs to the source; a partition: itself.
          if (BlockDirsRelated(d, srcSys)) return true;
          continue;
        }
        // A drive: the partition of the disk that starts where the drive does.
        if (d == srcSys) return true;
        if (IsPartitionDir(d) && ParentDir(d) == srcSys) {
          const unsigned long long start = std::strtoull(FirstLine(d + "/start").c_str(), nullptr, 10);
          if (start * 512 == src.startBytes) return true;
        }
      }
    }
  }
  return false;
}

}  // namespace

bool TargetLiesOnSources(const CString& folder, const std::vector<VolumeContext>& sources) {
  const std::string dir = ExistingAncestor(HostPath(folder));
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return false;
  const std::vector<std::string> dirDevs = FolderBlockDirs(st.st_dev);
  for (const VolumeContext& s : sources)
    if (LiesOnSource(dir, st, dirDevs, s)) return true;
  return false;
}

bool TargetLiesOnSource(const CString& folder) { return TargetLiesOnSources(folder, {CopyScanTarget()}); }
