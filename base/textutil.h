// Small text helpers: 8-bit to wide conversions, splitting, replacing, trimming, no-case
// comparison and copies into fixed buffers or guarded-heap buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cstring.h"

// NUL-terminated UTF-8 or ANSI bytes to text; null gives an empty text.
CString Utf8ToCString(const char* text);
CString AnsiToCString(const char* text);
// The ANSI text at `text`, which must lie inside [start, start + length); it ends at its NUL or
// at the end of the buffer, whichever comes first, and is cut to its first n characters.
CString AnsiInBufToCString(const void* start, size_t length, const char* text, int n);

// False for an empty text. Otherwise before = the text and after = ""; when the first '*'
// stands at an index above 0, before is what precedes it and after what follows it.
bool SplitAtStar(const CString& text, CString& before, CString& after);
// Replaces every occurrence. With rescan the search resumes at the start of the inserted text,
// so text made by a replacement is examined again; without it, just behind it. An empty search
// text, or a rescan whose replacement holds the search text, could never end: such a call
// replaces once per occurrence without rescanning.
void ReplaceAll(CString& text, const CString& search, const CString& replacement, bool rescan);
// Removes blanks and tabs at both ends.
void TrimBlanks(CString& text);
// Every ':' becomes a blank, except a drive colon at index 1.
void ColonToBlank(CString& text);
// Compares exactly n units (NUL included, no early stop). An ASCII capital facing a small ASCII
// letter is compared as its small letter. -1, 0 or 1.
int CompareNoCaseN(const char16_t* a, const char16_t* b, size_t n);
// Upper-cased copies compared for equality.
bool IsSameNoCase(const CString& a, const CString& b);
// At most n - 1 units and a NUL; an empty text or n = 0 copies nothing.
void CopyToWBuf(char16_t* buf, size_t n, const CString& text);
// False for an empty text; otherwise frees *buf (when set) and makes it a guarded-heap copy of
// the text with its NUL.
bool DupCStringToMem(const CString& text, char16_t*& buf);
