// Kept apart from the volume set-up: the NTFS parser's and the record model's stop-word
// names differ, so their headers do not meet in one file.
#include <algorithm>
#include <cstdio>

#include "base/heap.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "tests/fixtures/sha256evp.h"
#include "tests/tools/kscan/kscanvolume.h"

bool KscanReadItem(VolumeContext& vol, uint32_t id, void (*sink)(const uint8_t*, uint64_t, void*), void* ctx) {
  const FileRecord* rec = GetFileRecord(vol, id);
  if (!rec) return false;
  const uint64_t size = rec->size;
  if (size == 0) return true;
  // One buffer for every item of the run, grown when a larger piece comes: listing 100,000
  // small files must not cost 100,000 allocations. It comes from the program's heap, whose
  // block sizes the item reads use to bound what they write.
  static void* block = nullptr;
  const uint64_t piece = std::min<uint64_t>(size, kMaxItemRead);
  if (!block || GetMemSize(block) < piece) {
    if (block) FreeMem(block);
    block = AllocMem(piece, 1);
  }
  auto* bytes = static_cast<uint8_t*>(block);
  uint64_t done = 0;
  while (done < size) {
    const uint64_t n = ReadRecordDataMax(vol, *rec, done, bytes, std::min(piece, size - done));
    if (n == 0) break;
    sink(bytes, n, ctx);
    done += n;
  }
  return done == size;
}

namespace {
void HashPiece(const uint8_t* data, uint64_t n, void* ctx) { static_cast<EvpSha256*>(ctx)->Update(data, size_t(n)); }
}  // namespace

std::string KscanItemSha256(VolumeContext& vol, uint32_t id) {
  EvpSha256 sha;
  const bool whole = KscanReadItem(vol, id, &HashPiece, &sha);
  const std::string hex = sha.HexDigest();
  return whole ? hex : std::string();
}

std::string KscanItemPath(const VolumeContext& vol, const FileRecord* rec) {
  std::string path;
  for (uint32_t depth = 0; rec && rec->id != kRootId && depth < kMaxTreeDepth; ++depth) {
    path = "/" + CString(rec->name).ToUtf8() + path;
    if (rec->parent == rec->id) break;
    rec = GetFileRecord(vol, rec->parent, 0);
  }
  return path;
}

std::string KscanPackedTime(uint32_t p) {
  if (p == 0) return "";
  char b[32];
  snprintf(b, sizeof b, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (p >> 26), (p >> 22) & 0xF, (p >> 17) & 0x1F,
           (p >> 12) & 0x1F, (p >> 6) & 0x3F, p & 0x3F);
  return b;
}
