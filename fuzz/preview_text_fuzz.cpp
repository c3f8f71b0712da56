// The preview's readers of found bytes: text decoding (marks, UTF-8 or the code page), the
// picture signature test and format detection, and preview buffers packed from the bytes and
// read back, and read as they arrive.
#include <cstring>

#include "base/codec/imagecodec.h"
#include "base/heap.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtext.h"
#include "core/preview/previewworker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64u << 20)) return 0;
  const uint32_t n = uint32_t(size);
  const CString text = DecodePreviewText(data, n);
  AnsiPreviewText(data, n);
  HasPictureSignature(data, n);
  DetectImageFormat(data, n);
  PreviewBlobView view;
  uint8_t* blob = PackPreviewBlobWithText(161, data, n, text);
  if (!ReadPreviewBlob(blob, GetMemSize(blob), view) || view.head.size() != size) __builtin_trap();
  FreeMem(blob);
  // The bytes themselves as a buffer a receiver got.
  ReadPreviewBlob(data, n, view);
  return 0;
}
