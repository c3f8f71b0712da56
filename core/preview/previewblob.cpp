#include "core/preview/previewblob.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/heap.h"

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool IsLeadingBlank(char16_t c) { return c == u'\r' || c == u'\n' || c == u' '; }

}  // namespace

uint8_t* PackPreviewBlob(uint8_t code, const void* data, uint32_t h, const char16_t* text, uint32_t b) {
  const uint32_t c = std::min(b, kPreviewTextMaxBytes) & ~1u;
  if (!data) h = 0;
  auto* blob = static_cast<uint8_t*>(AllocMem(uint64_t(h) + c + 11, kPreviewBlobTag));
  blob[0] = code;
  if (data && h > 0) {
    PutLe32(blob + 1, h);
    std::memcpy(blob + kPreviewBlobHeader, data, h);
  }
  if (text && c > 0) {
    const uint32_t units = c / 2;
    uint32_t skip = 0;
    if (units >= 10)
      while (skip < units - 2 && IsLeadingBlank(text[skip])) ++skip;
    // The stripped text moves to the front; what follows its NUL stays zero, so the extra
    // length keeps the text's original count.
    PutLe32(blob + 5, c + 2);
    std::memcpy(blob + kPreviewBlobHeader + h, text + skip, size_t(units - skip) * 2);
  }
  return blob;
}

uint8_t* PackPreviewBlobWithText(uint8_t code, const void* data, uint32_t dataLength, const CString& text) {
  const uint64_t bytes = uint64_t(text.GetLength()) * 2;
  return PackPreviewBlob(code, data, dataLength, text.GetString(), uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFEu)));
}

bool ReadPreviewBlob(const uint8_t* blob, uint32_t n, PreviewBlobView& out) {
  out = PreviewBlobView();
  if (!blob || n < kPreviewBlobHeader) return false;
  const uint32_t h = GetLe32(blob + 1), e = GetLe32(blob + 5);
  if (h > n - kPreviewBlobHeader || e > n - kPreviewBlobHeader - h) return false;
  out.code = blob[0];
  out.head = std::span<const uint8_t>(blob + kPreviewBlobHeader, h);
  const uint8_t* t = blob + kPreviewBlobHeader + h;
  std::u16string text;
  for (uint32_t i = 0; i + 1 < e; i += 2) {
    const char16_t u = char16_t(t[i] | (t[i + 1] << 8));
    if (u == 0) break;
    text += u;
  }
  out.text = CString(std::move(text));
  return true;
}
