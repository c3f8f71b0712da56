#include "scansave/bufferedscanfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "scansave/tests/scansavetestutil.h"

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + seed + (i >> 13));
  return v;
}

uint64_t SizeOnDisk(const CString& path) {
  struct stat st {};
  return stat(path.ToUtf8().c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

TEST(BufferedScanFile, PiecesUpTo8MiBPassAndTheFileGetsExactlyTheBytesInOrder) {
  TempFolder dir;
  const CString path = dir.File("a.dat");
  const std::vector<uint8_t> whole = Pattern(kScanFileBufferBytes, 1), small = Pattern(1000, 2), mid = Pattern(3 << 20, 3);
  {
    BufferedScanFile f;
    ASSERT_TRUE(f.Create(path));
    ASSERT_TRUE(f.Write(small.data(), uint32_t(small.size())));
    EXPECT_EQ(SizeOnDisk(path), 0u) << "small pieces stay in the buffer";
    ASSERT_TRUE(f.Write(mid.data(), uint32_t(mid.size())));
    ASSERT_TRUE(f.Write(mid.data(), uint32_t(mid.size())));
    EXPECT_EQ(SizeOnDisk(path), 1000u + 6 * (1u << 20)) << "the buffer goes out once it holds 4 MiB";
    ASSERT_TRUE(f.Write(whole.data(), kScanFileBufferBytes)) << "exactly 8 MiB is one piece";
    ASSERT_TRUE(f.Finish());
  }
  std::vector<uint8_t> expect = small;
  expect.insert(expect.end(), mid.begin(), mid.end());
  expect.insert(expect.end(), mid.begin(), mid.end());
  expect.insert(expect.end(), whole.begin(), whole.end());
  EXPECT_EQ(FileBytes(path), expect);

  // Reading back in pieces of awkward sizes crosses every refill of the buffer.
  BufferedScanFile r;
  ASSERT_TRUE(r.OpenRead(path));
  EXPECT_EQ(r.FileSize(), expect.size());
  std::vector<uint8_t> got;
  const uint32_t sizes[] = {999, 5u << 20, 1, kScanFileBufferBytes, 3};
  for (uint32_t n : sizes) {
    std::vector<uint8_t> piece(n);
    if (got.size() + n > expect.size()) break;
    ASSERT_TRUE(r.Read(piece.data(), n)) << n;
    got.insert(got.end(), piece.begin(), piece.end());
    EXPECT_EQ(r.Consumed(), got.size());
  }
  const uint32_t rest = uint32_t(expect.size() - got.size());
  std::vector<uint8_t> tail(rest);
  ASSERT_TRUE(r.Read(tail.data(), rest));
  got.insert(got.end(), tail.begin(), tail.end());
  EXPECT_EQ(got, expect);
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(BufferedScanFile, OversizedPiecesAndShortReadsFailCleanly) {
  TempFolder dir;
  const CString path = dir.File("b.dat");
  std::vector<uint8_t> big(kScanFileBufferBytes + 1, 0xAB);
  {
    BufferedScanFile f;
    ASSERT_TRUE(f.Create(path));
    const uint8_t x[3] = {1, 2, 3};
    ASSERT_TRUE(f.Write(x, 3));
    EXPECT_FALSE(f.Write(big.data(), uint32_t(big.size())));
    EXPECT_FALSE(f.Write(x, 3)) << "a failed save stays failed";
    EXPECT_FALSE(f.Finish());
  }
  PutFileBytes(path, {9, 8, 7, 6, 5});
  BufferedScanFile r;
  ASSERT_TRUE(r.OpenRead(path));
  std::vector<uint8_t> dst(8, 0xEE);
  EXPECT_FALSE(r.Read(dst.data(), 8)) << "only 5 bytes are there";
  EXPECT_EQ(dst, std::vector<uint8_t>(8, 0)) << "the destination is zero-filled";
  EXPECT_FALSE(r.Read(big.data(), uint32_t(big.size())));
  uint8_t two[2];
  ASSERT_TRUE(r.Read(two, 2)) << "a failed read consumes nothing";
  EXPECT_EQ(two[0], 9);
  EXPECT_TRUE(r.Skip(3));
  EXPECT_FALSE(r.Skip(1));
  EXPECT_FALSE(r.Write(two, 1)) << "no writes in read mode";
}

TEST(BufferedScanFile, AFullDiskFailsTheSave) {
  BufferedScanFile f;
  if (!f.Create(CString(u"/dev/full"))) GTEST_SKIP() << "no /dev/full";
  std::vector<uint8_t> piece(1 << 20, 1);
  bool ok = true;
  for (int i = 0; i < 6 && ok; ++i) ok = f.Write(piece.data(), uint32_t(piece.size()));
  EXPECT_FALSE(ok) << "the 4 MiB flush meets the full disk";
  EXPECT_FALSE(f.Finish());
  BufferedScanFile g;
  ASSERT_TRUE(g.Create(CString(u"/dev/full")));
  ASSERT_TRUE(g.Write(piece.data(), 100)) << "held in the buffer";
  EXPECT_FALSE(g.Finish()) << "the last piece fails at the end";
}

}  // namespace
