// The class library's drawing objects: ownership, temporary wrappers and composite drawing.
#include "platform/paint/afxgdi.h"

#include <deque>
#include <mutex>

#include "platform/paint/gdiobj.h"

namespace {

// Temporary wrappers whose handle was deleted are kept this long before they are freed, so a
// pointer a caller still holds (an "old" object of SelectObject) stays readable meanwhile.
constexpr size_t kRetiredKept = 256;

struct Temporaries {
  std::mutex lock;
  std::deque<CGdiObject*> retired;
};
Temporaries& Temps() {
  static Temporaries& t = *new Temporaries;
  return t;
}

CGdiObject* MakeWrapper(GdiKind kind) {
  switch (kind) {
    case GdiKind::Bitmap: return new CBitmap;
    case GdiKind::Font: return new CFont;
    case GdiKind::Pen: return new CPen;
    case GdiKind::Brush: return new CBrush;
    case GdiKind::Region: return new CRgn;
    default: return new CGdiObject;
  }
}

}  // namespace

void RetireTemporaryGdiObject(CGdiObject* wrapper) {
  wrapper->m_hObject = nullptr;
  Temporaries& t = Temps();
  CGdiObject* drop = nullptr;
  {
    std::lock_guard<std::mutex> g(t.lock);
    t.retired.push_back(wrapper);
    if (t.retired.size() > kRetiredKept) {
      drop = t.retired.front();
      t.retired.pop_front();
    }
  }
  delete drop;
}

CGdiObject::~CGdiObject() {
  if (!m_temporary) DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ h) {
  if (!h || m_hObject || !::GetObjectType(h)) return FALSE;
  m_hObject = h;
  if (!h->permanent) h->permanent = this;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  m_hObject = nullptr;
  if (h && ::GetObjectType(h) && h->permanent == this) h->permanent = nullptr;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject || m_temporary) return FALSE;
  return ::DeleteObject(Detach());
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h) {
  if (!h || !::GetObjectType(h)) return nullptr;
  if (h->permanent) return h->permanent;
  std::lock_guard<std::mutex> g(Temps().lock);
  if (!h->temporary) {
    CGdiObject* w = MakeWrapper(h->kind);
    w->m_hObject = h;
    w->m_temporary = true;
    h->temporary = w;
  }
  return h->temporary;
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

CDC::~CDC() {
  if (m_hDC) DeleteDC();
}

BOOL CDC::Attach(HDC h) {
  if (!h || m_hDC) return FALSE;
  m_hDC = h;
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  m_hDC = nullptr;
  return h;
}

BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  return ::DeleteDC(Detach());
}

// The edges as the class library draws them: top and left in the first colour, one pixel
// short of the far corners, then right and bottom in full length in the second.
void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight) {
  FillSolidRect(x, y, cx - 1, 1, topLeft);
  FillSolidRect(x, y, 1, cy - 1, topLeft);
  FillSolidRect(x + cx, y, -1, cy, bottomRight);
  FillSolidRect(x, y + cy, cx, -1, bottomRight);
}
