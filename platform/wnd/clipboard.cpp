// The clipboard within the program, with movable memory blocks as the clipboard calls hand
// them around.
#include <cstring>
#include <map>
#include <set>

#include "platform/wnd/wndobj.h"

namespace {

struct Block {
  std::vector<uint8_t> bytes;
  int locks = 0;
};

struct Clip {
  std::set<Block*> blocks;
  std::map<UINT, Block*> data;
  DWORD openBy = 0;
};
Clip& TheClip() {
  static Clip& c = *new Clip;
  return c;
}

Block* LiveBlock(HGLOBAL h) {
  auto* b = static_cast<Block*>(h);
  return b && TheClip().blocks.count(b) ? b : nullptr;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, size_t bytes) {
  if (bytes > (size_t(1) << 31)) return nullptr;
  LayerLock g(Layer().m);
  auto* b = new Block;
  b->bytes.assign(bytes, 0);
  TheClip().blocks.insert(b);
  return b;
}

void* GlobalLock(HGLOBAL mem) {
  LayerLock g(Layer().m);
  Block* b = LiveBlock(mem);
  if (!b) return nullptr;
  ++b->locks;
  return b->bytes.empty() ? static_cast<void*>(b) : b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL mem) {
  LayerLock g(Layer().m);
  Block* b = LiveBlock(mem);
  if (!b || b->locks == 0) return FALSE;
  return --b->locks > 0;
}

size_t GlobalSize(HGLOBAL mem) {
  LayerLock g(Layer().m);
  Block* b = LiveBlock(mem);
  return b ? b->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  LayerLock g(Layer().m);
  Block* b = LiveBlock(mem);
  if (!b) return mem;
  for (auto& kv : TheClip().data) {
    if (kv.second == b) return mem;  // the clipboard owns it
  }
  TheClip().blocks.erase(b);
  delete b;
  return nullptr;
}

BOOL OpenClipboard(HWND) {
  LayerLock g(Layer().m);
  const DWORD me = GetCurrentThreadId();
  if (TheClip().openBy && TheClip().openBy != me) return FALSE;
  TheClip().openBy = me;
  return TRUE;
}

BOOL CloseClipboard() {
  LayerLock g(Layer().m);
  if (TheClip().openBy != GetCurrentThreadId()) return FALSE;
  TheClip().openBy = 0;
  return TRUE;
}

BOOL EmptyClipboard() {
  LayerLock g(Layer().m);
  if (TheClip().openBy != GetCurrentThreadId()) return FALSE;
  for (auto& kv : TheClip().data) {
    TheClip().blocks.erase(kv.second);
    delete kv.second;
  }
  TheClip().data.clear();
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  LayerLock g(Layer().m);
  if (TheClip().openBy != GetCurrentThreadId()) return nullptr;
  Block* b = LiveBlock(data);
  if (!b) return nullptr;
  auto it = TheClip().data.find(format);
  if (it != TheClip().data.end() && it->second != b) {
    TheClip().blocks.erase(it->second);
    delete it->second;
  }
  TheClip().data[format] = b;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  LayerLock g(Layer().m);
  if (TheClip().openBy != GetCurrentThreadId()) return nullptr;
  auto it = TheClip().data.find(format);
  return it == TheClip().data.end() ? nullptr : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  LayerLock g(Layer().m);
  return TheClip().data.count(format) != 0;
}

bool SetClipboardText(const CString& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  const size_t bytes = (size_t(text.GetLength()) + 1) * sizeof(char16_t);
  HGLOBAL h = GlobalAlloc(GHND, bytes);
  bool ok = false;
  if (void* p = GlobalLock(h)) {
    std::memcpy(p, text.GetString(), bytes - sizeof(char16_t));
    GlobalUnlock(h);
    ok = SetClipboardData(CF_UNICODETEXT, h) != nullptr;
  }
  if (!ok && h) GlobalFree(h);
  CloseClipboard();
  return ok;
}

bool GetClipboardText(CString* text) {
  if (!text || !OpenClipboard(nullptr)) return false;
  bool ok = false;
  HANDLE h = GetClipboardData(CF_UNICODETEXT);
  const size_t n = GlobalSize(h) / sizeof(char16_t);
  if (const auto* p = static_cast<const char16_t*>(GlobalLock(h))) {
    size_t len = 0;
    while (len < n && p[len]) ++len;  // never past the block, terminated or not
    *text = CString(std::u16string(p, len));
    GlobalUnlock(h);
    ok = true;
  }
  CloseClipboard();
  return ok;
}
