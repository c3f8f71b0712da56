// The settings archive "Recovery.dat" as the start-up reads it: unscrambled, its edition
// configuration and language table taken out through the in-memory ZIP reader and parsed.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/resarchive.h"
#include "app/softcfg.h"
#include "fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (size == 0 || size > (16u << 20)) return 0;
  std::vector<uint8_t> archive(data, data + size);
  UnscrambleArchive(archive.data(), archive.size());
  (void)LoadVerCfg(archive.data(), uint32_t(archive.size()));
  (void)LoadLangFile(archive.data(), uint32_t(archive.size()));
  return 0;
}
