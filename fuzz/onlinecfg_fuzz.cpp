// A downloaded online configuration body through everything that reads it: the decoding, the
// paragraphs applied to the edition table with the support links and the update notice, the
// announcement parser, and the option parser over the same text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/cmdlineparse.h"
#include "app/onlinecfg.h"
#include "fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  const CString text = DecodeOnlineCfgBody(std::string_view(reinterpret_cast<const char*>(data), size));
  ApplyOnlineCfg(text, u"Pro");
  CString message, link;
  (void)ParseUpdateNotice(text, message, link);
  CCmdLineParse options;
  if (options.Parse(text)) {
    CString line;
    options.Build(line);
  }
  ClearOnlineCfgForTest();
  return 0;
}
