#include "platform/machine.h"

#include <json/json.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace {

constexpr int kMaxDisks = 64;

std::string JoinBase(const std::string& base, const std::string& p) {
  if (p.empty() || p[0] == '/' || base.empty()) return p;
  return base + "/" + p;
}

bool ReadU64(const Json::Value& v, const char* key, uint64_t* out, std::string* error) {
  if (!v.isMember(key)) return true;
  const Json::Value& x = v[key];
  if (x.isUInt64()) {
    *out = x.asUInt64();
    return true;
  }
  *error = std::string("\"") + key + "\" is not a non-negative integer";
  return false;
}

bool ReadSource(const Json::Value& v, const std::string& baseDir, MachineSource* s, std::string* error) {
  if (!v.isObject()) {
    *error = "an entry is not an object";
    return false;
  }
  if (v.isMember("image")) {
    if (!v["image"].isString()) {
      *error = "\"image\" is not a text";
      return false;
    }
    s->image = JoinBase(baseDir, v["image"].asString());
  }
  if (!ReadU64(v, "offset", &s->offset, error) || !ReadU64(v, "length", &s->length, error)) return false;
  if (s->length != 0 && s->offset > UINT64_MAX - s->length) {
    *error = "offset + length overflows";
    return false;
  }
  for (const char* key : {"model", "vendor", "bus", "removable", "sector_size"}) {
    if (v.isMember(key)) s->hasInfo = true;
  }
  if (v.isMember("model")) s->info.model = v["model"].asString();
  if (v.isMember("vendor")) s->info.vendor = v["vendor"].asString();
  if (v.isMember("bus")) {
    const Json::Value& b = v["bus"];
    s->info.busType = b.isUInt() ? b.asUInt() : BusTypeFromName(b.isString() ? b.asString() : std::string());
  }
  if (v.isMember("removable")) s->info.removable = v["removable"].asBool();
  if (v.isMember("sector_size")) {
    uint64_t ss = 0;
    if (!ReadU64(v, "sector_size", &ss, error)) return false;
    if (ss < 512 || ss > 4096 || (ss & (ss - 1)) != 0) {
      *error = "\"sector_size\" must be a power of two from 512 to 4096";
      return false;
    }
    s->info.logicalSectorSize = uint32_t(ss);
  }
  if (v.isMember("direct")) s->direct = v["direct"].asBool();
  if (v.isMember("mount") && v["mount"].isString()) s->mount = JoinBase(baseDir, v["mount"].asString());
  return true;
}

}  // namespace

bool ParseMachineDescription(const std::string& text, const std::string& baseDir, MachineDescription* out,
                             std::string* error) {
  *out = MachineDescription();
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errs;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errs) || !root.isObject()) {
    *error = "not a JSON object: " + errs;
    return false;
  }
  const Json::Value& disks = root["disks"];
  if (!disks.isNull()) {
    if (!disks.isArray() || disks.size() > kMaxDisks) {
      *error = "\"disks\" must be an array of at most 64 entries";
      return false;
    }
    for (const Json::Value& d : disks) {
      MachineSource s;
      if (!ReadSource(d, baseDir, &s, error)) return false;
      out->disks.push_back(std::move(s));
    }
  }
  const Json::Value& drives = root["drives"];
  if (!drives.isNull()) {
    if (!drives.isArray()) {
      *error = "\"drives\" must be an array";
      return false;
    }
    for (const Json::Value& d : drives) {
      std::string l = d.isObject() && d["letter"].isString() ? d["letter"].asString() : std::string();
      if (l.size() != 1 || !std::isalpha(static_cast<unsigned char>(l[0]))) {
        *error = "a drive needs a one-letter \"letter\"";
        return false;
      }
      MachineSource s;
      if (!ReadSource(d, baseDir, &s, error)) return false;
      out->drives[char16_t(std::toupper(static_cast<unsigned char>(l[0])))] = std::move(s);
    }
  }
  return true;
}

bool LoadMachineDescription(MachineDescription* out, bool* valid, std::string* error) {
  *out = MachineDescription();
  *valid = false;
  const char* name = std::getenv("KESTREL_MACHINE");
  if (name == nullptr || *name == '\0') return false;
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    *error = std::string("cannot read ") + name;
    return true;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  std::string file(name);
  size_t slash = file.rfind('/');
  std::string base = slash == std::string::npos ? std::string(".") : file.substr(0, slash == 0 ? 1 : slash);
  *valid = ParseMachineDescription(ss.str(), base, out, error);
  if (!*valid) *out = MachineDescription();
  return true;
}

bool MachineStillListsImage(const std::string& image) {
  const char* name = std::getenv("KESTREL_MACHINE");
  if (name == nullptr || *name == '\0') return true;
  struct Seen {
    std::mutex lock;
    bool known = false;
    struct timespec mtime {};
    off_t size = 0;
    ino_t inode = 0;
    MachineDescription md;
    bool valid = false;
  };
  static Seen& seen = *new Seen;
  struct stat st {};
  if (::stat(name, &st) != 0) return false;
  std::lock_guard<std::mutex> g(seen.lock);
  // A description rewritten by renaming a new file into place has a new inode.
  if (!seen.known || st.st_ino != seen.inode || st.st_size != seen.size || st.st_mtim.tv_sec != seen.mtime.tv_sec ||
      st.st_mtim.tv_nsec != seen.mtime.tv_nsec) {
    std::string why;
    LoadMachineDescription(&seen.md, &seen.valid, &why);
    seen.known = true;
    seen.inode = st.st_ino;
    seen.size = st.st_size;
    seen.mtime = st.st_mtim;
  }
  if (!seen.valid) return false;
  for (const MachineSource& d : seen.md.disks)
    if (d.image == image) return true;
  for (const auto& [letter, d] : seen.md.drives)
    if (d.image == image) return true;
  return false;
}

bool ParsePhysicalDrivePath(const CString& path, int* index) {
  static const std::u16string_view prefix = u"\\\\.\\PHYSICALDRIVE";
  if (size_t(path.GetLength()) <= prefix.size() || size_t(path.GetLength()) > prefix.size() + 2) return false;
  if (path.Left(int(prefix.size())).CompareNoCase(prefix) != 0) return false;
  int n = 0;
  for (int i = int(prefix.size()); i < path.GetLength(); ++i) {
    char16_t c = path[i];
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + (c - u'0');
  }
  if (n >= kMaxDisks) return false;
  *index = n;
  return true;
}

bool ParseDriveLetterPath(const CString& path, char16_t* letter) {
  int len = path.GetLength();
  if (len != 6 && !(len == 7 && path[6] == u'\\')) return false;
  if (path.Left(4) != CString(u"\\\\.\\") || path[5] != u':') return false;
  char16_t c = ToUpperUnit(path[4]);
  if (c < u'A' || c > u'Z') return false;
  *letter = c;
  return true;
}
