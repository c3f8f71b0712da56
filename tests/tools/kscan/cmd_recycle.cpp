// "kscan recycle IMAGE [--first-lba N]": parses the volume like "kscan fs" and prints what the
// Recycle Bin scan publishes of it: the Recycle Bin folder with the restored copies of the
// recycled files under their former paths, and the lost files, in the JSON lines of "kscan fs".
#include "core/volumesplit.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscanvolume.h"

namespace {

int RunRecycle(const std::vector<std::string>& args) { return KscanListVolumes("recycle", args, kSplitModeRecycleBin); }

KscanCommand reg("recycle", "recycle IMAGE [--first-lba N]", &RunRecycle);

}  // namespace
