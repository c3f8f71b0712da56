// The hand-over of a decoded picture to the raster: as a bitmap, or drawn into a device
// context. Only window code links this (it brings the raster in); the engine keeps to
// base/codec.
#pragma once

#include "base/codec/imagecodec.h"
#include "platform/paint/gdi.h"

// A 24-bit top-down DIB section holding the picture's colours (an 8-bit picture through its
// palette); null for an empty picture or when the bitmap cannot be had. The caller deletes it.
HBITMAP ImageToBitmap(const ImageCodec& img);

// Draws the picture into (x, y, cx, cy) of dc: copied as it is when that is its own size,
// otherwise stretched with HALFTONE (area averaging). False for an empty picture, an empty
// rectangle or a failed blit.
bool DrawImage(HDC dc, const ImageCodec& img, int x, int y, int cx, int cy);
