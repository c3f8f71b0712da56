// Start-up of the settings: "Base.dat", then the edition configuration and language table
// from the resource archive "Recovery.dat", both beside the program.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// The edition configuration "<Brand>/VerCfg.txt" of the unscrambled archive into the edition
// table. True when the entry was read and held at least one line.
bool LoadVerCfg(const uint8_t* archive, uint32_t length);
// The language table "Lang/<language>.txt" into the language table; sets LangLoaded. True when
// the entry was read and held at least one line.
bool LoadLangFile(const uint8_t* archive, uint32_t length);
// Reads and unscrambles "Recovery.dat" and loads both tables from it. Fails with
// "GetSoftCfgFromFile err 1" (archive missing, unreadable or empty), "err 4" (edition
// configuration) or "err 5" (language table).
bool GetSoftCfgFromFile(CString& errText);
// The whole start-up sequence; on failure errText names the failing step: the texts of
// ReadBaseCfg and GetSoftCfgFromFile, "InitSoftCfg err Key" when the edition value "Key" is
// empty, and "InitSoftCfg err 1" when the archive cannot be read again for the skin images.
bool InitSoftCfg(CString& errText);
