#include "app/servicedll.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/cmdlineparse.h"
#include "app/runvalues.h"
#include "base/log.h"
#include "base/pathutil.h"
#include "platform/hooks.h"
#include "platform/sync.h"

ServiceDllHolder ServiceDll;

namespace {

// What the program tells the library at start-up. Both web-service addresses are loopback:
// the program ships with no server of its own.
constexpr char16_t kProductVersion[] = u"905";
constexpr char16_t kProductCode1[] = u"001";
constexpr char16_t kProductCode2[] = u"106";
constexpr char16_t kRequestKey[] = u"Kx7Q2mLp9Vd4Rt8Wn3Ys";
constexpr char16_t kServiceAddress[] = u"http://127.0.0.1/";
constexpr char16_t kSecondServiceAddress[] = u"http://127.0.0.1/";
constexpr char16_t kEditionInternalName[] = u"QuendaleCoop";

CString Text(const char16_t* s) { return s ? CString(s) : CString(); }

// Leading blanks, an optional sign, then digits; no digits read as 0.
long long LeadingNumber(const CString& s) {
  int i = 0;
  while (s[i] == u' ' || s[i] == u'\t') ++i;
  bool negative = false;
  if (s[i] == u'+' || s[i] == u'-') negative = s[i++] == u'-';
  long long v = 0;
  for (; s[i] >= u'0' && s[i] <= u'9'; ++i)
    if (v < 1000000000) v = v * 10 + (s[i] - u'0');
  return negative ? -v : v;
}

bool SplitNumericParts(const CString& text, std::vector<std::u16string_view>& parts) {
  parts.clear();
  std::u16string_view rest = text.View();
  for (;;) {
    const size_t dot = rest.find(u'.');
    std::u16string_view part = rest.substr(0, dot);
    if (part.empty()) return false;
    for (char16_t c : part)
      if (c < u'0' || c > u'9') return false;
    // Leading zeros do not make a number larger.
    while (part.size() > 1 && part[0] == u'0') part.remove_prefix(1);
    parts.push_back(part);
    if (dot == std::u16string_view::npos) return true;
    rest.remove_prefix(dot + 1);
  }
}

}  // namespace

IServiceInterface* GetServiceInterface() {
  if (!ServiceDll.module) return nullptr;
  if (!ServiceDll.exportFn)
    ServiceDll.exportFn = reinterpret_cast<ServiceExportFn>(GetProcAddress(ServiceDll.module, kServiceExportName));
  return ServiceDll.exportFn ? ServiceDll.exportFn() : nullptr;
}

CString GetServiceConfigPath() {
  return JoinPath(GetExeDir(), CString(u"ProgramData/") + kEditionInternalName + u"/config.ini");
}

void StartServiceDlls() {
  ServiceDll.module = LoadLibraryW(JoinPath(GetExeDir(), kServiceLibraryFile));
  IServiceInterface* service = GetServiceInterface();
  if (!service) {
    WriteLog(CString(u"can't load vod: ") + GetLoadLibraryError());
    ShowMessageBox(u"can't load vod");
    std::exit(-1);
  }
  service->Start();
  service->SetConfigPath(GetServiceConfigPath());
  service->SetProduct(kProductVersion, kProductCode1, kProductCode2, kRequestKey, kServiceAddress);
  if (IServicePages* pages = service->Pages()) pages->Select(0);
  service->SetSecondAddress(kSecondServiceAddress, 0);
}

void StopServiceDlls() {
  if (IServiceInterface* service = GetServiceInterface()) service->Release();
  if (ServiceDll.module) FreeLibrary(ServiceDll.module);
  ServiceDll = ServiceDllHolder();
}

int CompareVersionTexts(const CString& a, const CString& b) {
  std::vector<std::u16string_view> pa, pb;
  if (SplitNumericParts(a, pa) && SplitNumericParts(b, pb)) {
    const size_t n = std::max(pa.size(), pb.size());
    for (size_t i = 0; i < n; ++i) {
      const std::u16string_view x = i < pa.size() ? pa[i] : u"0";
      const std::u16string_view y = i < pb.size() ? pb[i] : u"0";
      // Numbers of any length: the longer one is larger, else the text decides.
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int c = x.compare(y)) return c < 0 ? -1 : 1;
    }
    return 0;
  }
  const int c = a.View().compare(b.View());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool RunUpdater() {
  IServiceInterface* service = GetServiceInterface();
  IServiceVersion* installed = service ? service->InstalledVersion() : nullptr;
  const CString info = installed ? Text(installed->UpdaterInfo()) : CString();
  const CString exe = GetModuleFileName();
  if (exe.IsEmpty()) {
    ShowMessageBox(u"Error:无法本产品路径");
    return false;
  }
  CCmdLineParse options;
  options.Set(u"/verinfo", info);
  options.Set(u"/appfile", exe);
  options.Set(u"/ppid", FormatCString(u"%d", int(GetCurrentProcessId())));
  CString params;
  options.Build(params);
  const intptr_t result = ShellOpenProgram(JoinPath(GetExeDir(), kUpdaterFile), params);
  if (result <= 32) {
    ShowMessageBox(FormatCString(u"Error:无法启动更新器,%d", int(result)));
    return false;
  }
  return true;
}

bool CheckForUpdate(const std::function<void()>& endMainDialog) {
  IServiceInterface* service = GetServiceInterface();
  if (!service) return false;
  IServiceVersion* latest = service->LatestVersion();
  IServiceVersion* installed = service->InstalledVersion();
  if (!latest || !installed) return false;
  const CString latestText = Text(latest->VersionText());
  const CString installedText = Text(installed->VersionText());
  if (CompareVersionTexts(latestText, installedText) <= 0) return false;

  const bool forced = LeadingNumber(Text(latest->Attribute(u"ForceUpdate"))) >= 1;
  if (!forced && !ShowMessageBox(u"本软件已经发布新版本，是否立即更新？", u"Yes", u"No")) return true;
  // A forced update must not let the program go on even when the updater cannot start;
  // RunUpdater has said why. An update the user chose keeps the session when it cannot start.
  if (RunUpdater() || forced) {
    SetExitWithoutAsking(true);
    if (endMainDialog) endMainDialog();
  }
  return true;
}
