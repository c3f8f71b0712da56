// The resource store: bytes by (type, id) under one lock, decoded on every load.
#include "platform/paint/resstore.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/paint/gdi.h"
#include "platform/paint/resicon.h"

namespace {

struct Store {
  std::mutex m;
  std::map<std::pair<UINT, UINT>, std::vector<uint8_t>> items;
  std::map<UINT, std::u16string> strings;
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

void RegisterStringResource(UINT id, std::u16string_view text) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  s.strings[id] = std::u16string(text);
}

void ClearResources() {
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  s.items.clear();
  s.strings.clear();
}

// A copy, so that a load decodes bytes that no later registration can change under it.
std::vector<uint8_t> FindResourceBytes(UINT type, UINT id) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  auto it = s.items.find({type, id});
  if (it == s.items.end()) return {};
  return it->second;
}

HBITMAP LoadBitmapW(void*, const char16_t* name) {
  const UINT id = ResourceIdOf(name);
  if (!id) return nullptr;
  return BitmapFromBmpBytes(FindResourceBytes(RT_BITMAP, id));
}

HICON LoadIconW(void*, const char16_t* name) {
  const UINT id = ResourceIdOf(name);
  if (!id) return nullptr;
  return IconFromResourceBytes(FindResourceBytes(RT_GROUP_ICON, id), kLargeIconSize, kLargeIconSize, false);
}

HANDLE LoadImageW(void* instance, const char16_t* name, UINT type, int cx, int cy, UINT flags) {
  if (type == IMAGE_BITMAP) return LoadBitmapW(instance, name);
  if (type != IMAGE_ICON) return nullptr;
  const UINT id = ResourceIdOf(name);
  if (!id || cx < 0 || cy < 0) return nullptr;
  if (cx == 0) cx = cy;
  if (cy == 0) cy = cx;
  bool scale = true;
  if (cx == 0) {
    cx = cy = kLargeIconSize;
    scale = (flags & LR_DEFAULTSIZE) != 0;
  }
  return IconFromResourceBytes(FindResourceBytes(RT_GROUP_ICON, id), cx, cy, scale);
}

int LoadStringW(void*, UINT id, char16_t* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  Store& s = TheStore();
  std::lock_guard<std::mutex> g(s.m);
  auto it = s.strings.find(id);
  const size_t n = it == s.strings.end() ? 0 : std::min(it->second.size(), size_t(size - 1));
  if (n) std::copy_n(it->second.data(), n, buffer);
  buffer[n] = 0;
  return int(n);
}
