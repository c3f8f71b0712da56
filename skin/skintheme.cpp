#include "skin/skintheme.h"

SkinThemeT SkinTheme{};

void SetSkinThemeValues() {
  SkinTheme = SkinThemeT{0,        0,        {28, 3, 3, 3}, 0xFFFFFF, 0x00FF00, 0xFAFAFA, 0xFFFFFF, 0xCCEFFF,
                         0xEFEFEF, 0xF9E4CF, 0x37342F,      0,        0xCFCCCA, 0x37342F, 0xE0E0E0, 30};
}
