// The drawing blocks of every skinned window: a memory DC that owns one bitmap, a nine-grid
// renderer, a window region cut from a bitmap by a key colour, the parent background copied
// under a control, and font cloning.
//
// Skinned windows render from memory: a dialog renders its background once per size into a
// memory DC and blits it, and each control copies the piece of that background that lies under
// it before it draws itself on top. Every bitmap the skin creates itself is a 24-bit bottom-up
// DIB section.
#pragma once

#include <cstdint>

#include "platform/afx/afxwin.h"

struct SkinImageData;

// What a control asks of the window it sits on: the device context holding that window's
// finished background (rendered first when stale), or null.
class CSkinBase {
 public:
  virtual CDC* GetBackgroundDC() { return nullptr; }

 protected:
  ~CSkinBase() = default;
};

// A memory device context that owns the bitmap selected into it.
class CBitmapDC : public CDC {
 public:
  CBitmapDC() = default;
  ~CBitmapDC() override;

  // A new 24-bit DIB section of the size; false on any failed step (the object is then empty).
  bool Create(int width, int height);
  // Id 0 is refused and keeps the old content; otherwise the bitmap resource is copied into a
  // new 24-bit DIB section of its size.
  bool LoadFromResource(UINT id);
  // Null is refused and keeps the old content; otherwise the image's BMP bytes become a
  // screen-compatible bitmap (not converted to 24 bits).
  bool LoadFromImage(const SkinImageData* image);
  // Selects the previous bitmap back, deletes the own one and the DC, marks the object empty.
  void Release();

  int Width() const { return m_bm.bmWidth; }
  int Height() const { return m_bm.bmHeight; }

  CBitmap* m_pOldBitmap = nullptr;
  int m_bEmpty = 1;  // 1 while no usable bitmap is held
  CBitmap m_bitmap;
  BITMAP m_bm{};

 private:
  bool AttachOwnBitmap(HBITMAP bm);
};

// Renders a small skin bitmap to any size by the nine-grid rule: the source's quarters are the
// corners (copied unscaled), the middle row and column (1 pixel for an odd size, 2 for an
// even one) are stretched. The CDC itself is the target that holds the rendered result.
class CStretchDC : public CDC {
 public:
  CStretchDC() = default;
  ~CStretchDC() override;

  bool SetBitmapResource(UINT id);
  bool SetSkinImage(const SkinImageData* image);
  // A 24-bit DIB section of the size selected into a new DC; clears the target-empty flag.
  bool CreateTarget(int width, int height);
  // Renders the source at the size; fails (target empty) for 0 by 0 or without a source. A
  // target smaller than two corners keeps the corners and gives the middle no room at all.
  bool Stretch(int width, int height);
  // Lets go of the target only; the source stays loaded.
  void Release();

  int TargetWidth() const { return m_targetBm.bmWidth; }
  int TargetHeight() const { return m_targetBm.bmHeight; }

  CBitmapDC m_source;
  CBitmap* m_pOldTarget = nullptr;
  int m_bTargetEmpty = 1;
  int m_bDrawCenter = 1;
  // Corner widths: top-left, top-right, bottom-left, bottom-right.
  int m_cornerW[4] = {0, 0, 0, 0};
  // Corner heights: top-left, bottom-left, top-right, bottom-right.
  int m_cornerH[4] = {0, 0, 0, 0};
  // Edges: top height, bottom height, left width, right width.
  int m_edge[4] = {0, 0, 0, 0};
  BITMAP m_targetBm{};
  CBitmap m_target;

 private:
  void SetMargins();
};

// A new region of every pixel that differs from the key colour, one row of runs at a time
// from the top; null for a null bitmap or when the pixels cannot be read.
HRGN CreateRegionFromBitmap(HBITMAP bitmap, COLORREF key);
// Copies the part of the parent's skin background under the control into dc at (0, 0); false
// when the parent is no skinned window or has no background.
bool CopyParentBackground(CDC* dc, CWnd* control);
bool CopyParentBackground(HDC dc, HWND control);
// Deletes *font and, with a source, stores a new font made from the source's LOGFONT.
bool CopyFontObject(CFont* source, CFont** font);

// The skinned windows' private messages.
constexpr UINT WM_SKIN_BUTTON_HOVER = WM_USER + 1000;  // 0x7E8: wParam id, lParam 1 entered / 2 left
constexpr UINT WM_SKIN_CAPTION_MENU = WM_USER + 1001;  // 0x7E9
constexpr UINT WM_SKIN_RADIO_UNCHECK = WM_USER + 256;  // 0x500

// Selects a GDI object into a DC for one scope and selects the previous one back; an owned
// object (a font made for one drawing) is deleted after it was deselected.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ obj, bool owned = false) : m_dc(dc), m_obj(obj), m_owned(owned) {
    m_old = (dc && obj) ? ::SelectObject(dc, obj) : nullptr;
  }
  ~ScopedSelect() {
    if (m_old) ::SelectObject(m_dc, m_old);
    if (m_owned && m_obj) ::DeleteObject(m_obj);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_obj;
  HGDIOBJ m_old = nullptr;
  bool m_owned;
};
