// "kscan preview IMAGE ID [--first-lba N]": what the preview window would receive for the item
// (the preview worker's open preview), as one JSON line: the buffer's code, head length and
// SHA-256, extra length and text, and the type and size the request was served with.
#include <cstdio>
#include <cstdlib>

#include "base/heap.h"
#include "core/itemquery.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewworker.h"
#include "tests/fixtures/sha256evp.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscanpreview.h"

namespace {

void Print(uint8_t* buffer, const PreviewRequest* q, void* ctx) {
  const uint32_t length = GetMemSize(buffer);
  PreviewBlobView view;
  if (ReadPreviewBlob(buffer, length, view)) {
    EvpSha256 sha;
    sha.Update(view.head.data(), view.head.size());
    const uint32_t extra = uint32_t(buffer[5] | (buffer[6] << 8) | (buffer[7] << 16) | (uint32_t(buffer[8]) << 24));
    printf("{\"code\":%u,\"head_bytes\":%zu,\"head_sha256\":\"%s\",\"extra_bytes\":%u,\"text\":\"%s\"", view.code,
           view.head.size(), sha.HexDigest().c_str(), extra, KscanJsonText(view.text.ToUtf8()).c_str());
    if (q) printf(",\"type\":%u,\"size\":%llu", q->type, (unsigned long long)q->size);
    printf("}\n");
    *static_cast<int*>(ctx) = 0;
  }
  FreeMem(buffer);
}

int RunPreview(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    fprintf(stderr, "usage: kscan preview IMAGE ID [--first-lba N]\n");
    return 2;
  }
  const uint32_t id = uint32_t(strtoul(args[1].c_str(), nullptr, 0));
  std::vector<std::string> rest = {args[0]};
  rest.insert(rest.end(), args.begin() + 2, args.end());
  if (!KscanPreviewVolume("preview", rest)) return 1;
  PreviewService& service = AppPreviewService();
  int rc = 1;
  service.SetDataSink(&Print, &rc);
  {
    VolumeListReadGuard guard(AppVolumeList());
    const FileRecord* r = GetItemRecord(AppVolumeList(), kKscanPreviewSlot, id);
    if (r) service.QueuePreviewRequest(kKscanPreviewSlot, id, *r, kPreviewOpen);
    else fprintf(stderr, "kscan preview: no item %u\n", id);
  }
  // Served here, one step of the worker, so the output is written before the command ends.
  PreviewRequest q;
  while (service.TakeRequest(q)) service.ServeRequest(q);
  service.SetDataSink(nullptr, nullptr);
  KscanPreviewDone();
  return rc;
}

KscanCommand reg("preview", "preview IMAGE ID [--first-lba N]", &RunPreview);

}  // namespace
