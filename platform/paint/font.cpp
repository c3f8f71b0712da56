// Fonts: the face map, fontconfig matching, FreeType faces and sizes, metrics and the glyph
// cache, and the calls that create fonts and report their metrics.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <tuple>

#include "platform/paint/fontcache.h"
#include "platform/paint/gdi.h"
#include "platform/textconv.h"

struct FontFace {
  FT_Face face = nullptr;  // shared between sizes; owned by the face cache
  FT_Size size = nullptr;  // this instance's size on the face
  bool emboldenSynthetic = false;
  bool obliqueSynthetic = false;
};

namespace {

// The cell height a font gets when its logical height is 0.
constexpr int kDefaultCellHeight = 16;
// Largest em size we render, in pixels.
constexpr double kMaxPpem = 2048;

struct FontSystem {
  FT_Library lib = nullptr;
  bool fcReady = false;
  std::map<std::pair<std::string, int>, FT_Face> faces;  // file and index
  std::map<std::tuple<std::string, int, int, bool, bool, bool>, FontInstance*> instances;
};

FontSystem& Fonts() {
  static FontSystem& f = [] () -> FontSystem& {
    auto& fs = *new FontSystem;
    if (FT_Init_FreeType(&fs.lib) != 0) fs.lib = nullptr;
    fs.fcReady = FcInit() != FcFalse;
    return fs;
  }();
  return f;
}

std::u16string Lower(std::u16string s) {
  for (auto& c : s) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  }
  return s;
}

struct Match {
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;  // of the face found
  int slant = FC_SLANT_ROMAN;
  std::string family;
};

bool FcMatchFamily(const std::string& family, int weight, bool italic, Match* out) {
  FontSystem& fs = Fonts();
  if (!fs.fcReady) return false;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight <= 0 ? FW_NORMAL : std::min(weight, 1000)));
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* m = FcFontMatch(nullptr, pat, &res);
  FcPatternDestroy(pat);
  if (!m) return false;
  FcChar8* file = nullptr;
  FcChar8* fam = nullptr;
  bool ok = FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    out->file = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(m, FC_INDEX, 0, &out->index) != FcResultMatch) out->index = 0;
    if (FcPatternGetInteger(m, FC_WEIGHT, 0, &out->weight) != FcResultMatch) out->weight = FC_WEIGHT_REGULAR;
    if (FcPatternGetInteger(m, FC_SLANT, 0, &out->slant) != FcResultMatch) out->slant = FC_SLANT_ROMAN;
    if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch && fam) {
      out->family = reinterpret_cast<const char*>(fam);
    }
  }
  FcPatternDestroy(m);
  return ok;
}

FT_Face OpenFace(const std::string& file, int index) {
  FontSystem& fs = Fonts();
  if (!fs.lib) return nullptr;
  auto key = std::make_pair(file, index);
  auto it = fs.faces.find(key);
  if (it != fs.faces.end()) return it->second;
  FT_Face face = nullptr;
  if (FT_New_Face(fs.lib, file.c_str(), index, &face) != 0) face = nullptr;
  if (face && !FT_IS_SCALABLE(face)) {
    FT_Done_Face(face);
    face = nullptr;
  }
  if (face) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  fs.faces[key] = face;
  return face;
}

// A face of the instance, sized to `ppem` pixels per em.
FontFace* SizedFace(const Match& m, double ppem, int weight, bool italic) {
  FT_Face face = OpenFace(m.file, m.index);
  if (!face) return nullptr;
  auto* f = new (std::nothrow) FontFace;
  if (!f) return nullptr;
  f->face = face;
  if (FT_New_Size(face, &f->size) != 0) {
    delete f;
    return nullptr;
  }
  FT_Activate_Size(f->size);
  FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(ppem * 64)), 72, 72);
  f->emboldenSynthetic = weight >= 600 && m.weight < FC_WEIGHT_DEMIBOLD;
  f->obliqueSynthetic = italic && m.slant == FC_SLANT_ROMAN;
  return f;
}

// Ascent and descent of a face in font units, as the Windows metrics give them.
void FaceExtents(FT_Face face, double* asc, double* desc) {
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    *asc = os2->usWinAscent;
    *desc = os2->usWinDescent;
  } else {
    *asc = face->ascender;
    *desc = -face->descender;
  }
  if (*asc + *desc <= 0) {
    *asc = face->units_per_EM * 0.8;
    *desc = face->units_per_EM * 0.2;
  }
}

FontInstance* BuildInstance(const std::string& family, int height, int weight, bool italic) {
  auto* inst = new FontInstance;
  inst->weight = weight;
  inst->italic = italic;
  Match primary;
  bool havePrimary = FcMatchFamily(family, weight, italic, &primary);
  FT_Face pf = havePrimary ? OpenFace(primary.file, primary.index) : nullptr;
  double asc = 0.8, desc = 0.2, upem = 1;
  if (pf) {
    FaceExtents(pf, &asc, &desc);
    upem = pf->units_per_EM;
  }
  // Positive heights are cell heights (ascent plus descent), negative ones em heights.
  int cell = height == 0 ? kDefaultCellHeight : height;
  double ppem = cell > 0 ? cell * upem / (asc + desc) : -double(cell);
  ppem = std::clamp(ppem, 1.0, kMaxPpem);
  double scale = ppem / upem;
  inst->ascent = int(std::lround(asc * scale));
  inst->descent = cell > 0 ? std::max(0, cell - inst->ascent) : int(std::lround(desc * scale));
  inst->internalLeading = std::max(0, inst->Height() - int(std::lround(ppem)));
  inst->aveCharWidth = std::max(1, int(std::lround(ppem * 0.45)));
  inst->maxCharWidth = std::max(1, int(std::lround(ppem)));
  if (pf) {
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(pf, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0) {
      inst->aveCharWidth = std::max(1, int(std::lround(os2->xAvgCharWidth * scale)));
    }
    inst->maxCharWidth = std::max(1, int(std::lround((pf->bbox.xMax - pf->bbox.xMin) * scale)));
    inst->underlinePos = std::max(1, int(std::lround(-pf->underline_position * scale)));
    inst->underlineThick = std::max(1, int(std::lround(pf->underline_thickness * scale)));
    if (FontFace* f = SizedFace(primary, ppem, weight, italic)) inst->faces.push_back(f);
  }
  // Fallbacks for characters the mapped face lacks: a CJK face, then a wide-coverage sans.
  for (const char* fb : {"WenQuanYi Micro Hei", "DejaVu Sans"}) {
    Match m;
    if (!FcMatchFamily(fb, weight, italic, &m)) continue;
    if (havePrimary && m.file == primary.file && m.index == primary.index) continue;
    if (FontFace* f = SizedFace(m, ppem, weight, italic)) inst->faces.push_back(f);
  }
  return inst;
}

void RenderGlyph(FontFace* f, FT_UInt index, Glyph* g) {
  FT_Activate_Size(f->size);
  if (FT_Load_Glyph(f->face, index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) != 0) return;
  FT_GlyphSlot slot = f->face->glyph;
  if (f->obliqueSynthetic) FT_GlyphSlot_Oblique(slot);
  if (f->emboldenSynthetic) FT_GlyphSlot_Embolden(slot);
  g->advance = int((slot->advance.x + 32) >> 6);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
  const FT_Bitmap& b = slot->bitmap;
  if (b.pixel_mode != FT_PIXEL_MODE_GRAY || b.width == 0 || b.rows == 0) return;
  g->left = slot->bitmap_left;
  g->top = slot->bitmap_top;
  g->width = int(b.width);
  g->height = int(b.rows);
  g->coverage.resize(size_t(g->width) * size_t(g->height));
  for (int y = 0; y < g->height; ++y) {
    const unsigned char* src = b.buffer + ptrdiff_t(y) * b.pitch;
    std::memcpy(g->coverage.data() + size_t(y) * size_t(g->width), src, size_t(g->width));
  }
}

}  // namespace

std::mutex& FontLock() {
  static std::mutex& m = *new std::mutex;
  return m;
}

const Glyph& FontInstance::Get(char32_t c) {
  auto it = glyphs.find(c);
  if (it != glyphs.end()) return it->second;
  Glyph& g = glyphs[c];
  if (c < 0x20 || c == 0x7F) return g;  // control characters take no room
  for (FontFace* f : faces) {
    FT_UInt index = FT_Get_Char_Index(f->face, FT_ULong(c));
    if (index != 0) {
      RenderGlyph(f, index, &g);
      return g;
    }
  }
  if (!faces.empty()) {
    RenderGlyph(faces.front(), 0, &g);  // the missing-glyph shape
  } else {
    g.advance = aveCharWidth;
  }
  return g;
}

std::string MapFaceName(const std::u16string& face) {
  const std::u16string f = Lower(face);
  if (f.empty() || f == u"ms shell dlg" || f == u"ms shell dlg 2" || f == u"ms sans serif" ||
      f == u"arial" || f == u"microsoft sans serif" || f == u"tahoma" || f == u"segoe ui" || f == u"system") {
    return "Liberation Sans";
  }
  if (f == u"times new roman") return "Liberation Serif";
  if (f == u"courier new") return "Liberation Mono";
  if (f == u"microsoft yahei" || f == u"\u5FAE\u8F6F\u96C5\u9ED1") return "WenQuanYi Micro Hei";
  return Utf16ToUtf8(face);
}

FontInstance* GetFontInstance(GdiFont* font) {
  if (!font) font = StockFont();
  if (font->inst) return font->inst;
  const LOGFONTW& lf = font->lf;
  std::u16string face(lf.lfFaceName, std::find(lf.lfFaceName, lf.lfFaceName + LF_FACESIZE, u'\0'));
  const std::string family = MapFaceName(face);
  const int weight = lf.lfWeight <= 0 ? FW_NORMAL : lf.lfWeight;
  auto key = std::make_tuple(family, int(lf.lfHeight), weight, lf.lfItalic != 0, lf.lfUnderline != 0,
                             lf.lfStrikeOut != 0);
  FontSystem& fs = Fonts();
  auto it = fs.instances.find(key);
  if (it == fs.instances.end()) {
    FontInstance* inst = BuildInstance(family, lf.lfHeight, weight, lf.lfItalic != 0);
    inst->underline = lf.lfUnderline != 0;
    inst->strikeOut = lf.lfStrikeOut != 0;
    it = fs.instances.emplace(key, inst).first;
  }
  font->inst = it->second;
  return font->inst;
}

GdiFont::~GdiFont() = default;

std::string ResolveFontFile(const char16_t* face, int weight, bool italic) {
  std::lock_guard<std::mutex> g(FontLock());
  Match m;
  if (!FcMatchFamily(MapFaceName(face ? face : u""), weight, italic, &m)) return {};
  return m.file;
}

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
  if (!lf) return nullptr;
  auto* f = new (std::nothrow) GdiFont;
  if (!f) return nullptr;
  f->lf = *lf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = u'\0';
  RegisterGdiObject(f);
  return f;
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, const char16_t* face) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = BYTE(italic != 0);
  lf.lfUnderline = BYTE(underline != 0);
  lf.lfStrikeOut = BYTE(strikeOut != 0);
  lf.lfCharSet = BYTE(charSet);
  lf.lfOutPrecision = BYTE(outPrecision);
  lf.lfClipPrecision = BYTE(clipPrecision);
  lf.lfQuality = BYTE(quality);
  lf.lfPitchAndFamily = BYTE(pitchAndFamily);
  if (face) {
    std::u16string_view v(face);
    size_t n = std::min(v.size(), size_t(LF_FACESIZE - 1));
    std::copy_n(v.data(), n, lf.lfFaceName);
  }
  return CreateFontIndirectW(&lf);
}

BOOL GetTextMetricsW(HDC h, TEXTMETRICW* tm) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !tm) return FALSE;
  std::lock_guard<std::mutex> g(FontLock());
  FontInstance* fi = GetFontInstance(dc->s.font);
  *tm = TEXTMETRICW{};
  tm->tmHeight = fi->Height();
  tm->tmAscent = fi->ascent;
  tm->tmDescent = fi->descent;
  tm->tmInternalLeading = fi->internalLeading;
  tm->tmExternalLeading = 0;
  tm->tmAveCharWidth = fi->aveCharWidth;
  tm->tmMaxCharWidth = fi->maxCharWidth;
  tm->tmWeight = fi->weight;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = u' ';
  tm->tmLastChar = u'\xFFFC';
  tm->tmDefaultChar = u'?';
  tm->tmBreakChar = u' ';
  tm->tmItalic = fi->italic ? 255 : 0;
  tm->tmUnderlined = fi->underline ? 255 : 0;
  tm->tmStruckOut = fi->strikeOut ? 255 : 0;
  tm->tmPitchAndFamily = 0x06;  // variable pitch, TrueType
  tm->tmCharSet = dc->s.font ? dc->s.font->lf.lfCharSet : ANSI_CHARSET;
  return TRUE;
}

int EnumFontFamiliesExW(HDC dc, const LOGFONTW* lf, FONTENUMPROCW proc, LPARAM param, DWORD flags) {
  (void)flags;
  if (!LiveDc(dc) || !proc) return 0;
  std::vector<std::u16string> names;
  {
    std::lock_guard<std::mutex> g(FontLock());
    if (!Fonts().fcReady) return 0;
    FcPattern* pat = FcPatternCreate();
    FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = (pat && os) ? FcFontList(nullptr, pat, os) : nullptr;
    for (int i = 0; set && i < set->nfont; ++i) {
      FcChar8* fam = nullptr;
      // A family may carry several names (a Latin and a Chinese one); each is reported.
      for (int k = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, k, &fam) == FcResultMatch; ++k) {
        names.push_back(Utf8ToUtf16(reinterpret_cast<const char*>(fam)));
      }
    }
    if (set) FcFontSetDestroy(set);
    if (os) FcObjectSetDestroy(os);
    if (pat) FcPatternDestroy(pat);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::u16string want;
  if (lf) want.assign(lf->lfFaceName, std::find(lf->lfFaceName, lf->lfFaceName + LF_FACESIZE, u'\0'));
  int result = 1;
  for (const std::u16string& name : names) {
    if (name.size() >= LF_FACESIZE) continue;
    if (!want.empty() && Lower(want) != Lower(name)) continue;
    ENUMLOGFONTEXW elf{};
    elf.elfLogFont.lfHeight = 16;
    elf.elfLogFont.lfWeight = FW_NORMAL;
    elf.elfLogFont.lfCharSet = DEFAULT_CHARSET;
    std::copy(name.begin(), name.end(), elf.elfLogFont.lfFaceName);
    std::copy(name.begin(), name.end(), elf.elfFullName);
    TEXTMETRICW tm{};
    tm.tmHeight = 16;
    tm.tmWeight = FW_NORMAL;
    result = proc(&elf.elfLogFont, &tm, TRUETYPE_FONTTYPE, param);
    if (result == 0) break;
  }
  return result;
}

// fontconfig loses a few blocks while it parses its configuration files; they are not ours
// and cannot be freed, so the leak checker of sanitizer builds is told to ignore them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
