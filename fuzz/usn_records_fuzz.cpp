// USN journal records: the delete records read from a buffer, the folder guess and the merge
// into a list of log entries that carries USN records of its own.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/logrecover.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (size > (1u << 20)) return 0;
  std::vector<UsnDeleteItem> items;
  ScanUsnRecords(data, uint32_t(size), items);
  LogEntryList entries;
  for (uint64_t i = 0; i < 4; ++i) {
    LogFileEntry e;
    e.kind = kLogUsnRecord;
    e.lsn = i * 3;
    e.usn = items.empty() ? i : items[items.size() * i / 4].usn;
    entries.push_back(std::move(e));
  }
  MergeUsnWithLogEntries(items, entries);
  return 0;
}
