#include "app/machineid.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

constexpr size_t kSerialBufferBytes = 1008;
constexpr int kMaxCpuPartChars = 45;
constexpr int kMaxIdPartsChars = 60;
constexpr int kMaxIdChars = 64;

bool IsPrintable(unsigned char c) { return c >= 0x20 && c < 0x7F; }
bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string TrimSpaces(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Keeps printable ASCII and trims: a serial from sysfs or udev is plain text, but it is
// another program's output and ends up in packets and file names.
CString CleanSerial(const std::string& raw) {
  std::string s;
  for (unsigned char c : raw) {
    if (IsPrintable(c)) s += char(c);
  }
  return CString(TrimSpaces(s).c_str());
}

bool ReadSmallFile(const std::string& path, std::string& text) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  char buf[4096];
  f.read(buf, sizeof(buf));
  text.assign(buf, size_t(f.gcount()));
  return true;
}

}  // namespace

void GetCpuIdText(CString& text) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
#if defined(__x86_64__) || defined(__i386__)
  __cpuid_count(1, 0, eax, ebx, ecx, edx);
#endif
  text.Format(u"%08X%08X", edx, eax);
}

bool GetSystemDiskNumber(SystemDisk& disk) {
  struct stat st;
  if (::stat("/", &st) != 0) return false;
  const unsigned maj = major(st.st_dev), min = minor(st.st_dev);
  char link[64];
  snprintf(link, sizeof(link), "/sys/dev/block/%u:%u", maj, min);
  char real[PATH_MAX];
  if (!realpath(link, real)) return false;
  std::string path(real);
  // A partition's folder sits inside its disk's folder.
  struct stat ps;
  if (::stat((path + "/partition").c_str(), &ps) == 0) path = path.substr(0, path.rfind('/'));
  std::string dev;
  if (!ReadSmallFile(path + "/dev", dev)) return false;
  unsigned dmaj = 0, dmin = 0;
  if (sscanf(dev.c_str(), "%u:%u", &dmaj, &dmin) != 2) return false;
  disk.sysfsPath = path;
  disk.name = path.substr(path.rfind('/') + 1);
  disk.major = dmaj;
  disk.minor = dmin;
  return true;
}

bool GetDiskSerial(const SystemDisk& disk, CString& serial, const std::string& udevDataDir) {
  serial.Empty();
  std::string text;
  if (!disk.sysfsPath.empty() && ReadSmallFile(disk.sysfsPath + "/device/serial", text)) serial = CleanSerial(text);
  if (serial.IsEmpty()) {
    char name[64];
    snprintf(name, sizeof(name), "/b%u:%u", disk.major, disk.minor);
    if (ReadSmallFile(udevDataDir + name, text)) {
      const std::string key = "E:ID_SERIAL_SHORT=";
      size_t pos = text.rfind("\n" + key) != std::string::npos ? text.rfind("\n" + key) + 1
                                                               : (text.compare(0, key.size(), key) == 0 ? 0 : std::string::npos);
      if (pos != std::string::npos) {
        size_t end = text.find('\n', pos);
        serial = CleanSerial(text.substr(pos + key.size(), end == std::string::npos ? std::string::npos
                                                                                    : end - pos - key.size()));
      }
    }
  }
  return !serial.IsEmpty();
}

bool GetDiskSerialFallback(const SystemDisk& disk, CString& serial) {
  serial.Empty();
  if (disk.name.empty() || disk.name.find('/') != std::string::npos) return false;
  // Read-only: the identify query needs no write access, and no disk is ever opened for one.
  int fd = ::open(("/dev/" + disk.name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct hd_driveid id;
  memset(&id, 0, sizeof(id));
  const bool ok = ioctl(fd, HDIO_GET_IDENTITY, &id) == 0;
  ::close(fd);
  if (!ok) return false;
  serial = CleanSerial(std::string(reinterpret_cast<const char*>(id.serial_no), sizeof(id.serial_no)));
  return !serial.IsEmpty();
}

std::string TrimSerial(const uint8_t* descriptor, size_t size, long offset) {
  if (!descriptor || offset <= 0 || size_t(offset) >= size) return std::string();
  // The zero-terminated text at the offset, bounded by the descriptor and the buffer.
  const uint8_t* src = descriptor + offset;
  size_t limit = std::min(size - size_t(offset), kSerialBufferBytes - 1);
  size_t len = 0;
  while (len < limit && src[len] != 0) ++len;

  // First reading: hexadecimal pairs, white space counting as '0'.
  std::string text;
  bool hexOk = true;
  int high = -1;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = src[i];
    if (IsSpace(c)) c = '0';
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (v < 0) {
      hexOk = false;
      break;
    }
    if (high < 0) {
      high = v;
      continue;
    }
    unsigned char b = static_cast<unsigned char>(high * 16 + v);
    high = -1;
    if (b != 0 && !IsPrintable(b)) {
      hexOk = false;
      break;
    }
    text += char(b);
  }
  // A formed zero ends the text, as it would in the zero-terminated buffer.
  if (hexOk) {
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
  } else {
    // Second reading: the characters as they stand, all printable.
    text.assign(reinterpret_cast<const char*>(src), len);
    for (unsigned char c : text) {
      if (!IsPrintable(c)) return std::string();
    }
  }
  // Pairwise swap; an odd last character trades places with the terminator and is lost.
  for (size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
  if (text.size() % 2) text.pop_back();
  return TrimSpaces(text);
}

CString ComposeMachineId(const CString& cpuPart, const CString& diskPart) {
  CString cpu = cpuPart.Left(kMaxCpuPartChars);
  CString disk = diskPart;
  if (cpu.GetLength() + disk.GetLength() > kMaxIdPartsChars) disk = disk.Left(kMaxIdPartsChars - cpu.GetLength());
  CString id = cpu + u"-_-" + disk;
  id.Replace(u' ', u'-');
  return id.Left(kMaxIdChars);
}

bool GetMachineId(CString& id) {
  CString cpu;
  GetCpuIdText(cpu);
  CString serial;
  SystemDisk disk;
  if (GetSystemDiskNumber(disk) && !GetDiskSerial(disk, serial)) GetDiskSerialFallback(disk, serial);
  id = ComposeMachineId(cpu, serial);
  return true;
}

CString FormatOsVerText(const char* kernelRelease) {
  unsigned maj = 0, min = 0;
  if (kernelRelease) {
    char* end = nullptr;
    maj = unsigned(strtoul(kernelRelease, &end, 10));
    if (end && *end == '.') min = unsigned(strtoul(end + 1, nullptr, 10));
  }
  return FormatCString(u"%u.%u.%u", maj, min, 64u);
}

void GetOsVerText(CString& text) {
  struct utsname u;
  text = FormatOsVerText(uname(&u) == 0 ? u.release : nullptr);
}
