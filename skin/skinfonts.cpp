#include "skin/skinfonts.h"

#include "app/skinhooks.h"

namespace {

struct FontState {
  int yaheiEnglish = 0;
  int yaheiChinese = 0;
  int timesNewRoman = 0;
};
FontState& State() {
  static FontState s;
  return s;
}

const char16_t kYaHei[] = u"Microsoft YaHei";
const char16_t kYaHeiChinese[] = u"\u5FAE\u8F6F\u96C5\u9ED1";
const char16_t kTimes[] = u"Times New Roman";

bool YaHeiInstalled() { return State().yaheiEnglish || State().yaheiChinese; }

}  // namespace

std::vector<SkinFontHeight>& SkinFontHeightTable() {
  static auto& t = *new std::vector<SkinFontHeight>;
  return t;
}

CFont& SkinGuideBtnFont() {
  static CFont& f = *new CFont;
  return f;
}

CFont& SkinMinBtnFont() {
  static CFont& f = *new CFont;
  return f;
}

int EnumSkinFontProc(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM) {
  if (!lf) return 1;
  const CString face(lf->lfFaceName);
  if (face == kYaHei) State().yaheiEnglish = 1;
  else if (face == kYaHeiChinese) State().yaheiChinese = 1;
  else if (face == kTimes) State().timesNewRoman = 1;
  return 1;
}

CString GetSkinFontFace() {
  if (State().yaheiEnglish) return kYaHei;
  if (State().yaheiChinese) return kYaHeiChinese;
  if (State().timesNewRoman) return kTimes;
  return u"MS Shell Dlg";
}

void AddSkinFontHeight(const CString& name, int heightYaHei, int heightOther) {
  SkinFontHeightTable().push_back(SkinFontHeight{name, heightYaHei, heightOther});
}

int GetSkinFontHeight(const CString& name) {
  for (const SkinFontHeight& h : SkinFontHeightTable()) {
    if (h.name == name) return YaHeiInstalled() ? h.heightYaHei : h.heightOther;
  }
  return 19;
}

BOOL CreateSkinFont(const CString& name, CFont* font) {
  if (!font) return FALSE;
  constexpr BYTE kOutStrokePrecis = 3, kClipStrokePrecis = 2, kProofQuality = 2;
  return font->CreateFont(GetSkinFontHeight(name), 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, kOutStrokePrecis,
                          kClipStrokePrecis, kProofQuality, 0, GetSkinFontFace().GetString());
}

void InitSkinFonts() {
  HDC dc = ::GetDC(nullptr);
  LOGFONTW all{};
  all.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &all, &EnumSkinFontProc, 0, 0);
  ::ReleaseDC(nullptr, dc);
  SkinFontHeightTable().clear();
  AddSkinFontHeight(u"Desc", 19, 15);
  AddSkinFontHeight(u"BigBtn", 21, 20);
  AddSkinFontHeight(u"GuideBtn", 19, 15);
  AddSkinFontHeight(u"MinBtn", 17, 15);
  AddSkinFontHeight(u"MenuBig", 32, 32);
  AddSkinFontHeight(u"MenuNom", 21, 20);
  AddSkinFontHeight(u"MenuBtn", 21, 19);
  AddSkinFontHeight(u"Banner", 36, 36);
  SkinGuideBtnFont().DeleteObject();
  SkinMinBtnFont().DeleteObject();
  CreateSkinFont(u"GuideBtn", &SkinGuideBtnFont());
  CreateSkinFont(u"MinBtn", &SkinMinBtnFont());
}

void ResetSkinFontsForTest() {
  State() = FontState{};
  SkinFontHeightTable().clear();
}
