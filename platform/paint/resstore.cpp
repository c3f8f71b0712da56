// The resource store: bytes by (type, id) under one lock, decoded on every load.
#include "platform/paint/resstore.h"

#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

namespace {

struct Store {
  std::mutex m;
  std::map<std::pair<UINT, UINT>, std::vector<uint8_t>> items;
};
Store& TheStore() {
  static Store& s = *new Store;
  return s;
}

}  // namespace

void RegisterResource(UINT type, UINT id, std::span<const uint8_t> bytes) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  s.items[{type, id}].assign(bytes.begin(), bytes.end());
}

void ClearResources() {
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  s.items.clear();
}

std::span<const uint8_t> FindResourceBytes(UINT type, UINT id) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  auto it = s.items.find({type, id});
  if (it == s.items.end()) return {};
  return std::span<const uint8_t>(it->second);
}

HBITMAP LoadBitmapW(void*, const char16_t* name) {
  const UINT id = ResourceIdOf(name);
  if (!id) return nullptr;
  return BitmapFromBmpBytes(FindResourceBytes(RT_BITMAP, id));
}

HICON LoadIconW(void*, const char16_t* name) {
  const UINT id = ResourceIdOf(name);
  if (!id) return nullptr;
  std::span<const uint8_t> bytes = FindResourceBytes(RT_GROUP_ICON, id);
  if (bytes.size() < 8) return nullptr;
  const bool png = bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G';
  HBITMAP bm = png ? BitmapFromPngBytes(bytes) : BitmapFromBmpBytes(bytes);
  GdiBitmap* b = LiveGdi(bm, GdiKind::Bitmap);
  if (!b) return nullptr;
  if (!png) {
    // A BMP icon has no alpha: every pixel is opaque.
    for (int y = 0; y < b->height; ++y) {
      uint8_t* p = b->Row(y);
      for (int x = 0; x < b->width; ++x) p[4 * x + 3] = 255;
    }
  }
  // The PNG reader gives premultiplied pixels already, which is the icon's own form.
  auto* icon = new (std::nothrow) GdiIcon;
  if (!icon) {
    DeleteObject(bm);
    return nullptr;
  }
  icon->image = b;
  RegisterGdiObject(icon);
  return icon;
}

HANDLE LoadImageW(void* instance, const char16_t* name, UINT type, int, int, UINT) {
  if (type == IMAGE_BITMAP) return LoadBitmapW(instance, name);
  if (type == IMAGE_ICON) return LoadIconW(instance, name);
  return nullptr;
}
