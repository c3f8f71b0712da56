// The log entry points. Every thread may log; lines go to the log sink: "Kestrel.log" in the
// program folder, and stderr as well when KESTREL_LOG_STDERR=1. Tests may install a sink of
// their own.
//
// WriteLog doubles every '%' of its text, so the text that reaches the sink can serve as a
// printf-style format; the file sink writes it back with single '%'.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

void WriteLog(const CString& text);
// "%s   %s   %llu": message, source path, line.
void LogSrcLine(const CString& message, const CString& sourcePath, uint64_t line);
template <typename... Args>
void WriteLogFmt(std::u16string_view fmt, const Args&... args) {
  WriteLog(CString(FormatW(fmt, args...)));
}
// Inserts one '%' at the index, clamped to 0..length.
void InsertLogPercent(CString& text, int index);

// Receives every prepared (percent-doubled) line. Null restores the default file sink.
using LogSink = void (*)(const CString& prepared);
void SetLogSink(LogSink sink);
