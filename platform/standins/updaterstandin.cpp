// The updater the program starts when a newer version is to be installed, as our own
// stand-in: it installs nothing and contacts nothing. It records the command line it was given
// (its one argument: the option text) and its parent's process id to the file named by
// KESTREL_UPDATER_RECORD, in one write ending with the line "end", and exits with 0.
#include <unistd.h>

#include <string>

#include "platform/standins/standintext.h"

int main(int argc, char** argv) {
  std::string record = "argc=" + std::to_string(argc) + "\n";
  for (int i = 1; i < argc; ++i) record += "arg=" + std::string(argv[i]) + "\n";
  record += "ppid=" + std::to_string(getppid()) + "\nend\n";
  standin::AppendRecord("KESTREL_UPDATER_RECORD", record);
  return 0;
}
