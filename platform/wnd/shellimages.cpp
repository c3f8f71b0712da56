// The system image lists: every shell icon in index order, at 16, 32 and 48 pixels, made once
// for the whole process on first use and kept until it ends.
#include <mutex>

#include "platform/paint/gdi.h"
#include "platform/wnd/shellapi.h"

namespace {

HIMAGELIST MakeList(int size) {
  HIMAGELIST il = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kShellIconCount, 4);
  if (!il) return nullptr;
  for (int i = 0; i < kShellIconCount; ++i) {
    HICON icon = CreateShellIcon(i, size);
    const int at = icon ? ImageList_AddIcon(il, icon) : -1;
    DestroyIcon(icon);
    if (at != i) {
      // A list whose indexes would not match the icons is no list at all.
      ImageList_Destroy(il);
      return nullptr;
    }
  }
  return il;
}

}  // namespace

HIMAGELIST ShellImageList(int size) {
  static std::once_flag once;
  static HIMAGELIST lists[3] = {};
  std::call_once(once, [] {
    lists[0] = MakeList(16);
    lists[1] = MakeList(32);
    lists[2] = MakeList(48);
  });
  return size == 16 ? lists[0] : size == 32 ? lists[1] : size == 48 ? lists[2] : nullptr;
}
