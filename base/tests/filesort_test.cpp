#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "base/heap.h"
#include "base/sortutil.h"
#include "base/wholefile.h"
#include "platform/fileio.h"

namespace fs = std::filesystem;

namespace {

TEST(WholeFile, ReadAndWrite) {
  const fs::path dir = fs::temp_directory_path() / ("kestrel_wholefile_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const CString base = FromHostPath(dir.string());

  const CString empty = base + u"/empty";
  ASSERT_TRUE(WriteWholeFile(empty, nullptr, 0));
  uint8_t* buf = reinterpret_cast<uint8_t*>(uintptr_t(1));
  uint32_t len = 99;
  ASSERT_TRUE(ReadWholeFile(empty, buf, len));
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(buf, reinterpret_cast<uint8_t*>(uintptr_t(1)));  // untouched

  const CString data = base + u"/data";
  const char text[] = "hello, file";
  ASSERT_TRUE(WriteWholeFile(data, text, sizeof(text)));
  buf = nullptr;
  ASSERT_TRUE(ReadWholeFile(data, buf, len));
  ASSERT_EQ(len, sizeof(text));
  EXPECT_EQ(memcmp(buf, text, len), 0);
  FreeMem(buf);

  buf = nullptr;
  EXPECT_FALSE(ReadWholeFile(base + u"/missing", buf, len));
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(buf, nullptr);
  // A folder cannot be written as a file, and a path under a missing folder cannot be made.
  EXPECT_FALSE(WriteWholeFile(base, text, sizeof(text)));
  EXPECT_FALSE(WriteWholeFile(base + u"/no/such/file", text, sizeof(text)));
  fs::remove_all(dir);
}

TEST(WholeFile, AFailedWriteIsReportedAsAFailure) {
  // /dev/full accepts the open and refuses every write with "no space".
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const char text[] = "lost";
  EXPECT_FALSE(WriteWholeFile(u"/dev/full", text, sizeof(text)));
}

TEST(Sort, ComparisonsAndSorts) {
  EXPECT_EQ(CompareU32(1, 2), -1);
  EXPECT_EQ(CompareU32(2, 2), 0);
  EXPECT_EQ(CompareU32(0xFFFFFFFF, 0), 1);
  EXPECT_EQ(CompareU64(~0ull, 0), 1);
  EXPECT_EQ(CompareU64(0, ~0ull), -1);

  const struct {
    std::vector<uint64_t> in;
    bool unique;
    std::vector<uint64_t> out;
  } cases[] = {
      {{3, 1, 3, 2}, true, {1, 2, 3}},
      {{3, 1, 3, 2}, false, {1, 2, 3, 3}},
      {{}, true, {}},
      {{~0ull, 0, ~0ull}, true, {0, ~0ull}},
      {{7, 7, 7}, true, {7}},
  };
  for (const auto& c : cases) {
    std::vector<uint64_t> v = c.in;
    SortUniqueU64(v, c.unique);
    EXPECT_EQ(v, c.out);
  }

  std::vector<U64Triple> t = {{{2, 0, 0}}, {{1, 5, 9}}, {{1, 5, 2}}, {{1, 0, 9}}, {{1, 5, 2}}};
  SortTriples(t);
  const uint64_t want[][3] = {{1, 0, 9}, {1, 5, 2}, {1, 5, 2}, {1, 5, 9}, {2, 0, 0}};
  ASSERT_EQ(t.size(), 5u);
  for (size_t i = 0; i < t.size(); ++i) {
    EXPECT_EQ(t[i].v[0], want[i][0]);
    EXPECT_EQ(t[i].v[1], want[i][1]);
    EXPECT_EQ(t[i].v[2], want[i][2]);
  }
  EXPECT_EQ(CompareTriples({{1, 2, 3}}, {{1, 2, 3}}), 0);
  EXPECT_EQ(CompareTriples({{1, 2, 4}}, {{1, 2, 3}}), 1);
}

}  // namespace
