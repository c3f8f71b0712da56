#include "app/basecfg.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "base/pathutil.h"
#include "base/wholefile.h"
#include "platform/sync.h"
#include "platform/textconv.h"

namespace {

constexpr int kIniValueMax = 259;  // a 260-character buffer with its NUL
// "Base.dat" is a few lines; a larger file is not a settings file.
constexpr uint32_t kIniFileMax = 1u << 20;

std::atomic<CfgRetrySleep> g_sleep{nullptr};

std::u16string DecodeIniBytes(const uint8_t* p, uint32_t n) {
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    std::u16string s;
    s.reserve(n / 2);
    for (uint32_t i = 2; i + 1 < n; i += 2) s.push_back(char16_t(p[i] | (p[i + 1] << 8)));
    return s;
  }
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(p) + 3, n - 3));
  }
  return AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(p), n));
}

CString Unquote(CString v) {
  v.Trim(u" \t");
  const int n = v.GetLength();
  if (n >= 2 && (v[0] == u'"' || v[0] == u'\'') && v[n - 1] == v[0]) v = v.Mid(1, n - 2);
  return v;
}

}  // namespace

CString ReadIniValue(const CString& path, const CString& section, const CString& key) {
  if (GetFileSizeOf(path) > LONGLONG(kIniFileMax)) return CString();
  uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (!ReadWholeFile(path, bytes, length) || length == 0) return CString();
  const std::u16string text = DecodeIniBytes(bytes, length);
  FreeMem(bytes);

  bool inSection = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(u"\r\n", pos);
    if (end == std::u16string::npos) end = text.size();
    CString line(std::u16string_view(text).substr(pos, end - pos));
    pos = end + 1;
    line.Trim(u" \t");
    if (line.IsEmpty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      const int close = line.Find(u']');
      CString name = close > 0 ? line.Mid(1, close - 1) : line.Mid(1);
      name.Trim(u" \t");
      inSection = name.CompareNoCase(section.View()) == 0;
      continue;
    }
    if (!inSection) continue;
    const int eq = line.Find(u'=');
    if (eq < 0) continue;
    CString name = line.Left(eq);
    name.Trim(u" \t");
    if (name.CompareNoCase(key.View()) != 0) continue;
    CString value = Unquote(line.Mid(eq + 1));
    if (value.GetLength() > kIniValueMax) value.Truncate(kIniValueMax);
    return value;
  }
  return CString();
}

void SetCfgRetrySleep(CfgRetrySleep sleep) { g_sleep = sleep; }

bool ReadBaseCfg(CString& errText) {
  const CString path = GetExeDir() + u"Base.dat";
  struct Value {
    const char16_t* name;
    const char16_t* failure;  // null: optional
  };
  static const Value values[] = {{u"Brand", u"ReadBaseCfg err 1"},
                                 {u"Version", u"ReadBaseCfg err 2"},
                                 {u"language", u"ReadBaseCfg err 3"},
                                 {u"Owner", nullptr}};
  for (const Value& v : values) {
    CString text = ReadIniValue(path, u"Setting", v.name);
    if (text.IsEmpty()) {
      // The file may be in the middle of being replaced by an installer: read once more.
      if (CfgRetrySleep s = g_sleep.load()) s(1000);
      else Sleep(1000);
      text = ReadIniValue(path, u"Setting", v.name);
    }
    if (!text.IsEmpty()) {
      BaseCfgTable().Set(CString(v.name) + u":", text);
    } else if (v.failure) {
      errText = v.failure;
      return false;
    }
  }
  return true;
}
