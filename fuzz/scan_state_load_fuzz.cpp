// A scan-state data file as the deep scan loads it: the input is the file. Whatever loads must
// save again and load back to the same hits and records.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/textconv.h"
#include "scansave/scanstatefile.h"

namespace {

const std::string& WorkFile(const char* suffix) {
  static std::string base = [] {
    char t[] = "/tmp/scan-state-fuzz-XXXXXX";
    const int fd = mkstemp(t);
    if (fd >= 0) close(fd);
    return std::string(t);
  }();
  static std::string in = base, out = base + ".out";
  return suffix[0] == 0 ? in : out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& inPath = WorkFile("");
  FILE* f = fopen(inPath.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size != 0) fwrite(data, 1, size, f);
  fclose(f);
  const CString path(Utf8ToUtf16(inPath)), again(Utf8ToUtf16(WorkFile("out")));
  LoadedScanState loaded;
  // The block bound of a small device, as the scan passes its own.
  if (LoadScanStateFile(path, 64, nullptr, loaded) != ScanStateResult::kOk) return 0;
  if (WriteScanStateFile(again, loaded.header, loaded.hits, loaded.records) != ScanStateResult::kOk) abort();
  LoadedScanState back;
  if (LoadScanStateFile(again, 64, nullptr, back) != ScanStateResult::kOk) abort();
  if (back.hits.size() != loaded.hits.size() || back.records.size() != loaded.records.size()) abort();
  for (size_t i = 0; i < back.hits.size(); ++i) {
    if (back.hits[i].kind != loaded.hits[i].kind || back.hits[i].lba != loaded.hits[i].lba) abort();
    if ((back.hits[i].detail == nullptr) != (loaded.hits[i].detail == nullptr)) abort();
  }
  return 0;
}
