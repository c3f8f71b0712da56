// BufferedScanFile: the one doorway of scan-state data files. A file is either written from
// the start or read from the start, through one 8 MiB buffer; single pieces of more than 8 MiB
// are refused either way.
//
// Writing: the buffer goes to the file whenever it holds 4 MiB or more, so a save of millions
// of hits makes few large writes. The first failed write is sticky: every later Write and
// Finish fail, so a full disk can never end as a file that looks whole.
//
// Reading: a short read zero-fills the destination and fails. Consumed() and Remaining() tell
// the reader how many bytes the file still holds, so every count and length it reads can be
// checked against them before anything is allocated.
#pragma once

#include <cstdint>

#include "platform/cstring.h"
#include "platform/fileio.h"
#include "scanbase/videodetail.h"

constexpr uint32_t kScanFileBufferBytes = 0x800000;  // 8 MiB
constexpr uint32_t kScanFileFlushBytes = 0x400000;   // 4 MiB

class BufferedScanFile : public ScanStateStream {
 public:
  BufferedScanFile() = default;
  ~BufferedScanFile() override;
  BufferedScanFile(const BufferedScanFile&) = delete;
  BufferedScanFile& operator=(const BufferedScanFile&) = delete;

  // Creates (truncating) the file for writing; false when it cannot be made.
  bool Create(const CString& path);
  // Opens an existing file for reading; false when it cannot be opened.
  bool OpenRead(const CString& path);

  bool Write(const void* src, uint32_t bytes) override;
  bool Read(void* dst, uint32_t bytes) override;

  // Writing: puts out what the buffer holds, flushes and closes; true only when every byte
  // written since Create reached the file. Reading: closes. Also done by the destructor.
  bool Finish();
  bool Failed() const { return failed_; }

  // Reading: the file's length, the bytes handed out so far and the bytes left after them.
  uint64_t FileSize() const { return fileSize_; }
  uint64_t Consumed() const { return consumed_; }
  uint64_t Remaining() const { return fileSize_ > consumed_ ? fileSize_ - consumed_ : 0; }
  // Reading: passes over bytes in pieces; false when the file ends first.
  bool Skip(uint64_t bytes);

 private:
  bool FlushBuffer();
  void Release();

  CFile file_;
  uint8_t* buffer_ = nullptr;
  bool reading_ = false;
  bool failed_ = false;
  uint32_t capacity_ = 0;    // bytes of the buffer
  uint32_t fill_ = 0;        // bytes held in the buffer
  uint32_t readOffset_ = 0;  // bytes of the buffer already handed out
  uint64_t fileSize_ = 0;
  uint64_t consumed_ = 0;
};
