// Builds the program folder's data files from resources/: "Base.dat" is copied, and every
// file under archive/ becomes an entry of "Recovery.dat" named by its relative path (text files
// converted to UTF-16LE with a byte-order mark and CR LF line ends), packed into a ZIP and
// scrambled. Files under an extra archive folder (the drawn skin pictures) join them the same way.
//
// packres SOURCE_DIR OUTPUT_DIR [EXTRA_ARCHIVE_DIR]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/resarchive.h"
#include "resources/zipwrite.h"

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& p, std::string& out) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return bool(in) || in.eof();
}

bool WriteFile(const fs::path& p, const void* data, size_t n) {
  const fs::path tmp = p.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out.write(static_cast<const char*>(data), std::streamsize(n))) return false;
  }
  std::error_code ec;
  fs::rename(tmp, p, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    fprintf(stderr, "usage: packres SOURCE_DIR OUTPUT_DIR [EXTRA_ARCHIVE_DIR]\n");
    return 2;
  }
  const fs::path src = argv[1], outDir = argv[2];
  std::string base;
  if (!ReadFile(src / "Base.dat", base)) {
    fprintf(stderr, "packres: cannot read %s\n", (src / "Base.dat").c_str());
    return 1;
  }
  std::vector<ZipSourceEntry> entries;
  std::vector<fs::path> roots{src / "archive"};
  if (argc == 4) roots.emplace_back(argv[3]);
  for (const fs::path& root : roots) {
    for (const auto& it : fs::recursive_directory_iterator(root)) {
      if (!it.is_regular_file()) continue;
      ZipSourceEntry e;
      e.name = fs::relative(it.path(), root).generic_string();
      std::string bytes;
      if (!ReadFile(it.path(), bytes)) {
        fprintf(stderr, "packres: cannot read %s\n", it.path().c_str());
        return 1;
      }
      e.bytes = it.path().extension() == ".txt" ? Utf8ToUtf16LeFile(bytes, true) : bytes;
      entries.push_back(std::move(e));
    }
  }
  // A stable order, so the archive does not change with the directory order.
  std::sort(entries.begin(), entries.end(),
            [](const ZipSourceEntry& a, const ZipSourceEntry& b) { return a.name < b.name; });
  std::vector<uint8_t> zip;
  if (!BuildZipInMemory(entries, zip)) {
    fprintf(stderr, "packres: building the archive failed\n");
    return 1;
  }
  ScrambleArchive(zip.data(), zip.size());
  if (!WriteFile(outDir / "Recovery.dat", zip.data(), zip.size()) ||
      !WriteFile(outDir / "Base.dat", base.data(), base.size())) {
    fprintf(stderr, "packres: cannot write to %s\n", outDir.c_str());
    return 1;
  }
  return 0;
}
