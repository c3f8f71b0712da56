// Office XML packages: zip archives whose parts are XML. The text of a document is taken from
// its main part as the runs between tags; nothing is parsed beyond that.
#include <cstring>

#include "app/resarchive.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/doctext/zipmemory.h"
#include "deepscan/fileendrules.h"
#include "platform/textconv.h"

namespace {

constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50, kDescriptor = 0x08074B50;
constexpr uint16_t kSizesFollowData = 0x0008;
constexpr uint32_t kSlideCount = 128;
constexpr uint64_t kSlidesBelow = 0x4000;
constexpr const char* kSlidesPart = "ppt/slides/slide1.xml";

// The data of a member whose sizes follow it ends at the first data descriptor that states
// the data's length. The offset just past that descriptor, or 0 when none does.
uint64_t PastDescriptor(const uint8_t* zip, uint64_t size, uint64_t data) {
  for (uint64_t at = data; at + 16 <= size; ++at) {
    if (zip[at] != 'P' || FeLe32(zip + at) != kDescriptor) continue;
    if (FeLe32(zip + at + 8) == at - data) return at + 16;
  }
  return 0;
}

bool NoCaseEquals(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The number k of a member named "ppt/slides/slide<k>.xml" (as "%d" writes it, 0 to 127), or
// -1. Names compare without regard to case, as a part lookup does.
int SlideNumber(const char* name, size_t length) {
  static const char kPrefix[] = "ppt/slides/slide";
  const size_t p = sizeof kPrefix - 1;
  if (length < p + 5 || !NoCaseEquals(name, kPrefix, p) || !NoCaseEquals(name + length - 4, ".xml", 4)) return -1;
  const size_t digits = length - p - 4;
  if (digits < 1 || digits > 3 || (digits > 1 && name[p] == '0')) return -1;
  int k = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = name[p + i];
    if (c < '0' || c > '9') return -1;
    k = k * 10 + (c - '0');
  }
  return k < int(kSlideCount) ? k : -1;
}

bool ReadSlides(unzFile zip, std::string& bytes) {
  unz_file_pos where[kSlideCount];
  bool have[kSlideCount] = {};
  for (int r = unzGoToFirstFile(zip); r == UNZ_OK; r = unzGoToNextFile(zip)) {
    char name[64];
    unz_file_info info;
    if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    if (info.size_filename >= sizeof name) continue;
    const int k = SlideNumber(name, info.size_filename);
    if (k >= 0 && !have[k] && unzGetFilePos(zip, &where[k]) == UNZ_OK) have[k] = true;
  }
  bool found = false;
  for (uint32_t k = 0; k < kSlideCount; ++k) {
    if (!have[k] || unzGoToFilePos(zip, &where[k]) != UNZ_OK) continue;
    // A slide is taken only when the slides so far and it stay below 16 KiB; a larger one is
    // skipped and later ones are still tried.
    std::string slide;
    if (ReadZipMemberPrefix(zip, kSlidesBelow - bytes.size(), slide) != ZipMemberRead::kWhole) continue;
    bytes += slide;
    found = true;
  }
  return found;
}

}  // namespace

bool CheckZipRecords(const uint8_t* zip, uint64_t size) {
  if (!zip) return false;
  uint64_t at = 0;
  for (;;) {
    if (at > size || size - at < 4) return false;
    const uint8_t* r = zip + at;
    const uint64_t left = size - at;
    const uint32_t sig = FeLe32(r);
    if (sig == kEnd) return left >= 22;
    uint64_t next = 0;
    if (sig == kLocal) {
      if (left < 30) return false;
      const uint64_t data = at + 30 + FeLe16(r + 26) + FeLe16(r + 28);
      const uint32_t packed = FeLe32(r + 18);
      if ((FeLe16(r + 6) & kSizesFollowData) && packed == 0) {
        // Written as a stream: the sizes are in a descriptor behind the data.
        next = PastDescriptor(zip, size, data);
        if (next == 0) return false;
      } else {
        next = data + packed;
      }
    } else if (sig == kCentral) {
      if (left < 34) return false;
      next = at + 46 + FeLe16(r + 28) + FeLe16(r + 30) + FeLe16(r + 32);
    } else {
      return false;
    }
    at = next;
  }
}

bool ExtractPptxText(const uint8_t* zip, uint64_t size, const char* part, std::string& bytes) {
  bytes.clear();
  if (!part) return false;
  ZipFromMemory z(zip, size);
  if (!z.Open()) return false;
  if (std::strcmp(part, kSlidesPart) == 0) return ReadSlides(z.Handle(), bytes);
  if (unzLocateFile(z.Handle(), part, 2) != UNZ_OK) return false;
  // Only the first bytes of a part are ever looked at: a part that inflates to gigabytes (a
  // crafted one inside a carved file) is inflated no further than that.
  return ReadZipMemberPrefix(z.Handle(), kXmlPartBytes, bytes) != ZipMemberRead::kFailed && !bytes.empty();
}

bool ExtractOoxmlText(uint32_t typeId, const uint8_t* zip, uint64_t size, CString& text) {
  text.Empty();
  if (size < 512 || !CheckZipRecords(zip, size)) return false;
  const char* part = typeId == 37 ? "word/document.xml" : typeId == 38 ? "xl/sharedStrings.xml"
                   : typeId == 89 ? kSlidesPart : nullptr;
  std::string xml;
  if (!part || !ExtractPptxText(zip, size, part, xml)) return false;
  if (xml.size() > kXmlPartBytes) xml.resize(kXmlPartBytes);
  // Every run of two bytes or more between a '>' and the next '<', one after another.
  std::string runs;
  size_t open = xml.find('>');
  while (open != std::string::npos) {
    const size_t close = xml.find('<', open + 1);
    if (close == std::string::npos) break;
    if (close - open - 1 >= 2) runs.append(xml, open + 1, close - open - 1);
    open = xml.find('>', close + 1);
  }
  if (runs.empty()) return false;
  std::u16string wide = Utf8ToUtf16(runs);
  const size_t first = wide.find_first_not_of(u"\r\n");
  wide.erase(0, first == std::u16string::npos ? wide.size() : first);
  if (wide.size() > kDetailTextChars) wide.resize(kDetailTextChars);
  text = CString(std::move(wide));
  return !text.IsEmpty();
}
