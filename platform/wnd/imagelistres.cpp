// Image lists made from the program's bitmap resources.
#include "platform/paint/gdi.h"
#include "platform/paint/resstore.h"
#include "platform/wnd/commctrl.h"

HIMAGELIST ImageList_LoadImageW(void* instance, const char16_t* name, int cx, int grow, COLORREF mask, UINT type,
                                UINT) {
  if (type != IMAGE_BITMAP || cx <= 0) return nullptr;
  HBITMAP bm = LoadBitmapW(instance, name);
  if (!bm) return nullptr;
  BITMAP info{};
  HIMAGELIST list = nullptr;
  if (GetObjectW(bm, sizeof info, &info) == int(sizeof info) && info.bmWidth >= cx) {
    // Bitmap resources carry no alpha: the mask colour is what makes pictures clear.
    list = ImageList_Create(cx, info.bmHeight, ILC_COLOR24 | (mask == CLR_NONE ? 0 : ILC_MASK),
                            info.bmWidth / cx, grow);
    const int first = !list ? -1 : mask == CLR_NONE ? ImageList_Add(list, bm, nullptr) : ImageList_AddMasked(list, bm, mask);
    if (list && first < 0) {
      ImageList_Destroy(list);
      list = nullptr;
    }
  }
  DeleteObject(bm);
  return list;
}
