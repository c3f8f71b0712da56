#include "base/textutil.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"
#include "platform/textconv.h"

CString Utf8ToCString(const char* text) {
  if (!text) return CString();
  return CString(Utf8ToUtf16(text));
}

CString AnsiToCString(const char* text) {
  if (!text) return CString();
  return CString(AnsiToUtf16(text));
}

CString AnsiInBufToCString(const void* start, size_t length, const char* text, int n) {
  if (!start || !text || n <= 0) return CString();
  const char* begin = static_cast<const char*>(start);
  if (text < begin || text >= begin + length) return CString();
  // A text without its NUL stops at the end of the buffer instead of running past it.
  const size_t room = size_t(begin + length - text);
  const void* nul = memchr(text, 0, room);
  const size_t len = nul ? size_t(static_cast<const char*>(nul) - text) : room;
  CString s(AnsiToUtf16(std::string_view(text, len)));
  if (s.GetLength() > n) s.Truncate(n);
  return s;
}

bool SplitAtStar(const CString& text, CString& before, CString& after) {
  if (text.IsEmpty()) return false;
  before = text;
  after.Empty();
  const int star = text.Find(u'*');
  if (star > 0) {
    before = text.Left(star);
    after = text.Mid(star + 1);
  }
  return true;
}

void ReplaceAll(CString& text, const CString& search, const CString& replacement, bool rescan) {
  if (search.IsEmpty()) return;
  if (replacement.Find(search.View()) >= 0) rescan = false;
  std::u16string& s = text.Str();
  size_t pos = 0;
  while ((pos = s.find(search.View(), pos)) != std::u16string::npos) {
    s.replace(pos, size_t(search.GetLength()), replacement.View());
    if (!rescan) pos += size_t(replacement.GetLength());
  }
}

void TrimBlanks(CString& text) { text.Trim(u" \t"); }

void ColonToBlank(CString& text) {
  for (int i = 0; i < text.GetLength(); ++i) {
    if (text[i] == u':' && i != 1) text.SetAt(i, u' ');
  }
}

int CompareNoCaseN(const char16_t* a, const char16_t* b, size_t n) {
  if (n == 0) return 0;
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  auto isCap = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
  auto isSmall = [](char16_t c) { return c >= u'a' && c <= u'z'; };
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i], y = b[i];
    if (x == y) continue;
    if (isCap(x) && isSmall(y)) x = char16_t(x + 32);
    else if (isSmall(x) && isCap(y)) y = char16_t(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool IsSameNoCase(const CString& a, const CString& b) {
  CString x = a, y = b;
  x.MakeUpper();
  y.MakeUpper();
  return x == y;
}

void CopyToWBuf(char16_t* buf, size_t n, const CString& text) {
  if (!buf || n == 0 || text.IsEmpty()) return;
  const size_t count = std::min(size_t(text.GetLength()), n - 1);
  memcpy(buf, text.GetString(), count * sizeof(char16_t));
  buf[count] = 0;
}

bool DupCStringToMem(const CString& text, char16_t*& buf) {
  if (text.IsEmpty()) return false;
  if (buf) FreeMem(buf);
  const size_t units = size_t(text.GetLength()) + 1;
  buf = static_cast<char16_t*>(AllocMem(units * sizeof(char16_t), 620));
  memcpy(buf, text.GetString(), units * sizeof(char16_t));
  return true;
}
