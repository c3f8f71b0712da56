#include "app/weblink.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

#include "base/log.h"
#include "platform/fileio.h"
#include "platform/process.h"
#include "platform/hooks.h"

bool IsWebAddress(const CString& address) {
  for (int i = 0; i < address.GetLength(); ++i)
    if (address[i] < 0x20 || address[i] == 0x7F) return false;
  CString lower = address;
  lower.MakeLower();
  for (const char16_t* scheme : {u"http://", u"https://"}) {
    const int n = int(std::u16string_view(scheme).size());
    if (lower.Left(n) == scheme && lower.GetLength() > n) return true;
  }
  return false;
}

bool OpenWebAddress(const CString& address) {
  if (!IsWebAddress(address)) {
    WriteLog(CString(u"Refused to open an address that is not a web address: ") + address);
    return false;
  }
  return ShellOpen(address);
}

int OpenUrl(const CString& address) {
  if (address.IsEmpty()) return 0;
  return OpenWebAddress(address) ? 1 : 0;
}

namespace {

bool StartOpener(const CString& opener, const CString& target) {
  return ShellOpenProgram(opener, target) > 32;
}
std::atomic<DesktopOpenRunner> g_runner{&StartOpener};

}  // namespace

void SetDesktopOpenRunner(DesktopOpenRunner runner) { g_runner = runner ? runner : &StartOpener; }

bool DesktopOpen(const CString& target) {
  if (target.IsEmpty()) return false;
  const char* path = std::getenv("PATH");
  std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    if (dir.empty()) continue;
    const std::string opener = dir + "/xdg-open";
    if (access(opener.c_str(), X_OK) != 0) continue;
    return g_runner.load()(FromHostPath(opener), target);
  }
  WriteLog(CString(u"No xdg-open to open: ") + target);
  return false;
}

void InstallDesktopOpener() { SetShellOpenHandler(&DesktopOpen); }
