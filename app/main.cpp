// The program's entry point. It brings up what exists so far and says plainly what does not.
#include <cstdio>

#include "base/log.h"
#include "platform/fileio.h"

int main() {
  WriteLog(u"Kestrel starting");
  CString dir = GetProgramDir();
  printf("Kestrel: program folder %s\n", dir.ToUtf8().c_str());
  printf("Kestrel has no main window yet: the recovery engine and its windows are still being built.\n");
  WriteLog(u"Kestrel stopped: no main window yet");
  return 0;
}
