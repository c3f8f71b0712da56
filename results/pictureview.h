// The picture view of the preview pane: one picture decoded from a found file's bytes, painted
// on white, shrunk to fit keeping its aspect and centred, with a caption over its top and a
// frame whose top edge opens under the pane's picture/text button.
#pragma once

#include <cstdint>

#include "base/codec/imagecodec.h"
#include "platform/afx/afxwin.h"

// Where a w x h picture goes in a W x H view: its own size centred when it fits, else scaled
// keeping the aspect to the full width or height and centred the other way. Empty (0 x 0) for
// a picture or view without area.
RECT FitPictureRect(int w, int h, int W, int H);

class CPicWnd : public CWnd {
 public:
  // Replaces the picture from memory and repaints; nothing happens for missing bytes or a
  // count of 0 (the previous picture stays). The category code picks the decoder.
  void LoadImage(const uint8_t* bytes, uint32_t count, uint32_t code);

  CString m_caption;
  ImageCodec m_image;
  // Which decoder took the last load: 1 the format-sniffing stream decoder, 2 the decoder of
  // the category's format, 0 none.
  int m_lastDecoder = 0;

 protected:
  void OnPaint();
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  void OnLButtonDown(UINT flags, CPoint pt);
  DECLARE_MESSAGE_MAP()
};
