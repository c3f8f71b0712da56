// Calendar time in the Windows shapes: SYSTEMTIME fields and FILETIME (100 ns since
// 1601-01-01 UTC). Local conversions follow the TZ in force; FileTimeToLocalFileTime and its
// inverse use the offset in force now, as Windows does, not the one of the converted date.
#pragma once

#include <ctime>

#include "platform/wintypes.h"

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpochDelta = 11644473600LL;

void GetLocalTime(SYSTEMTIME* st);
void GetSystemTime(SYSTEMTIME* st);
void GetSystemTimeAsFileTime(FILETIME* ft);
// False for fields out of range (month 0, day 32, ...).
BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft);
BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

// Unix seconds (and nanoseconds) to FILETIME and back; times before 1601 clamp to 0.
FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds = 0);
int64_t FileTimeToUnix(const FILETIME& ft);

// The local offset from UTC in force now, in seconds (east positive).
long CurrentUtcOffsetSeconds();
