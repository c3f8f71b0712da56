// Archive listings and property sets: the zip listing of the ZIP reader over memory, the RAR
// block walk and the "SummaryInformation" property set.
#include "base/heap.h"
#include "deepscan/doctext/doctext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (uint32_t type : {61u, 62u}) {
    char16_t* text = nullptr;
    uint32_t bytes = 0;
    if (GetDocumentDetailText(type, data, uint32_t(size), text, bytes)) FreeMem(text);
  }
  CString listing;
  (void)ListRarEntries(data, size, listing);
  DocumentProperties props;
  (void)ParseSummaryInformation(data, size, props);
  return 0;
}
