#include "base/packedtime.h"

#include <cstdio>
#include <ctime>

#include "platform/wintime.h"

uint32_t PackTime(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                  uint32_t second) {
  if (year < 1980) year = year < 100 ? year + 1980 : 1980;
  if (month < 1 || month > 12) month = 1;
  if (day < 1 || day > 31) day = 1;
  if (hour > 23) hour = 23;
  if (minute > 59) minute = 59;
  if (second > 59) second = 59;
  return ((year - 1980) % 64) << 26 | month << 22 | day << 17 | hour << 12 | minute << 6 | second;
}

bool PackedTimeToFileTime(uint32_t packed, FILETIME& ft) {
  if (packed == 0) return false;
  // Taken as standard time and normalised by mktime; localtime then applies the daylight
  // saving of that date.
  struct tm t = {};
  t.tm_year = int(packed >> 26) + 1980 - 1900;
  t.tm_mon = int((packed >> 22) & 0xF) - 1;
  t.tm_mday = int((packed >> 17) & 0x1F);
  t.tm_hour = int((packed >> 12) & 0x1F);
  t.tm_min = int((packed >> 6) & 0x3F);
  t.tm_sec = int(packed & 0x3F);
  t.tm_isdst = 0;
  time_t when = mktime(&t);
  struct tm local;
  if (when == time_t(-1) || !localtime_r(&when, &local)) return false;
  SYSTEMTIME st = {};
  st.wYear = WORD(local.tm_year + 1900);
  st.wMonth = WORD(local.tm_mon + 1);
  st.wDay = WORD(local.tm_mday);
  st.wHour = WORD(local.tm_hour);
  st.wMinute = WORD(local.tm_min);
  st.wSecond = WORD(local.tm_sec > 59 ? 59 : local.tm_sec);
  FILETIME localFt;
  if (!SystemTimeToFileTime(&st, &localFt)) return false;
  FILETIME utc;
  if (!LocalFileTimeToFileTime(&localFt, &utc)) return false;
  ft = utc;
  return true;
}

CString PackedTimeToText(uint32_t packed) {
  if (packed == 0) return CString(u"1900-01-01  00:00");
  return FormatCString(u"%d-%02d-%02d  %02d:%02d:%02d", int(packed >> 26) + 1980, int((packed >> 22) & 0xF),
                       int((packed >> 17) & 0x1F), int((packed >> 12) & 0x1F), int((packed >> 6) & 0x3F),
                       int(packed & 0x3F));
}

CString GetNowText() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return FormatCString(u"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                       st.wSecond);
}

CString IsoUtcToLocalText(const CString& iso) {
  int y, mo, d, h, mi, s;
  // All six numbers must be there; what follows the seconds (the 'Z', a fraction) is not read.
  if (sscanf(iso.ToUtf8().c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return CString();
  if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      s < 0 || s > 59)
    return CString();
  SYSTEMTIME st = {};
  st.wYear = WORD(y);
  st.wMonth = WORD(mo);
  st.wDay = WORD(d);
  st.wHour = WORD(h);
  st.wMinute = WORD(mi);
  st.wSecond = WORD(s);
  FILETIME utc, local;
  SYSTEMTIME out;
  if (!SystemTimeToFileTime(&st, &utc) || !FileTimeToLocalFileTime(&utc, &local) ||
      !FileTimeToSystemTime(&local, &out))
    return CString();
  return FormatCString(u"%d-%02d-%02d %02d:%02d:%02d", int(out.wYear), int(out.wMonth), int(out.wDay),
                       int(out.wHour), int(out.wMinute), int(out.wSecond));
}

CString FormatDuration(uint32_t seconds) {
  if (seconds >= 3600)
    return FormatCString(u"%u:%02u:%02u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  if (seconds >= 60) return FormatCString(u"%02u:%02u", seconds / 60, seconds % 60);
  return FormatCString(u"%02u", seconds);
}
