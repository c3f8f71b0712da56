#include "app/tests/recoverydat_fixture.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/resarchive.h"
#include "platform/fileio.h"

namespace fs = std::filesystem;

namespace {

bool WriteBytes(const CString& dir, const char16_t* name, const void* data, size_t n) {
  CString path = dir;
  if (!path.IsEmpty() && path[path.GetLength() - 1] != u'/') path += u"/";
  std::ofstream out(HostPath(path + name), std::ios::binary | std::ios::trunc);
  return bool(out.write(static_cast<const char*>(data), std::streamsize(n)));
}

}  // namespace

ZipSourceEntry TextEntry(const std::string& name, const std::string& utf8, bool bom) {
  return ZipSourceEntry{name, Utf8ToUtf16LeFile(utf8, bom)};
}

std::vector<uint8_t> BuildRecoveryDat(const std::vector<ZipSourceEntry>& entries) {
  std::vector<uint8_t> zip;
  if (!BuildZipInMemory(entries, zip)) return {};
  ScrambleArchive(zip.data(), zip.size());
  return zip;
}

bool WriteRecoveryDat(const CString& dir, const std::vector<ZipSourceEntry>& entries) {
  const std::vector<uint8_t> bytes = BuildRecoveryDat(entries);
  return !bytes.empty() && WriteBytes(dir, u"Recovery.dat", bytes.data(), bytes.size());
}

bool WriteBaseDat(const CString& dir, const std::string& iniText) {
  return WriteBytes(dir, u"Base.dat", iniText.data(), iniText.size());
}

CString MakeTestProgramDir(const std::string& tag) {
  const fs::path p = fs::temp_directory_path() / ("kestrel_" + tag + "_" + std::to_string(getpid()));
  std::error_code ec;
  fs::remove_all(p, ec);
  fs::create_directories(p, ec);
  return FromHostPath(p.string() + "/");
}

bool WriteTestSettings(const CString& dir, const std::string& brand, const std::string& version,
                       const std::string& verCfg, const std::string& lang) {
  return WriteBaseDat(dir, "[Setting]\r\nBrand=" + brand + "\r\nVersion=" + version + "\r\nlanguage=English\r\n") &&
         WriteRecoveryDat(dir, {TextEntry(brand + "/VerCfg.txt", verCfg), TextEntry("Lang/English.txt", lang)});
}
