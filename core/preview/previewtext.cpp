#include "core/preview/previewtext.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "base/pathutil.h"
#include "platform/textconv.h"

namespace {

// The preview keeps 16,384 bytes of UTF-16 text: 8,192 units, which never take more than
// 4 bytes each in UTF-8 or the code pages. Decoding more would only be cut off again.
constexpr uint32_t kTextInputCap = 64 * 1024;

uint32_t UpToNul(const uint8_t* b, uint32_t n) {
  const void* z = std::memchr(b, 0, n);
  return z ? uint32_t(static_cast<const uint8_t*>(z) - b) : n;
}

CString Utf16Text(const uint8_t* b, uint32_t n, bool bigEndian) {
  std::u16string out;
  const uint32_t units = std::min(n / 2, kTextInputCap / 2);
  for (uint32_t i = 0; i < units; ++i) {
    const char16_t u = bigEndian ? char16_t((b[2 * i] << 8) | b[2 * i + 1]) : char16_t(b[2 * i] | (b[2 * i + 1] << 8));
    if (u == 0) break;
    out += u;
  }
  return CString(std::move(out));
}

bool IsContinuation(uint8_t c) { return c >= 0x80 && c <= 0xBF; }

// Lead bytes C0-DF, E0-EF and F0-F4 take one, two and three continuation bytes.
bool LooksUtf8(const uint8_t* b, uint32_t n) {
  uint32_t i = 0;
  while (i < n) {
    const uint8_t c = b[i];
    uint32_t more;
    if (c < 0x80) more = 0;
    else if (c >= 0xC0 && c <= 0xDF) more = 1;
    else if (c >= 0xE0 && c <= 0xEF) more = 2;
    else if (c >= 0xF0 && c <= 0xF4) more = 3;
    else return false;
    for (uint32_t k = 1; k <= more; ++k) {
      if (i + k >= n) return true;  // cut off by the end of the data
      if (!IsContinuation(b[i + k])) return false;
    }
    i += more + 1;
  }
  return true;
}

}  // namespace

CString DecodePreviewText(const uint8_t* b, uint32_t n) {
  if (!b || n == 0) return CString();
  if (n > 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    const uint32_t len = std::min(UpToNul(b + 3, n - 3), kTextInputCap);
    return CString(Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(b + 3), len)));
  }
  if (n > 2 && b[0] == 0xFF && b[1] == 0xFE) return Utf16Text(b + 2, n - 2, false);
  if (n > 2 && b[0] == 0xFE && b[1] == 0xFF) return Utf16Text(b + 2, n - 2, true);
  const uint32_t len = std::min(UpToNul(b, n), kTextInputCap);
  const std::string_view text(reinterpret_cast<const char*>(b), len);
  // The whole file decides between UTF-8 and the code page, not only the start that is shown.
  if (LooksUtf8(b, n)) return CString(Utf8ToUtf16(text));
  return CString(AnsiToUtf16(text));
}

CString AnsiPreviewText(const uint8_t* b, uint32_t n) {
  if (!b || n == 0) return CString();
  const uint32_t len = std::min(UpToNul(b, n), kTextInputCap);
  return CString(AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(b), len)));
}

bool IsTextExtension(const char16_t* name) {
  static const std::array<std::u16string_view, 18> kExtensions = {
      u"txt", u"h", u"c", u"cpp", u"cc", u"cxx", u"php", u"xml", u"wxml",
      u"htm", u"html", u"lua", u"js", u"css", u"inf", u"ini", u"json", u"log"};
  CString ext;
  if (!name || !GetFileExtLower(name, ext)) return false;
  return std::find(kExtensions.begin(), kExtensions.end(), ext.View()) != kExtensions.end();
}
