#include "base/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/fileio.h"
#include "platform/sync.h"
#include "platform/wintime.h"

namespace {

std::atomic<LogSink> g_sink{nullptr};

struct FileSink {
  std::mutex lock;
  FILE* file = nullptr;
  bool opened = false;
  bool toStderr = false;
};
FileSink& Sink() {
  static FileSink& s = *new FileSink;
  return s;
}

void DefaultSink(const CString& prepared) {
  // The sink takes the line as a format without arguments: "%%" stands for one '%'.
  CString line = prepared;
  line.Replace(u"%%", u"%");
  SYSTEMTIME st;
  GetLocalTime(&st);
  std::string out = FormatA("%04u-%02u-%02u %02u:%02u:%02u.%03u [%u] ", st.wYear, st.wMonth, st.wDay,
                            st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, GetCurrentThreadId());
  out += line.ToUtf8();
  out += '\n';
  FileSink& s = Sink();
  std::lock_guard<std::mutex> g(s.lock);
  if (!s.opened) {
    s.opened = true;
    const char* e = getenv("KESTREL_LOG_STDERR");
    s.toStderr = e && e[0] == '1';
    CString dir = GetProgramDir();
    if (!dir.IsEmpty()) s.file = fopen(HostPath(dir + u"Kestrel.log").c_str(), "ae");
  }
  if (s.file) {
    fputs(out.c_str(), s.file);
    fflush(s.file);
  }
  if (s.toStderr) fputs(out.c_str(), stderr);
}

}  // namespace

void InsertLogPercent(CString& text, int index) {
  if (index < 0) index = 0;
  if (index > text.GetLength()) index = text.GetLength();
  text.Insert(index, u'%');
}

void WriteLog(const CString& text) {
  CString prepared = text;
  std::vector<int> positions;
  for (int i = 0; i < prepared.GetLength(); ++i) {
    if (prepared[i] == u'%') positions.push_back(i);
  }
  // From the last to the first, so earlier positions stay valid.
  for (auto it = positions.rbegin(); it != positions.rend(); ++it) InsertLogPercent(prepared, *it);
  if (LogSink sink = g_sink.load()) sink(prepared);
  else DefaultSink(prepared);
}

void LogSrcLine(const CString& message, const CString& sourcePath, uint64_t line) {
  WriteLogFmt(u"%s   %s   %llu", message, sourcePath, (unsigned long long)line);
}

void SetLogSink(LogSink sink) { g_sink = sink; }
