// The whole road on a real NTFS image: files whose MFT records are gone come back from the
// $LogFile, under a folder that only the USN journal still knew, with their bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

const std::string kImage = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_journal.img";
const std::string kManifest = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_journal.manifest";

std::string Field(const std::string& line, const std::string& key) {
  const std::string k = "\"" + key + "\":";
  const size_t at = line.find(k);
  if (at == std::string::npos) return "";
  size_t from = at + k.size();
  if (line[from] == '"') {
    const size_t end = line.find('"', from + 1);
    return line.substr(from + 1, end - from - 1);
  }
  const size_t end = line.find_first_of(",}", from);
  return line.substr(from, end - from);
}

std::map<std::string, std::string> KscanDeleted() {
  std::map<std::string, std::string> lines;
  const std::string cmd = std::string(KSCAN_TOOL) + " fs '" + kImage + "' --deleted";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return lines;
  char buf[4096];
  while (fgets(buf, sizeof buf, p)) lines[Field(buf, "path")] = buf;
  pclose(p);
  return lines;
}

}  // namespace

TEST(NtfsJournal, KscanListsFilesKnownOnlyFromTheJournalsWithTheirBytes) {
  if (!std::filesystem::exists(kManifest)) GTEST_SKIP() << "no NTFS journal fixture image (ntfs-3g missing?)";
  const std::map<std::string, std::string> found = KscanDeleted();
  std::ifstream manifest(kManifest);
  int checked = 0;
  for (std::string want; std::getline(manifest, want);) {
    const std::string path = Field(want, "path");
    SCOPED_TRACE(path);
    ASSERT_TRUE(found.count(path));
    const std::string& line = found.at(path);
    EXPECT_EQ(Field(line, "size"), Field(want, "size"));
    EXPECT_EQ(Field(line, "sha256"), Field(want, "sha256"));
    EXPECT_EQ(Field(line, "deleted"), "true");
    EXPECT_EQ(Field(line, "journal"), "true");
    ++checked;
  }
  EXPECT_EQ(checked, 2);
  // The folder of the second file was known only from its USN delete record.
  ASSERT_TRUE(found.count("/Old"));
  EXPECT_EQ(Field(found.at("/Old"), "dir"), "true");
  EXPECT_EQ(Field(found.at("/Old"), "journal"), "true");
  // The live file beside the lost one is not a journal item.
  ASSERT_TRUE(found.count("/Docs"));
  EXPECT_EQ(Field(found.at("/Docs"), "journal"), "");
}
