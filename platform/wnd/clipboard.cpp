// The clipboard within the program, with movable memory blocks as the clipboard calls hand
// them around. While the display has a selection bridge, text the program puts on the
// clipboard is offered to the other programs of the display, and their text is read when the
// program asks for text while another program owns the clipboard.
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/wnd/selection.h"
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
  bool changed = false;  // emptied or given data since it was opened
};
Clip& TheClip() {
  static Clip& c = *new Clip;
  return c;
}

Block* LiveBlock(HGLOBAL h) {
  auto* b = static_cast<Block*>(h);
  return b && TheClip().blocks.count(b) ? b : nullptr;
}

// The text of a block as far as its first zero or its end (call with the layer locked).
std::u16string BlockText(const Block& b) {
  const size_t n = b.bytes.size() / sizeof(char16_t);
  std::u16string out(n, u'\0');
  if (n) std::memcpy(out.data(), b.bytes.data(), n * sizeof(char16_t));
  const size_t end = out.find(u'\0');
  if (end != std::u16string::npos) out.resize(end);
  return out;
}

// Brings the program's text up to date with the display's clipboard when another program owns
// it: its text replaces ours, or, when it offers no text, ours is no longer there. With no
// owner at all the program's own text stays. Called by the thread that has the clipboard open,
// without the layer's lock (the other program may take a while to answer).
void TakeDisplayText() {
  SelectionBridge* bridge = CurrentSelectionBridge();
  if (!bridge || bridge->Owned()) return;
  std::u16string text;
  const SelectionBridge::Fetched got = bridge->Fetch(&text, 1000);
  if (got == SelectionBridge::Fetched::kNoOwner) return;
  LayerLock g(Layer().m);
  Clip& c = TheClip();
  auto it = c.data.find(CF_UNICODETEXT);
  if (got == SelectionBridge::Fetched::kText && it != c.data.end() && BlockText(*it->second) == text) return;
  if (it != c.data.end()) {
    c.blocks.erase(it->second);
    delete it->second;
    c.data.erase(it);
  }
  if (got != SelectionBridge::Fetched::kText) return;
  auto* b = new Block;
  b->bytes.assign((text.size() + 1) * sizeof(char16_t), 0);
  if (!text.empty()) std::memcpy(b->bytes.data(), text.data(), text.size() * sizeof(char16_t));
  c.blocks.insert(b);
  c.data[CF_UNICODETEXT] = b;
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
  TheClip().changed = false;
  return TRUE;
}

BOOL CloseClipboard() {
  bool offer = false, hasText = false;
  std::u16string text;
  {
    LayerLock g(Layer().m);
    Clip& c = TheClip();
    if (c.openBy != GetCurrentThreadId()) return FALSE;
    c.openBy = 0;
    offer = c.changed;
    c.changed = false;
    auto it = c.data.find(CF_UNICODETEXT);
    if (offer && it != c.data.end()) hasText = true, text = BlockText(*it->second);
  }
  if (SelectionBridge* bridge = offer ? CurrentSelectionBridge() : nullptr) {
    if (hasText) bridge->Own(text);
    else bridge->Disown();
  }
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
  TheClip().changed = true;
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
  TheClip().changed = true;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  {
    LayerLock g(Layer().m);
    if (TheClip().openBy != GetCurrentThreadId()) return nullptr;
  }
  if (format == CF_UNICODETEXT) TakeDisplayText();
  LayerLock g(Layer().m);
  if (TheClip().openBy != GetCurrentThreadId()) return nullptr;
  auto it = TheClip().data.find(format);
  return it == TheClip().data.end() ? nullptr : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  // Asked without opening the clipboard, so the display's text is only looked at, not taken.
  SelectionBridge* bridge = format == CF_UNICODETEXT ? CurrentSelectionBridge() : nullptr;
  if (bridge && !bridge->Owned()) {
    std::u16string text;
    const SelectionBridge::Fetched got = bridge->Fetch(&text, 1000);
    if (got != SelectionBridge::Fetched::kNoOwner) return got == SelectionBridge::Fetched::kText;
  }
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
