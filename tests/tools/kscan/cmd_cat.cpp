// "kscan cat IMAGE ID [--first-lba N]": writes the data of the item with that id (as "kscan fs"
// prints it) to stdout, read as the program reads it. Exit code 1 when the data cannot be read
// in full (what was read is written all the same).
#include <cstdio>
#include <cstdlib>

#include "core/filetree.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscanvolume.h"

namespace {

void WriteOut(const uint8_t* data, uint64_t n, void*) { fwrite(data, 1, size_t(n), stdout); }

int RunCat(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    fprintf(stderr, "usage: kscan cat IMAGE ID [--first-lba N]\n");
    return 2;
  }
  const uint32_t id = uint32_t(strtoul(args[1].c_str(), nullptr, 0));
  std::vector<std::string> rest = {args[0]};
  rest.insert(rest.end(), args.begin() + 2, args.end());
  VolumeContext vol;
  if (!KscanOpenVolume("cat", rest, vol)) return 1;
  const bool whole = KscanReadItem(vol, id, &WriteOut, nullptr);
  fflush(stdout);
  FreeAllFileRecords(vol);
  if (!whole) fprintf(stderr, "kscan cat: the data of item %u could not be read in full\n", id);
  return whole ? 0 : 1;
}

KscanCommand reg("cat", "cat IMAGE ID [--first-lba N]", &RunCat);

}  // namespace
