// The packed time of found files and its texts.
//
// A packed time is local time in 32 bits, ordered from the year down so that two values
// compare chronologically as unsigned numbers:
//   ((year - 1980) mod 64) << 26 | month << 22 | day << 17 | hour << 12 | minute << 6 | second
// 0 means "no time".
#pragma once

#include <cstdint>

#include "platform/cstring.h"
#include "platform/wintypes.h"

// The low 17 bits of a packed time at 23:59:59, the upper bound of a whole day.
constexpr uint32_t kPackedEndOfDay = 0x17EFB;

// Clamps and packs. A year below 100 is an offset from 1980 (FAT passes its 7-bit year offset
// directly); any other year below 1980 becomes 1980. A month or day out of range becomes 1,
// an hour above 23 becomes 23, a minute or second above 59 becomes 59.
uint32_t PackTime(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                  uint32_t second);

// Local packed time to a UTC FILETIME; false for 0 (the FILETIME is left alone). The fields are
// normalised as mktime does, so a damaged value (month 0, day 31 of April) converts too.
bool PackedTimeToFileTime(uint32_t packed, FILETIME& ft);

// "%d-%02d-%02d  %02d:%02d:%02d"; 0 gives "1900-01-01  00:00".
CString PackedTimeToText(uint32_t packed);
// The current local time as "%04u-%02u-%02u %02u:%02u:%02u".
CString GetNowText();
// "YYYY-M-DTh:m:sZ" (UTC) as local "%d-%02d-%02d %02d:%02d:%02d"; empty when the six numbers
// are not all there or a field is out of range.
CString IsoUtcToLocalText(const CString& iso);
// "%u:%02u:%02u" from one hour, "%02u:%02u" from one minute, else "%02u".
CString FormatDuration(uint32_t seconds);
