// Resolved fonts: the faces a logical font maps to (through fontconfig), their size and
// metrics, and a cache of rendered grey glyphs. Instances are shared by equal logical fonts and
// live until the process ends. All access goes through FontLock().
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/paint/gdiobj.h"

struct FontFace;  // one FreeType face at this instance's size

struct Glyph {
  int advance = 0;     // pixels to the next pen position
  int left = 0;        // bitmap offset from the pen position
  int top = 0;         // bitmap rows above the baseline
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;  // width * height, 0..255
};

struct FontInstance {
  std::vector<FontFace*> faces;  // the mapped face first, then the fallbacks
  int ascent = 0;
  int descent = 0;
  int internalLeading = 0;
  int aveCharWidth = 0;
  int maxCharWidth = 0;
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int underlinePos = 1;    // rows below the baseline
  int underlineThick = 1;
  std::unordered_map<char32_t, Glyph> glyphs;

  int Height() const { return ascent + descent; }
  // The glyph for a code point from the first face that has it (the first face's missing-glyph
  // shape when none has it). Call with FontLock() held.
  const Glyph& Get(char32_t c);
};

std::mutex& FontLock();
// The instance for a font (the stock font for null); never null.
FontInstance* GetFontInstance(GdiFont* font);
// The family name our face map gives a requested face.
std::string MapFaceName(const std::u16string& face);
