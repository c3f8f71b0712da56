// "Base.dat": the small INI file beside the program that names the brand, version and language.
#pragma once

#include "platform/cstring.h"
#include "platform/wintypes.h"

// Reads one value of an INI file as the profile-string reader does: section and key names
// compare without regard to case, the value is trimmed, surrounding quotes are removed and it
// is cut to 259 characters. ANSI/UTF-8 files (with or without a UTF-8 byte-order mark) and
// UTF-16LE files with a byte-order mark are read. Empty when the file, section or key is missing.
CString ReadIniValue(const CString& path, const CString& section, const CString& key);

// The pause before an empty "Base.dat" value is read once more (1000 ms). Tests install a
// sleep that only records, so a missing value costs them nothing; null restores Sleep.
using CfgRetrySleep = void (*)(DWORD milliseconds);
void SetCfgRetrySleep(CfgRetrySleep sleep);

// Reads "Brand", "Version", "language" and "Owner" of section "Setting" into the base table.
// An empty value is read again after the retry pause. A missing "Brand", "Version" or
// "language" fails with "ReadBaseCfg err 1", "2" or "3"; "Owner" is optional.
bool ReadBaseCfg(CString& errText);
