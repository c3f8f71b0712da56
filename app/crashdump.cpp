#include "app/crashdump.h"

#include <atomic>

#include "app/edition.h"
#include "app/reports.h"
#include "app/runvalues.h"
#include "app/settings.h"
#include "base/pathutil.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/wintime.h"

namespace {

constexpr int kDumpNameCutChars = 54;
constexpr int kMaxDumpPathChars = 519;

std::atomic<ReadErrorQuery> g_readErrorQuery{nullptr};

void OnCrash(const CrashInfo& info) { (void)DumpThread(info); }

}  // namespace

CString BuildDumpName(const CString& brand, bool houseBrand, bool readErrorSeen, const CString& machineId,
                      unsigned hour, unsigned minute) {
  const CString brandPart = houseBrand ? brand.Left(1) : brand;
  CString name = FormatCString(u"%u%s%u_%s_%s", kBuildNumber, brandPart, kProductNumber,
                               readErrorSeen ? u"1" : u"0", machineId);
  // The name must stay one file in the program folder, whatever a brand or a disk serial holds.
  name.Replace(u'/', u'-');
  name.Replace(u'\\', u'-');
  name.Truncate(kDumpNameCutChars);
  name.AppendFormat(u"_%02u%02u.dmp", hour, minute);
  return name;
}

void SetReadErrorQuery(ReadErrorQuery query) { g_readErrorQuery = query; }

bool DumpThread(const CrashInfo& info) {
  // A crash while the run is ending leaves no dump.
  if (IsAppExiting()) return false;
  SYSTEMTIME now;
  GetLocalTime(&now);
  ReadErrorQuery query = g_readErrorQuery.load();
  const CString name = BuildDumpName(GetBaseCfg(u"Brand"), IsHouseBrand(), query && query(), GetAppMachineId(),
                                     now.wHour, now.wMinute);
  const CString dir = GetExeDir();
  const CString path = dir + name;
  bool written = false;
  if (!dir.IsEmpty() && path.GetLength() <= kMaxDumpPathChars) {
    written = WriteCrashDump(path, info);
    (void)UploadDump(path);
  }
  SendEventReport(28, u"Exit exception", false);
  return written;
}

bool InstallCrashFilter() { return InstallCrashHandler(&OnCrash); }
