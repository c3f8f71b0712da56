// "kscan thumb IMAGE ID OUT.png [--first-lba N]": the item's thumbnail as the thumbnail view
// gets it (requested, built by the preview worker thread, taken from the cache), decoded and
// handed to the raster as the view draws it, and written as a PNG. Prints one JSON line with
// the thumbnail's size; exit code 1 when the item has no thumbnail.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/heap.h"
#include "base/imagedraw/imagedraw.h"
#include "core/itemquery.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewworker.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscanpreview.h"

namespace {

// The record's preview bits, read under the list's lock.
uint16_t PreviewBits(uint32_t id) {
  VolumeListReadGuard guard(AppVolumeList());
  const FileRecord* r = GetItemRecord(AppVolumeList(), kKscanPreviewSlot, id);
  return r ? uint16_t(r->flags & kRecPreviewReady) : uint16_t(kRecNoPreview);
}

int Thumb(uint32_t id, const std::string& out) {
  PreviewService& service = AppPreviewService();
  VolumeList& list = AppVolumeList();
  {
    VolumeListReadGuard guard(list);
    FileRecord* r = GetItemRecord(list, kKscanPreviewSlot, id);
    if (!r) {
      fprintf(stderr, "kscan thumb: no item %u\n", id);
      return 1;
    }
    service.RequestThumbnail(kKscanPreviewSlot, id, *r);
  }
  service.Start();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (PreviewBits(id) == kRecPreviewQueued && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  service.Stop();

  VolumeListReadGuard guard(list);
  FileRecord* r = GetItemRecord(list, kKscanPreviewSlot, id);
  if (!r || service.RequestThumbnail(kKscanPreviewSlot, id, *r) != 1) {
    fprintf(stderr, "kscan thumb: item %u has no thumbnail\n", id);
    return 1;
  }
  const auto* blob = reinterpret_cast<const uint8_t*>(uintptr_t(r->previewHandle));
  PreviewBlobView view;
  if (!ReadPreviewBlob(blob, GetMemSize(blob), view)) return 1;
  printf("{\"id\":%u,\"code\":%u", id, view.code);
  if (view.code != 46) {
    printf(",\"text\":\"%s\"}\n", KscanJsonText(view.text.ToUtf8()).c_str());
    return 0;
  }
  ImageCodec img;
  if (!img.DecodeFromMemory(view.head.data(), uint32_t(view.head.size()), kImageJpeg)) return 1;
  HBITMAP bm = ImageToBitmap(img);
  const bool written = bm && WriteBitmapPng(bm, out);
  if (bm) DeleteObject(bm);
  printf(",\"width\":%u,\"height\":%u,\"jpeg_bytes\":%zu}\n", img.GetWidth(), img.GetHeight(), view.head.size());
  if (!written) fprintf(stderr, "kscan thumb: cannot write %s\n", out.c_str());
  return written ? 0 : 1;
}

int RunThumb(const std::vector<std::string>& args) {
  if (args.size() < 3) {
    fprintf(stderr, "usage: kscan thumb IMAGE ID OUT.png [--first-lba N]\n");
    return 2;
  }
  std::vector<std::string> rest = {args[0]};
  rest.insert(rest.end(), args.begin() + 3, args.end());
  if (!KscanPreviewVolume("thumb", rest)) return 1;
  const int rc = Thumb(uint32_t(strtoul(args[1].c_str(), nullptr, 0)), args[2]);
  AppPreviewService().ClearPreviewCache();
  KscanPreviewDone();
  return rc;
}

KscanCommand reg("thumb", "thumb IMAGE ID OUT.png [--first-lba N]", &RunThumb);

}  // namespace
