#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/heap.h"
#include "base/heap_testing.h"
#include "base/log.h"
#include "platform/hooks.h"

namespace {

struct Report {
  unsigned code;
  std::string text;
};
std::vector<Report> g_reports;
std::vector<std::string> g_logLines;

void RecordReport(unsigned code, const CString& text, bool queued) {
  EXPECT_TRUE(queued);
  g_reports.push_back({code, text.ToUtf8()});
}
void RecordLog(const CString& line) { g_logLines.push_back(line.ToUtf8()); }

class Heap : public ::testing::Test {
 protected:
  void SetUp() override {
    g_reports.clear();
    g_logLines.clear();
    ResetHeapReportsForTest();
    SetEventReportHandler(&RecordReport);
    SetLogSink(&RecordLog);
  }
  void TearDown() override {
    SetEventReportHandler(nullptr);
    SetLogSink(nullptr);
    SetHeapMemoryStatusProvider(nullptr);
    SetHeapAllocator(nullptr, nullptr);
    SetPartSummaryHandler(nullptr);
  }
};

TEST_F(Heap, BlockLayoutIsHeaderDataAndEndMark) {
  const uint64_t before = GetHeapUsageTotal();
  auto* p = static_cast<uint8_t*>(AllocMem(100, 1234));
  ASSERT_NE(p, nullptr);
  const uint8_t* head = p - 8;
  EXPECT_EQ(head[0], 'C');  // 0x4B43 little-endian
  EXPECT_EQ(head[1], 'K');
  EXPECT_EQ(head[2] | (head[3] << 8), 1234);
  EXPECT_EQ(head[4] | (head[5] << 8) | (head[6] << 16) | (uint32_t(head[7]) << 24), 100u);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_EQ(p[100], 'K');
  EXPECT_EQ(GetMemSize(p), 100u);
  EXPECT_EQ(GetHeapUsageTotal(), before + 109);
  FreeMem(p);
  EXPECT_EQ(GetHeapUsageTotal(), before);
  EXPECT_TRUE(g_reports.empty());
}

TEST_F(Heap, ZeroSizeGivesAFreeableEmptyBlock) {
  // Engine paths compute lengths of 0 from damaged disks; that must not end a scan.
  const uint64_t before = GetHeapUsageTotal();
  auto* p = static_cast<uint8_t*>(AllocMem(0, 77));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(GetMemSize(p), 0u);
  EXPECT_EQ(p[0], 'K');
  EXPECT_EQ(GetHeapUsageTotal(), before + 9);
  FreeMem(p);
  EXPECT_EQ(GetHeapUsageTotal(), before);
  EXPECT_TRUE(g_reports.empty());
}

TEST_F(Heap, CopyToMemClipsAndReportsOncePerTag) {
  auto* block = static_cast<uint8_t*>(AllocMem(64, 10));
  std::vector<uint8_t> src(100, 0xAB);
  EXPECT_EQ(CopyToMem(block, src.data(), 100, 501), block);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0xAB);
  EXPECT_EQ(block[64], 'K');  // the end mark survived
  EXPECT_EQ(CopyToMem(block, src.data(), 100, 501), block);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 18u);
  EXPECT_EQ(g_reports[0].text, "Mem oper: 501  ");
  ASSERT_EQ(g_logLines.size(), 1u);
  EXPECT_EQ(g_logLines[0], "Mem oper: 501  ");

  // Null or empty arguments copy nothing and report nothing.
  EXPECT_EQ(CopyToMem(nullptr, src.data(), 1, 502), nullptr);
  EXPECT_EQ(CopyToMem(block, nullptr, 1, 502), nullptr);
  EXPECT_EQ(CopyToMem(block, src.data(), 0, 502), nullptr);
  EXPECT_EQ(g_reports.size(), 1u);
  FreeMem(block);
}

TEST_F(Heap, CopyToMemAtClipsAtTheEnd) {
  auto* block = static_cast<uint8_t*>(AllocMem(16, 11));
  const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(CopyToMemAt(block, 4, src, 8, 601), block + 4);
  EXPECT_EQ(block[11], 8);
  EXPECT_TRUE(g_reports.empty());

  EXPECT_EQ(CopyToMemAt(block, 12, src, 8, 602), block + 12);  // cut at the end
  EXPECT_EQ(block[15], 4);
  EXPECT_EQ(block[16], 'K');
  EXPECT_EQ(CopyToMemAt(block, 16, src, 1, 603), nullptr);  // offset equal to the size
  EXPECT_EQ(CopyToMemAt(block, 0xFFFFFFFF, src, 1, 604), nullptr);
  EXPECT_EQ(CopyToMemAt(nullptr, 0, src, 1, 605), nullptr);
  ASSERT_EQ(g_reports.size(), 3u);
  for (const auto& r : g_reports) EXPECT_EQ(r.code, 18u);
  FreeMem(block);
}

TEST_F(Heap, FaultsAreReportedOncePerTagAcrossKinds) {
  LogMemError(16, 42);
  LogMemError(18, 42);
  LogMemError(17, 42);
  LogMemError(99, 43);
  ASSERT_EQ(g_reports.size(), 2u);
  EXPECT_EQ(g_reports[0].code, 16u);
  EXPECT_EQ(g_reports[0].text, "Mem begin err: 42  ");
  EXPECT_EQ(g_reports[1].code, 99u);
  EXPECT_EQ(g_reports[1].text, "Mem xxx: 43  ");
  EXPECT_EQ(g_logLines.size(), 2u);
}

TEST_F(Heap, FreeChecksBothMarks) {
  FreeMem(nullptr);
  EXPECT_TRUE(g_reports.empty());

  // Memory that never came from the heap: reported with tag 999 and left alone.
  alignas(8) uint8_t foreign[32] = {};
  FreeMem(foreign + 8);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 16u);
  EXPECT_EQ(g_reports[0].text, "Mem begin err: 999  ");

  // An overrun end mark: reported with the block's own tag; the block is released but the
  // total keeps its length.
  const uint64_t before = GetHeapUsageTotal();
  auto* p = static_cast<uint8_t*>(AllocMem(8, 321));
  p[8] = 0;
  FreeMem(p);
  ASSERT_EQ(g_reports.size(), 2u);
  EXPECT_EQ(g_reports[1].code, 17u);
  EXPECT_EQ(g_reports[1].text, "Mem end err: 321  ");
  EXPECT_EQ(GetHeapUsageTotal(), before + 17);
  SetHeapUsageTotal(before);
}

TEST_F(Heap, FreeingMoreThanTheTotalIsReportedEveryTime) {
  const uint64_t before = GetHeapUsageTotal();
  auto* p = AllocMem(100, 5);
  SetHeapUsageTotal(50);
  FreeMem(p);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 19u);
  EXPECT_EQ(g_reports[0].text, "Mem size: 50    free size: 100");
  EXPECT_EQ(GetHeapUsageTotal(), 50u);
  SetHeapUsageTotal(before);
}

CString Summary() { return u"RealPartNum: 1  [0,77] "; }

TEST_F(Heap, HighUseReportsOncePerNewGiBFromEight) {
  SetPartSummaryHandler(&Summary);
  const uint64_t before = GetHeapUsageTotal();
  const uint64_t GiB = 1ull << 30;
  SetHeapUsageTotal(GiB * 79 / 10);                   // 7.9 GiB
  AddMemUseForTest(GiB / 5, 88, uint32_t(GiB / 5));  // to 8.1 GiB
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 20u);
  EXPECT_EQ(g_reports[0].text,
            "Mem big: 8294(MB)   RealPartNum: 1  [0,77]    Line: 88  Size: 204.80(MB)  ");
  AddMemUseForTest(GiB / 2, 89, 1);  // 8.6 GiB: same level
  EXPECT_EQ(g_reports.size(), 1u);
  SetHeapUsageTotal(GiB * 7);  // falling and rising across 8 again sends nothing
  AddMemUseForTest(GiB + 1, 90, 1);
  EXPECT_EQ(g_reports.size(), 1u);
  SetHeapUsageTotal(GiB * 11 - 100);  // 11 GiB: no summary any more
  AddMemUseForTest(100, 91, 91);
  ASSERT_EQ(g_reports.size(), 2u);
  EXPECT_EQ(g_reports[1].text, "Mem big: 11264(MB)   Line: 91  Size: 91(B)  ");
  SetHeapUsageTotal(before);
}

HeapMemoryStatus g_status;
HeapMemoryStatus FakeStatus() { return g_status; }

TEST_F(Heap, RetryRuleFollowsTheMemoryStatus) {
  SetHeapMemoryStatusProvider(&FakeStatus);
  const uint64_t MiB = 1ull << 20;
  const uint64_t before = GetHeapUsageTotal();
  SetHeapUsageTotal(100 * MiB);
  struct Case {
    HeapMemoryStatus st;
    uint64_t usage;
    uint64_t n;
    bool retry;
  } cases[] = {
      {{true, 64, 24576 * MiB, 4096 * MiB}, 100 * MiB, 16 * MiB, true},
      {{true, 64, 7168 * MiB, 100 * MiB}, 100 * MiB, 16 * MiB, false},   // small machine: never
      {{true, 64, 7169 * MiB, 100 * MiB}, 100 * MiB, 16 * MiB, true},
      {{true, 64, 24576 * MiB, 12288 * MiB}, 100 * MiB, 16 * MiB, false},  // half is still free
      {{true, 64, 24576 * MiB, 4096 * MiB}, 100 * MiB, 64 * MiB, true},    // below 128 MiB, use < 1 GiB
      {{true, 64, 24576 * MiB, 4096 * MiB}, 1500 * MiB, 64 * MiB, false},
      {{true, 64, 24576 * MiB, 4096 * MiB}, 1500 * MiB, 16 * MiB, true},
      {{true, 64, 24576 * MiB, 4096 * MiB}, 3000 * MiB, 16 * MiB, false},
      {{true, 64, 24576 * MiB, 4096 * MiB}, 100 * MiB, 200 * MiB, false},
      {{false, 64, 24576 * MiB, 4096 * MiB}, 100 * MiB, 16 * MiB, false},  // no status query
      {{true, 32, 24576 * MiB, 4096 * MiB}, 100 * MiB, 16 * MiB, false},   // length changed
  };
  for (const auto& c : cases) {
    g_status = c.st;
    SetHeapUsageTotal(c.usage);
    EXPECT_EQ(HeapRetryOffered(c.n), c.retry) << (c.st.totalPhys >> 20) << " " << (c.usage >> 20) << " "
                                              << (c.n >> 20);
  }
  SetHeapUsageTotal(before);
}

void* FailingAlloc(uint64_t) { return nullptr; }

// A machine of 4 GiB: a failed allocation is never offered a retry there.
void UseSmallMachineStatus() {
  g_status = HeapMemoryStatus{true, 64, 4096ull << 20, 100ull << 20};
  SetHeapMemoryStatusProvider(&FakeStatus);
}

int g_prompts = 0;
bool CountPromptAndRetry(const CString& text, const CString& first, const CString&) {
  ++g_prompts;
  fprintf(stderr, "prompt:%s|%s\n", text.ToUtf8().c_str(), first.ToUtf8().c_str());
  // Let the second try succeed.
  SetHeapAllocator(nullptr, nullptr);
  return true;
}

TEST_F(Heap, RetryFromThePromptTriesTheSameBlockAgain) {
  g_status = {true, 64, 24576ull << 20, 4096ull << 20};
  SetHeapMemoryStatusProvider(&FakeStatus);
  SetHeapAllocator(&FailingAlloc, nullptr);
  SetMessageBoxHandler(&CountPromptAndRetry);
  g_prompts = 0;
  const uint64_t before = GetHeapUsageTotal();
  SetHeapUsageTotal(0);
  void* p = AllocMem(1000, 12);
  EXPECT_NE(p, nullptr);
  EXPECT_EQ(g_prompts, 1);
  FreeMem(p);
  SetMessageBoxHandler(nullptr);
  SetHeapUsageTotal(before);
}

bool AnswerExit(const CString& text, const CString& first, const CString&) {
  fprintf(stderr, "prompt:[%s] first:[%s]\n", text.ToUtf8().c_str(), first.ToUtf8().c_str());
  return false;
}
void ExitReport(int code, const CString& msg) { fprintf(stderr, "exit %d %s\n", code, msg.ToUtf8().c_str()); }

TEST(HeapDeathTest, FailedAllocationPromptsThenStops) {
  EXPECT_EXIT(
      {
        UseSmallMachineStatus();
        SetHeapAllocator(&FailingAlloc, nullptr);
        SetMessageBoxHandler(&AnswerExit);
        SetExitReportHandler(&ExitReport);
        AllocMem(4096, 33);
      },
      ::testing::ExitedWithCode(1), "prompt:\\[: 4.01\\(KB\\)  \\] first:\\[\\].*exit 1 Alloc mem failed!");
}

TEST(HeapDeathTest, SizeAboveThirtyTwoBitsIsAFailedAllocation) {
  // Never a truncated header: the request is refused through the fatal path.
  EXPECT_EXIT(
      {
        SetMessageBoxHandler(&AnswerExit);
        SetExitReportHandler(&ExitReport);
        AllocMem(0x100000000ull, 34);
      },
      ::testing::ExitedWithCode(1), "exit 1 Alloc mem failed!");
  EXPECT_EXIT(
      {
        SetExitReportHandler(&ExitReport);
        AllocMem(0xFFFFFFFFull - 8, 35);
      },
      ::testing::ExitedWithCode(1), "exit 1 Alloc mem failed!");
}

}  // namespace
