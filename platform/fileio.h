// Files and folders. Paths are the program's wide text; '\' and '/' are both separators and
// are written as '/' on the host. Nothing here throws: failures are false results.
#pragma once

#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/wintypes.h"

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// The host form of a program path: separators as '/', UTF-8.
std::string HostPath(const CString& path);
// The program's form of a host path.
CString FromHostPath(const std::string& path);

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeBinary = 0x8000,
  };
  enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

  CFile() = default;
  ~CFile() { Close(); }
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Share modes have no Linux counterpart and are accepted as given.
  BOOL Open(const CString& path, UINT flags);
  bool IsOpen() const { return fd_ >= 0; }
  // Bytes read; 0 at the end or on failure.
  UINT Read(void* buf, UINT count);
  // True only when every byte was written.
  BOOL Write(const void* buf, UINT count);
  // The new position, or -1 on failure.
  LONGLONG Seek(LONGLONG offset, UINT from);
  ULONGLONG SeekToEnd() { return ULONGLONG(Seek(0, end)); }
  ULONGLONG GetPosition() const;
  ULONGLONG GetLength() const;
  BOOL SetLength(ULONGLONG length);
  BOOL Flush();
  void Close();
  // Modification and access times of the open file; null leaves a time as it is.
  BOOL SetFileTime(const FILETIME* creation, const FILETIME* access, const FILETIME* write);
  int Handle() const { return fd_; }
  const CString& GetFilePath() const { return path_; }

 private:
  int fd_ = -1;
  CString path_;
};

BOOL CreateDirectoryW(const CString& path);
BOOL RemoveDirectoryW(const CString& path);
BOOL DeleteFileW(const CString& path);
BOOL MoveFileW(const CString& from, const CString& to);
DWORD GetFileAttributesW(const CString& path);
// The file's size, or -1 when it cannot be read.
LONGLONG GetFileSizeOf(const CString& path);

// Times of a file or folder. The creation time is the birth time where the file system keeps
// one, else the last status change. Setting a creation time is not possible on Linux and is
// ignored; null leaves a time as it is.
BOOL GetFileTimesW(const CString& path, FILETIME* creation, FILETIME* access, FILETIME* write);
BOOL SetFileTimesW(const CString& path, const FILETIME* creation, const FILETIME* access,
                   const FILETIME* write);

// Enumerates a folder in the manner of the class library's file finder. The pattern's last
// component may hold '*' and '?'; "dir" alone or "dir/*" lists everything.
class CFileFind {
 public:
  BOOL FindFile(const CString& pattern = u"*");
  // True while another entry follows the current one (the Windows convention).
  BOOL FindNextFile();
  void Close() { entries_.clear(), index_ = -1; }
  CString GetFileName() const;
  CString GetFilePath() const;
  BOOL IsDirectory() const;
  BOOL IsDots() const;
  ULONGLONG GetLength() const;
  BOOL GetLastWriteTime(FILETIME* ft) const;

 private:
  struct Entry {
    std::string name;
    bool dir;
    uint64_t size;
    int64_t mtimeSec;
    int64_t mtimeNsec;
  };
  std::string folder_;
  std::vector<Entry> entries_;
  int index_ = -1;
  const Entry* Cur() const;
};

// The program folder with a trailing '/': the folder of the running binary, or the folder set
// by the environment variable KESTREL_PROGRAM_DIR or SetProgramDirOverride (tests use these).
CString GetProgramDir();
void SetProgramDirOverride(const CString& dir);
