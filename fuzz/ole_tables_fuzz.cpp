// A whole compound file read as the document readers read it: every table, the streams by
// name, the Word and Excel texts and the summary properties.
#include <vector>

#include "base/heap.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/olereader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OleTables t;
  if (OleLoadTables(data, size, t)) {
    std::vector<uint8_t> out;
    for (const char16_t* name : {u"WordDocument", u"1Table", u"Workbook", u"\x05SummaryInformation", u"Root"})
      (void)OleReadStreamByName(data, size, t, name, out);
    CarveCandidate c;
    (void)OleGetSubtype(data, size, t.fat, c);
  }
  CString text;
  (void)ExtractWordText(data, size, text);
  (void)ExtractExcelText(data, size, text, 48);
  for (uint32_t type : {36u, 87u, 90u})
    if (CarvedFileMetadata* m = ReadDocumentMetadata(type, data, size)) FreeMem(m);
  return 0;
}
