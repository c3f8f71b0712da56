// The three key/text tables every part of the program reads: the language table, the base
// configuration ("Base.dat") and the edition configuration (from "Recovery.dat"), with their
// getters and the edition's video flags.
//
// Keys are stored upper-cased and end in ':'. An edition value counts as on only when it is
// exactly "1". Lookups return copies; each table has its own lock, so any thread may read
// while the online configuration adds edition values.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/cstring.h"

class KeyTextTable {
 public:
  // Upper-cases the key; replaces the text of an equal key or appends the pair.
  void Set(const CString& key, const CString& text);
  // False for an empty key; otherwise appends ':' when missing, upper-cases and looks up.
  bool Find(const CString& key, CString& text) const;
  void Clear();
  size_t Count() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::pair<CString, CString>> entries_;
};

KeyTextTable& LangTable();
KeyTextTable& BaseCfgTable();
KeyTextTable& SoftCfgTable();

// Set once the language table, and the base and edition configuration, were loaded.
extern bool LangLoaded;
extern bool SoftCfgLoaded;

// Six process-wide flags, 1 when the edition value of the same name is "1". The deep scan
// knows the first two as MovFragmentMode and MtsFragmentMode and the last four as its video
// sample switches; they are one storage.
struct VideoFragOptionsT {
  uint32_t MovFragRecovery;
  uint32_t MtsFragRecovery;
  uint32_t VideoSampleSize;
  uint32_t VideoSample01;
  uint32_t VideoSample02;
  uint32_t VideoSample20;
};
extern VideoFragOptionsT VideoFragOptions;
inline uint32_t& MovFragmentMode = VideoFragOptions.MovFragRecovery;
inline uint32_t& MtsFragmentMode = VideoFragOptions.MtsFragRecovery;

// The interface text of a language key; empty when missing or not loaded.
CString GetLangStr(const CString& key);
// A base configuration value ("Brand", "Version", "language", "Owner"); empty when missing.
CString GetBaseCfg(const CString& key);
// An edition value: the configured version's entry when it exists (even empty), else the
// "Default-" entry, else empty (and a log line).
CString GetSoftCfg(const CString& key);
// The edition value "Key" as a signed decimal number (0 when missing or not a number).
int32_t GetSoftCfgKey();
// True when the edition value is exactly "1".
bool IsSoftCfgOn(const CString& key);

// The known edition keys with their colons, in list order.
const std::vector<CString>& SoftCfgKeys();

// Line handling of the UTF-16 text files in the archive.
// Skips the first code unit (the byte-order mark), splits at CR LF, cuts comments ("//" at the
// start of a line, or after a blank or tab) and drops empty lines. True when a line was kept.
bool SplitCfgLines(const char16_t* text, size_t units, std::vector<CString>& lines);
// "key: text" into the language table; false for a line without a key.
bool ParseLangLine(const CString& line);
// True when the first occurrence of the prefix is at index 0; rest is the trimmed remainder.
bool MatchKeyPrefix(const CString& line, const CString& prefix, CString& rest);
// Stores the line under "Default-" + key and/or version + "-" + key when it starts so.
bool SetSoftCfgEntry(const CString& line, const CString& version, const CString& key);
// Applies an edition configuration text (already split) to the edition table.
bool ApplyVerCfgLines(const std::vector<CString>& lines);
// Fills VideoFragOptions from the edition values.
void FillVideoFragOptions();

// Tests: fill the tables from plain texts (lines separated by "\r\n", no byte-order mark) and
// set the loaded flags, as a successful start-up would. Clears the tables first.
void LoadSettingsForTest(const CString& brand, const CString& version, const CString& verCfgText,
                         const CString& langText);
