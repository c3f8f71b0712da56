// CStream: a read-only IStream over a block of bytes its maker owns ("Memory IStream").
//
// Pictures the program holds in memory (a found file's bytes, a picture resource) reach the
// picture decoders through it. It never copies, changes or frees the block; writing, cloning
// and region locks are refused. Only the reference count is safe across threads: one stream is
// read by one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/comobj.h"

class CStream final : public IStream {
 public:
  // Count 1, position 0; the block must outlive every use of the stream.
  CStream(const void* data, uint64_t size);
  // Releases nothing: the block stays with its owner.
  ~CStream();
  CStream(const CStream&) = delete;
  CStream& operator=(const CStream&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  // A stream made with new deletes itself at 0; one on the stack is never released to 0 by
  // its maker, so the decoders' balanced AddRef/Release pairs never end it.
  ULONG Release() override;
  HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT Write(const void* buffer, ULONG count, ULONG* written) override;
  // The position may pass the end of the block; reads there give 0 bytes.
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT SetSize(ULARGE_INTEGER newSize) override;
  HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
  HRESULT Commit(DWORD flags) override;
  HRESULT Revert() override;
  HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
  HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
  // STATFLAG_DEFAULT names the copy "Memory IStream" in a task-allocator block the caller
  // frees with CoTaskMemFree; STATFLAG_NONAME leaves the name null.
  HRESULT Stat(STATSTG* stat, DWORD flag) override;
  HRESULT Clone(IStream** stream) override;

  uint64_t Position() const { return position_; }

 private:
  uint64_t Remaining() const { return position_ < size_ ? size_ - position_ : 0; }

  std::atomic<ULONG> refs_{1};
  STATSTG stat_{};
  uint64_t position_ = 0;
  uint64_t size_ = 0;
  const uint8_t* data_ = nullptr;
};
