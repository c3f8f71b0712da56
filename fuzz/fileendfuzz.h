// What the end-detection targets share: one input taken as a file at a sector of a small
// buffer, decided as the scan would decide it: first from the first half of the data (the
// block that opened it), then, while it needs more, from all of it (the window on a retry),
// and last with the input ending behind the data. Every answer must be one of the four codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/heap.h"
#include "deepscan/fileend.h"
#include "core/filetypetable.h"
#include "scanbase/videodetail.h"

inline void FuzzFileEnd(int32_t type, const uint8_t* data, size_t size) {
  // The first byte chooses the start sector inside the buffer; the rest is the file.
  const uint64_t startSector = size ? data[0] % 4 : 0;
  if (size) {
    ++data;
    --size;
  }
  const uint64_t bufferLba = 100;
  const uint64_t sectors = startSector + (size + 511) / 512 + 1;
  std::vector<uint8_t> buffer(sectors * 512, 0);
  if (size) std::memcpy(buffer.data() + startSector * 512, data, size);
  CarveCandidate c;
  c.typeId = type;
  c.startLba = bufferLba + startSector;
  auto valid = [](int32_t r) { return r == kEndNotDetected || r == kEndNeedsMore || r == kEndKnown || r == kEndNotValid; };
  const uint64_t half = (sectors / 2 + 1) * 512;
  int32_t r = DetectFileEnd(c, bufferLba, buffer.data(), half);
  if (!valid(r)) abort();
  if (r == kEndNeedsMore) {
    if (c.firstNeededLba > c.endNeededLba) abort();
    r = DetectFileEnd(c, bufferLba, buffer.data(), buffer.size());
    if (!valid(r)) abort();
  }
  if (r == kEndNeedsMore) {
    r = DetectFileEndAtInputEnd(c, bufferLba, buffer.data(), buffer.size(), bufferLba + sectors);
    if (!valid(r)) abort();
  }
  // A parsed moov owns its sample table besides itself.
  if (c.details && c.typeId == kKindMp4Moov) FreeMoovInfo(static_cast<MoovInfo*>(c.details));
  else if (c.details) FreeMem(c.details);
}
