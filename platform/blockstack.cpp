#include "platform/blockstack.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

void CollectAt(const std::string& dir, std::vector<std::string>& out, int depth) {
  if (dir.empty() || depth > 8 || out.size() > 64) return;
  out.push_back(dir);
  DIR* d = opendir((dir + "/slaves").c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    char real[PATH_MAX];
    if (realpath((dir + "/slaves/" + e->d_name).c_str(), real) != nullptr) CollectAt(real, out, depth + 1);
  }
  closedir(d);
}

// Mount paths escape blanks and the like as \ooo.
std::string UnescapeMountField(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string SysfsBlockDir(dev_t dev) {
  char link[64];
  std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major(dev), minor(dev));
  char real[PATH_MAX];
  if (realpath(link, real) == nullptr) return std::string();
  return real;
}

void CollectUnderlyingBlockDirs(const std::string& sysDir, std::vector<std::string>& out) { CollectAt(sysDir, out, 0); }

bool MountSourceBlockDevice(dev_t fsDev, dev_t* blockDev) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string want = std::to_string(major(fsDev)) + ":" + std::to_string(minor(fsDev));
  std::string line;
  for (int n = 0; n < 100000 && std::getline(in, line); ++n) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    if (!(fields >> id >> parent >> numbers) || numbers != want) continue;
    // The source follows the " - " separator and the file-system type.
    const size_t sep = line.find(" - ");
    if (sep == std::string::npos) continue;
    std::istringstream tail(line.substr(sep + 3));
    std::string type, source;
    if (!(tail >> type >> source) || source.empty() || source[0] != '/') continue;
    struct stat st;
    if (::stat(UnescapeMountField(source).c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) continue;
    *blockDev = st.st_rdev;
    return true;
  }
  return false;
}

std::vector<std::string> FolderBlockDirs(dev_t folderDev) {
  std::vector<std::string> out;
  std::string sys = SysfsBlockDir(folderDev);
  dev_t source = 0;
  if (sys.empty() && MountSourceBlockDevice(folderDev, &source)) sys = SysfsBlockDir(source);
  CollectUnderlyingBlockDirs(sys, out);
  return out;
}

bool BlockDirsRelated(const std::string& a, const std::string& b) {
  auto under = [](const std::string& child, const std::string& parent) {
    return child.size() > parent.size() && child.compare(0, parent.size(), parent) == 0 && child[parent.size()] == '/';
  };
  return a == b || under(a, b) || under(b, a);
}
