#include "platform/textconv.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

std::mutex& CodePageLock() {
  static std::mutex& m = *new std::mutex;
  return m;
}
std::string& CodePageName() {
  static std::string& name = *new std::string("UTF-8");
  return name;
}

bool IsUtf8Name(const std::string& n) {
  return n == "UTF-8" || n == "utf-8" || n == "UTF8" || n == "utf8";
}

// Runs iconv over the whole input; an unconvertible or invalid sequence is replaced by
// `bad` and skipped by `skip` input bytes.
std::string IconvAll(const char* to, const char* from, std::string_view in, std::string_view bad,
                     size_t skip) {
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return out;
  std::string buf(in);
  char* src = buf.data();
  size_t left = buf.size();
  char tmp[1024];
  while (left > 0) {
    char* dst = tmp;
    size_t room = sizeof(tmp);
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(tmp, size_t(dst - tmp));
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace and step over the offending unit.
      out.append(bad);
      size_t step = left < skip ? left : skip;
      src += step;
      left -= step;
    }
  }
  char* dst = tmp;
  size_t room = sizeof(tmp);
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(tmp, size_t(dst - tmp));
  iconv_close(cd);
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int len = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    int got = 1;
    while (got < len && i + got < n && (uint8_t(s[i + got]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (uint8_t(s[i + got]) & 0x3F);
      ++got;
    }
    if (got < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
      i += got;
      continue;
    }
    AppendUtf16(out, cp);
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

bool SetAnsiCodePage(const std::string& name) {
  if (!IsUtf8Name(name)) {
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == (iconv_t)-1) return false;
    iconv_close(cd);
  }
  std::lock_guard<std::mutex> g(CodePageLock());
  CodePageName() = name;
  return true;
}

std::string GetAnsiCodePage() {
  std::lock_guard<std::mutex> g(CodePageLock());
  return CodePageName();
}

std::u16string AnsiToUtf16(std::string_view s) {
  std::string page = GetAnsiCodePage();
  if (IsUtf8Name(page)) return Utf8ToUtf16(s);
  const char16_t rep = kReplacement;
  std::string raw = IconvAll("UTF-16LE", page.c_str(), s,
                             std::string_view(reinterpret_cast<const char*>(&rep), 2), 1);
  std::u16string out(raw.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = char16_t(uint8_t(raw[2 * i]) | (uint8_t(raw[2 * i + 1]) << 8));
  return out;
}

std::string Utf16ToAnsi(std::u16string_view s) {
  std::string page = GetAnsiCodePage();
  if (IsUtf8Name(page)) return Utf16ToUtf8(s);
  std::string raw;
  raw.reserve(s.size() * 2);
  for (char16_t c : s) {
    raw.push_back(char(c & 0xFF));
    raw.push_back(char(c >> 8));
  }
  return IconvAll(page.c_str(), "UTF-16LE", raw, "?", 2);
}
