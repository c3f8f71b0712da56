#include "app/runvalues.h"

#include <atomic>
#include <mutex>

namespace {

struct RunTexts {
  std::mutex lock;
  CString machineId;
  CString osText;
  CString detail = u"0";
};

RunTexts& Texts() {
  static RunTexts& t = *new RunTexts;
  return t;
}

std::atomic<bool> g_improveJoined{false};
std::atomic<bool> g_exiting{false};
std::atomic<bool> g_exitWithoutAsking{false};

CString Read(CString RunTexts::*member) {
  std::lock_guard<std::mutex> g(Texts().lock);
  return Texts().*member;
}

void Write(CString RunTexts::*member, const CString& value) {
  std::lock_guard<std::mutex> g(Texts().lock);
  Texts().*member = value;
}

}  // namespace

CString GetAppMachineId() { return Read(&RunTexts::machineId); }
void SetAppMachineId(const CString& id) { Write(&RunTexts::machineId, id.Left(64)); }
CString GetAppOsText() { return Read(&RunTexts::osText); }
void SetAppOsText(const CString& text) { Write(&RunTexts::osText, text); }
CString GetAppDetailValue() { return Read(&RunTexts::detail); }
void SetAppDetailValue(const CString& detail) { Write(&RunTexts::detail, detail); }
bool IsImproveJoined() { return g_improveJoined.load(); }
void SetImproveJoined(bool joined) { g_improveJoined = joined; }
bool IsAppExiting() { return g_exiting.load(); }
void SetAppExiting(bool exiting) { g_exiting = exiting; }
bool IsExitWithoutAsking() { return g_exitWithoutAsking.load(); }
void SetExitWithoutAsking(bool on) { g_exitWithoutAsking = on; }
