// The skin's colours and sizes, one process-wide record: zero until the start-up writes the
// program's values (SetSkinThemeValues) before the first window, read-only afterwards.
#pragma once

#include <cstdint>

#include "platform/paint/gditypes.h"

struct SkinThemeT {
  int32_t captionRight;   // caption-button right offset
  int32_t captionTop;     // caption-button top offset
  int32_t unused[4];      // written at start-up (28, 3, 3, 3); nothing reads them
  COLORREF captionText;
  COLORREF keyColor;      // window pixels of this colour are cut out of skinned windows
  COLORREF listOddRow;
  COLORREF listEvenRow;
  COLORREF listSelected;  // focused, or a list that shows its selection always
  COLORREF listHover;
  COLORREF listSelectedUnfocused;
  COLORREF listText;
  COLORREF listSelectedText;
  COLORREF listFrame;
  COLORREF listHeaderText;
  COLORREF listExtra;     // written at start-up (0xE0E0E0); nothing here reads it
  int32_t listRowHeight;
};

extern SkinThemeT SkinTheme;

// The values the start-up gives the record.
void SetSkinThemeValues();
