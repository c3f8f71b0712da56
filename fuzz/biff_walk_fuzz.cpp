// The BIFF walk of an Excel workbook stream: sub-streams, sheet names, shared strings, cells;
// once for a detail text and once for a title.
#include "deepscan/doctext/doctext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CString text;
  (void)WalkBiffSubstreams(data, size, text, 0x4000);
  (void)WalkBiffSubstreams(data, size, text, 48);
  return 0;
}
