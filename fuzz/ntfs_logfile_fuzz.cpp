// An NTFS $LogFile: the input (after one byte that picks the cluster size) becomes pages that
// all carry the "RCRD" magic, padded to four pages so the page repair runs too. The decoded
// entries are then replayed over a small volume, as the journal recovery does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/filetree.h"
#include "core/recordtable.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/logfiledecode.h"
#include "parsefilesystem/parsentfs/logrecover.h"

namespace {
void AddDir(VolumeContext& vol, uint32_t id, uint32_t parent, const char16_t* name, uint16_t flags) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  r.id = id;
  r.parent = parent;
  r.flags = flags;
  SetRecordName(r, name);
  AddFileRecord(vol, r, 0);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (size < 1 || size > 64 * 4096) return 0;
  const uint32_t clusterSize = data[0] % 5 == 0 ? 0 : 512u << (data[0] % 5);
  std::vector<uint8_t> file(std::max<size_t>(4 * 4096, (size - 1 + 4095) / 4096 * 4096), 0);
  std::memcpy(file.data(), data + 1, size - 1);
  for (size_t p = 0; p < file.size(); p += 4096) std::memcpy(&file[p], "RCRD", 4);
  const DataExtentList bitmap = {DataExtent{0, 0, 800, 8}};
  LogEntryList entries;
  SplitLogFileIntoEntries(file.data(), file.size(), clusterSize, bitmap, entries);
  if (entries.empty()) return 0;
  VolumeContext vol;
  vol.type = kVolTypeNtfs;
  vol.firstLba = 2048;
  vol.sectorCount = 1 << 20;
  vol.bootSector[0x0D] = uint8_t(clusterSize / 512);
  AddDir(vol, 5, 5, u".", kRecDirectory | kRecInUse);
  AddDir(vol, 40, 5, u"Docs", kRecDirectory | kRecInUse);
  AddDir(vol, 41, 40, u"gone.txt", 0);
  RecoverFilesFromLogFile(vol, entries);
  FreeAllFileRecords(vol);
  return 0;
}
