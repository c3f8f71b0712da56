// The chunk tables of the video hits as a scan-state file stores them: the input is the stored
// bytes. What loads must save again and load back to the same tables.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "scanbase/videodetail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryScanStateStream in(std::vector<uint8_t>(data, data + size));
  ChunkTableList* list = nullptr;
  if (!LoadVideoChunkTables(in, list)) {
    if (list) abort();
    return 0;
  }
  MemoryScanStateStream out;
  if (!SaveVideoChunkTables(out, list)) abort();
  MemoryScanStateStream again(out.Bytes());
  ChunkTableList* back = nullptr;
  if (!LoadVideoChunkTables(again, back) || again.ReadOffset() != out.Bytes().size()) abort();
  const auto a = ChunkTablesOf(list);
  const auto b = ChunkTablesOf(back);
  if (a.size() != b.size()) abort();
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(a[i], b[i], ChunkTableBytes(a[i]->count)) != 0) abort();
  }
  FreeChunkTableList(list);
  FreeChunkTableList(back);
  return 0;
}
