#include "app/softcfg.h"

#include <cstring>
#include <string>
#include <vector>

#include "app/basecfg.h"
#include "app/resarchive.h"
#include "app/settings.h"
#include "app/skinhooks.h"
#include "base/heap.h"
#include "base/pathutil.h"
#include "base/wholefile.h"

namespace {

// Reads an archive entry as UTF-16 text and splits it into lines. The entry buffer is
// released before returning.
bool ReadTextEntry(const uint8_t* archive, uint32_t length, const CString& name, std::vector<CString>& lines) {
  if (!archive || length == 0) return false;
  MemFile mf{length, 0, const_cast<uint8_t*>(archive)};
  zlib_filefunc_def funcs;
  FillMemFileFuncs(&funcs);
  uint8_t* entry = nullptr;
  uint32_t size = 0;
  if (!ReadZipEntryToMemory(&mf, &funcs, name, entry, size)) return false;
  // Copied into code units: the entry's bytes carry no alignment promise, and an odd last byte
  // is no code unit.
  std::u16string text(size / 2, u'\0');
  if (!text.empty()) memcpy(text.data(), entry, text.size() * sizeof(char16_t));
  FreeMem(entry);
  return SplitCfgLines(text.data(), text.size(), lines);
}

CString ArchivePath() { return GetExeDir() + u"Recovery.dat"; }

}  // namespace

bool LoadVerCfg(const uint8_t* archive, uint32_t length) {
  std::vector<CString> lines;
  if (!ReadTextEntry(archive, length, GetBaseCfg(u"Brand") + u"/VerCfg.txt", lines)) return false;
  return ApplyVerCfgLines(lines);
}

bool LoadLangFile(const uint8_t* archive, uint32_t length) {
  std::vector<CString> lines;
  const CString name = FormatCString(u"Lang/%s.txt", GetBaseCfg(u"Language"));
  if (!ReadTextEntry(archive, length, name, lines)) return false;
  for (const CString& line : lines) ParseLangLine(line);
  LangLoaded = true;
  return true;
}

bool GetSoftCfgFromFile(CString& errText) {
  uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!ReadWholeFile(ArchivePath(), bytes, length) || length == 0) {
    errText = u"GetSoftCfgFromFile err 1";
    return false;
  }
  UnscrambleArchive(bytes, length);
  bool ok = true;
  if (!LoadVerCfg(bytes, length)) {
    errText = u"GetSoftCfgFromFile err 4";
    ok = false;
  } else if (!LoadLangFile(bytes, length)) {
    errText = u"GetSoftCfgFromFile err 5";
    ok = false;
  }
  FreeMem(bytes);
  return ok;
}

bool InitSoftCfg(CString& errText) {
  if (!ReadBaseCfg(errText)) return false;
  if (!GetSoftCfgFromFile(errText)) return false;
  SoftCfgLoaded = true;
  if (GetSoftCfg(u"Key").IsEmpty()) {
    // A distinct text, so the configuration-failure report says why.
    errText = u"InitSoftCfg err Key";
    return false;
  }
  FillVideoFragOptions();
  uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!ReadWholeFile(ArchivePath(), bytes, length) || length == 0) {
    errText = u"InitSoftCfg err 1";
    return false;
  }
  UnscrambleArchive(bytes, length);
  LoadSkinImageTableHook(bytes, length);
  FreeMem(bytes);
  return true;
}
