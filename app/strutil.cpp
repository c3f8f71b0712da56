#include "app/strutil.h"

#include <chrono>
#include <random>
#include <thread>

#include "platform/fileio.h"
#include "platform/textconv.h"

CString Utf8ToWide(std::string_view utf8) { return CString(Utf8ToUtf16(utf8)); }
std::string WideToUtf8(const CString& text) { return Utf16ToUtf8(text.View()); }
CString AnsiToWide(std::string_view ansi) { return CString(AnsiToUtf16(ansi)); }
std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi)); }
CString ExceptionTextToWide(const char* what) { return what ? AnsiToWide(what) : CString(); }

namespace {

const char kHexUpper[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsHexEscape(std::string_view s, size_t i) {
  return i + 2 < s.size() && s[i] == '%' && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0;
}

bool IsAlnum(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

std::string UrlEncode(std::string_view text, bool keepStructure) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ') {
      out += "%20";
    } else if (c == '+') {
      out += "%2B";
    } else if (keepStructure && IsHexEscape(text, i)) {
      out.append(text.substr(i, 3));
      i += 2;
    } else if (keepStructure && (c == '&' || c == '/' || c == ':' || c == '=' || c == '?')) {
      out += char(c);
    } else if (IsAlnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
      out += char(c);
    } else {
      out += '%';
      out += kHexUpper[c >> 4];
      out += kHexUpper[c & 15];
    }
  }
  return out;
}

std::string UrlDecode(std::string_view text) {
  static const std::string_view kKeptEncoded = "!$&'()*,-./:;=?_@";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsHexEscape(text, i)) {
      const unsigned char v = static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      if (IsAlnum(v) || kKeptEncoded.find(char(v)) != std::string_view::npos) {
        out.append(text.substr(i, 3));
      } else {
        // An escaped plus stays a plus: it was escaped precisely so it would not become a blank.
        out += char(v);
      }
      i += 2;
    } else if (c == '+') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string BuildQueryString(const std::map<std::string, std::string>& params) {
  std::string out;
  for (const auto& [name, value] : params) {
    if (!out.empty()) out += '&';
    out += name;
    out += '=';
    out += value;
  }
  return out;
}

bool IsUtf8Text(std::string_view text) {
  if (text.empty()) return false;
  bool nonAscii = false;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i++]);
    if (c < 0x80) continue;
    nonAscii = true;
    int follow;
    if (c >= 0xC0 && c <= 0xDF) follow = 1;
    else if (c >= 0xE0 && c <= 0xEF) follow = 2;
    else if (c >= 0xF0 && c <= 0xF7) follow = 3;
    else if (c >= 0xF8 && c <= 0xFB) follow = 4;
    else if (c >= 0xFC && c <= 0xFD) follow = 5;
    else return false;  // a continuation byte where a sequence should start, or 0xFE/0xFF
    for (int k = 0; k < follow; ++k) {
      if (i >= text.size()) return false;  // left open at the end
      const unsigned char f = static_cast<unsigned char>(text[i++]);
      if (f < 0x80 || f > 0xBF) return false;
    }
  }
  return nonAscii;
}

CString MakeNonce32() {
  // Seeded once per thread: two calls in the same second differ, and the C runtime's sequence,
  // which other helpers draw from, is left alone.
  thread_local std::mt19937 gen([] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), unsigned(std::chrono::steady_clock::now().time_since_epoch().count()),
                      unsigned(std::hash<std::thread::id>()(std::this_thread::get_id()))};
    return std::mt19937(seq);
  }());
  CString s;
  for (int i = 0; i < 32; ++i) {
    switch (gen() % 3) {
      case 0:
        s += char16_t(u'A' + gen() % 26);
        break;
      case 1:
        s += char16_t(u'a' + gen() % 26);
        break;
      default:
        s += char16_t(u'0' + gen() % 10);
        break;
    }
  }
  return s;
}

CString TrimChars(const CString& text, std::u16string_view set) {
  CString s = text;
  s.Trim(set);
  return s;
}

CString TrimWhite(const CString& text) { return TrimChars(text, u" \t\r\n"); }

namespace {

bool IsFolder(const CString& path) {
  const DWORD a = GetFileAttributesW(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int CreateDirRecursive(const CString& path) {
  if (path.IsEmpty()) return 22;
  if (IsFolder(path)) return 0;
  CString p = path;
  while (p.GetLength() > 1 && (p[p.GetLength() - 1] == u'\\' || p[p.GetLength() - 1] == u'/'))
    p.Truncate(p.GetLength() - 1);
  for (int i = 0; i < p.GetLength(); ++i) {
    if (p[i] != u'\\' && p[i] != u'/') continue;
    // An empty first part is the root of an absolute path, which always exists.
    if (i == 0) continue;
    const CString part = p.Left(i);
    if (!IsFolder(part) && !CreateDirectoryW(part) && !IsFolder(part)) return -1;
  }
  if (CreateDirectoryW(p) || IsFolder(p)) return 0;
  return -1;
}
