#include "app/appstart.h"

#include <sys/sysinfo.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "app/crashdump.h"
#include "app/edition.h"
#include "app/onlinecfg.h"
#include "app/reports.h"
#include "app/runvalues.h"
#include "app/settings.h"
#include "app/skinhooks.h"
#include "app/softcfg.h"
#include "base/log.h"
#include "platform/hooks.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace {

struct RunId {
  std::mutex lock;
  CString text;
};
RunId& TheRunId() {
  static RunId& r = *new RunId;  // read by a fatal stop on any thread until the very end
  return r;
}

std::atomic<PlainMessageBoxHandler> g_plainBox{nullptr};
std::atomic<PauseScanForExitHandler> g_pauseScan{nullptr};
std::atomic<DWORD> g_exitPauseMs{300};

bool StartsWithZh(const char* v) { return v && (v[0] == 'z' || v[0] == 'Z') && (v[1] == 'h' || v[1] == 'H'); }

}  // namespace

CString GetRunIdText() {
  std::lock_guard<std::mutex> g(TheRunId().lock);
  return TheRunId().text;
}

void SetRunIdText(const CString& text) {
  std::lock_guard<std::mutex> g(TheRunId().lock);
  TheRunId().text = text;
}

void SetPlainMessageBoxHandler(PlainMessageBoxHandler h) { g_plainBox = h; }

void ShowPlainMessageBox(const CString& text) {
  if (PlainMessageBoxHandler h = g_plainBox.load()) return h(text);
  fprintf(stderr, "%s\n", text.ToUtf8().c_str());
}

void SetPauseScanForExitHandler(PauseScanForExitHandler h) { g_pauseScan = h; }
void SetExitPauseWaitForTest(DWORD ms) { g_exitPauseMs = ms; }

bool IsChineseUiLanguage() {
  // The same precedence the C library gives these variables for messages.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return StartsWithZh(v);
  }
  return false;
}

void InitAppEnv() {
  setlocale(LC_ALL, "");
  CrtSrand(unsigned(time(nullptr)));
  // Machine identifier and OS text into the run values, the report handler and its sender.
  InitReportServices();
  CString err;
  if (!InitSoftCfg(err)) {
    ShowPlainMessageBox(IsChineseUiLanguage() ? CString(u"抱歉，获取软件配置失败，请重新安装我们软件！")
                                              : CString(u"Get software configuration failed. Please setup software again!"));
    ExitOnException(0, FormatCString(u"Get config failed! Ver: %s Svn: %u OS: %s ", kProductVersion, kBuildNumber,
                                     GetAppOsText()) +
                           err);
  }
  InitSkinFontsHook();
  WriteLog(u"Trace to file!");
}

CString MemoryStatusText() {
  struct sysinfo si {};
  if (sysinfo(&si) != 0 || si.mem_unit == 0) return CString();
  const uint64_t unit = si.mem_unit;
  const auto mib = [&](uint64_t v) { return unsigned((v * unit) >> 20); };
  return FormatCString(u"   AllMem: %u FreeMem: %u", mib(si.totalram), mib(si.freeram + si.bufferram));
}

void ReportStartInfo() {
  CrtSrand(unsigned(time(nullptr)));
  const CString runId = FormatCString(u"ID: %u ", unsigned(CrtRand() % 1000000));
  SetRunIdText(runId);
  CString text = FormatCString(u"%d %s ver: %s   Svn: %u   OS: %s   %s", IncRunNum(), GetEditionTag(), kProductVersion,
                               kBuildNumber, GetAppOsText(), runId);
  WriteLog(text);
  text += MemoryStatusText();
  SendEventReport(0, text, true);
}

UINT StartupThread(LPVOID) {
  RefreshOnlineCfg();
  ReportStartInfo();
  UploadFirstLeftoverDump();
  return 0;
}

void StartStartupThread() { AfxBeginThread(&StartupThread, nullptr); }

void ReportAppExit(const CString& text) {
  SetAppExiting(true);
  UpdateRunInfo(0);
  SendEventReport(1, text, false);
  if (PauseScanForExitHandler pause = g_pauseScan.load()) {
    if (pause()) Sleep(g_exitPauseMs.load());
  }
}

void ReportFatalStop(int, const CString& message) { ReportAppExit(GetRunIdText() + u"Exception: " + message); }

void InstallFatalStopReport() { SetExitReportHandler(&ReportFatalStop); }

CString SingleInstanceName() { return GetSoftCfg(u"SingleRunStr") + u"-" + GetBaseCfg(u"Version"); }

bool CheckSingleInstance(NamedMutex& held) {
  const CString name = SingleInstanceName();
  switch (held.Create(name)) {
    case NamedMutex::kTaken:
      return false;
    case NamedMutex::kHeldElsewhere:
      ShowPlainMessageBox(FormatCString(GetLangStr(u"SoftRunning").View(), GetSoftCfg(u"NormalName")));
      return true;
    case NamedMutex::kFailed:
      break;
  }
  // Without a lock file nothing is known of other instances; this one runs all the same.
  WriteLog(CString(u"Instance lock not made: ") + CString(std::string_view(NamedMutexPath(name))));
  return false;
}
