// The parse of a "moov" box into the sample offsets of its first video track: the input is the
// box's bytes, parsed directly and also as the video scan meets it (kind 201 at a sector, its
// size read from the box).
#include <cstdlib>

#include "deepscan/qtbox.h"
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (MoovInfo* info = ParseMoovBox({data, size}, 4096)) {
    // A parsed movie always carries one table of at least the minimum samples.
    const auto tables = ChunkTablesOf(info->tables);
    if (tables.size() != 1 || tables[0]->count < kMinMoovSamples || info->boxSize != size) abort();
    FreeMoovInfo(info);
  }
  FuzzFileEnd(201, data, size);
  return 0;
}
