#include "core/carvedname.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "base/heap.h"
#include "core/filerecord.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"

namespace {

constexpr unsigned kTagMetadata = 49;
constexpr unsigned kTagName = 255;
constexpr uint32_t kTypeLimit = 177;

std::atomic<OleSummaryReader>& SummaryReader() {
  static auto& r = *new std::atomic<OleSummaryReader>(nullptr);
  return r;
}

struct MovMemory {
  std::mutex lock;
  bool have = false;
  uint64_t lba = 0;
};
MovMemory& LastMov() {
  static auto& m = *new MovMemory;
  return m;
}

CString Trimmed(const CString& s) {
  std::u16string t(s.GetString());
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  size_t b = 0, e = t.size();
  while (b < e && blank(t[b])) ++b;
  while (e > b && blank(t[e - 1])) --e;
  return CString(t.substr(b, e - b).c_str());
}

void CopySlot(char16_t* slot, size_t capacity, const CString& text, size_t maxChars) {
  std::u16string t(text.GetString());
  size_t n = std::min({t.size(), capacity - 1, maxChars});
  std::memcpy(slot, t.data(), n * 2);
  slot[n] = 0;
}

CString SlotText(const char16_t* slot, size_t capacity) {
  size_t n = 0;
  while (n < capacity && slot[n]) ++n;
  return CString(std::u16string(slot, n).c_str());
}

}  // namespace

bool HasDocumentMetadata(uint32_t t) {
  switch (t) {
    case 36: case 37: case 38: case 87: case 89: case 90: case 54:
      return true;
    default:
      return IsPhotoType(int32_t(t));
  }
}

CarvedFileMetadata* PackDocumentMetadata(const CString& person, const CString& other, const CString& excerpt,
                                         const CString& date) {
  CString t1 = Trimmed(person), t2 = Trimmed(other), t3 = Trimmed(excerpt), t4 = Trimmed(date);
  if (t1.IsEmpty() && t2.IsEmpty() && t3.IsEmpty() && t4.IsEmpty()) return nullptr;
  if (t1.IsEmpty()) t1 = t2;
  auto* m = static_cast<CarvedFileMetadata*>(AllocMem(sizeof(CarvedFileMetadata), kTagMetadata));
  CarvedFileMetadata local{};
  CopySlot(local.person, 32, t1, 31);
  CopySlot(local.other, 32, t2, 31);
  CopySlot(local.excerpt, 64, t3, 63);
  CopySlot(local.date, 12, t4, 10);
  std::memcpy(static_cast<void*>(m), &local, sizeof local);
  return m;
}

CString SanitizeCarvedNameText(const CString& text) {
  std::u16string t(text.GetString());
  for (char16_t& c : t) {
    const bool bad = c < 32 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' ||
                     c == u'<' || c == u'>' || c == u'|' || (c > 126 && (c < 0x4E00 || c > 0x9FA5));
    if (bad) c = u'_';
  }
  return CString(t.c_str());
}

int MakeCarvedFileName(uint32_t typeId, uint64_t startLba, const CarvedFileMetadata* meta, CString& name) {
  if (typeId == kTypeExe) return 0;
  CString base;
  base.Format(u"%llx.", (unsigned long long)startLba);
  if (typeId < kTypeLimit) base += GetSectorKindName(typeId);
  if (meta && HasDocumentMetadata(typeId)) {
    CarvedFileMetadata m;
    std::memcpy(&m, meta, sizeof m);
    const CString slots[4] = {SlotText(m.person, 32), SlotText(m.other, 32), SlotText(m.date, 12),
                              Trimmed(SlotText(m.excerpt, 64))};
    CString prefix;
    for (const CString& s : slots)
      if (!s.IsEmpty()) prefix += s + CString(u"__");
    name = SanitizeCarvedNameText(prefix) + base;
  } else {
    name = base;
  }
  return 1;
}

void SetOleSummaryReader(OleSummaryReader reader) { SummaryReader().store(reader); }

CarvedFileMetadata* ReadOleSummaryMetadata(uint32_t typeId, const uint8_t* head, uint64_t bytes) {
  // Photos and MP3 files get their texts from their own handlers.
  if (!HasDocumentMetadata(typeId) || typeId == 54 || IsPhotoType(int32_t(typeId))) return nullptr;
  OleSummaryReader r = SummaryReader().load();
  return r && head ? r(typeId, head, bytes) : nullptr;
}

void ResetCarvedMovMemory() {
  MovMemory& m = LastMov();
  std::lock_guard<std::mutex> g(m.lock);
  m.have = false;
  m.lba = 0;
}

int AddCarvedFileRecord(VolumeContext& view, uint64_t startLba, uint64_t size, uint32_t typeId,
                        const CarvedFileMetadata* meta) {
  if (typeId >= kTypeLimit) return 0;
  if (typeId == kTypeQuickTimeMov) {
    MovMemory& m = LastMov();
    std::lock_guard<std::mutex> g(m.lock);
    if (m.have && m.lba == startLba) return 0;
    m.have = true;
    m.lba = startLba;
  }
  CString name;
  if (!MakeCarvedFileName(typeId, startLba, meta, name)) return 0;
  uint32_t parent = typeId;
  if (typeId == 36 || typeId == 37) parent = kTypeWordGroup;
  if (typeId == 38 || typeId == 87) parent = kTypeExcelGroup;
  if (typeId == 89 || typeId == 90) parent = kTypePptGroup;
  FileRecord rec;
  std::memset(static_cast<void*>(&rec), 0, sizeof rec);
  rec.typeId = uint8_t(typeId);
  rec.parent = parent;
  rec.lba = startLba;
  rec.size = size;
  rec.flags = kRecInUse;
  const std::u16string text(name.GetString());
  auto* copy = static_cast<char16_t*>(AllocMem((uint64_t(text.size()) + 1) * 2, kTagName));
  std::memcpy(copy, text.c_str(), (text.size() + 1) * 2);
  rec.name = copy;
  EnsureCategoryFolder(view, parent);
  if (AddFileRecord(view, rec, 1) == 0) {
    FreeFileRecord(rec);
    return 0;
  }
  return 1;
}
