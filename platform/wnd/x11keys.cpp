// Key translation of the x11 backend. It needs no Xlib: key symbols are plain numbers.
#include "platform/wnd/x11keys.h"

namespace {

// Key symbol values (X11/keysymdef.h), named here so that this file builds without Xlib.
enum : unsigned long {
  kBackSpace = 0xff08, kTab = 0xff09, kReturn = 0xff0d, kPause = 0xff13, kEscape = 0xff1b, kHome = 0xff50,
  kLeft = 0xff51, kUp = 0xff52, kRight = 0xff53, kDown = 0xff54, kPrior = 0xff55, kNext = 0xff56, kEnd = 0xff57,
  kInsert = 0xff63, kMenu = 0xff67, kKpEnter = 0xff8d, kKpHome = 0xff95, kKpLeft = 0xff96, kKpUp = 0xff97,
  kKpRight = 0xff98, kKpDown = 0xff99, kKpPrior = 0xff9a, kKpNext = 0xff9b, kKpEnd = 0xff9c, kKpInsert = 0xff9e,
  kKpDelete = 0xff9f, kF1 = 0xffbe, kF24 = 0xffd5, kShiftL = 0xffe1, kShiftR = 0xffe2, kControlL = 0xffe3,
  kControlR = 0xffe4, kAltL = 0xffe9, kAltR = 0xffea, kDelete = 0xffff, kIsoLeftTab = 0xfe20, kSpace = 0x20,
};

}  // namespace

UINT VkFromKeysym(unsigned long ks) {
  if (ks >= 'a' && ks <= 'z') return UINT('A' + (ks - 'a'));
  if (ks >= 'A' && ks <= 'Z') return UINT(ks);
  if (ks >= '0' && ks <= '9') return UINT(ks);
  if (ks >= kF1 && ks <= kF24) return UINT(VK_F1 + (ks - kF1));
  switch (ks) {
    case kBackSpace: return VK_BACK;
    case kTab:
    case kIsoLeftTab: return VK_TAB;
    case kReturn:
    case kKpEnter: return VK_RETURN;
    case kEscape: return VK_ESCAPE;
    case kSpace: return VK_SPACE;
    case kLeft:
    case kKpLeft: return VK_LEFT;
    case kRight:
    case kKpRight: return VK_RIGHT;
    case kUp:
    case kKpUp: return VK_UP;
    case kDown:
    case kKpDown: return VK_DOWN;
    case kHome:
    case kKpHome: return VK_HOME;
    case kEnd:
    case kKpEnd: return VK_END;
    case kPrior:
    case kKpPrior: return VK_PRIOR;
    case kNext:
    case kKpNext: return VK_NEXT;
    case kInsert:
    case kKpInsert: return VK_INSERT;
    case kDelete:
    case kKpDelete: return VK_DELETE;
    case kMenu: return VK_APPS;
    case kShiftL:
    case kShiftR: return VK_SHIFT;
    case kControlL:
    case kControlR: return VK_CONTROL;
    case kAltL:
    case kAltR: return VK_MENU;
    default: return 0;
  }
}

char32_t CharFromKeysym(unsigned long ks) {
  if ((ks >= 0x20 && ks <= 0x7e) || (ks >= 0xa0 && ks <= 0xff)) return char32_t(ks);
  if ((ks & 0xff000000ul) == 0x01000000ul) {
    const unsigned long cp = ks & 0x00fffffful;
    return cp <= 0x10ffff && !(cp >= 0xd800 && cp <= 0xdfff) ? char32_t(cp) : 0;
  }
  switch (ks) {
    case kBackSpace: return 0x08;
    case kTab: return 0x09;
    case kReturn:
    case kKpEnter: return 0x0d;
    case kEscape: return 0x1b;
    case 0x20ac: return 0x20ac;  // EuroSign
    default: return 0;
  }
}
