// Options handed between the maker's programs on a command line: "/name=value" or
// /name="value". CRegEx is the pattern search under it (Boost.Regex, Perl syntax).
#pragma once

#include <map>
#include <vector>

#include "app/unitebase.h"
#include "platform/cstring.h"

class CRegEx : public CUniteBase {
 public:
  // Every match of the pattern in the text, in order: the whole match first, then each group
  // (a group that took no part is empty). False for an empty pattern or text, no match, or a
  // pattern that does not compile ("fetch boost::bad_expression ..." in the error text).
  bool Search(std::vector<std::vector<CString>>& matches, const CString& pattern, const CString& text);
};

class CCmdLineParse : public CUniteBase {
 public:
  // Reads every option of the command line into the map (emptied first): names lower-cased,
  // values as written, quotation marks included; a later option of a name replaces an earlier
  // one. False, with the reason in the error text, when no option was found.
  bool Parse(const CString& commandLine);
  // Adds the option, or replaces the value of the option of that name (name taken as given).
  void Set(const CString& name, const CString& value);
  // name="value" for every option in name order, separated by one blank; quotation marks at
  // either end of a value are dropped before it is quoted once.
  void Build(CString& out) const;

  const std::map<CString, CString>& Options() const { return options_; }

 private:
  CRegEx regex_;
  std::map<CString, CString> options_;
};
