// One NTFS index record (INDX) as the deep scan meets it: the update-sequence check and
// repair, the live entries and the stale entries in its slack.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/indxrecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  std::vector<uint8_t> record = FuzzFixedBytes(data, size, kIndxRecordBytes);
  (void)ParseRawIndxRecord(record.data());
  // The parser's own walk, on the bytes as they are (no repair).
  (void)ParseIndxRecord(record.data());
  FuzzResetScanState();
  return 0;
}
