#include "app/edition.h"

#include "app/runvalues.h"
#include "app/settings.h"
#include "platform/hooks.h"
#include "platform/registry.h"
#include "platform/thread.h"

namespace {

bool BrandIs(std::initializer_list<const char16_t*> names) {
  const CString brand = GetBaseCfg(u"Brand");
  for (const char16_t* n : names) {
    if (brand.Compare(n) == 0) return true;
  }
  return false;
}

// The buffer a value is read into, in characters; the last one always stays zero.
constexpr int kRegValueChars = 260;

}  // namespace

bool IsHouseBrand() { return BrandIs({u"Tesmur", u"Andovel", u"Brisolde", u"Drevask"}); }
bool IsPelmarCorvinthBrand() { return BrandIs({u"Pelmar", u"Corvinth"}); }
bool IsOstrelBrand() { return BrandIs({u"Ostrel"}); }

CString GetRegKeyPath() {
  return FormatCString(u"SOFTWARE\\%s\\%s", GetSoftCfg(u"Company").GetString(), GetSoftCfg(u"LocalName").GetString());
}

bool ReadRegValue(const CString& name, CString& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, GetRegKeyPath(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  BYTE buf[kRegValueChars * 2] = {};
  DWORD type = 0;
  DWORD bytes = DWORD(sizeof(buf) - 2);
  LONG r = RegQueryValueExW(key, name, nullptr, &type, buf, &bytes);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return false;
  std::u16string value;
  for (DWORD i = 0; i + 1 < bytes; i += 2) {
    char16_t c = char16_t(buf[i] | (buf[i + 1] << 8));
    if (c == 0) break;
    value += c;
  }
  if (value.empty()) return false;
  text = CString(value);
  return true;
}

bool WriteRegValue(const CString& name, const CString& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, GetRegKeyPath(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
    return false;
  std::basic_string<BYTE> bytes;
  for (char16_t c : text.View()) {
    bytes += BYTE(c & 0xFF);
    bytes += BYTE(c >> 8);
  }
  LONG r = RegSetValueExW(key, name, 0, REG_SZ, bytes.data(), DWORD(bytes.size()));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

CString GetDetailValue() {
  CString detail;
  if (!ReadRegValue(u"Detail", detail)) return u"0";
  for (char16_t c : detail.View()) {
    bool alnum = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    if (!alnum) return u"0";
  }
  return detail;
}

CString GetEditionTag() {
  CString tag = GetBaseCfg(u"Owner") + u"-" + GetBaseCfg(u"Version") + u"-" + GetAppDetailValue();
  tag.MakeLower();
  return tag;
}

void LoadRegistryRunValues() {
  CString join;
  SetImproveJoined(ReadRegValue(u"JoinImproveSoft", join) && join == u"1");
  SetAppDetailValue(GetDetailValue());
}

void UpdateRunInfo(unsigned n) {
  if (!IsHouseBrand()) return;
  CString value;
  CString next;
  if (ReadRegValue(u"RunInfo", value) && value.GetLength() == 1) {
    const char16_t c = value[0];
    if (n == 0) {
      next = u"0";
    } else if (c < u'9') {
      // Only 1 is ever added; the cap keeps a larger step a digit all the same.
      unsigned sum = unsigned(c) + n;
      next = CString(char16_t(sum > u'9' ? u'9' : sum));
    } else {
      next = value;
    }
  } else {
    next = FormatCString(u"%u", n);
  }
  WriteRegValue(u"RunInfo", next);
}

bool ReportLastRunFailed() {
  CString value;
  if (!ReadRegValue(u"RunInfo", value) || value.GetLength() != 1 || value[0] <= u'2') return false;
  CString text = CString(u"Last run failed ") + value + u"   " + GetAppOsText() + u"   ";
  SendEventReport(1, text, false);
  return true;
}

int IncRunNum() {
  CString value;
  int run = 1;
  if (ReadRegValue(u"RunNum", value)) {
    const char16_t c = value[0];
    run = int(c) - 47;
    if (c < u'~') value.SetAt(0, char16_t(c + 1));
  } else {
    value = u"1";
  }
  WriteRegValue(u"RunNum", value);
  return run;
}

CString MakeServeCode() {
  CString code(u"XXXX-XXXX");
  int sum = 0;
  for (int i = 0; i < 8; ++i) {
    if (i == 4) continue;
    int d = CrtRand() % 10;
    sum += d;
    code.SetAt(i, char16_t(u'0' + d));
  }
  code.SetAt(8, char16_t(u'0' + sum % 10));
  return code;
}

CString GetServeCode() {
  CString code;
  if (!ReadRegValue(u"ServeCode", code) || code.GetLength() != 9) {
    code = MakeServeCode();
    WriteRegValue(u"ServeCode", code);
  }
  return code;
}
