#include "skin/wndhelpers.h"

#include <span>

#include "base/log.h"
#include "platform/comobj.h"
#include "platform/wnd/shellapi.h"
#include "skin/skinimages.h"

namespace {

bool IsPng(const uint8_t* b, uint32_t n) { return n >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G'; }

// A 32-bit bitmap of a BMP or PNG skin picture with premultiplied colours (BMPs are opaque).
HBITMAP DecodePicture(const uint8_t* bytes, uint32_t length) {
  if (!bytes || length == 0) return nullptr;
  std::span<const uint8_t> span(bytes, length);
  if (IsPng(bytes, length)) return BitmapFromPngBytes(span);
  HBITMAP bm = BitmapFromBmpBytes(span);
  BITMAP info{};
  if (!bm || GetObjectW(bm, sizeof info, &info) != int(sizeof info)) return bm;
  // Screen-compatible bitmaps carry no alpha; a picture made opaque blends as itself.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = info.bmWidth;
  bmi.bmiHeader.biHeight = -info.bmHeight;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP out = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (out) {
    HDC od = CreateCompatibleDC(nullptr);
    HGDIOBJ oo = SelectObject(od, out);
    BitBlt(od, 0, 0, info.bmWidth, info.bmHeight, dc, 0, 0, SRCCOPY);
    SelectObject(od, oo);
    DeleteDC(od);
    auto* p = static_cast<uint8_t*>(bits);
    for (size_t i = 0; i < size_t(info.bmWidth) * size_t(info.bmHeight); ++i) p[4 * i + 3] = 255;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  return out;
}

}  // namespace

bool BrowseForFolder(CString* folder, const CString& title) {
  if (!folder) return false;
  BROWSEINFOW bi{};
  bi.lpszTitle = title.GetString();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&bi);
  if (!item) return false;
  char16_t path[MAX_PATH] = {};
  const bool got = SHGetPathFromIDListW(item, path) && path[0];
  CoTaskMemFree(item);
  if (got) *folder = path;
  return got;
}

void CenterOnMainWnd(CWnd* wnd, int width, int height) {
  if (!wnd || !wnd->m_hWnd) return;
  CWnd* main = AfxGetMainWnd();
  if (!main || !main->m_hWnd) return;
  RECT cur{};
  wnd->GetWindowRect(&cur);
  if (width == 0) width = cur.right - cur.left;
  if (height == 0) height = cur.bottom - cur.top;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(main->m_hWnd, &wp)) return;
  const RECT& n = wp.rcNormalPosition;
  const int x = n.left + (n.right - n.left - width) / 2;
  const int y = n.top + (n.bottom - n.top - height) / 2;
  wnd->MoveWindow(x, y, width, height, TRUE);
}

bool BmpBytesToBitmap(CBitmap& bitmap, const uint8_t* bytes, uint32_t length) {
  if (!bytes || length < 15 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  HBITMAP bm = BitmapFromBmpBytes(std::span<const uint8_t>(bytes, length));
  bitmap.DeleteObject();
  // A file whose pixels lie outside its bytes makes no bitmap; saying so lets the caller fall
  // back instead of finding an empty object later.
  if (!bm) return false;
  bitmap.Attach(bm);
  return true;
}

bool LoadSkinImage(CBitmap& image, const CString& name) {
  const SkinImageData* data = FindSkinImage(name);
  if (!data) return false;
  HBITMAP bm = DecodePicture(data->bytes, data->length);
  if (!bm) return false;
  image.DeleteObject();
  image.Attach(bm);
  return true;
}

void DrawPic(HDC dc, const SkinImageData* image, int x, int y) {
  HBITMAP bm = image ? DecodePicture(image->bytes, image->length) : nullptr;
  if (!bm) {
    LogSrcLine(u"DrawPic Pointer error ********************************", u"skin/wndhelpers", __LINE__);
    return;
  }
  BITMAP info{};
  GetObjectW(bm, sizeof info, &info);
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(src, bm);
  SetStretchBltMode(dc, HALFTONE);
  if (IsPng(image->bytes, image->length)) {
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, y, info.bmWidth, info.bmHeight, src, 0, 0, info.bmWidth, info.bmHeight, bf);
  } else {
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, src, 0, 0, SRCCOPY);
  }
  SelectObject(src, old);
  DeleteDC(src);
  DeleteObject(bm);
}
