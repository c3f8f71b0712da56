// Kept apart from the volume set-up: the NTFS parser's and the record model's stop-word
// names differ, so their headers do not meet in one file.
#include <algorithm>

#include "base/heap.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "tests/tools/kscan/kscanvolume.h"

bool KscanReadItem(VolumeContext& vol, uint32_t id, void (*sink)(const uint8_t*, uint64_t, void*), void* ctx) {
  const FileRecord* rec = GetFileRecord(vol, id);
  if (!rec) return false;
  const uint64_t size = rec->size;
  if (size == 0) return true;
  const uint64_t piece = std::min<uint64_t>(size, kMaxItemRead);
  auto* block = static_cast<uint8_t*>(AllocMem(piece, 1));
  uint64_t done = 0;
  while (done < size) {
    const uint64_t n = ReadRecordDataMax(vol, *rec, done, block, std::min(piece, size - done));
    if (n == 0) break;
    sink(block, n, ctx);
    done += n;
  }
  FreeMem(block);
  return done == size;
}
