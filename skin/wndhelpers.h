// Window and picture helpers of the dialogs: centring a window on the main window, BMP bytes
// to a bitmap, skin pictures to drawable bitmaps, drawing an in-memory picture. User-interface
// thread only.
#pragma once

#include <cstdint>

#include "platform/afx/afxwin.h"

struct SkinImageData;

// The folder picker (file-system folders only, no owner, starting at the home folder) with the
// title: true with the chosen folder's path in `folder` when the user chose one; false when
// cancelled (the text is then left as it was).
bool BrowseForFolder(CString* folder, const CString& title);
// Gives the window that size (0 keeps a dimension) and centres it on the main window's normal
// (restored) rectangle, repainting; a null window or a missing main window does nothing.
void CenterOnMainWnd(CWnd* wnd, int width, int height);
// A screen-compatible bitmap from the bytes of a BMP file, attached to `bitmap` in place of the
// one it held. False for fewer than 15 bytes, bytes that do not start with "BM", or a file whose
// header or pixels do not fit in the bytes (the object then holds no bitmap).
bool BmpBytesToBitmap(CBitmap& bitmap, const uint8_t* bytes, uint32_t length);
// The skin picture (PNG with alpha or BMP) as a 32-bit bitmap with premultiplied colours, ready
// for alpha blending, attached to `image`. False, the object unchanged, when the table has no
// such picture or it cannot be decoded.
bool LoadSkinImage(CBitmap& image, const CString& name);
// Draws the picture at (x, y) at its own size: a BMP is copied, a PNG blended by its alpha. A
// null image or undecodable bytes draw nothing and leave a log line.
void DrawPic(HDC dc, const SkinImageData* image, int x, int y);
