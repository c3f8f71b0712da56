#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/packedtime.h"
#include "base/sizetext.h"
#include "platform/wintime.h"

namespace {

// Pins the time zone for one test and restores it afterwards.
class ScopedTz {
 public:
  explicit ScopedTz(const char* tz) {
    if (const char* old = getenv("TZ")) old_ = old, had_ = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTz() {
    if (had_) setenv("TZ", old_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(PackedTime, PackTimeClampsEachField) {
  struct Case {
    uint32_t y, mo, d, h, mi, s;
    uint32_t packed;
  };
  const Case cases[] = {
      {2024, 2, 29, 13, 5, 9, 0xB0BAD149},
      {1980, 1, 1, 23, 59, 59, 0x437EFB},
      {5, 1, 1, 0, 0, 0, 0x14420000},     // a FAT year offset: 1985
      {99, 1, 1, 0, 0, 0, PackTime(2079, 1, 1, 0, 0, 0)},
      {100, 1, 1, 0, 0, 0, 0x420000},     // neither offset nor a real year: 1980
      {1500, 1, 1, 0, 0, 0, 0x420000},
      {2044, 1, 1, 0, 0, 0, 0x420000},    // the year wraps modulo 64
      {2000, 0, 0, 24, 60, 60, PackTime(2000, 1, 1, 23, 59, 59)},
      {2000, 13, 32, 0, 0, 0, PackTime(2000, 1, 1, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PackTime(c.y, c.mo, c.d, c.h, c.mi, c.s), c.packed) << c.y << "-" << c.mo << "-" << c.d;
  }
  // The upper bound of a day carries 23:59:59 in its low bits.
  EXPECT_EQ(PackTime(2010, 6, 7, 23, 59, 59) & 0x1FFFF, kPackedEndOfDay);
}

TEST(PackedTime, Texts) {
  EXPECT_EQ(PackedTimeToText(0), CString(u"1900-01-01  00:00"));
  EXPECT_EQ(PackedTimeToText(0x437EFB), CString(u"1980-01-01  23:59:59"));
  EXPECT_EQ(PackedTimeToText(0xB0BAD149), CString(u"2024-02-29  13:05:09"));

  const struct {
    uint32_t s;
    const char16_t* text;
  } durations[] = {{3725, u"1:02:05"}, {125, u"02:05"}, {5, u"05"}, {0, u"00"}, {3600, u"1:00:00"}, {60, u"01:00"}};
  for (const auto& c : durations) EXPECT_EQ(FormatDuration(c.s), CString(c.text)) << c.s;

  const CString now = GetNowText();
  ASSERT_EQ(now.GetLength(), 19);
  EXPECT_EQ(now[4], u'-');
  EXPECT_EQ(now[10], u' ');
}

TEST(PackedTime, FileTimeRoundTripInAFixedZone) {
  ScopedTz tz("XST-3");  // three hours east of UTC, no daylight saving
  EXPECT_EQ(CurrentUtcOffsetSeconds(), 3 * 3600);
  FILETIME ft = {1, 2};
  EXPECT_FALSE(PackedTimeToFileTime(0, ft));
  EXPECT_EQ(ft.dwLowDateTime, 1u);
  EXPECT_EQ(ft.dwHighDateTime, 2u);

  // 2020-01-15 10:20:30 UTC is 13:20:30 local.
  const FILETIME utc = UnixToFileTime(1579083630);
  FILETIME local;
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  const uint32_t packed = PackTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  EXPECT_EQ(PackedTimeToText(packed), CString(u"2020-01-15  13:20:30"));
  FILETIME back;
  ASSERT_TRUE(PackedTimeToFileTime(packed, back));
  EXPECT_EQ(FileTimeToU64(back), FileTimeToU64(utc));
}

TEST(PackedTime, DamagedFieldsNeverStopTheConversion) {
  ScopedTz tz("UTC0");
  // Month 0 and 13..15, day 0, hour 31, minute and second 63: what a damaged scan-state file
  // may hold. mktime normalises them; the texts print the raw fields.
  const uint32_t damaged[] = {
      (40u << 26) | (0u << 22) | (1u << 17),
      (40u << 26) | (13u << 22) | (1u << 17),
      (40u << 26) | (15u << 22) | (0u << 17) | (31u << 12) | (63u << 6) | 63u,
      0xFFFFFFFFu,
  };
  for (uint32_t p : damaged) {
    FILETIME ft = {};
    (void)PackedTimeToFileTime(p, ft);
    EXPECT_FALSE(PackedTimeToText(p).IsEmpty());
  }
  FILETIME ft;
  // 2020-00-01 is read as 2019-12-01.
  ASSERT_TRUE(PackedTimeToFileTime((40u << 26) | (0u << 22) | (1u << 17), ft));
  EXPECT_EQ(FileTimeToUnix(ft), 1575158400);
}

TEST(PackedTime, IsoUtcToLocalText) {
  ScopedTz tz("XST-3");
  EXPECT_EQ(IsoUtcToLocalText(u"2021-03-04T22:30:05Z"), CString(u"2021-03-05 01:30:05"));
  EXPECT_EQ(IsoUtcToLocalText(u"2021-3-4T1:2:3Z"), CString(u"2021-03-04 04:02:03"));
  EXPECT_EQ(IsoUtcToLocalText(u"2021-03-04T22:30:05.250Z"), CString(u"2021-03-05 01:30:05"));
  // Malformed texts give an empty text instead of a time made from unread fields.
  for (const char16_t* bad : {u"", u"2021-03-04", u"2021-03-04T22:30Z", u"garbage", u"2021-13-04T22:30:05Z",
                              u"2021-02-30T22:30:05Z", u"2021-03-04 22:30:05Z"}) {
    EXPECT_EQ(IsoUtcToLocalText(bad), CString()) << CString(bad).ToUtf8();
  }
}

TEST(SizeText, ByteAndSectorBoundaries) {
  const struct {
    uint64_t n;
    const char16_t* text;
  } bytes[] = {{0, u"0(B)"},          {1023, u"1023(B)"},           {1024, u"1.00(KB)"},
               {1536, u"1.50(KB)"},   {0x100000, u"1.00(MB)"},      {0x40000000, u"1.00(GB)"},
               {0x10000000000, u"1.00(TB)"}};
  for (const auto& c : bytes) EXPECT_EQ(FormatByteSize(c.n), CString(c.text)) << c.n;
  const struct {
    uint64_t n;
    const char16_t* text;
  } sectors[] = {{0, u"0.00(MB)"},           {2047, u"0.00(MB)"},          {2048, u"1.00(MB)"},
                 {0x1FFFFF, u"1023.00(MB)"}, {0x200000, u"1.00(GB)"},      {0x300000, u"1.50(GB)"},
                 {0x80000000, u"1.00(TB)"}};
  for (const auto& c : sectors) EXPECT_EQ(FormatSectorSize(c.n), CString(c.text)) << c.n;
}

}  // namespace
