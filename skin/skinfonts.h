// The skin fonts: one face for the whole interface, chosen from the installed font families,
// and a cell height per named interface element, which depends only on whether the preferred
// CJK face is installed. Filled once at start-up on the user-interface thread.
#pragma once

#include <vector>

#include "platform/afx/afxwin.h"

struct SkinFontHeight {
  CString name;
  int heightYaHei;
  int heightOther;
};
std::vector<SkinFontHeight>& SkinFontHeightTable();

// Enumerates the installed families, fills the height table and creates the application's
// shared "GuideBtn" and "MinBtn" fonts (SkinGuideBtnFont, SkinMinBtnFont).
void InitSkinFonts();
// Notes which of the preferred faces the enumerated font is (exact, case-sensitive); always 1.
int EnumSkinFontProc(const LOGFONTW* lf, const TEXTMETRICW* tm, DWORD type, LPARAM param);
// "Microsoft YaHei", else its Chinese name, else "Times New Roman", else "MS Shell Dlg", by
// what is installed.
CString GetSkinFontFace();
void AddSkinFontHeight(const CString& name, int heightYaHei, int heightOther);
// The exact (case-sensitive) element's height for the installed faces; 19 for an unknown name.
int GetSkinFontHeight(const CString& name);
// The element's font (cell height, weight 400, the skin face) attached to `font`.
BOOL CreateSkinFont(const CString& name, CFont* font);

// The two fonts the start-up creates and the windows share.
CFont& SkinGuideBtnFont();
CFont& SkinMinBtnFont();

// Tests: forget the installed faces and the height table.
void ResetSkinFontsForTest();
