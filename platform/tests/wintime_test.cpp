#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/wintime.h"

namespace {

class PinnedZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    saved_ = tz ? tz : "";
    had_ = tz != nullptr;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (had_) setenv("TZ", saved_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  std::string saved_;
  bool had_ = false;
};

TEST(WinTime, FileTimeAndSystemTimeRoundTrip) {
  struct Case {
    SYSTEMTIME st;
    uint64_t ticks;
  } cases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ull},
      {{2024, 2, 4, 29, 13, 5, 9, 250}, 133536855092500000ull},
  };
  for (const auto& c : cases) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft));
    EXPECT_EQ(FileTimeToU64(ft), c.ticks);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.st.wYear);
    EXPECT_EQ(back.wMonth, c.st.wMonth);
    EXPECT_EQ(back.wDay, c.st.wDay);
    EXPECT_EQ(back.wDayOfWeek, c.st.wDayOfWeek);
    EXPECT_EQ(back.wHour, c.st.wHour);
    EXPECT_EQ(back.wSecond, c.st.wSecond);
    EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
  }
}

TEST(WinTime, FieldsOutOfRangeAreRefused) {
  FILETIME ft;
  SYSTEMTIME bad[] = {{2023, 2, 0, 29, 0, 0, 0, 0}, {2023, 13, 0, 1, 0, 0, 0, 0},
                      {2023, 0, 0, 1, 0, 0, 0, 0},  {2023, 4, 0, 31, 0, 0, 0, 0},
                      {2023, 1, 0, 1, 24, 0, 0, 0}, {1600, 1, 0, 1, 0, 0, 0, 0}};
  for (const auto& st : bad) EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
}

TEST_F(PinnedZone, LocalConversionsUseTheOffsetInForceNow) {
  long offset = CurrentUtcOffsetSeconds();
  EXPECT_TRUE(offset == 3600 || offset == 7200);
  FILETIME utc = UnixToFileTime(1700000000), local, back;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  EXPECT_EQ(int64_t(FileTimeToU64(local) - FileTimeToU64(utc)), int64_t(offset) * 10000000);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(FileTimeToU64(back), FileTimeToU64(utc));
}

TEST_F(PinnedZone, GetLocalTimeAgreesWithTheClock) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  EXPECT_EQ(st.wYear, t.tm_year + 1900);
  EXPECT_EQ(st.wMonth, t.tm_mon + 1);
  EXPECT_EQ(st.wDay, t.tm_mday);
}

TEST(WinTime, UnixConversions) {
  EXPECT_EQ(FileTimeToUnix(UnixToFileTime(1234567890)), 1234567890);
  EXPECT_EQ(FileTimeToU64(UnixToFileTime(-kFileTimeEpochDelta - 10)), 0u);
}

}  // namespace
