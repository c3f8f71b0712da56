// The system image lists of the shell icons.
#include "platform/wnd/shellapi.h"

HIMAGELIST ShellImageList(int size) {
  (void)size;
  return nullptr;
}
