#include "platform/hooks.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
std::atomic<MessageBoxHandler> g_messageBox{nullptr};
std::atomic<ExitReportHandler> g_exitReport{nullptr};
std::atomic<EventReportHandler> g_eventReport{nullptr};
std::atomic<ShellOpenHandler> g_shellOpen{nullptr};
std::atomic<LangTextHandler> g_langText{nullptr};
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler h) { g_messageBox = h; }

bool ShowMessageBox(const CString& text, const CString& first, const CString& second) {
  if (MessageBoxHandler h = g_messageBox.load()) return h(text, first, second);
  fprintf(stderr, "[message] %s\n", text.ToUtf8().c_str());
  return false;
}

void SetExitReportHandler(ExitReportHandler h) { g_exitReport = h; }

void ExitOnException(int code, const CString& message) {
  if (ExitReportHandler h = g_exitReport.load()) h(code, message);
  fprintf(stderr, "Exception: %s\n", message.ToUtf8().c_str());
  // Detached threads (reports, previews, the scan) may still run and use process-wide objects:
  // the streams are flushed and the process ends without running any static destructor.
  fflush(nullptr);
  _exit(code);
}

void SetEventReportHandler(EventReportHandler h) { g_eventReport = h; }

void SendEventReport(unsigned code, const CString& text, bool queued) {
  if (EventReportHandler h = g_eventReport.load()) h(code, text, queued);
}

void SetShellOpenHandler(ShellOpenHandler h) { g_shellOpen = h; }

bool ShellOpen(const CString& target) {
  if (ShellOpenHandler h = g_shellOpen.load()) return h(target);
  return false;
}

void SetLangTextHandler(LangTextHandler h) { g_langText = h; }

CString LookupLangText(const CString& key) {
  if (LangTextHandler h = g_langText.load()) return h(key);
  return CString();
}
