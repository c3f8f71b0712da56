// Shared set-up of the exFAT tests: settings, the fixture builder run into the build folder,
// the manifest it writes, and a parse of an image file.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "platform/textconv.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/sha256hex.h"

inline void LoadExfatTestSettings() {
  static bool done = false;
  if (done) return;
  done = true;
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n",
                      u"FileLost: Lost files\r\nLocalDisk: Local Disk\r\n");
  InitFileTypeTables();
}

// The build folder: this test program lives in build/parsefilesystem/exfat/.
inline std::string BuildDir() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string dir = n > 0 ? std::string(path, size_t(n)) : std::string();
  for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.rfind('/'));
  return dir;
}

// Files of this test process in build/fixtures/: ctest runs each test in its own process, in
// parallel, so every process builds its own images.
inline std::string FixturePath(const std::string& name) {
  return BuildDir() + "/fixtures/" + name + "_" + std::to_string(getpid()) + ".img";
}

struct ManifestItem {
  std::string path, sha256, ctime, mtime;
  uint64_t size = 0;
  uint32_t cluster = 0;
  bool dir = false, deleted = false, chained = false;
};

inline std::string JsonField(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  size_t p = line.find(tag);
  if (p == std::string::npos) return "";
  p += tag.size();
  if (line[p] == '"') {
    std::string out;
    for (++p; p < line.size() && line[p] != '"'; ++p) {
      if (line[p] == '\\') ++p;
      out += line[p];
    }
    return out;
  }
  const size_t end = line.find_first_of(",}", p);
  return line.substr(p, end - p);
}

// Builds an image with the fixture builder (offset in sectors) and reads its manifest. The
// image lands in build/fixtures/.
inline bool BuildExfatFixture(const std::string& name, uint64_t offset, std::string& image,
                              std::vector<ManifestItem>& items) {
  const std::string dir = BuildDir() + "/fixtures";
  const std::string tool = BuildDir() + "/tests/tools/exfatfixture";
  image = FixturePath(name);
  const std::string manifest = image + ".manifest";
  const std::string cmd = "mkdir -p '" + dir + "' && '" + tool + "' '" + image + "' '" + manifest + "' --offset " +
                          std::to_string(offset);
  const int rc = system(cmd.c_str());
  if (!WIFEXITED(rc) || WEXITSTATUS(rc) != 0) return false;
  std::ifstream in(manifest);
  std::string line;
  while (std::getline(in, line)) {
    ManifestItem it;
    it.path = JsonField(line, "path");
    it.sha256 = JsonField(line, "sha256");
    it.ctime = JsonField(line, "ctime");
    it.mtime = JsonField(line, "mtime");
    it.size = std::stoull(JsonField(line, "size"));
    it.cluster = uint32_t(std::stoul(JsonField(line, "cluster")));
    it.dir = JsonField(line, "dir") == "true";
    it.deleted = JsonField(line, "deleted") == "true";
    it.chained = JsonField(line, "chained") == "true";
    items.push_back(it);
  }
  remove(manifest.c_str());
  return !items.empty();
}

// A volume context for the exFAT volume at firstLba of an image file, set up as a partition.
inline bool SetupImageVolume(const std::string& image, uint64_t firstLba, VolumeContext& vol) {
  VolumeContext target;
  target.devicePath = CString(Utf8ToUtf16(image));
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) return false;
  uint8_t boot[512] = {};
  if (!reader.ReadSectors(boot, firstLba, 1)) return false;
  return SetupExfatVolume(target, reader, boot, firstLba, reader.sizeBytes / 512 - firstLba, vol);
}

inline std::string StampText(uint32_t p) {
  char b[32];
  snprintf(b, sizeof b, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (p >> 26), (p >> 22) & 0xF, (p >> 17) & 0x1F,
           (p >> 12) & 0x1F, (p >> 6) & 0x3F, p & 0x3F);
  return b;
}

// Path of every named record below the root, by path.
inline std::map<std::string, const FileRecord*> RecordsByPath(const VolumeContext& vol) {
  std::map<std::string, const FileRecord*> out;
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec) continue;
    std::string path;
    const FileRecord* r = rec;
    for (int depth = 0; r && r->id != kRootId && depth < 64; ++depth) {
      path = "/" + CString(r->name).ToUtf8() + path;
      r = GetFileRecord(vol, r->parent, 0);
    }
    out[path] = rec;
  }
  return out;
}

// SHA-256 of a record's data read through its cluster list.
inline std::string RecordDataHash(const VolumeContext& vol, const FileRecord& rec) {
  DiskReader reader;
  if (!OpenVolumeDevice(vol, reader)) return "no device";
  std::vector<uint32_t> clusters;
  GetExfatFileClusters(vol, rec, rec.firstCluster, clusters, rec.size);
  std::vector<DataExtent> extents;
  ExfatClustersToExtents(vol, clusters, extents);
  Sha256 sha;
  uint64_t left = rec.size;
  for (const DataExtent& x : extents) {
    std::vector<uint8_t> buf(x.sectorCount * 512);
    reader.ReadSectors(buf.data(), x.startLba, uint32_t(x.sectorCount));
    const uint64_t take = left < buf.size() ? left : buf.size();
    sha.Update(buf.data(), take);
    left -= take;
  }
  return left ? "short" : sha.HexDigest();
}
