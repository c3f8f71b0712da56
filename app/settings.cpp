#include "app/settings.h"

#include <cstdlib>

#include "base/log.h"
#include "platform/hooks.h"

bool LangLoaded = false;
bool SoftCfgLoaded = false;
VideoFragOptionsT VideoFragOptions = {};

void KeyTextTable::Set(const CString& key, const CString& text) {
  CString k = key;
  k.MakeUpper();
  std::lock_guard<std::mutex> g(lock_);
  for (auto& e : entries_) {
    if (e.first == k) {
      e.second = text;
      return;
    }
  }
  entries_.emplace_back(k, text);
}

bool KeyTextTable::Find(const CString& key, CString& text) const {
  if (key.IsEmpty()) return false;
  CString k = key;
  if (k[k.GetLength() - 1] != u':') k += u':';
  k.MakeUpper();
  std::lock_guard<std::mutex> g(lock_);
  for (const auto& e : entries_) {
    if (e.first == k) {
      text = e.second;
      return true;
    }
  }
  return false;
}

void KeyTextTable::Clear() {
  std::lock_guard<std::mutex> g(lock_);
  entries_.clear();
}

size_t KeyTextTable::Count() const {
  std::lock_guard<std::mutex> g(lock_);
  return entries_.size();
}

// The tables live for the whole run and are never destroyed (threads may read them at exit).
KeyTextTable& LangTable() {
  static KeyTextTable& t = *new KeyTextTable;
  return t;
}
KeyTextTable& BaseCfgTable() {
  static KeyTextTable& t = *new KeyTextTable;
  return t;
}
KeyTextTable& SoftCfgTable() {
  static KeyTextTable& t = *new KeyTextTable;
  return t;
}

CString GetLangStr(const CString& key) {
  CString text;
  if (!LangLoaded || !LangTable().Find(key, text)) return CString();
  return text;
}

CString GetBaseCfg(const CString& key) {
  CString text;
  if (!BaseCfgTable().Find(key, text)) return CString();
  return text;
}

CString GetSoftCfg(const CString& key) {
  if (!SoftCfgLoaded || key.IsEmpty()) return CString();
  CString k = key;
  if (k[k.GetLength() - 1] != u':') k += u':';
  k.MakeUpper();
  const CString version = GetBaseCfg(u"Version");
  CString text;
  if (SoftCfgTable().Find(version + u"-" + k, text)) return text;
  if (SoftCfgTable().Find(CString(u"Default-") + k, text)) return text;
  WriteLog(CString(u"****** Get soft cfg failed: ") + version + u" " + k);
  return CString();
}

int32_t GetSoftCfgKey() {
  std::string s = GetSoftCfg(u"Key").ToAnsi();
  // atoi's rule: leading blanks, an optional sign, then digits; anything else gives 0.
  return int32_t(strtol(s.c_str(), nullptr, 10));
}

bool IsSoftCfgOn(const CString& key) { return GetSoftCfg(key) == CString(u"1"); }

const std::vector<CString>& SoftCfgKeys() {
  static const auto& keys = *new std::vector<CString>{
      u"QQ:", u"Web:", u"ProDown:", u"ProName:", u"WebParam:", u"Company:", u"SoftCreater:",
      u"SingleRunStr:", u"SaveDir:", u"Splash:", u"ParseFileSys:", u"ShowProInfo:", u"ShowAllFile:",
      u"ClassifyFile:", u"SetParam:", u"VideoSampleSize:", u"VideoSample01:", u"VideoSample02:",
      u"VideoSample20:", u"MtsFragRecovery:", u"MovFragRecovery:", u"Advert:", u"ShowUsbDev:",
      u"NormalName:", u"Key:", u"LocalName:", u"ShowDev:", u"NewMenu:", u"Android:", u"Iphone:",
      u"VideoHelp:", u"HelpSoft:", u"HelpParam:", u"HelpDeep:", u"HelpDelete:", u"HelpFormat:",
      u"HelpUsbDev:", u"HelpRecycle:", u"HelpPartLost:", u"HelpFileSel:", u"SoftDown:", u"NeedUpdate:",
      u"MustUpdate:", u"cmf:", u"tmp:", u"Link1:", u"Link2:", u"Link3:", u"Link4:", u"Link5:",
      u"ShowLoadImage:", u"ShowSaveSet:", u"ShowServeQQ:", u"SureQuit:", u"ServerMail:", u"SupporterQQ:",
      u"SupporterTelePhone:", u"SupporterMobilePhone:", u"HandDetail:"};
  return keys;
}

namespace {

constexpr size_t kMaxLineUnits = 1023;

CString TrimBlanksAndTabs(CString s) {
  s.Trim(u" \t");
  return s;
}

// Cuts "//" at the start of the line or after a blank or tab; the blank stays (and is
// trimmed by the readers).
CString CutComment(const CString& line) {
  for (int i = 0; i + 1 < line.GetLength(); ++i) {
    if (line[i] == u'/' && line[i + 1] == u'/' && (i == 0 || line[i - 1] == u' ' || line[i - 1] == u'\t'))
      return line.Left(i);
  }
  return line;
}

}  // namespace

bool SplitCfgLines(const char16_t* text, size_t units, std::vector<CString>& lines) {
  if (!text || units <= 1) return false;
  std::u16string_view all(text + 1, units - 1);
  size_t pos = 0;
  bool kept = false;
  while (pos < all.size()) {
    size_t end = all.find(u"\r\n", pos);
    std::u16string_view raw = all.substr(pos, end == std::u16string_view::npos ? std::u16string_view::npos : end - pos);
    pos = end == std::u16string_view::npos ? all.size() : end + 2;
    // Longer lines are cut at the line limit rather than spilling into the next line.
    if (raw.size() > kMaxLineUnits) raw = raw.substr(0, kMaxLineUnits);
    CString line = CutComment(CString(raw));
    if (line.IsEmpty()) continue;
    lines.push_back(line);
    kept = true;
  }
  return kept;
}

bool ParseLangLine(const CString& line) {
  int colon = line.Find(u':');
  if (colon <= 0) return false;
  LangTable().Set(line.Left(colon + 1), TrimBlanksAndTabs(line.Mid(colon + 1)));
  return true;
}

bool MatchKeyPrefix(const CString& line, const CString& prefix, CString& rest) {
  if (prefix.IsEmpty() || line.Find(prefix.View()) != 0) return false;
  rest = TrimBlanksAndTabs(line.Mid(prefix.GetLength()));
  return true;
}

bool SetSoftCfgEntry(const CString& line, const CString& version, const CString& key) {
  bool stored = false;
  CString rest;
  const CString def = CString(u"Default-") + key;
  if (MatchKeyPrefix(line, def, rest)) {
    SoftCfgTable().Set(def, rest);
    stored = true;
  }
  const CString ver = version + u"-" + key;
  if (!version.IsEmpty() && MatchKeyPrefix(line, ver, rest)) {
    SoftCfgTable().Set(ver, rest);
    stored = true;
  }
  return stored;
}

bool ApplyVerCfgLines(const std::vector<CString>& lines) {
  const CString version = GetBaseCfg(u"Version");
  for (const CString& line : lines) {
    for (const CString& key : SoftCfgKeys()) {
      if (SetSoftCfgEntry(line, version, key)) break;
    }
  }
  return !lines.empty();
}

void FillVideoFragOptions() {
  VideoFragOptions.MovFragRecovery = IsSoftCfgOn(u"MovFragRecovery") ? 1 : 0;
  VideoFragOptions.MtsFragRecovery = IsSoftCfgOn(u"MtsFragRecovery") ? 1 : 0;
  VideoFragOptions.VideoSampleSize = IsSoftCfgOn(u"VideoSampleSize") ? 1 : 0;
  VideoFragOptions.VideoSample01 = IsSoftCfgOn(u"VideoSample01") ? 1 : 0;
  VideoFragOptions.VideoSample02 = IsSoftCfgOn(u"VideoSample02") ? 1 : 0;
  VideoFragOptions.VideoSample20 = IsSoftCfgOn(u"VideoSample20") ? 1 : 0;
}

void LoadSettingsForTest(const CString& brand, const CString& version, const CString& verCfgText,
                         const CString& langText) {
  LangTable().Clear();
  BaseCfgTable().Clear();
  SoftCfgTable().Clear();
  BaseCfgTable().Set(u"Brand:", brand);
  BaseCfgTable().Set(u"Version:", version);
  BaseCfgTable().Set(u"language:", u"English");
  std::vector<CString> lines;
  const std::u16string ver = u"\uFEFF" + verCfgText.Str();
  SplitCfgLines(ver.data(), ver.size(), lines);
  ApplyVerCfgLines(lines);
  lines.clear();
  const std::u16string lang = u"\uFEFF" + langText.Str();
  SplitCfgLines(lang.data(), lang.size(), lines);
  for (const CString& line : lines) ParseLangLine(line);
  LangLoaded = true;
  SoftCfgLoaded = true;
  FillVideoFragOptions();
  SetLangTextHandler([](const CString& key) { return GetLangStr(key); });
}
