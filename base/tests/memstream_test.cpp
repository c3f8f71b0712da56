#include "base/memstream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

// A target stream that keeps what it is given.
struct SinkStream final : IStream {
  std::vector<uint8_t> got;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT Write(const void* b, ULONG n, ULONG* done) override {
    got.insert(got.end(), static_cast<const uint8_t*>(b), static_cast<const uint8_t*>(b) + n);
    if (done) *done = n;
    return S_OK;
  }
  HRESULT Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT Revert() override { return E_NOTIMPL; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT Clone(IStream**) override { return E_NOTIMPL; }
};

struct Block {
  std::array<uint8_t, 120> bytes;
  Block() {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i + 1);
  }
};

uint64_t SeekTo(CStream& s, int64_t move, DWORD origin) {
  ULARGE_INTEGER at{~0ull};
  EXPECT_EQ(s.Seek(LARGE_INTEGER{move}, origin, &at), S_OK);
  return at.QuadPart;
}

TEST(MemoryStream, ReadsAndSeeksStayInsideTheBlock) {
  Block b;
  CStream s(b.bytes.data(), b.bytes.size());
  struct Step {
    int64_t move;
    DWORD origin;
    ULONG ask;
    uint64_t position;  // after the seek
    ULONG got;
  };
  const Step steps[] = {
      {90, STREAM_SEEK_SET, 100, 90, 30},   // a read across the end is cut at it
      {0, STREAM_SEEK_CUR, 10, 120, 0},     // at the end: nothing, and still S_OK
      {-16, STREAM_SEEK_END, 4, 104, 4},
      {6, STREAM_SEEK_CUR, 1, 114, 1},      // 104 + 4 read + 6
      {200, STREAM_SEEK_SET, 5, 200, 0},    // past the end is allowed, reads give nothing
      {-300, STREAM_SEEK_CUR, 5, uint64_t(int64_t(200) - 300), 0},  // before the start: far past the end
      {7, 9, 3, 7, 0},                      // an unknown origin leaves the position
  };
  uint64_t expectAfter = 0;
  for (const Step& st : steps) {
    SCOPED_TRACE(st.position);
    if (st.origin == 9) {
      // The position stays where the previous read left it.
      EXPECT_EQ(SeekTo(s, st.move, st.origin), expectAfter);
      continue;
    }
    EXPECT_EQ(SeekTo(s, st.move, st.origin), st.position);
    std::array<uint8_t, 128> buf{};
    ULONG got = 999;
    EXPECT_EQ(s.Read(buf.data(), st.ask, &got), S_OK);
    EXPECT_EQ(got, st.got);
    if (got) {
      EXPECT_EQ(buf[0], uint8_t(st.position + 1));
    }
    expectAfter = st.position + got;
    EXPECT_EQ(s.Position(), expectAfter);
  }
  EXPECT_EQ(s.Read(nullptr, 1, nullptr), STG_E_INVALIDPOINTER);
}

TEST(MemoryStream, CopyToPassesOnlyWhatRemains) {
  Block b;
  CStream s(b.bytes.data(), b.bytes.size());
  SinkStream sink;
  SeekTo(s, 100, STREAM_SEEK_SET);
  ULARGE_INTEGER read{}, written{};
  EXPECT_EQ(s.CopyTo(&sink, ULARGE_INTEGER{50}, &read, &written), S_OK);
  EXPECT_EQ(read.QuadPart, 20u);
  EXPECT_EQ(written.QuadPart, 20u);
  ASSERT_EQ(sink.got.size(), 20u);
  EXPECT_EQ(sink.got.front(), 101);
  EXPECT_EQ(sink.got.back(), 120);
  EXPECT_EQ(s.Position(), 120u);
  EXPECT_EQ(s.CopyTo(nullptr, ULARGE_INTEGER{1}, nullptr, nullptr), STG_E_INVALIDPOINTER);
}

TEST(MemoryStream, RefusesChangesAndAnswersStat) {
  Block b;
  CStream s(b.bytes.data(), b.bytes.size());
  ULONG n = 0;
  EXPECT_EQ(s.Write(nullptr, 4, &n), STG_E_INVALIDPOINTER);
  EXPECT_EQ(s.Write(b.bytes.data(), 4, &n), E_NOTIMPL);
  EXPECT_EQ(s.LockRegion({}, {}, 0), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(s.UnlockRegion({}, {}, 0), STG_E_INVALIDFUNCTION);
  IStream* clone = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(s.Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(s.SetSize(ULARGE_INTEGER{1}), S_OK);
  EXPECT_EQ(s.Commit(0), S_OK);
  EXPECT_EQ(s.Revert(), S_OK);
  EXPECT_EQ(b.bytes[0], 1);

  STATSTG st{};
  EXPECT_EQ(s.Stat(nullptr, STATFLAG_NONAME), STG_E_INVALIDPOINTER);
  EXPECT_EQ(s.Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 120u);
  EXPECT_EQ(st.type, STGTY_STREAM);
  EXPECT_EQ(st.pwcsName, nullptr);
  EXPECT_NE(FileTimeToU64(st.mtime), 0u);
  EXPECT_EQ(s.Stat(&st, 2), STG_E_INVALIDFLAG);

  ASSERT_EQ(s.Stat(&st, STATFLAG_DEFAULT), S_OK);
  ASSERT_NE(st.pwcsName, nullptr);
  EXPECT_EQ(std::u16string(st.pwcsName), u"Memory IStream");
  CoTaskMemFree(st.pwcsName);

  SetCoTaskMemFailuresForTest(1);
  st.pwcsName = nullptr;
  EXPECT_EQ(s.Stat(&st, STATFLAG_DEFAULT), STG_E_INSUFFICIENTMEMORY);
  EXPECT_EQ(st.pwcsName, nullptr);
  SetCoTaskMemFailuresForTest(0);
}

TEST(MemoryStream, InterfacesAndReferenceCount) {
  Block b;
  CStream s(b.bytes.data(), b.bytes.size());
  const IID* known[] = {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream};
  for (const IID* id : known) {
    void* p = nullptr;
    EXPECT_EQ(s.QueryInterface(*id, &p), S_OK);
    EXPECT_EQ(p, static_cast<IStream*>(&s));
    EXPECT_EQ(s.Release(), 1u);
  }
  const IID other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  void* p = &s;
  EXPECT_EQ(s.QueryInterface(other, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(s.AddRef(), 2u);
  EXPECT_EQ(s.Release(), 1u);

  // A stream made on the heap ends itself at the last release; the block stays.
  auto* heap = new CStream(b.bytes.data(), b.bytes.size());
  heap->AddRef();
  EXPECT_EQ(heap->Release(), 1u);
  EXPECT_EQ(heap->Release(), 0u);
  EXPECT_EQ(b.bytes[119], 120);
}

}  // namespace
