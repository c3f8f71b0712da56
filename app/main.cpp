// The program's entry: the crash handler first, a display for the windows, then the application
// object runs the whole program inside its InitInstance.
#include "app/crashdump.h"
#include "base/log.h"
#include "program/kestrelapp.h"

int main(int argc, char** argv) {
  InstallCrashFilter();
  if (!OpenProgramDisplay()) return 1;
  WriteLog(u"Kestrel starting");
  InstallProgramServices();
  theApp.SetCommandLine(argc, argv);
  return AfxRunApp(&theApp);
}
