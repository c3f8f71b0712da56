#include "app/cmdlineparse.h"

#include <boost/regex.hpp>

#include <exception>
#include <string>

#include "app/strutil.h"

namespace {

// The search runs over wchar_t text (32-bit here), so surrogate pairs become one character
// and \S, \s and ranges see whole characters; matches come back as UTF-16 again.
std::wstring ToWide32(std::u16string_view s) {
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out += wchar_t(0x10000 + ((c - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
      ++i;
    } else {
      out += wchar_t(c);
    }
  }
  return out;
}

CString FromWide32(const std::wstring& s) {
  std::u16string out;
  out.reserve(s.size());
  for (wchar_t w : s) {
    const char32_t c = char32_t(w);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return CString(std::move(out));
}

// The name stops at the first '=' so that a value holding '=' (version information, say)
// keeps it: a greedy name would swallow everything up to the run's last '='.
constexpr char16_t kOptionPattern[] = u"(/[^\\s=]+)\\s*=(\".+?\"|\\S*)";

}  // namespace

bool CRegEx::Search(std::vector<std::vector<CString>>& matches, const CString& pattern, const CString& text) {
  if (pattern.IsEmpty() || text.IsEmpty()) return false;
  matches.clear();
  try {
    const boost::wregex expr(ToWide32(pattern.View()), boost::regex_constants::perl);
    const std::wstring subject = ToWide32(text.View());
    // The iterator resumes behind each match and steps past an empty one, so a pattern that
    // can match nothing still ends.
    for (boost::wsregex_iterator it(subject.begin(), subject.end(), expr), end; it != end; ++it) {
      std::vector<CString> groups;
      groups.reserve(it->size());
      for (size_t g = 0; g < it->size(); ++g) groups.push_back((*it)[int(g)].matched ? FromWide32((*it)[int(g)].str()) : CString());
      matches.push_back(std::move(groups));
    }
  } catch (const boost::regex_error& e) {
    SetErrorText(FormatCString(u"fetch boost::bad_expression %s", ExceptionTextToWide(e.what())));
    return false;
  } catch (const std::exception& e) {
    // The matcher gives up on patterns whose search grows too complex; that is a failed
    // search, not a crash.
    SetErrorText(FormatCString(u"fetch boost::bad_expression %s", ExceptionTextToWide(e.what())));
    return false;
  }
  return !matches.empty();
}

bool CCmdLineParse::Parse(const CString& commandLine) {
  options_.clear();
  std::vector<std::vector<CString>> matches;
  if (!regex_.Search(matches, kOptionPattern, commandLine) || matches.empty()) {
    SetErrorText(FormatCString(u"Err:无法解析命令行参数\r\n%s", commandLine));
    return false;
  }
  for (const auto& m : matches) {
    if (m.size() != 3) {
      SetErrorText(FormatCString(u"Err:参数有异常\r\n%s", m.empty() ? CString() : m[0]));
      return false;
    }
    CString name = m[1];
    name.MakeLower();
    options_[name] = m[2];
  }
  return true;
}

void CCmdLineParse::Set(const CString& name, const CString& value) { options_[name] = value; }

void CCmdLineParse::Build(CString& out) const {
  out.Empty();
  for (const auto& [name, value] : options_) {
    if (!out.IsEmpty()) out += u' ';
    CString v = value;
    v.Trim(u"\"");
    out += name;
    out += u"=\"";
    out += v;
    out += u'"';
  }
}
