#include "scansave/bufferedscanfile.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"

namespace {
constexpr unsigned kBufferTag = 112;
}

BufferedScanFile::~BufferedScanFile() { Finish(); }

void BufferedScanFile::Release() {
  if (buffer_ != nullptr) FreeMem(buffer_);
  buffer_ = nullptr;
  fill_ = readOffset_ = 0;
}

bool BufferedScanFile::Create(const CString& path) {
  Finish();
  failed_ = false;
  reading_ = false;
  fileSize_ = consumed_ = 0;
  if (!file_.Open(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyWrite | CFile::typeBinary))
    return false;
  capacity_ = kScanFileBufferBytes;
  buffer_ = static_cast<uint8_t*>(AllocMem(capacity_, kBufferTag));
  return true;
}

bool BufferedScanFile::OpenRead(const CString& path) {
  Finish();
  failed_ = false;
  reading_ = true;
  fileSize_ = consumed_ = 0;
  if (!file_.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) return false;
  fileSize_ = file_.GetLength();
  // A small file needs no more buffer than its own length.
  capacity_ = uint32_t(std::min<uint64_t>(kScanFileBufferBytes, std::max<uint64_t>(fileSize_, 1)));
  buffer_ = static_cast<uint8_t*>(AllocMem(capacity_, kBufferTag));
  return true;
}

bool BufferedScanFile::FlushBuffer() {
  if (fill_ == 0) return !failed_;
  if (!failed_ && !file_.Write(buffer_, fill_)) failed_ = true;
  fill_ = 0;
  return !failed_;
}

bool BufferedScanFile::Write(const void* src, uint32_t bytes) {
  if (reading_ || buffer_ == nullptr || failed_) return false;
  if (bytes > kScanFileBufferBytes) {
    failed_ = true;
    return false;
  }
  if (uint64_t(fill_) + bytes > kScanFileBufferBytes && !FlushBuffer()) return false;
  if (bytes != 0) std::memcpy(buffer_ + fill_, src, bytes);
  fill_ += bytes;
  if (fill_ >= kScanFileFlushBytes) return FlushBuffer();
  return true;
}

bool BufferedScanFile::Read(void* dst, uint32_t bytes) {
  if (!reading_ || buffer_ == nullptr || bytes > kScanFileBufferBytes) {
    if (dst != nullptr && bytes != 0 && bytes <= kScanFileBufferBytes) std::memset(dst, 0, bytes);
    return false;
  }
  uint32_t held = fill_ - readOffset_;
  if (held < bytes) {
    // Keep what is left, then fill the rest of the buffer from the file.
    std::memmove(buffer_, buffer_ + readOffset_, held);
    readOffset_ = 0;
    fill_ = held;
    while (fill_ < capacity_) {
      const UINT got = file_.Read(buffer_ + fill_, capacity_ - fill_);
      if (got == 0) break;
      fill_ += got;
    }
    std::memset(buffer_ + fill_, 0, capacity_ - fill_);
    held = fill_;
  }
  if (held < bytes) {
    if (bytes != 0) std::memset(dst, 0, bytes);
    return false;
  }
  if (bytes != 0) std::memcpy(dst, buffer_ + readOffset_, bytes);
  readOffset_ += bytes;
  consumed_ += bytes;
  return true;
}

bool BufferedScanFile::Skip(uint64_t bytes) {
  if (bytes > Remaining()) return false;
  // Small pieces through the buffer; what lies beyond it is passed by seeking.
  const uint32_t held = fill_ - readOffset_;
  if (bytes <= held) {
    readOffset_ += uint32_t(bytes);
    consumed_ += bytes;
    return true;
  }
  const uint64_t after = consumed_ + bytes;
  if (file_.Seek(LONGLONG(after), CFile::begin) < 0) return false;
  fill_ = readOffset_ = 0;
  consumed_ = after;
  return true;
}

bool BufferedScanFile::Finish() {
  bool ok = !failed_;
  if (file_.IsOpen()) {
    if (!reading_) {
      ok = FlushBuffer() && ok;
      if (!file_.Flush()) ok = false;
    }
    file_.Close();
  }
  Release();
  if (!ok) failed_ = true;
  return ok;
}
