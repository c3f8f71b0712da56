#include "base/memstream.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr char16_t kStreamName[] = u"Memory IStream";
}

CStream::CStream(const void* data, uint64_t size) : size_(size), data_(static_cast<const uint8_t*>(data)) {
  stat_.type = STGTY_STREAM;
  FILETIME now{};
  CoFileTimeNow(&now);
  stat_.mtime = stat_.ctime = stat_.atime = now;
}

CStream::~CStream() = default;

HRESULT CStream::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
    AddRef();
    *object = static_cast<IStream*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CStream::AddRef() { return refs_.fetch_add(1) + 1; }

ULONG CStream::Release() {
  const ULONG left = refs_.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CStream::Read(void* buffer, ULONG count, ULONG* read) {
  if (!buffer) return STG_E_INVALIDPOINTER;
  const uint64_t n = std::min<uint64_t>(count, Remaining());
  if (n) std::memcpy(buffer, data_ + position_, size_t(n));
  position_ += n;
  if (read) *read = ULONG(n);
  return S_OK;
}

HRESULT CStream::Write(const void* buffer, ULONG, ULONG*) { return buffer ? E_NOTIMPL : STG_E_INVALIDPOINTER; }

HRESULT CStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  // Unsigned sums: a move before the start wraps to a position far past the end, where reads
  // give nothing, instead of overflowing a signed value.
  const uint64_t delta = uint64_t(move.QuadPart);
  if (origin == STREAM_SEEK_SET) position_ = delta;
  else if (origin == STREAM_SEEK_CUR) position_ += delta;
  else if (origin == STREAM_SEEK_END) position_ = size_ + delta;
  if (newPosition) newPosition->QuadPart = position_;
  return S_OK;
}

HRESULT CStream::SetSize(ULARGE_INTEGER) { return S_OK; }

HRESULT CStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
  if (!target) return STG_E_INVALIDPOINTER;
  // One Write takes a 32-bit count; the blocks the program streams are far smaller, but a
  // larger request is cut rather than wrapped.
  const uint64_t n = std::min<uint64_t>({count.QuadPart, Remaining(), 0xFFFFFFFFull});
  ULONG done = 0;
  target->Write(data_ + position_, ULONG(n), &done);
  position_ += n;
  if (read) read->QuadPart = n;
  if (written) written->QuadPart = done;
  return S_OK;
}

HRESULT CStream::Commit(DWORD) { return S_OK; }
HRESULT CStream::Revert() { return S_OK; }
HRESULT CStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT CStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }

HRESULT CStream::Stat(STATSTG* stat, DWORD flag) {
  if (!stat) return STG_E_INVALIDPOINTER;
  if (flag != STATFLAG_DEFAULT && flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
  stat_.cbSize.QuadPart = size_;
  *stat = stat_;
  stat->pwcsName = nullptr;
  if (flag == STATFLAG_DEFAULT) {
    auto* name = static_cast<char16_t*>(CoTaskMemAlloc(sizeof kStreamName));
    if (!name) return STG_E_INSUFFICIENTMEMORY;
    std::memcpy(name, kStreamName, sizeof kStreamName);
    stat->pwcsName = name;
  }
  return S_OK;
}

HRESULT CStream::Clone(IStream**) { return E_NOTIMPL; }
