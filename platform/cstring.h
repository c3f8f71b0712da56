// CString: the class library's wide string, here a UTF-16 string (char16_t units).
//
// Lengths, indexes and counts are in UTF-16 code units, as on Windows. Upper/lower casing and
// no-case comparison fold ASCII and the Latin/Greek/Cyrillic letters that towupper knows.
#pragma once

#include <compare>
#include <string>
#include <string_view>

#include "platform/format.h"
#include "platform/wintypes.h"

class CString {
 public:
  CString() = default;
  CString(const char16_t* s) : s_(s ? s : u"") {}
  CString(const char16_t* s, int n) : s_(s ? std::u16string(s, size_t(n < 0 ? 0 : n)) : std::u16string()) {}
  CString(std::u16string s) : s_(std::move(s)) {}
  CString(std::u16string_view s) : s_(s) {}
  CString(char16_t c, int repeat = 1) : s_(size_t(repeat < 0 ? 0 : repeat), c) {}
  // Narrow text is taken in the ANSI code page (UTF-8 by default).
  explicit CString(const char* s);
  explicit CString(std::string_view s);

  int GetLength() const { return int(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  const char16_t* GetString() const { return s_.c_str(); }
  operator const char16_t*() const { return s_.c_str(); }
  const std::u16string& Str() const { return s_; }
  std::u16string& Str() { return s_; }
  std::u16string_view View() const { return s_; }
  std::string ToUtf8() const;
  std::string ToAnsi() const;

  char16_t GetAt(int i) const { return (i >= 0 && i < GetLength()) ? s_[size_t(i)] : u'\0'; }
  void SetAt(int i, char16_t c) {
    if (i >= 0 && i < GetLength()) s_[size_t(i)] = c;
  }
  char16_t operator[](int i) const { return GetAt(i); }

  CString Left(int n) const;
  CString Right(int n) const;
  CString Mid(int first) const;
  CString Mid(int first, int n) const;

  // -1 when not found.
  int Find(char16_t c, int start = 0) const;
  int Find(std::u16string_view sub, int start = 0) const;
  int ReverseFind(char16_t c) const;
  int FindOneOf(std::u16string_view set) const;

  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();
  CString& Trim();
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim(std::u16string_view set);
  CString& TrimLeft(std::u16string_view set);
  CString& TrimRight(std::u16string_view set);
  CString& TrimLeft(char16_t c) { return TrimLeft(std::u16string_view(&c, 1)); }
  CString& TrimRight(char16_t c) { return TrimRight(std::u16string_view(&c, 1)); }

  // Returns the number of replacements; an empty search text replaces nothing.
  int Replace(std::u16string_view from, std::u16string_view to);
  int Replace(char16_t from, char16_t to);
  int Remove(char16_t c);
  int Insert(int index, std::u16string_view s);
  int Insert(int index, char16_t c) { return Insert(index, std::u16string_view(&c, 1)); }
  int Delete(int index, int count = 1);
  void Truncate(int n) {
    if (n >= 0 && n < GetLength()) s_.resize(size_t(n));
  }

  int Compare(std::u16string_view o) const;
  int CompareNoCase(std::u16string_view o) const;

  template <typename... Args>
  void Format(std::u16string_view fmt, const Args&... args) {
    s_ = FormatW(fmt, args...);
  }
  template <typename... Args>
  void AppendFormat(std::u16string_view fmt, const Args&... args) {
    s_ += FormatW(fmt, args...);
  }

  CString& operator+=(const CString& o) {
    s_ += o.s_;
    return *this;
  }
  CString& operator+=(const char16_t* o) {
    if (o) s_ += o;
    return *this;
  }
  CString& operator+=(std::u16string_view o) {
    s_ += o;
    return *this;
  }
  CString& operator+=(char16_t c) {
    s_ += c;
    return *this;
  }

  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const char16_t* b) { return CString(a.s_ + (b ? b : u"")); }
  friend CString operator+(const char16_t* a, const CString& b) { return CString((a ? a : u"") + b.s_); }
  friend CString operator+(const CString& a, char16_t c) { return CString(a.s_ + c); }
  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const char16_t* b) { return a.s_ == (b ? b : u""); }
  friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.s_ <=> b.s_; }

 private:
  std::u16string s_;
};

// Upper and lower case of one UTF-16 unit.
char16_t ToUpperUnit(char16_t c);
char16_t ToLowerUnit(char16_t c);

template <typename... Args>
CString FormatCString(std::u16string_view fmt, const Args&... args) {
  return CString(FormatW(fmt, args...));
}
