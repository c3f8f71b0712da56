// Office XML packages read from memory: the record walk, the main part's text runs (the first
// byte picks the document kind), the core properties and the metadata of a carved document.
#include "base/heap.h"
#include "deepscan/doctext/doctext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint32_t kTypes[] = {37, 38, 89};
  const uint32_t type = kTypes[data[0] % 3];
  ++data;
  --size;
  (void)CheckZipRecords(data, size);
  CString text;
  (void)ExtractOoxmlText(type, data, size, text);
  DocumentProperties props;
  (void)ParseOoxmlCoreProperties(data, size, props);
  if (CarvedFileMetadata* m = ReadDocumentMetadata(type, data, size)) FreeMem(m);
  return 0;
}
