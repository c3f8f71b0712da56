// Test fixtures for the settings files: a scrambled "Recovery.dat" built from texts with
// minizip, and a "Base.dat", written into a program folder of the test's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cstring.h"
#include "resources/zipwrite.h"

// One archive text entry. The text becomes UTF-16LE with CR LF line ends, with a byte-order
// mark unless bom is false.
ZipSourceEntry TextEntry(const std::string& name, const std::string& utf8, bool bom = true);

// The archive's bytes, packed and scrambled as "Recovery.dat" holds them (empty on failure).
std::vector<uint8_t> BuildRecoveryDat(const std::vector<ZipSourceEntry>& entries);

// Writes "Recovery.dat" / "Base.dat" into the folder (with or without a trailing '/').
bool WriteRecoveryDat(const CString& dir, const std::vector<ZipSourceEntry>& entries);
bool WriteBaseDat(const CString& dir, const std::string& iniText);

// A fresh, empty folder under the system's temporary folder, named after the tag and the
// process; the program folder of a start-up test.
CString MakeTestProgramDir(const std::string& tag);

// A whole program folder: "Base.dat" naming brand, version and English, and "Recovery.dat"
// holding "<brand>/VerCfg.txt" and "Lang/English.txt" from the texts.
bool WriteTestSettings(const CString& dir, const std::string& brand, const std::string& version,
                       const std::string& verCfg, const std::string& lang);
