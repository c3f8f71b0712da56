// Document properties: the "SummaryInformation" property set of compound files and the core
// properties part of office XML packages.
#include "base/packedtime.h"
#include "base/textutil.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/fileendrules.h"
#include "platform/textconv.h"
#include "platform/wintime.h"

namespace {

constexpr uint32_t kPidAuthor = 4, kPidLastAuthor = 8, kPidCreated = 12, kPidSaved = 13;
constexpr uint32_t kVtString = 30, kVtWideString = 31, kVtFileTime = 64;
constexpr uint32_t kMaxPropertyText = 255;

bool Holds(uint64_t size, uint64_t at, uint64_t n) { return at <= size && n <= size - at; }

CString FileTimeText(uint64_t value) {
  FILETIME utc{uint32_t(value), uint32_t(value >> 32)};
  FILETIME local{};
  SYSTEMTIME st{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return CString();
  return FormatCString(u"%d-%02d-%02d %02d:%02d:%02d", int(st.wYear), int(st.wMonth), int(st.wDay), int(st.wHour),
                       int(st.wMinute), int(st.wSecond));
}

// One property value at `at`: false when it does not lie inside the stream (which ends the
// section). Other types are skipped.
bool ReadProperty(const uint8_t* s, uint64_t size, uint64_t at, CString& out) {
  if (!Holds(size, at, 4)) return false;
  const uint32_t type = FeLe32(s + at);
  if (type == kVtString) {
    if (!Holds(size, at, 8)) return false;
    const uint32_t n = FeLe32(s + at + 4);
    if (n < 1 || n > kMaxPropertyText) return true;
    if (!Holds(size, at + 8, n)) return false;
    std::string_view text(reinterpret_cast<const char*>(s + at + 8), n);
    out = CString(AnsiToUtf16(text.substr(0, text.find('\0'))));
  } else if (type == kVtWideString) {
    if (!Holds(size, at, 8)) return false;
    const uint32_t n = FeLe32(s + at + 4);
    if (n < 1 || n > kMaxPropertyText) return true;
    if (!Holds(size, at + 8, 2ull * n)) return false;
    std::u16string text;
    for (uint32_t i = 0; i < n; ++i) {
      const char16_t c = FeLe16(s + at + 8 + 2 * i);
      if (c == 0) break;
      text.push_back(c);
    }
    out = CString(std::move(text));
  } else if (type == kVtFileTime) {
    if (!Holds(size, at, 12)) return false;
    // A time of 0 is a property that was never set.
    if (const uint64_t t = FeLe64(s + at + 4)) out = FileTimeText(t);
  }
  return true;
}

}  // namespace

bool ParseSummaryInformation(const uint8_t* s, uint64_t size, DocumentProperties& props) {
  props = DocumentProperties();
  if (!s || size == 0) return false;
  if (!Holds(size, 24, 4)) return true;
  const uint32_t sections = FeLe32(s + 24);
  for (uint64_t k = 0; k < sections; ++k) {
    const uint64_t entry = 28 + 20 * k;
    if (!Holds(size, entry, 20)) break;
    const uint64_t section = FeLe32(s + entry + 16);
    if (!Holds(size, section, 8)) continue;
    const uint32_t count = FeLe32(s + section + 4);
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t pair = section + 8 + 8 * i;
      if (!Holds(size, pair, 8)) break;
      const uint32_t id = FeLe32(s + pair);
      CString* target = id == kPidAuthor ? &props.author : id == kPidLastAuthor ? &props.lastAuthor
                      : id == kPidCreated ? &props.created : id == kPidSaved ? &props.saved : nullptr;
      if (!target) continue;
      if (!ReadProperty(s, size, section + FeLe32(s + pair + 4), *target)) break;
    }
  }
  return true;
}

bool ParseOoxmlCoreProperties(const uint8_t* zip, uint64_t size, DocumentProperties& props) {
  props = DocumentProperties();
  std::string xml;
  if (!ExtractPptxText(zip, size, "docProps/core.xml", xml)) return false;
  size_t at = xml.find("<dc:creator>");
  // From the creator on, element by element: the tag to its '>', the text to the next '<'.
  while (at != std::string::npos) {
    const size_t tagEnd = xml.find('>', at + 1);
    if (tagEnd == std::string::npos) break;
    const size_t textEnd = xml.find('<', tagEnd + 1);
    const std::string_view tag(xml.data() + at + 1, tagEnd - at - 1);
    const size_t textStop = textEnd == std::string::npos ? xml.size() : textEnd;
    const CString text(Utf8ToUtf16(std::string_view(xml.data() + tagEnd + 1, textStop - tagEnd - 1)));
    if (tag == "dc:creator") props.author = text;
    else if (tag == "cp:lastModifiedBy") props.lastAuthor = text;
    else if (tag.starts_with("dcterms:created")) props.created = IsoUtcToLocalText(text);
    else if (tag.starts_with("dcterms:modified")) props.saved = IsoUtcToLocalText(text);
    at = textEnd;
  }
  return true;
}
