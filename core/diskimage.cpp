#include "core/diskimage.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "base/log.h"
#include "base/pathutil.h"
#include "base/sizetext.h"
#include "base/wholefile.h"
#include "core/copyout.h"
#include "core/diskreader.h"
#include "platform/fileio.h"
#include "platform/hooks.h"

namespace {

std::mutex& PathLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}
CString& ThePath() {
  static CString& p = *new CString();
  return p;
}

bool NoDialog(const CString&, CString&) { return false; }

// The bytes free to an ordinary user on the file system that holds the path (or the nearest
// folder above it that exists).
bool StatvfsFreeBytes(const CString& path, uint64_t& bytes) {
  std::string p = HostPath(path);
  for (int up = 0; up < 256 && !p.empty(); ++up) {
    struct statvfs v {};
    if (statvfs(p.c_str(), &v) == 0) {
      bytes = uint64_t(v.f_bavail) * uint64_t(v.f_frsize);
      return true;
    }
    const size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return false;
    p = slash == 0 ? "/" : p.substr(0, slash);
  }
  return false;
}

// The system's drive is the file system of the root folder.
bool SameDeviceAsRoot(const CString& path) {
  std::string p = HostPath(path);
  struct stat root {}, at {};
  if (stat("/", &root) != 0) return false;
  for (int up = 0; up < 256 && !p.empty(); ++up) {
    if (stat(p.c_str(), &at) == 0) return at.st_dev == root.st_dev;
    const size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return false;
    p = slash == 0 ? "/" : p.substr(0, slash);
  }
  return false;
}

std::mutex& ServicesLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}
DiskImageServices& Services() {
  static DiskImageServices& s = *new DiskImageServices{&NoDialog, &StatvfsFreeBytes, &SameDeviceAsRoot};
  return s;
}
DiskImageServices CopyServices() {
  std::lock_guard<std::mutex> g(ServicesLock());
  return Services();
}

bool WriteAt(int fd, const uint8_t* data, uint64_t bytes, uint64_t offset) {
  while (bytes != 0) {
    const ssize_t n = pwrite(fd, data, size_t(bytes), off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    bytes -= uint64_t(n);
    offset += uint64_t(n);
  }
  return true;
}

}  // namespace

CString GetDiskImagePath() {
  std::lock_guard<std::mutex> g(PathLock());
  return ThePath();
}

void SetDiskImagePath(const CString& path) {
  std::lock_guard<std::mutex> g(PathLock());
  ThePath() = path;
}

void SetDiskImageServices(const DiskImageServices& services) {
  std::lock_guard<std::mutex> g(ServicesLock());
  DiskImageServices& s = Services();
  s.saveAsDialog = services.saveAsDialog != nullptr ? services.saveAsDialog : &NoDialog;
  s.freeBytes = services.freeBytes != nullptr ? services.freeBytes : &StatvfsFreeBytes;
  s.onSystemDrive = services.onSystemDrive != nullptr ? services.onSystemDrive : &SameDeviceAsRoot;
}

bool ChooseDiskImagePath(uint64_t sizeBytes, const CString& initialName) {
  return ChooseDiskImagePath(sizeBytes, initialName, CopyScanTarget());
}

bool ChooseDiskImagePath(uint64_t sizeBytes, const CString& initialName, const VolumeContext& source) {
  const DiskImageServices sv = CopyServices();
  CString path;
  if (!sv.saveAsDialog(initialName, path) || path.IsEmpty()) return false;
  if (FileExists(path) && !ShowMessageBox(u"您所选位置有同名文件，是否覆盖？", GetLangStr(u"Yes"), GetLangStr(u"No")))
    return false;
  // An image written onto the device it copies would overwrite what it is meant to save.
  if (TargetLiesOnSources(path, {source})) {
    ShowMessageBox(GetLangStr(u"RecoverDirOnSource"), GetLangStr(u"OK"));
    return false;
  }
  {
    CFile f;
    bool ok = f.Open(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyWrite | CFile::typeBinary);
    ok = ok && f.Write("    ", 4) && f.Flush();
    f.Close();
    if (!ok) {
      ShowMessageBox(u"创建文件失败，请重新选择镜像保存路径！", GetLangStr(u"OK"));
      return false;
    }
  }
  uint64_t free = 0;
  if (!sv.freeBytes(path, free)) {
    ShowMessageBox(u"抱歉，所选路径不合法，请重新选择镜像保存路径！", GetLangStr(u"OK"));
    return false;
  }
  const uint64_t margin = sv.onSystemDrive(path) ? kImageSystemDriveMargin : kImageOtherDriveMargin;
  if (free < sizeBytes || free - sizeBytes < margin) {
    ShowMessageBox(u"抱歉，所选分区剩余空间不足，请重新选择镜像保存路径！", GetLangStr(u"OK"));
    return false;
  }
  // The path is kept as chosen: on a case-sensitive file system another spelling is another file.
  SetDiskImagePath(path);
  const std::u16string_view text = path.View();
  if (!WriteWholeFile(JoinPath(GetExeDir(), u"ClonePath.txt"), text.data(), uint32_t(text.size() * 2)))
    WriteLog(u"ClonePath.txt not written");
  return true;
}

uint32_t ExpectedImageBlocks(uint64_t deviceSectors) {
  const uint64_t blocks = (deviceSectors * kSectorBytes + kImageBlockBytes - 1) / kImageBlockBytes;
  return blocks > UINT32_MAX ? UINT32_MAX : uint32_t(blocks);
}

ImageWriteResult WriteImageBlocks(std::atomic<uint32_t>* state, const CString& imagePath, const ImageBlockSource& source,
                                  uint64_t deviceBytes) {
  ImageWriteResult r;
  r.counts.blocksExpected = ExpectedImageBlocks((deviceBytes + kSectorBytes - 1) / kSectorBytes);
  if (source.progress != nullptr) source.progress(source.context, r.counts);

  CFile file;
  if (!file.Open(imagePath, CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyWrite | CFile::typeBinary)) {
    WriteLog(u"Disk image not created: " + imagePath);
    state->store(2);
    return r;
  }
  r.created = true;
  for (;;) {
    const uint32_t s = state->load();
    if (s == 2) break;
    const uint8_t* data = nullptr;
    uint64_t lba = 0;
    bool readOk = false;
    if (!source.take(source.context, &data, &lba, &readOk)) {
      if (s == 3) break;
      source.wait(source.context);
      continue;
    }
    if (readOk) ++r.counts.blocksRead;
    else ++r.counts.blocksFailed;
    // The block goes where it lies on the device, never past the device's end.
    const uint64_t offset = lba * kSectorBytes;
    const uint64_t bytes = offset >= deviceBytes ? 0 : std::min<uint64_t>(kImageBlockBytes, deviceBytes - offset);
    const bool ok = bytes == 0 || WriteAt(file.Handle(), data, bytes, offset);
    if (source.release != nullptr) source.release(source.context);
    if (!ok) {
      WriteLogFmt(u"Disk image write failed at byte %llu", (unsigned long long)offset);
      r.writeFailed = true;
      state->store(2);
      break;
    }
    if (source.progress != nullptr) source.progress(source.context, r.counts);
  }
  if (!r.writeFailed && !file.Flush()) r.writeFailed = true;
  file.Close();
  r.stopped = !r.writeFailed && state->load() == 2;
  return r;
}

CString FormatImageProgress(const ImageCounts& c) {
  const uint64_t done = uint64_t(c.blocksRead) + c.blocksFailed;
  const uint32_t rate = done == 0 ? 100 : uint32_t(uint64_t(c.blocksRead) * 100 / done);
  return FormatCString(u"总镜像: %s 镜像成功: %s 镜像失败: %s 镜像成功率: %u%%",
                       FormatByteSize(uint64_t(c.blocksExpected) * kImageBlockBytes),
                       FormatByteSize(uint64_t(c.blocksRead) * kImageBlockBytes),
                       FormatByteSize(uint64_t(c.blocksFailed) * kImageBlockBytes), rate);
}

CString ImageClosingMessage(const ImageWriteResult& r, const CString& imagePath) {
  CString text;
  if (!r.created) text = u"镜像失败！\n无法创建镜像文件，镜像没有写入。\n";
  else if (r.writeFailed) text = u"镜像失败！\n写入镜像文件失败（所选分区可能已满），镜像不完整。\n";
  else if (r.stopped) text = u"镜像停止！\n";
  else text = u"镜像完成！\n";
  text += FormatImageProgress(r.counts) + u"\n";
  text += FormatCString(u"请使用《%s》的[深度恢复]=>[加载镜像]功能，加载分析您的镜像文件。\n镜像文件保存路径:",
                        GetSoftCfg(u"ProName"));
  text += u" " + imagePath;
  return text;
}
