// The one search filter of the running program: the words looked for in names, the size range
// in KiB and the creation and modification date ranges, with its parser and the per-record
// test that sets the visible flag. Used on the user-interface thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"

struct FileFilterSettings {
  CString keywords;                 // words separated by ';' (the search dialog's text)
  uint32_t minSizeKiB = 0;          // size >> 10
  uint32_t maxSizeKiB = 0x8000000;
  uint32_t creationFrom = 0x420000;  // packed times; 0x420000 is 1980-01-01 00:00:00
  uint32_t creationTo = 0;
  uint32_t modificationFrom = 0x420000;
  uint32_t modificationTo = 0;
  uint32_t accessFrom = 0x420000;    // kept, not tested
  uint32_t accessTo = 0;
};

// The packed time of a day at 23:59:59, the upper bound of a date range.
uint32_t EndOfDayPacked(uint32_t year, uint32_t month, uint32_t day);
// The start-up filter: no words, 0 … 0x8000000 KiB, 1980-01-01 00:00:00 up to the given day at
// 23:59:59 for every range.
FileFilterSettings MakeDefaultFileFilter(uint32_t year, uint32_t month, uint32_t day);

// The process-wide filter (start-up values for today) and its parsed words.
FileFilterSettings& FileFilter();
std::vector<CString>& FilterNameWords();

// Rebuilds FilterNameWords from the filter's keyword text: '*', ';' and '?' act as blanks.
void ParseFileFilterText();
// Appends the non-empty pieces between blanks; 1.
int SplitFilterWords(const CString& text, std::vector<CString>& out);
// Sets or clears a file's visible flag from the filter; a directory's flag is only cleared
// (MarkVisibleDirectories decides it).
void MatchFileFilter(FileRecord* r);
// 1 when the item (for a directory: anything below it) is visible; sets every directory's
// visible flag accordingly.
int MarkVisibleDirectories(VolumeContext& v, uint32_t id);
