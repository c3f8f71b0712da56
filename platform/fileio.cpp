#include "platform/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/textconv.h"
#include "platform/wintime.h"

std::string HostPath(const CString& path) {
  std::u16string p = path.Str();
  for (auto& c : p) {
    if (c == u'\\') c = u'/';
  }
  return Utf16ToUtf8(p);
}

CString FromHostPath(const std::string& path) { return CString(Utf8ToUtf16(path)); }

BOOL CFile::Open(const CString& path, UINT flags) {
  Close();
  int oflags = O_CLOEXEC;
  if (flags & modeReadWrite) oflags |= O_RDWR;
  else if (flags & modeWrite) oflags |= O_WRONLY;
  else oflags |= O_RDONLY;
  if (flags & modeCreate) {
    oflags |= O_CREAT;
    if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
  }
  int fd;
  do {
    fd = ::open(HostPath(path).c_str(), oflags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FALSE;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return FALSE;
  }
  fd_ = fd;
  path_ = path;
  return TRUE;
}

UINT CFile::Read(void* buf, UINT count) {
  if (fd_ < 0 || !buf) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t r = ::read(fd_, static_cast<char*>(buf) + done, count - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += size_t(r);
  }
  return UINT(done);
}

BOOL CFile::Write(const void* buf, UINT count) {
  if (fd_ < 0 || (!buf && count)) return FALSE;
  size_t done = 0;
  while (done < count) {
    ssize_t r = ::write(fd_, static_cast<const char*>(buf) + done, count - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return FALSE;
    done += size_t(r);
  }
  return TRUE;
}

LONGLONG CFile::Seek(LONGLONG offset, UINT from) {
  if (fd_ < 0) return -1;
  int whence = from == end ? SEEK_END : (from == current ? SEEK_CUR : SEEK_SET);
  off_t r = ::lseek(fd_, off_t(offset), whence);
  return r < 0 ? -1 : LONGLONG(r);
}

ULONGLONG CFile::GetPosition() const {
  if (fd_ < 0) return 0;
  off_t r = ::lseek(fd_, 0, SEEK_CUR);
  return r < 0 ? 0 : ULONGLONG(r);
}

ULONGLONG CFile::GetLength() const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
  return ULONGLONG(st.st_size);
}

BOOL CFile::SetLength(ULONGLONG length) { return fd_ >= 0 && ftruncate(fd_, off_t(length)) == 0; }

BOOL CFile::Flush() { return fd_ >= 0 && fsync(fd_) == 0; }

void CFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

struct timespec ToTimespec(const FILETIME* ft) {
  struct timespec ts;
  if (!ft) {
    ts.tv_sec = 0;
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  uint64_t ticks = FileTimeToU64(*ft);
  ts.tv_sec = time_t(int64_t(ticks / 10000000) - kFileTimeEpochDelta);
  ts.tv_nsec = long((ticks % 10000000) * 100);
  return ts;
}

}  // namespace

BOOL CFile::SetFileTime(const FILETIME*, const FILETIME* access, const FILETIME* write) {
  if (fd_ < 0) return FALSE;
  struct timespec ts[2] = {ToTimespec(access), ToTimespec(write)};
  return futimens(fd_, ts) == 0;
}

BOOL CreateDirectoryW(const CString& path) { return ::mkdir(HostPath(path).c_str(), 0755) == 0; }
BOOL RemoveDirectoryW(const CString& path) { return ::rmdir(HostPath(path).c_str()) == 0; }
BOOL DeleteFileW(const CString& path) { return ::unlink(HostPath(path).c_str()) == 0; }
BOOL MoveFileW(const CString& from, const CString& to) {
  std::string t = HostPath(to);
  struct stat st;
  if (::lstat(t.c_str(), &st) == 0) return FALSE;  // Windows refuses to replace
  return ::rename(HostPath(from).c_str(), t.c_str()) == 0;
}

DWORD GetFileAttributesW(const CString& path) {
  struct stat st;
  if (::stat(HostPath(path).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

LONGLONG GetFileSizeOf(const CString& path) {
  struct stat st;
  if (::stat(HostPath(path).c_str(), &st) != 0) return -1;
  return LONGLONG(st.st_size);
}

BOOL GetFileTimesW(const CString& path, FILETIME* creation, FILETIME* access, FILETIME* write) {
  struct statx sx;
  if (statx(AT_FDCWD, HostPath(path).c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return FALSE;
  if (creation) {
    if (sx.stx_mask & STATX_BTIME) *creation = UnixToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    else *creation = UnixToFileTime(sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec);
  }
  if (access) *access = UnixToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  if (write) *write = UnixToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  return TRUE;
}

BOOL SetFileTimesW(const CString& path, const FILETIME*, const FILETIME* access, const FILETIME* write) {
  struct timespec ts[2] = {ToTimespec(access), ToTimespec(write)};
  return utimensat(AT_FDCWD, HostPath(path).c_str(), ts, 0) == 0;
}

BOOL CFileFind::FindFile(const CString& pattern) {
  Close();
  std::string p = HostPath(pattern.IsEmpty() ? CString(u"*") : pattern);
  std::string glob = "*";
  size_t slash = p.rfind('/');
  std::string last = slash == std::string::npos ? p : p.substr(slash + 1);
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
  struct stat st;
  if (last.find_first_of("*?") != std::string::npos) {
    glob = last;
  } else if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !last.empty()) {
    // A plain folder name finds the folder itself, as on Windows.
    glob = last;
  } else {
    glob = last.empty() ? "*" : last;
  }
  folder_ = folder;
  DIR* d = opendir(folder.c_str());
  if (!d) return FALSE;
  while (struct dirent* e = readdir(d)) {
    if (fnmatch(glob.c_str(), e->d_name, 0) != 0) continue;
    std::string full = folder_ + (folder_ == "/" ? "" : "/") + e->d_name;
    struct stat es;
    if (::stat(full.c_str(), &es) != 0) continue;
    entries_.push_back(Entry{e->d_name, S_ISDIR(es.st_mode), uint64_t(es.st_size), int64_t(es.st_mtim.tv_sec),
                             int64_t(es.st_mtim.tv_nsec)});
  }
  closedir(d);
  return !entries_.empty();
}

BOOL CFileFind::FindNextFile() {
  if (index_ + 1 >= int(entries_.size())) return FALSE;
  ++index_;
  return index_ + 1 < int(entries_.size());
}

const CFileFind::Entry* CFileFind::Cur() const {
  if (index_ < 0 || index_ >= int(entries_.size())) return nullptr;
  return &entries_[size_t(index_)];
}

CString CFileFind::GetFileName() const {
  const Entry* e = Cur();
  return e ? FromHostPath(e->name) : CString();
}

CString CFileFind::GetFilePath() const {
  const Entry* e = Cur();
  if (!e) return CString();
  return FromHostPath(folder_ + (folder_ == "/" ? "" : "/") + e->name);
}

BOOL CFileFind::IsDirectory() const {
  const Entry* e = Cur();
  return e && e->dir;
}

BOOL CFileFind::IsDots() const {
  const Entry* e = Cur();
  return e && (e->name == "." || e->name == "..");
}

ULONGLONG CFileFind::GetLength() const {
  const Entry* e = Cur();
  return e ? e->size : 0;
}

BOOL CFileFind::GetLastWriteTime(FILETIME* ft) const {
  const Entry* e = Cur();
  if (!e || !ft) return FALSE;
  *ft = UnixToFileTime(e->mtimeSec, e->mtimeNsec);
  return TRUE;
}

namespace {
std::mutex& ProgramDirLock() {
  static std::mutex& m = *new std::mutex;
  return m;
}
CString& ProgramDirOverride() {
  static CString& s = *new CString;
  return s;
}
CString WithSlash(CString s) {
  if (!s.IsEmpty() && s[s.GetLength() - 1] != u'/') s += u'/';
  return s;
}
}  // namespace

void SetProgramDirOverride(const CString& dir) {
  std::lock_guard<std::mutex> g(ProgramDirLock());
  ProgramDirOverride() = dir;
}

CString GetProgramDir() {
  {
    std::lock_guard<std::mutex> g(ProgramDirLock());
    if (!ProgramDirOverride().IsEmpty()) return WithSlash(ProgramDirOverride());
  }
  if (const char* env = getenv("KESTREL_PROGRAM_DIR"); env && *env) return WithSlash(FromHostPath(env));
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return CString();
  std::string exe(buf, size_t(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return CString();
  return FromHostPath(exe.substr(0, slash + 1));
}
