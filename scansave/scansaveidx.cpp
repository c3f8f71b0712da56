#include "scansave/scansaveidx.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/strutil.h"
#include "base/heap.h"
#include "base/log.h"
#include "base/pathutil.h"
#include "base/wholefile.h"
#include "platform/textconv.h"

namespace {

constexpr char kIndexMagic[7] = {'Q', 'Z', 'I', 'D', 'X', '5', 0};
constexpr uint64_t kBlockSectors = 16384;

// Copies the text into a fixed field with its terminator; false when it had to be cut.
template <size_t N>
bool PutText(char16_t (&field)[N], const CString& text) {
  const std::u16string_view v = text.View();
  const size_t n = std::min(v.size(), N - 1);
  std::memcpy(field, v.data(), n * 2);
  field[n] = 0;
  return v.size() <= N - 1;
}

template <size_t N>
void PutAscii(char16_t (&field)[N], const char* text) {
  size_t i = 0;
  for (; i + 1 < N && text[i] != 0; ++i) field[i] = char16_t(uint8_t(text[i]));
  field[i] = 0;
}

bool WriteIndexBytes(const std::vector<uint8_t>& bytes) {
  const CString path = GetScanSaveIndexPath();
  const CString temporary = path + u".part";
  if (!WriteWholeFile(temporary, bytes.data(), uint32_t(bytes.size())) ||
      std::rename(temporary.ToUtf8().c_str(), path.ToUtf8().c_str()) != 0) {
    unlink(temporary.ToUtf8().c_str());
    return false;
  }
  return true;
}

std::vector<uint8_t> IndexBytes(const std::vector<ScanSaveEntry>& list) {
  std::vector<uint8_t> bytes(kScanSaveIndexHeader + list.size() * sizeof(ScanSaveEntry));
  std::memcpy(bytes.data(), kIndexMagic, sizeof kIndexMagic);
  if (!list.empty()) std::memcpy(bytes.data() + kScanSaveIndexHeader, list.data(), list.size() * sizeof(ScanSaveEntry));
  return bytes;
}

// Every entry of the index file (whole entries only when truncated is allowed); false when the
// file is missing, unreadable or has a bad header.
bool ReadAllEntries(std::vector<ScanSaveEntry>& out, bool allowPartial) {
  out.clear();
  const CString path = GetScanSaveIndexPath();
  if (!CheckScanSaveIndexHeader(path)) return false;
  uint8_t* buffer = nullptr;
  uint32_t length = 0;
  if (!ReadWholeFile(path, buffer, length) || length < kScanSaveIndexHeader) {
    if (buffer) FreeMem(buffer);
    return false;
  }
  const uint32_t body = length - kScanSaveIndexHeader;
  const bool whole = body % sizeof(ScanSaveEntry) == 0;
  if (whole || allowPartial) {
    out.resize(body / sizeof(ScanSaveEntry));
    if (!out.empty()) std::memcpy(out.data(), buffer + kScanSaveIndexHeader, out.size() * sizeof(ScanSaveEntry));
  }
  FreeMem(buffer);
  return whole || allowPartial;
}

bool DataFileExists(const ScanSaveEntry& e) {
  const CString path = EntryText(e.dataPath);
  return !path.IsEmpty() && FileExists(path);
}

}  // namespace

CString GetScanSaveFolder() { return JoinPath(GetExeDir(), u"ScanSave"); }

CString GetScanSaveIndexPath() { return JoinPath(GetScanSaveFolder(), u"ScanSave.idx"); }

bool MakeScanSaveFileName(CString& path) {
  const time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  char base[64];
  snprintf(base, sizeof base, "Save_%04u%02u%02u_%02u%02u%02u", unsigned(t.tm_year + 1900), unsigned(t.tm_mon + 1),
           unsigned(t.tm_mday), unsigned(t.tm_hour), unsigned(t.tm_min), unsigned(t.tm_sec));
  // Two saves within one second must not share a file: the first entry would show the second
  // scan's data.
  for (unsigned n = 1; n < 1000; ++n) {
    char name[80];
    if (n == 1) snprintf(name, sizeof name, "%s.dat", base);
    else snprintf(name, sizeof name, "%s_%u.dat", base, n);
    path = JoinPath(GetScanSaveFolder(), CString(Utf8ToUtf16(name)));
    if (!FileExists(path)) return true;
  }
  return false;
}

bool IsScanSaveFileName(const CString& path) {
  if (path.GetLength() <= 7) return false;
  CString upper = path;
  upper.MakeUpper();
  if (upper.Find(u"SAVE_") < 0) return false;
  CString ext;
  return GetFileExtLower(path.GetString(), ext) && ext == u"dat";
}

uint32_t ComputeDonePercent(const uint8_t* map, uint64_t mapBytes, uint64_t regionStart, uint64_t regionEnd) {
  if (map == nullptr) {
    LogSrcLine(u"Pointer error ********************************", u"scansave/scansaveidx", 41);
    return 100;
  }
  const uint64_t first = regionStart / kBlockSectors, end = regionEnd / kBlockSectors;
  if (end <= first) return 0;
  uint64_t handled = 0;
  for (uint64_t b = first; b < end && b < mapBytes; ++b)
    if (map[b] == 2) ++handled;
  return uint32_t(handled * 100 / (end - first));
}

uint32_t ComputeReadPercent(uint32_t reads, uint32_t failures) {
  if (reads == 0 || failures > reads) return 100;
  return uint32_t(uint64_t(reads - failures) * 100 / reads);
}

bool FillScanSaveEntry(ScanSaveEntry& e, const CString& dataPath, const ScanSaveSource& src) {
  std::memset(&e, 0, sizeof e);
  const VolumeContext& t = src.target;
  e.operation = t.operation;
  e.regionStart = src.regionStart;
  e.regionLength = src.regionEnd >= src.regionStart ? src.regionEnd - src.regionStart : 0;
  e.deviceSectors = t.deviceSectors;
  char text[32];
  snprintf(text, sizeof text, "%u%%", ComputeReadPercent(src.blockReads, src.blockReadFailures));
  PutAscii(e.readPercent, text);
  snprintf(text, sizeof text, "%u%%",
           ComputeDonePercent(src.blockMap, src.blockMapBytes, src.regionStart, src.regionEnd));
  PutAscii(e.donePercent, text);
  const time_t now = time(nullptr);
  struct tm lt {};
  localtime_r(&now, &lt);
  char when[40];
  snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(lt.tm_year + 1900), unsigned(lt.tm_mon + 1),
           unsigned(lt.tm_mday), unsigned(lt.tm_hour), unsigned(lt.tm_min), unsigned(lt.tm_sec));
  PutAscii(e.savedAt, when);
  PutText(e.name, t.name);
  PutText(e.model, t.diskModel);
  bool whole = PutText(e.devicePath, t.devicePath);
  if (!t.volumePath.IsEmpty()) whole = PutText(e.volumePath, t.volumePath) && whole;
  e.targetKind = t.targetKind;
  if (!t.sourcePath.IsEmpty()) whole = PutText(e.sourcePath, t.sourcePath) && whole;
  whole = PutText(e.dataPath, dataPath) && whole;
  return whole;
}

bool CheckScanSaveIndexHeader(const CString& path) {
  CFile f;
  if (!f.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) return false;
  uint8_t head[7] = {};
  return f.Read(head, 7) == 7 && std::memcmp(head, kIndexMagic, 7) == 0;
}

bool ReadScanSaveIndexFile(uint8_t*& buffer, uint32_t& length) {
  buffer = nullptr;
  length = 0;
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!ReadWholeFile(GetScanSaveIndexPath(), data, size)) return false;
  if (size <= 7 || (size - kScanSaveIndexHeader) % sizeof(ScanSaveEntry) != 0) {
    if (data) FreeMem(data);
    return false;
  }
  buffer = data;
  length = size;
  return true;
}

bool LoadScanSaveIndex(std::vector<ScanSaveEntry>& list) {
  std::vector<uint32_t> positions;
  return LoadScanSaveIndex(list, positions);
}

bool LoadScanSaveIndex(std::vector<ScanSaveEntry>& list, std::vector<uint32_t>& positions) {
  std::vector<ScanSaveEntry> all;
  if (!ReadAllEntries(all, false)) return false;
  list.clear();
  positions.clear();
  for (size_t i = 0; i < all.size(); ++i) {
    if (!DataFileExists(all[i])) continue;
    list.push_back(all[i]);
    positions.push_back(uint32_t(i));
  }
  return !list.empty();
}

bool WriteScanSaveIndex(const std::vector<ScanSaveEntry>& list) { return WriteIndexBytes(IndexBytes(list)); }

bool AppendScanSaveEntry(const CString& dataPath, const ScanSaveSource& src) {
  ScanSaveEntry e;
  if (!FillScanSaveEntry(e, dataPath, src)) {
    WriteLog(u"Scan save refused: a path does not fit its index field");
    return false;
  }
  std::vector<ScanSaveEntry> list;
  // A damaged index (a write cut short) keeps its whole entries instead of blocking every save.
  if (!ReadAllEntries(list, true)) {
    list.clear();
    if (CreateDirRecursive(GetScanSaveFolder()) != 0) return false;
  }
  list.push_back(e);
  return WriteScanSaveIndex(list);
}

bool DeleteScanSave(uint32_t index) {
  std::vector<ScanSaveEntry> all;
  if (!ReadAllEntries(all, false)) return false;
  uint32_t seen = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    if (!DataFileExists(all[i])) continue;
    if (seen++ != index) continue;
    const CString path = EntryText(all[i].dataPath);
    if (!IsScanSaveFileName(path)) return false;
    if (FileExists(path) && unlink(path.ToUtf8().c_str()) != 0) return false;
    all.erase(all.begin() + ptrdiff_t(i));
    return WriteScanSaveIndex(all);
  }
  return false;
}

bool DeleteScanSaveAt(uint32_t position, const ScanSaveEntry& listed) {
  std::vector<ScanSaveEntry> all;
  if (!ReadAllEntries(all, false) || position >= all.size()) return false;
  const ScanSaveEntry& e = all[position];
  if (std::memcmp(e.dataPath, listed.dataPath, sizeof e.dataPath) != 0 ||
      std::memcmp(e.savedAt, listed.savedAt, sizeof e.savedAt) != 0)
    return false;
  const CString path = EntryText(e.dataPath);
  if (!IsScanSaveFileName(path)) return false;
  if (FileExists(path) && unlink(path.ToUtf8().c_str()) != 0) return false;
  all.erase(all.begin() + ptrdiff_t(position));
  return WriteScanSaveIndex(all);
}

void SortScanSaveEntries(std::vector<ScanSaveEntry>& list) {
  // Compared as unsigned 16-bit units: the time text sorts like the time.
  std::stable_sort(list.begin(), list.end(), [](const ScanSaveEntry& a, const ScanSaveEntry& b) {
    return std::u16string_view(a.savedAt, std::char_traits<char16_t>::length(a.savedAt)) >
           std::u16string_view(b.savedAt, std::char_traits<char16_t>::length(b.savedAt));
  });
}

bool FindSaveForTarget(const std::vector<ScanSaveEntry>& list, const VolumeContext& target, uint32_t& index) {
  for (size_t i = 0; i < list.size(); ++i) {
    const ScanSaveEntry& e = list[i];
    if (EntryText(e.name).CompareNoCase(target.name.View()) == 0 &&
        EntryText(e.model).CompareNoCase(target.diskModel.View()) == 0 &&
        EntryText(e.devicePath).CompareNoCase(target.devicePath.View()) == 0) {
      index = uint32_t(i);
      return true;
    }
  }
  return false;
}
