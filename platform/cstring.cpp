#include "platform/cstring.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "platform/textconv.h"

namespace {

locale_t CaseLocale() {
  // C.UTF-8 gives towupper its Unicode tables; a plain "C" locale folds ASCII only.
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C", locale_t(0));
    return l;
  }();
  return loc;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

}  // namespace

char16_t ToUpperUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  wint_t r = towupper_l(wint_t(c), CaseLocale());
  return r <= 0xFFFF ? char16_t(r) : c;
}

char16_t ToLowerUnit(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  wint_t r = towlower_l(wint_t(c), CaseLocale());
  return r <= 0xFFFF ? char16_t(r) : c;
}

CString::CString(const char* s) : s_(s ? AnsiToUtf16(s) : std::u16string()) {}
CString::CString(std::string_view s) : s_(AnsiToUtf16(s)) {}

std::string CString::ToUtf8() const { return Utf16ToUtf8(s_); }
std::string CString::ToAnsi() const { return Utf16ToAnsi(s_); }

CString CString::Left(int n) const {
  if (n <= 0) return CString();
  return CString(s_.substr(0, size_t(n)));
}

CString CString::Right(int n) const {
  if (n <= 0) return CString();
  if (n >= GetLength()) return *this;
  return CString(s_.substr(s_.size() - size_t(n)));
}

CString CString::Mid(int first) const {
  if (first < 0) first = 0;
  if (first >= GetLength()) return CString();
  return CString(s_.substr(size_t(first)));
}

CString CString::Mid(int first, int n) const {
  if (first < 0) first = 0;
  if (n <= 0 || first >= GetLength()) return CString();
  return CString(s_.substr(size_t(first), size_t(n)));
}

int CString::Find(char16_t c, int start) const {
  if (start < 0) start = 0;
  if (start >= GetLength()) return -1;
  size_t p = s_.find(c, size_t(start));
  return p == std::u16string::npos ? -1 : int(p);
}

int CString::Find(std::u16string_view sub, int start) const {
  if (start < 0) start = 0;
  if (start > GetLength()) return -1;
  size_t p = s_.find(sub, size_t(start));
  return p == std::u16string::npos ? -1 : int(p);
}

int CString::ReverseFind(char16_t c) const {
  size_t p = s_.rfind(c);
  return p == std::u16string::npos ? -1 : int(p);
}

int CString::FindOneOf(std::u16string_view set) const {
  size_t p = s_.find_first_of(set);
  return p == std::u16string::npos ? -1 : int(p);
}

CString& CString::MakeUpper() {
  for (auto& c : s_) c = ToUpperUnit(c);
  return *this;
}

CString& CString::MakeLower() {
  for (auto& c : s_) c = ToLowerUnit(c);
  return *this;
}

CString& CString::MakeReverse() {
  std::reverse(s_.begin(), s_.end());
  return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < s_.size() && IsBlank(s_[i])) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = s_.size();
  while (n > 0 && IsBlank(s_[n - 1])) --n;
  s_.resize(n);
  return *this;
}

CString& CString::Trim(std::u16string_view set) { return TrimRight(set).TrimLeft(set); }

CString& CString::TrimLeft(std::u16string_view set) {
  size_t i = s_.find_first_not_of(set);
  s_.erase(0, i == std::u16string::npos ? s_.size() : i);
  return *this;
}

CString& CString::TrimRight(std::u16string_view set) {
  size_t i = s_.find_last_not_of(set);
  s_.resize(i == std::u16string::npos ? 0 : i + 1);
  return *this;
}

int CString::Replace(std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return 0;
  int count = 0;
  std::u16string out;
  size_t pos = 0;
  for (;;) {
    size_t hit = s_.find(from, pos);
    if (hit == std::u16string::npos) break;
    out.append(s_, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
    ++count;
  }
  if (count) {
    out.append(s_, pos, std::u16string::npos);
    s_ = std::move(out);
  }
  return count;
}

int CString::Replace(char16_t from, char16_t to) {
  int count = 0;
  for (auto& c : s_) {
    if (c == from) c = to, ++count;
  }
  return count;
}

int CString::Remove(char16_t c) {
  size_t before = s_.size();
  s_.erase(std::remove(s_.begin(), s_.end(), c), s_.end());
  return int(before - s_.size());
}

int CString::Insert(int index, std::u16string_view s) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  s_.insert(size_t(index), s);
  return GetLength();
}

int CString::Delete(int index, int count) {
  if (index < 0) index = 0;
  if (count > 0 && index < GetLength()) s_.erase(size_t(index), size_t(count));
  return GetLength();
}

int CString::Compare(std::u16string_view o) const {
  int r = std::u16string_view(s_).compare(o);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(std::u16string_view o) const {
  size_t n = std::min(s_.size(), o.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t a = ToLowerUnit(s_[i]), b = ToLowerUnit(o[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (s_.size() == o.size()) return 0;
  return s_.size() < o.size() ? -1 : 1;
}
