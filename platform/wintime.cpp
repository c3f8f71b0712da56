#include "platform/wintime.h"

#include <sys/time.h>

namespace {

constexpr int64_t kTicksPerSecond = 10000000;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : d[m - 1];
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = int(yy + (m <= 2));
}

void TmToSystemTime(const struct tm& t, int ms, SYSTEMTIME* st) {
  st->wYear = WORD(t.tm_year + 1900);
  st->wMonth = WORD(t.tm_mon + 1);
  st->wDayOfWeek = WORD(t.tm_wday);
  st->wDay = WORD(t.tm_mday);
  st->wHour = WORD(t.tm_hour);
  st->wMinute = WORD(t.tm_min);
  st->wSecond = WORD(t.tm_sec > 59 ? 59 : t.tm_sec);
  st->wMilliseconds = WORD(ms);
}

}  // namespace

void GetLocalTime(SYSTEMTIME* st) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  time_t s = ts.tv_sec;
  localtime_r(&s, &t);
  TmToSystemTime(t, int(ts.tv_nsec / 1000000), st);
}

void GetSystemTime(SYSTEMTIME* st) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  time_t s = ts.tv_sec;
  gmtime_r(&s, &t);
  TmToSystemTime(t, int(ts.tv_nsec / 1000000), st);
}

void GetSystemTimeAsFileTime(FILETIME* ft) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  *ft = UnixToFileTime(ts.tv_sec, ts.tv_nsec);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
  if (!st || !ft) return FALSE;
  if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
      st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 ||
      st->wSecond > 59 || st->wMilliseconds > 999)
    return FALSE;
  int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
  int64_t secs = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
  uint64_t ticks = uint64_t(secs + kFileTimeEpochDelta) * kTicksPerSecond + uint64_t(st->wMilliseconds) * 10000;
  *ft = U64ToFileTime(ticks);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) {
  if (!ft || !st) return FALSE;
  uint64_t ticks = FileTimeToU64(*ft);
  if (ticks >> 63) return FALSE;
  int64_t secs = int64_t(ticks / kTicksPerSecond) - kFileTimeEpochDelta;
  int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
  int64_t rem = secs - days * 86400;
  int y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  st->wYear = WORD(y);
  st->wMonth = WORD(m);
  st->wDay = WORD(d);
  st->wDayOfWeek = WORD(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  st->wHour = WORD(rem / 3600);
  st->wMinute = WORD((rem / 60) % 60);
  st->wSecond = WORD(rem % 60);
  st->wMilliseconds = WORD((ticks % kTicksPerSecond) / 10000);
  return TRUE;
}

long CurrentUtcOffsetSeconds() {
  time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  return t.tm_gmtoff;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (!utc || !local) return FALSE;
  int64_t v = int64_t(FileTimeToU64(*utc)) + int64_t(CurrentUtcOffsetSeconds()) * kTicksPerSecond;
  *local = U64ToFileTime(uint64_t(v < 0 ? 0 : v));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  if (!local || !utc) return FALSE;
  int64_t v = int64_t(FileTimeToU64(*local)) - int64_t(CurrentUtcOffsetSeconds()) * kTicksPerSecond;
  *utc = U64ToFileTime(uint64_t(v < 0 ? 0 : v));
  return TRUE;
}

FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds) {
  int64_t s = seconds + kFileTimeEpochDelta;
  if (s < 0) return FILETIME{0, 0};
  return U64ToFileTime(uint64_t(s) * kTicksPerSecond + uint64_t(nanoseconds / 100));
}

int64_t FileTimeToUnix(const FILETIME& ft) {
  return int64_t(FileTimeToU64(ft) / kTicksPerSecond) - kFileTimeEpochDelta;
}
