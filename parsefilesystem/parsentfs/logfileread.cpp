// Reading the $LogFile and the $Bitmap extents of a parsed volume, and handing the decoded
// entries to the journal recovery.
#include <cstring>

#include "base/heap.h"
#include "core/dataextents.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/logfiledecode.h"
#include "parsefilesystem/parsentfs/logrecover.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"

namespace {
constexpr unsigned kTagLogFileBuffer = 344;
constexpr uint32_t kLogFileRecord = 2;
constexpr uint32_t kBitmapRecord = 6;

// The system file under id, when it is there with exactly that name.
FileRecord* SystemFile(VolumeContext& vol, uint32_t id, const char16_t* name) {
  FileRecord* rec = GetFileRecord(vol, id, 0);
  if (!rec || (rec->flags & kRecUnnamed) || !rec->name) return nullptr;
  return std::u16string_view(rec->name) == name ? rec : nullptr;
}
}  // namespace

bool ReadLogFileEntries(VolumeContext& vol, LogEntryList& entries) {
  if (vol.idLimit <= kLogFileRecord) return false;
  const FileRecord* log = SystemFile(vol, kLogFileRecord, u"$LogFile");
  if (!log || log->size < kMinLogFileBytes || log->size > kMaxLogFileBytes) return false;
  // The $Bitmap first: without it the log is not worth reading.
  DataExtentList bitmap;
  if (vol.idLimit < 7 || !SystemFile(vol, kBitmapRecord, u"$Bitmap") ||
      GetRecordExtents(vol, kBitmapRecord, bitmap) == 0)
    return false;
  for (DataExtent& e : bitmap)
    if (e.startLba > vol.firstLba) e.startLba -= vol.firstLba;
  const uint64_t size = log->size;
  // One page of slack behind the file.
  auto* bytes = static_cast<uint8_t*>(AllocMem(size + kLogPageBytes, kTagLogFileBuffer));
  // The analysis runs to its end once started: the read does not look at the scan's stop word.
  if (!ReadNtfsFileData(nullptr, vol, *log, uint32_t(size), bytes)) {
    FreeMem(bytes);
    return false;
  }
  SplitLogFileIntoEntries(bytes, size, VolumeSectorsPerCluster(vol) * 512, bitmap, entries);
  FreeMem(bytes);
  return !entries.empty();
}

void AnalyzeNtfsLogFile(VolumeContext& vol) {
  LogEntryList entries;
  if (ReadLogFileEntries(vol, entries)) RecoverFilesFromLogFile(vol, entries);
}
