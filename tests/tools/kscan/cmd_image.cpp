// "kscan image IMAGE OUT": the disk-image edition's scan over the whole image: the reader reads
// every block, the image writer writes each at its own position into OUT. Prints one line:
//   {"image":"OUT","complete":true,"message":"..."}
// with the closing message the program shows; exit 0 only when imaging completed. OUT on the
// image itself is refused before anything is written.
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/copyout.h"
#include "core/diskimage.h"
#include "core/diskreader.h"
#include "deepscan/diskimagescan.h"
#include "platform/hooks.h"
#include "platform/textconv.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscancarve.h"

namespace {

namespace fs = std::filesystem;

CString g_closing;

bool HearClosingMessage(const CString& text, const CString&, const CString&) {
  g_closing = text;
  return true;
}

int RunImage(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    fprintf(stderr, "usage: kscan image IMAGE OUT\n");
    return 2;
  }
  std::error_code ec;
  const std::string source = fs::absolute(args[0], ec).string(), out = fs::absolute(args[1], ec).string();
  DiskReader reader;
  const CString sourcePath(Utf8ToUtf16(source)), outPath(Utf8ToUtf16(out));
  if (!OpenDeviceByPath(sourcePath, reader, 1) || reader.sizeBytes < kSectorBytes) {
    printf("{\"error\":\"cannot open\",\"path\":\"%s\"}\n", KscanJsonText(source).c_str());
    return 1;
  }
  const uint64_t size = reader.sizeBytes;
  reader.Close();
  KscanPrepareImageScan(sourcePath, size);
  if (TargetLiesOnSource(outPath)) {
    printf("{\"error\":\"the image would lie on its source\",\"path\":\"%s\"}\n", KscanJsonText(out).c_str());
    return 1;
  }
  KscanLoadSettings(u"VuzuDazuv");
  InstallDiskImageConsumer();
  SetDiskImagePath(outPath);
  SetMessageBoxHandler(&HearClosingMessage);
  const double seconds = KscanRunScan(&KscanMainProc, u"KscanImageMain");
  fprintf(stderr, "kscan image: %.3f s\n", seconds);
  const bool complete = g_closing.Find(u"镜像完成！") == 0;
  printf("{\"image\":\"%s\",\"complete\":%s,\"message\":\"%s\"}\n", KscanJsonText(out).c_str(),
         complete ? "true" : "false", KscanJsonText(g_closing.ToUtf8()).c_str());
  return complete ? 0 : 1;
}

KscanCommand reg("image", "image IMAGE OUT", &RunImage);

}  // namespace
