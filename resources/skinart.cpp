// Draws the program's skin pictures and writes them as files: the dialog backgrounds and
// caption buttons, the banner and the splash for the archive, and the program's bitmap and icon
// resources (default push-button, check-box and radio pictures, the title icon, button icons).
// The build runs it, packs the archive part and compiles the resources into the program; the
// same sources give the same pictures, so nothing drawn is kept in the repository.
//
// skinart OUTPUT_DIR BRAND VERSION
//   OUTPUT_DIR/archive/BRAND/...   skin images of the resource archive
//   OUTPUT_DIR/res/bitmap/ID.bmp   bitmap resources; OUTPUT_DIR/res/icon/ID.ico icon resources
//
// Shapes are anti-aliased by 4 x 4 supersampling. Edges that meet a key colour (the window key
// green, the button key magenta, the check-box key black) are cut hard, since what shows
// through them is not known here.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/paint/gdi.h"

namespace fs = std::filesystem;

namespace {

struct Rgb {
  float r, g, b;
};
Rgb Hex(unsigned v) { return Rgb{float((v >> 16) & 255), float((v >> 8) & 255), float(v & 255)}; }
Rgb Mix(Rgb a, Rgb b, float t) { return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

const Rgb kKeyGreen{0, 255, 0};
const Rgb kKeyMagenta{255, 0, 255};
const Rgb kKeyBlack{0, 0, 0};

// The look: a deep blue caption, a near-white face, grey-blue lines.
const Rgb kCaptionTop = Hex(0x2A6DC2);
const Rgb kCaptionBottom = Hex(0x1F5BA8);
const Rgb kFace = Hex(0xF6F8FB);
const Rgb kBorder = Hex(0x1B4E8F);
const Rgb kFaceBorder = Hex(0xB9C4D2);
const Rgb kWhite = Hex(0xFFFFFF);

// A picture with a coverage-aware painter.
struct Canvas {
  int w, h;
  std::vector<Rgb> px;
  std::vector<float> alpha;  // for pictures written with alpha
  Canvas(int w0, int h0, Rgb fill) : w(w0), h(h0), px(size_t(w0) * size_t(h0), fill), alpha(px.size(), 1.0f) {}
  Rgb& At(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }

  // Paints colour c (a function of the pixel) where the shape covers, by its coverage.
  void Paint(const std::function<bool(float, float)>& inside, const std::function<Rgb(int, int)>& c, float opacity = 1) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        int n = 0;
        for (int sy = 0; sy < 4; ++sy) {
          for (int sx = 0; sx < 4; ++sx) n += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
        }
        if (n == 0) continue;
        const float t = opacity * float(n) / 16.0f;
        At(x, y) = Mix(At(x, y), c(x, y), t);
      }
    }
  }
  void Paint(const std::function<bool(float, float)>& inside, Rgb c, float opacity = 1) {
    Paint(inside, [c](int, int) { return c; }, opacity);
  }
  // Sets pixels that the shape covers less than half to the key, hard.
  void CutOutside(const std::function<bool(float, float)>& inside, Rgb key) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        int n = 0;
        for (int sy = 0; sy < 4; ++sy) {
          for (int sx = 0; sx < 4; ++sx) n += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
        }
        if (n < 8) At(x, y) = key;
      }
    }
  }
};

// Shape tests in pixel space.
std::function<bool(float, float)> RoundRect(float x0, float y0, float x1, float y1, float r) {
  return [=](float x, float y) {
    if (x < x0 || y < y0 || x > x1 || y > y1) return false;
    const float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
}
std::function<bool(float, float)> Ring(std::function<bool(float, float)> outer, std::function<bool(float, float)> inner) {
  return [=](float x, float y) { return outer(x, y) && !inner(x, y); };
}
std::function<bool(float, float)> Circle(float cx, float cy, float r) {
  return [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}
// A line of width w from (ax, ay) to (bx, by) with round ends.
std::function<bool(float, float)> Stroke(float ax, float ay, float bx, float by, float w) {
  return [=](float x, float y) {
    const float dx = bx - ax, dy = by - ay;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0f, 1.0f);
    const float px = ax + t * dx - x, py = ay + t * dy - y;
    return px * px + py * py <= w * w / 4;
  };
}
std::function<bool(float, float)> Rect(float x0, float y0, float x1, float y1) {
  return [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

// Text through the program's own raster: rendered white on black and used as coverage.
void Text(Canvas& c, int x, int y, const char16_t* face, int height, int weight, const std::u16string& s, Rgb colour,
          UINT format = DT_SINGLELINE | DT_NOPREFIX, int boxW = 0, int boxH = 0) {
  const int w = boxW ? boxW : c.w - x, h = boxH ? boxH : height * 2;
  BITMAPINFO bmi{};
  bmi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBm = SelectObject(dc, bm);
  HFONT font = CreateFontW(-height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT r{0, 0, w, h};
  DrawTextW(dc, s.c_str(), int(s.size()), &r, format);
  const auto* p = static_cast<const uint8_t*>(bits);
  for (int yy = 0; yy < h; ++yy) {
    for (int xx = 0; xx < w; ++xx) {
      const float t = p[(size_t(yy) * size_t(w) + size_t(xx)) * 4 + 1] / 255.0f;
      const int X = x + xx, Y = y + yy;
      if (t > 0 && X >= 0 && Y >= 0 && X < c.w && Y < c.h) c.At(X, Y) = Mix(c.At(X, Y), colour, t);
    }
  }
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBm);
  DeleteObject(font);
  DeleteObject(bm);
  DeleteDC(dc);
}

uint8_t Byte(float v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

bool WriteBmp(const Canvas& c, const fs::path& path) {
  fs::create_directories(path.parent_path());
  const uint32_t stride = (uint32_t(c.w) * 3 + 3) & ~3u;
  std::vector<uint8_t> out(54 + size_t(stride) * size_t(c.h), 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  out[0] = 'B', out[1] = 'M';
  put(2, uint32_t(out.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, uint32_t(c.w), 4);
  put(22, uint32_t(c.h), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, uint32_t(out.size() - 54), 4);
  put(38, 2835, 4);
  put(42, 2835, 4);
  for (int y = 0; y < c.h; ++y) {
    uint8_t* row = out.data() + 54 + size_t(c.h - 1 - y) * stride;
    for (int x = 0; x < c.w; ++x) {
      const Rgb& p = c.px[size_t(y) * size_t(c.w) + size_t(x)];
      row[3 * x] = Byte(p.b), row[3 * x + 1] = Byte(p.g), row[3 * x + 2] = Byte(p.r);
    }
  }
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  return bool(f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size())));
}

// The picture as PNG bytes with its alpha; empty when encoding failed.
std::vector<uint8_t> PngBytes(const Canvas& c) {
  std::vector<uint8_t> rgba(size_t(c.w) * size_t(c.h) * 4);
  for (size_t i = 0; i < c.px.size(); ++i) {
    rgba[4 * i] = Byte(c.px[i].r), rgba[4 * i + 1] = Byte(c.px[i].g), rgba[4 * i + 2] = Byte(c.px[i].b);
    rgba[4 * i + 3] = Byte(c.alpha[i] * 255);
  }
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(c.w);
  img.height = png_uint_32(c.h);
  img.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&img, nullptr, &size, 0, rgba.data(), c.w * 4, nullptr)) return {};
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&img, out.data(), &size, 0, rgba.data(), c.w * 4, nullptr)) return {};
  out.resize(size);
  return out;
}

// An icon file holding the pictures (each a PNG; sides up to 256), smallest first as given.
bool WriteIco(const std::vector<Canvas>& sizes, const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::vector<uint8_t> out(6 + 16 * sizes.size(), 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put(2, 1, 2);
  put(4, uint32_t(sizes.size()), 2);
  for (size_t i = 0; i < sizes.size(); ++i) {
    const std::vector<uint8_t> png = PngBytes(sizes[i]);
    if (png.empty() || sizes[i].w > 256 || sizes[i].h > 256) return false;
    const size_t e = 6 + 16 * i;
    out[e] = uint8_t(sizes[i].w & 255), out[e + 1] = uint8_t(sizes[i].h & 255);
    put(e + 4, 1, 2);
    put(e + 6, 32, 2);
    put(e + 8, uint32_t(png.size()), 4);
    put(e + 12, uint32_t(out.size()), 4);
    out.insert(out.end(), png.begin(), png.end());
  }
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  return bool(f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size())));
}

// A PNG file of the picture with its alpha.
bool WritePng(const Canvas& c, const fs::path& path) {
  const std::vector<uint8_t> png = PngBytes(c);
  if (png.empty()) return false;
  fs::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  return bool(f.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size())));
}

// ---- Dialog backgrounds ----

// A nine-grid source: rounded top corners cut in the key green, a caption band `caption` rows
// high (a vertical gradient, so the stretched middle column keeps it), a 1-pixel frame.
Canvas DialogSkin(int w, int h, int caption) {
  Canvas c(w, h, kFace);
  const float r = 7;
  auto shape = RoundRect(0, 0, float(w), float(h), r);
  c.Paint(Rect(0, 0, float(w), float(caption)), [&](int, int y) { return Mix(kCaptionTop, kCaptionBottom, float(y) / caption); });
  // A hairline between the caption and the face, and the frame: dark on the caption, grey below.
  c.Paint(Rect(0, float(caption), float(w), float(caption + 1)), Hex(0x174A87));
  c.Paint(Ring(shape, RoundRect(1, 1, float(w - 1), float(h - 1), r - 1)),
          [&](int, int y) { return y < caption ? kBorder : kFaceBorder; });
  c.CutOutside(shape, kKeyGreen);
  return c;
}

// The decoration drawn into the bottom-right corner of panels over the face: soft arcs.
Canvas Corner(int w, int h) {
  Canvas c(w, h, kFace);
  for (int i = 0; i < 3; ++i) {
    const float R = 260.0f + 70.0f * float(i);
    c.Paint(Ring(Circle(float(w) + 40, float(h) + 200, R), Circle(float(w) + 40, float(h) + 200, R - 1.6f)), Hex(0xDCE5F1),
            0.9f - 0.2f * float(i));
  }
  return c;
}

// ---- Caption buttons ----

enum class Glyph { Close, Max, Min };
enum class BtnState { Normal, Hover, Down };

// A caption button 34 by 30 over the caption band rows 1..30: the resting picture is the key
// magenta (the caption shows through) with a white glyph blended against the caption colour.
Canvas CaptionButton(Glyph g, BtnState s, int captionH) {
  const int w = 34, h = 30;
  Canvas c(w, h, kKeyMagenta);
  auto captionAt = [&](int, int y) { return Mix(kCaptionTop, kCaptionBottom, float(y + 1) / captionH); };
  Rgb plate{};
  bool hasPlate = s != BtnState::Normal;
  if (g == Glyph::Close) plate = s == BtnState::Hover ? Hex(0xE0433A) : Hex(0xB8322B);
  else plate = s == BtnState::Hover ? Hex(0x4A86D3) : Hex(0x174A87);
  // Glyph pixels blend against what lies under them, so their soft edges fit the caption.
  Canvas under(w, h, kWhite);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) under.At(x, y) = hasPlate ? plate : captionAt(x, y);
  }
  const float cx = w / 2.0f, cy = h / 2.0f;
  std::vector<std::function<bool(float, float)>> parts;
  if (g == Glyph::Close) {
    parts.push_back(Stroke(cx - 5, cy - 5, cx + 5, cy + 5, 1.6f));
    parts.push_back(Stroke(cx + 5, cy - 5, cx - 5, cy + 5, 1.6f));
  } else if (g == Glyph::Max) {
    parts.push_back(Ring(Rect(cx - 5.5f, cy - 5.5f, cx + 5.5f, cy + 5.5f), Rect(cx - 4, cy - 4, cx + 4, cy + 4)));
  } else {
    parts.push_back(Rect(cx - 5.5f, cy + 0.2f, cx + 5.5f, cy + 1.8f));
  }
  for (auto& p : parts) under.Paint(p, kWhite);
  // Only the glyph (and the plate) are opaque; the rest stays key.
  auto glyph = [&](float x, float y) {
    for (auto& p : parts) {
      if (p(x, y)) return true;
    }
    return false;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      bool touched = hasPlate;
      for (int sy = 0; sy < 4 && !touched; ++sy) {
        for (int sx = 0; sx < 4 && !touched; ++sx) touched = glyph(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
      }
      if (touched) c.At(x, y) = under.At(x, y);
    }
  }
  return c;
}

// ---- Push buttons, check boxes, radio buttons ----

// A rounded push button (a nine-grid source) with the key magenta outside its corners.
Canvas PushButton(int w, int h, Rgb top, Rgb bottom, Rgb border, float borderW) {
  Canvas c(w, h, kKeyMagenta);
  const float r = 4;
  auto shape = RoundRect(0, 0, float(w), float(h), r);
  c.Paint(shape, [&](int, int y) { return Mix(top, bottom, float(y) / float(h - 1)); });
  c.Paint(Ring(shape, RoundRect(borderW, borderW, float(w) - borderW, float(h) - borderW, r - borderW)), border);
  c.CutOutside(shape, kKeyMagenta);
  return c;
}

enum class Check { Off, On, Partly };

// A check box of 16 by 16 at (x0, 0) on the canvas; the canvas shows outside its rounded box.
void PaintCheckBox(Canvas& c, float x0, Check state) {
  auto box = RoundRect(x0 + 1, 1, x0 + 15, 15, 3);
  if (state == Check::On) {
    c.Paint(box, Hex(0x2B6CC4));
    c.Paint(Stroke(x0 + 4.5f, 8.2f, x0 + 7.0f, 10.8f, 1.9f), kWhite);
    c.Paint(Stroke(x0 + 7.0f, 10.8f, x0 + 11.8f, 5.2f, 1.9f), kWhite);
  } else if (state == Check::Partly) {
    c.Paint(box, Hex(0x2B6CC4));
    c.Paint(RoundRect(x0 + 4, 7, x0 + 12, 9, 0.8f), kWhite);
  } else {
    // Not pure white: white is the mask colour of the state-image strip.
    c.Paint(box, Hex(0xFDFDFE));
    c.Paint(Ring(box, RoundRect(x0 + 2.2f, 2.2f, x0 + 13.8f, 13.8f, 2)), Hex(0x8896A6));
  }
}

Canvas CheckBox(Check state) {
  Canvas c(16, 16, kKeyBlack);
  PaintCheckBox(c, 0, state);
  c.CutOutside(RoundRect(1, 1, 15, 15, 3), kKeyBlack);
  return c;
}

// The tree's state images: nothing (all mask white), unchecked, checked, partly checked.
Canvas StateImageStrip() {
  Canvas c(64, 16, kWhite);
  PaintCheckBox(c, 16, Check::Off);
  PaintCheckBox(c, 32, Check::On);
  PaintCheckBox(c, 48, Check::Partly);
  return c;
}

Canvas Radio(bool checked) {
  Canvas c(12, 12, kKeyBlack);
  auto disc = Circle(6, 6, 5.8f);
  c.Paint(disc, kWhite);
  c.Paint(Ring(disc, Circle(6, 6, checked ? 4.6f : 4.8f)), checked ? Hex(0x2B6CC4) : Hex(0x8896A6));
  if (checked) c.Paint(Circle(6, 6, 2.6f), Hex(0x2B6CC4));
  c.CutOutside(disc, kKeyBlack);
  return c;
}

// An icon of one colour whose alpha is the shape's coverage.
Canvas ShapeIcon(int w, int h, const std::function<bool(float, float)>& shape, Rgb colour) {
  Canvas c(w, h, colour);
  Canvas cover(w, h, kKeyBlack);
  cover.Paint(shape, kWhite);
  for (size_t i = 0; i < c.px.size(); ++i) c.alpha[i] = cover.px[i].g / 255.0f;
  return c;
}
Canvas ShapeIcon(int size, const std::function<bool(float, float)>& shape, Rgb colour) {
  return ShapeIcon(size, size, shape, colour);
}
std::function<bool(float, float)> Any(std::vector<std::function<bool(float, float)>> parts) {
  return [parts](float x, float y) {
    for (const auto& p : parts)
      if (p(x, y)) return true;
    return false;
  };
}
// The globe of the website button.
std::function<bool(float, float)> GlobeShape(float s) {
  const float c = s / 2, r = s / 2 - 1.2f, w = 1.4f;
  auto ring = Ring(Circle(c, c, r), Circle(c, c, r - w));
  auto meridian = [=](float x, float y) {
    const float dx = (x - c) / (r * 0.45f), dy = (y - c) / r;
    const float d = dx * dx + dy * dy;
    return d <= 1.0f && d >= 0.62f;
  };
  return Any({ring, meridian, Rect(1.5f, c - w / 2, s - 1.5f, c + w / 2), Stroke(c, 1.5f, c, s - 1.5f, w)});
}
// The headset of the customer-service button.
std::function<bool(float, float)> HeadsetShape(float s) {
  const float c = s / 2, r = s / 2 - 2.5f, w = 1.6f;
  auto arc = [=](float x, float y) {
    const float d = (x - c) * (x - c) + (y - c) * (y - c);
    return y <= c + 1 && d <= r * r && d >= (r - w) * (r - w);
  };
  return Any({arc, RoundRect(1.5f, c, 5.5f, s - 3, 1.5f), RoundRect(s - 5.5f, c, s - 1.5f, s - 3, 1.5f),
              Stroke(s - 3.5f, s - 3, c + 1, s - 1.5f, 1.2f)});
}
// Three bars: the menu button's icon.
std::function<bool(float, float)> MenuShape(float s) {
  return Any({RoundRect(2, 3.5f, s - 2, 5.2f, 0.8f), RoundRect(2, 7.2f, s - 2, 8.9f, 0.8f),
              RoundRect(2, 10.9f, s - 2, 12.6f, 0.8f)});
}
// A folder: the open-folder button's icon.
std::function<bool(float, float)> FolderShape(float s) {
  return Any({RoundRect(1, 4.5f, s - 1, s - 2, 1.2f), RoundRect(1, 2.5f, 7, 6, 1)});
}

// A flat menu picture (13 by 13, white behind it as menus are).
Canvas MenuPicture(const std::function<bool(float, float)>& shape, Rgb colour) {
  Canvas c(13, 13, kWhite);
  c.Paint(shape, colour);
  return c;
}

// The report list's header background: a light gradient with a hairline at its foot.
Canvas HeaderBackground() {
  Canvas c(100, 23, kWhite);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 100; ++x) c.At(x, y) = Mix(Hex(0xFBFCFD), Hex(0xEEF1F5), float(y) / 22.0f);
  for (int x = 0; x < 100; ++x) c.At(x, 22) = Hex(0xCFD6DF);
  return c;
}

// ---- Pictures of the scan and result windows ----

std::function<bool(float, float)> Triangle(float ax, float ay, float bx, float by, float cx, float cy) {
  return [=](float x, float y) {
    const float d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by);
    const float d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy);
    const float d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay);
    const bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
  };
}
// A play mark in a ring: the tutorial and video-help buttons.
std::function<bool(float, float)> PlayShape(float s) {
  const float c = s / 2, r = s / 2 - 0.8f, w = s / 11;
  return Any({Ring(Circle(c, c, r), Circle(c, c, r - w)),
              Triangle(c - s * 0.14f, c - s * 0.22f, c - s * 0.14f, c + s * 0.22f, c + s * 0.24f, c)});
}
// A magnifying glass: the scan buttons.
std::function<bool(float, float)> MagnifierShape(float s) {
  const float c = s * 0.42f, r = s * 0.3f, w = s / 9;
  return Any({Ring(Circle(c, c, r), Circle(c, c, r - w)), Stroke(c + r * 0.7f, c + r * 0.7f, s - 1.5f, s - 1.5f, w * 1.5f)});
}
// An arrow pointing left: Back.
std::function<bool(float, float)> BackShape(float s) {
  return Any({Stroke(3.5f, s / 2, s - 2.5f, s / 2, 1.8f), Stroke(3.5f, s / 2, 7.5f, s / 2 - 4, 1.8f),
              Stroke(3.5f, s / 2, 7.5f, s / 2 + 4, 1.8f)});
}
// Three quarters of a ring with an arrow head: Refresh.
std::function<bool(float, float)> RefreshShape(float s) {
  const float c = s / 2, r = s / 2 - 2, w = 1.7f;
  auto arc = [=](float x, float y) {
    const float d = (x - c) * (x - c) + (y - c) * (y - c);
    return !(x > c && y < c) && d <= r * r && d >= (r - w) * (r - w);
  };
  return Any({arc, Triangle(c - 0.5f, c - r - 3, c - 0.5f, c - r + w + 2, c + 3.5f, c - r + w / 2 - 0.5f)});
}
// A page with a folded corner: Open.
std::function<bool(float, float)> PageShape(float s) {
  auto page = Any({Rect(3, 1.5f, s - 6, s - 1.5f), Rect(3, 5.5f, s - 3, s - 1.5f), Triangle(s - 6, 1.5f, s - 6, 5.5f, s - 2, 5.5f)});
  auto inside = Rect(4.5f, 3, s - 4.5f, s - 3);
  return Any({Ring(page, inside), Rect(6, 7.5f, s - 6, 8.5f), Rect(6, 10.5f, s - 6, 11.5f)});
}

// The waiting animation: eight frames of 48 by 48 side by side, a ring of dots whose dark head
// moves one place clockwise per frame.
Canvas WaitingStrip() {
  Canvas c(8 * 48, 48, kWhite);
  for (int f = 0; f < 8; ++f) {
    for (int d = 0; d < 8; ++d) {
      const float a = float(d) * 3.14159265f / 4;
      const float x = float(f * 48) + 24 + 15 * std::sin(a), y = 24 - 15 * std::cos(a);
      const int age = (f - d + 8) % 8;
      c.Paint(Circle(x, y, 3.6f - 0.2f * float(age)), Mix(Hex(0x2B6CC4), Hex(0xDCE6F2), float(age) / 7));
    }
  }
  return c;
}

// The two list-kind switches (24 by 24, key magenta outside the rounded face): thumbnails show
// four tiles, details three rows.
Canvas ListKindButton(bool thumbnails, bool active) {
  Canvas c(24, 24, kKeyMagenta);
  auto face = RoundRect(0, 0, 24, 24, 3);
  c.Paint(face, active ? Hex(0xDCE7F5) : kFace);
  c.Paint(Ring(face, RoundRect(1, 1, 23, 23, 2)), active ? Hex(0x4A86D3) : kFaceBorder);
  const Rgb ink = active ? Hex(0x2B6CC4) : Hex(0x5A6B80);
  if (thumbnails) {
    c.Paint(Any({Rect(6, 6, 11, 11), Rect(13, 6, 18, 11), Rect(6, 13, 11, 18), Rect(13, 13, 18, 18)}), ink);
  } else {
    for (float y : {6.5f, 11.0f, 15.5f}) c.Paint(Any({Rect(5.5f, y, 7.5f, y + 2), Rect(9.5f, y, 18.5f, y + 2)}), ink);
  }
  c.CutOutside(face, kKeyMagenta);
  return c;
}

// The bullet of the scan-progress lines: its top-left 6 by 6 pixels.
Canvas Bullet() {
  Canvas c(6, 6, kWhite);
  c.Paint(Circle(3, 3, 2.6f), Hex(0x2B6CC4));
  return c;
}

// ---- The program's mark, banner and splash ----

// The mark: a bird in flight, two swept wings meeting at the body, over a disc.
void Mark(Canvas& c, float cx, float cy, float r, Rgb disc, Rgb wing) {
  c.Paint(Circle(cx, cy, r), disc);
  const float s = r / 8, w = 1.7f * s;
  const float pts[5][2] = {{-5.8f, 1.6f}, {-2.8f, -2.3f}, {0, 0.6f}, {2.8f, -2.3f}, {5.8f, 1.6f}};
  for (int i = 0; i < 4; ++i) {
    c.Paint(Stroke(cx + pts[i][0] * s, cy + pts[i][1] * s, cx + pts[i + 1][0] * s, cy + pts[i + 1][1] * s, w), wing);
  }
}

Canvas AppIcon(int size) {
  Canvas c(size, size, kWhite);
  std::fill(c.alpha.begin(), c.alpha.end(), 0.0f);
  Canvas cover(size, size, kKeyBlack);
  const float r = size / 2.0f;
  Mark(c, r, r, r - 0.3f, kWhite, Hex(0x1F5BA8));
  cover.Paint(Circle(r, r, r - 0.3f), kWhite);
  for (size_t i = 0; i < c.px.size(); ++i) c.alpha[i] = cover.px[i].g / 255.0f;
  return c;
}

Canvas Banner(int w, int h, const std::u16string& edition) {
  // Drawn over the main window's caption at (0, 0): the same gradient and frame, and the window's
  // rounded top-left corner kept by the key colour.
  Canvas c(w, h, kWhite);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) c.At(x, y) = Mix(kCaptionTop, kCaptionBottom, float(y) / float(h));
  }
  auto shape = RoundRect(0, 0, float(w + 20), float(h + 20), 7);
  c.Paint(Ring(shape, RoundRect(1, 1, float(w + 19), float(h + 19), 6)), kBorder);
  c.CutOutside(shape, kKeyGreen);
  Mark(c, 26, h / 2.0f, 18, kWhite, Hex(0x1F5BA8));
  Text(c, 54, h / 2 - 17, u"DejaVu Sans", 24, FW_BOLD, u"Kestrel", kWhite);
  Text(c, 160, h / 2 - 11, u"DejaVu Sans", 16, FW_NORMAL, edition, Hex(0xCFE0F5));
  return c;
}

Canvas Splash() {
  const int w = 680, h = 520;
  Canvas c(w, h, kWhite);
  const Rgb top = Hex(0x0E2A4F), bottom = Hex(0x123B6E);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) c.At(x, y) = Mix(top, bottom, (float(y) / h) * 0.8f + (float(x) / w) * 0.2f);
  }
  // Quiet rings behind the mark.
  for (int i = 0; i < 4; ++i) {
    const float R = 150.0f + 46.0f * float(i);
    c.Paint(Ring(Circle(520, 130, R), Circle(520, 130, R - 1.2f)), Hex(0x2A5A94), 0.55f - 0.1f * float(i));
  }
  Mark(c, 520, 130, 74, Hex(0x2A6DC2), kWhite);
  Text(c, 60, 150, u"DejaVu Sans", 58, FW_BOLD, u"Kestrel", kWhite);
  Text(c, 64, 226, u"DejaVu Sans", 22, FW_NORMAL, u"Data recovery for NTFS, FAT and exFAT", Hex(0xB7CDE8));
  Text(c, 64, 258, u"DejaVu Sans", 16, FW_NORMAL, u"Reads your disk, never writes to it.", Hex(0x8FAAD0));
  // The help link (clickable area 373,364 - 626,433).
  auto pill = RoundRect(380, 374, 619, 423, 24.5f);
  c.Paint(pill, Hex(0x2A6DC2));
  c.Paint(Ring(pill, RoundRect(381.5f, 375.5f, 617.5f, 421.5f, 23)), Hex(0x5A96E0));
  Text(c, 380, 374, u"DejaVu Sans", 18, FW_BOLD, u"Help and tutorials", kWhite, DT_SINGLELINE | DT_CENTER | DT_VCENTER,
       239, 49);
  // The countdown: the digit is drawn by the window into 210,458 - 227,486.
  Text(c, 60, 458, u"DejaVu Sans", 16, FW_NORMAL, u"Starting in", Hex(0xB7CDE8), DT_SINGLELINE | DT_VCENTER | DT_RIGHT,
       144, 28);
  Text(c, 230, 458, u"DejaVu Sans", 16, FW_NORMAL, u"s", Hex(0xB7CDE8), DT_SINGLELINE | DT_VCENTER, 20, 28);
  Text(c, 330, 458, u"DejaVu Sans", 13, FW_NORMAL, u"Esc skips, Space pauses", Hex(0x7E98BD),
       DT_SINGLELINE | DT_VCENTER | DT_RIGHT, 290, 28);
  c.Paint(Rect(60, 446, 620, 447), Hex(0x2A5A94));
  return c;
}


// ---- The scan-target panel: item faces, usage bar, group header, target icons ----

Canvas DevItemFace(Rgb fill, Rgb border) {
  Canvas c(253, 60, kWhite);
  auto shape = RoundRect(2, 2, 249, 58, 4);
  c.Paint(shape, fill);
  c.Paint(Ring(shape, RoundRect(3, 3, 248, 57, 3)), border);
  return c;
}

Canvas UsageFrame() {
  Canvas c(189, 15, kWhite);
  c.Paint(Rect(0, 0, 189, 15), Hex(0xC9D2DD));
  c.Paint(Rect(1, 1, 188, 14), Hex(0xF2F4F7));
  return c;
}

Canvas UsageFill() {
  Canvas c(185, 11, kWhite);
  c.Paint(Rect(0, 0, 185, 11), [](int, int y) { return Mix(Hex(0x4F93E0), Hex(0x2B6CC4), float(y) / 10.0f); });
  return c;
}

// Four 10 by 10 arrows: expanded (down), the same lit, collapsed (right), the same lit.
Canvas HeaderArrows() {
  Canvas c(40, 10, kWhite);
  const Rgb dim = Hex(0x7A8798), lit = Hex(0x2B6CC4);
  for (int i = 0; i < 4; ++i) {
    const float x = float(i * 10);
    const Rgb col = (i % 2) ? lit : dim;
    if (i < 2) {
      c.Paint(Stroke(x + 2, 3.5f, x + 5, 6.5f, 1.6f), col);
      c.Paint(Stroke(x + 5, 6.5f, x + 8, 3.5f, 1.6f), col);
    } else {
      c.Paint(Stroke(x + 3.5f, 2, x + 6.5f, 5, 1.6f), col);
      c.Paint(Stroke(x + 6.5f, 5, x + 3.5f, 8, 1.6f), col);
    }
  }
  return c;
}

Canvas HeaderCap(int w) {
  Canvas c(w, 27, Hex(0xEEF4FC));
  return c;
}

std::function<bool(float, float)> DriveShape(float s) {
  const float m = s / 10;
  return Any({Ring(RoundRect(m, 3 * m, s - m, s - 3 * m, m), RoundRect(m * 1.8f, 3.8f * m, s - 1.8f * m, s - 3.8f * m, m * 0.6f)),
              Circle(s - 2.6f * m, s / 2, 0.7f * m), Rect(2.3f * m, s / 2 - 0.35f * m, 5.5f * m, s / 2 + 0.35f * m)});
}
std::function<bool(float, float)> DiskShape(float s) {
  const float m = s / 10;
  return Any({Ring(RoundRect(1.5f * m, m, s - 1.5f * m, s - m, m), RoundRect(2.3f * m, 1.8f * m, s - 2.3f * m, s - 1.8f * m, m * 0.6f)),
              Ring(Circle(s / 2, s / 2 - 0.5f * m, 2.6f * m), Circle(s / 2, s / 2 - 0.5f * m, 1.9f * m)),
              Circle(s / 2, s / 2 - 0.5f * m, 0.6f * m), Stroke(s / 2 + m, s / 2 + 1.5f * m, s - 3 * m, s - 2.5f * m, 0.7f * m)});
}
std::function<bool(float, float)> SpaceShape(float s) {
  const float m = s / 10;
  std::vector<std::function<bool(float, float)>> dashes;
  for (int i = 0; i < 5; ++i) {
    const float t = m + float(i) * 1.7f * m;
    dashes.push_back(Rect(t, 3 * m, t + m, 3.6f * m));
    dashes.push_back(Rect(t, s - 3.6f * m, t + m, s - 3 * m));
  }
  dashes.push_back(Rect(m, 3 * m, 1.6f * m, s - 3 * m));
  dashes.push_back(Rect(s - 1.6f * m, 3 * m, s - m, s - 3 * m));
  return Any(dashes);
}
std::function<bool(float, float)> BinShape(float s) {
  const float m = s / 10;
  return Any({Ring(RoundRect(2.5f * m, 3 * m, s - 2.5f * m, s - m, 0.6f * m), RoundRect(3.2f * m, 3 * m, s - 3.2f * m, s - 1.7f * m, 0.3f * m)),
              Rect(1.5f * m, 2 * m, s - 1.5f * m, 2.7f * m), Rect(4 * m, m, s - 4 * m, 2 * m), Rect(4.3f * m, 4 * m, 4.9f * m, s - 2.5f * m),
              Rect(s - 4.9f * m, 4 * m, s - 4.3f * m, s - 2.5f * m)});
}
std::function<bool(float, float)> ScreenShape(float s) {
  const float m = s / 10;
  return Any({Ring(RoundRect(m, 1.5f * m, s - m, s - 3 * m, 0.6f * m), RoundRect(1.7f * m, 2.2f * m, s - 1.7f * m, s - 3.7f * m, 0.3f * m)),
              Rect(s / 2 - 0.4f * m, s - 3 * m, s / 2 + 0.4f * m, s - 1.8f * m), Rect(3 * m, s - 1.8f * m, s - 3 * m, s - 1.2f * m)});
}
std::function<bool(float, float)> ClockShape(float s) {
  const float c = s / 2, m = s / 10;
  return Any({Ring(Circle(c, c, 4 * m), Circle(c, c, 3.3f * m)), Stroke(c, c, c, c - 2.5f * m, 0.7f * m),
              Stroke(c, c, c + 1.8f * m, c + 1 * m, 0.7f * m)});
}
std::function<bool(float, float)> ImageFileShape(float s) {
  const float m = s / 10;
  return Any({Ring(RoundRect(2 * m, m, s - 2 * m, s - m, 0.6f * m), RoundRect(2.7f * m, 1.7f * m, s - 2.7f * m, s - 1.7f * m, 0.3f * m)),
              Ring(Circle(s / 2, s / 2 + 0.5f * m, 2 * m), Circle(s / 2, s / 2 + 0.5f * m, 1.4f * m)), Circle(s / 2, s / 2 + 0.5f * m, 0.5f * m)});
}
std::function<bool(float, float)> BigFolderShape(float s) {
  const float m = s / 10;
  return Any({RoundRect(m, 3 * m, s - m, s - 1.5f * m, 0.8f * m), RoundRect(m, 2 * m, 4.5f * m, 4 * m, 0.6f * m)});
}
// The start menus: tab faces (normal, and hover or selected) and the classic menu's picture
// buttons (a picture above the caption they draw).
Canvas MenuTab(bool lit) {
  Canvas c(210, 60, lit ? Hex(0xE3EEFB) : Hex(0xFBFDFF));
  if (lit) c.Paint(Rect(0, 0, 4, 60), Hex(0x2B6CC4));
  c.Paint(Rect(0, 59, 210, 60), Hex(0xE6EAF0));
  c.Paint(Circle(32, 30, 12), lit ? Hex(0x2B6CC4) : Hex(0x9AA8BA));
  return c;
}

Canvas ClassicButton(const std::function<bool(float, float)>& glyph, bool lit) {
  Canvas c(139, 184, kWhite);
  auto face = RoundRect(4, 4, 135, 135, 10);
  c.Paint(face, lit ? Hex(0xDCE9F9) : Hex(0xF1F5FA));
  c.Paint(Ring(face, RoundRect(5, 5, 134, 134, 9)), lit ? Hex(0x2B6CC4) : Hex(0xC9D2DD));
  c.Paint(glyph, lit ? Hex(0x2B6CC4) : Hex(0x3D5A80));
  return c;
}

std::function<bool(float, float)> Shifted(std::function<bool(float, float)> shape, float dx, float dy) {
  return [=](float x, float y) { return shape(x - dx, y - dy); };
}

bool WriteMenuArt(const fs::path& skin) {
  bool ok = true;
  const char* tabs[] = {"NewAllRecovery", "NewDelRecovery", "NewFormatRecovery", "NewUsbRecovery", "NewRecycleRecovery",
                        "NewDiskRecovery"};
  for (const char* t : tabs) {
    ok &= WriteBmp(MenuTab(false), skin / (std::string("NewMainBtn/") + t + "N.bmp"));
    ok &= WriteBmp(MenuTab(true), skin / (std::string("NewMainBtn/") + t + "D.bmp"));
  }
  const struct {
    const char* name;
    std::function<bool(float, float)> glyph;
  } buttons[] = {{"DelFileRecovery", Shifted(BinShape(80), 30, 28)},
                 {"PartFileRecovery", Shifted(DriveShape(80), 30, 28)},
                 {"DiskFileRecovery", Shifted(DiskShape(80), 30, 28)},
                 {"SoftHelp", Shifted(Any({Ring(Circle(40, 40, 30), Circle(40, 40, 25)), Circle(40, 56, 3.5f),
                                           Stroke(40, 46, 40, 40, 5), Stroke(40, 40, 49, 31, 5),
                                           Ring(Circle(40, 31, 10), Circle(40, 31, 5.5f))}),
                                      30, 28)}};
  for (const auto& b : buttons) {
    ok &= WriteBmp(ClassicButton(b.glyph, false), skin / (std::string("OldMianBtn/") + b.name + "Normal.bmp"));
    ok &= WriteBmp(ClassicButton(b.glyph, true), skin / (std::string("OldMianBtn/") + b.name + "Up.bmp"));
    ok &= WriteBmp(ClassicButton(b.glyph, true), skin / (std::string("OldMianBtn/") + b.name + "Down.bmp"));
  }
  return ok;
}

bool WriteDevPanelArt(const fs::path& skin) {
  bool ok = true;
  ok &= WriteBmp(DevItemFace(kWhite, Hex(0xE3E8EF)), skin / "Dev/DevNormal.bmp");
  ok &= WriteBmp(DevItemFace(Hex(0xEEF4FC), Hex(0xA9C6EA)), skin / "Dev/DevOver.bmp");
  ok &= WriteBmp(DevItemFace(Hex(0xDCE9F9), Hex(0x2B6CC4)), skin / "Dev/DevSel.bmp");
  ok &= WriteBmp(UsageFrame(), skin / "Dev/PartSize.bmp");
  ok &= WriteBmp(UsageFill(), skin / "Dev/PartUse.bmp");
  ok &= WriteBmp(HeaderArrows(), skin / "Dev/ShowDev.bmp");
  ok &= WriteBmp(HeaderCap(91), skin / "Dev/ShowDevBtnLeft.bmp");
  ok &= WriteBmp(HeaderCap(31), skin / "Dev/ShowDevBtnRight.bmp");
  const int n = 40;
  ok &= WritePng(ShapeIcon(n, DriveShape(n), Hex(0x2B6CC4)), skin / "Dev/PartIco.png");
  ok &= WritePng(ShapeIcon(n, SpaceShape(n), Hex(0x7A8798)), skin / "Dev/PartSpace.png");
  ok &= WritePng(ShapeIcon(n, DiskShape(n), Hex(0x3D5A80)), skin / "Dev/DiskIco.png");
  ok &= WritePng(ShapeIcon(n, ClockShape(n), Hex(0x2B8A6E)), skin / "Dev/LoadScanSaveIco.png");
  ok &= WritePng(ShapeIcon(n, ImageFileShape(n), Hex(0x8A5A2B)), skin / "Dev/LoadImgIco.png");
  ok &= WritePng(ShapeIcon(n, BigFolderShape(n), Hex(0xD89B2B)), skin / "Dev/SetScanLocalIco.png");
  ok &= WritePng(ShapeIcon(n, ScreenShape(n), Hex(0x2B6CC4)), skin / "Dev/SetScanDesktopIco.png");
  ok &= WritePng(ShapeIcon(n, BinShape(n), Hex(0x5A6B80)), skin / "Dev/SetScanRecycleIco.png");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: skinart OUTPUT_DIR BRAND VERSION\n");
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path skin = out / "archive" / argv[2];
  const std::string version = argv[3];
  bool ok = true;
  const int caption = 35;
  ok &= WriteBmp(DialogSkin(41, 121, caption), skin / "Dlg/ChildDlg.bmp");
  ok &= WriteBmp(DialogSkin(41, 161, 70), skin / "Dlg/MainDlg.bmp");
  ok &= WriteBmp(Corner(536, 100), skin / "Dlg/DlgCorner.bmp");
  const struct {
    Glyph g;
    const char* name;
  } glyphs[] = {{Glyph::Close, "Close"}, {Glyph::Max, "Max"}, {Glyph::Min, "Min"}};
  const struct {
    BtnState s;
    const char* name;
  } states[] = {{BtnState::Normal, "Normal"}, {BtnState::Hover, "Move"}, {BtnState::Down, "Down"}};
  for (const auto& g : glyphs) {
    for (const auto& s : states) {
      ok &= WriteBmp(CaptionButton(g.g, s.s, caption), skin / (std::string("Dlg/") + g.name + s.name + ".bmp"));
    }
  }
  std::u16string edition(version.begin(), version.end());
  ok &= WriteBmp(Banner(260, 70, edition), skin / ("Banner/" + version + ".bmp"));
  ok &= WriteBmp(Splash(), skin / "Other/Splash.bmp");

  const fs::path bitmaps = out / "res" / "bitmap";
  ok &= WriteBmp(PushButton(56, 32, Hex(0xFFFFFF), Hex(0xEEF1F5), Hex(0xB3BDCA), 1), bitmaps / "157.bmp");
  ok &= WriteBmp(PushButton(56, 32, Hex(0xF3F8FE), Hex(0xE2EDFA), Hex(0x4A86D3), 1), bitmaps / "158.bmp");
  ok &= WriteBmp(PushButton(56, 32, Hex(0xD6E5F7), Hex(0xC9DCF3), Hex(0x2F69B3), 1), bitmaps / "155.bmp");
  ok &= WriteBmp(PushButton(24, 24, Hex(0xF1F2F4), Hex(0xF1F2F4), Hex(0xD3D7DD), 1), bitmaps / "154.bmp");
  ok &= WriteBmp(PushButton(56, 32, Hex(0xFFFFFF), Hex(0xEEF1F5), Hex(0x2B6CC4), 1.6f), bitmaps / "156.bmp");
  ok &= WriteBmp(CheckBox(Check::Off), bitmaps / "172.bmp");
  ok &= WriteBmp(CheckBox(Check::On), bitmaps / "173.bmp");
  ok &= WriteBmp(CheckBox(Check::Partly), bitmaps / "237.bmp");
  ok &= WriteBmp(StateImageStrip(), bitmaps / "129.bmp");
  ok &= WriteBmp(Radio(false), bitmaps / "176.bmp");
  ok &= WriteBmp(Radio(true), bitmaps / "177.bmp");
  ok &= WriteIco({AppIcon(16), AppIcon(32), AppIcon(48)}, out / "res" / "icon" / "128.ico");
  // The main window's bottom bar (on the light face) and its menu button (on the blue caption).
  ok &= WriteBmp(PushButton(40, 25, Hex(0xF6F8FB), Hex(0xF6F8FB), Hex(0xF6F8FB), 1), bitmaps / "356.bmp");
  ok &= WriteBmp(PushButton(40, 25, Hex(0xE6EEF8), Hex(0xDCE7F5), Hex(0xB7CBE6), 1), bitmaps / "361.bmp");
  ok &= WriteBmp(PushButton(40, 21, Hex(0x2F74CB), Hex(0x2A6AB9), Hex(0x5A92D6), 1), bitmaps / "402.bmp");
  ok &= WriteBmp(PushButton(40, 21, Hex(0x4A88D6), Hex(0x3D7BC9), Hex(0x8AB5E8), 1), bitmaps / "400.bmp");
  ok &= WriteBmp(PushButton(40, 21, Hex(0x6C8DB5), Hex(0x6C8DB5), Hex(0x8FA6C2), 1), bitmaps / "401.bmp");
  // The accent buttons of the support dialogs.
  ok &= WriteBmp(PushButton(56, 28, Hex(0x2F74CB), Hex(0x2563B0), Hex(0x1F5BA8), 1), bitmaps / "374.bmp");
  ok &= WriteBmp(PushButton(56, 28, Hex(0x4A88D6), Hex(0x3A77C4), Hex(0x2F69B3), 1), bitmaps / "373.bmp");
  // Help-menu pictures: help, questions, about, website.
  ok &= WriteBmp(MenuPicture(Ring(Circle(6.5f, 6.5f, 6), Circle(6.5f, 6.5f, 4.4f)), Hex(0x2B6CC4)), bitmaps / "426.bmp");
  ok &= WriteBmp(MenuPicture(RoundRect(0.5f, 1.5f, 12.5f, 10, 2.5f), Hex(0x2B6CC4)), bitmaps / "425.bmp");
  ok &= WriteBmp(MenuPicture(Any({Circle(6.5f, 3, 1.4f), RoundRect(5.4f, 5.2f, 7.6f, 12, 0.8f)}), Hex(0x2B6CC4)),
                 bitmaps / "393.bmp");
  ok &= WriteBmp(MenuPicture(GlobeShape(13), Hex(0x2B6CC4)), bitmaps / "394.bmp");
  // The report list's header: background, column separator, sort markers.
  ok &= WriteBmp(HeaderBackground(), bitmaps / "170.bmp");
  const fs::path icons = out / "res" / "icon";
  ok &= WriteIco({ShapeIcon(20, GlobeShape(20), Hex(0x2B6CC4))}, icons / "357.ico");
  ok &= WriteIco({ShapeIcon(20, HeadsetShape(20), Hex(0x2B6CC4))}, icons / "359.ico");
  ok &= WriteIco({ShapeIcon(16, MenuShape(16), kWhite)}, icons / "404.ico");
  ok &= WriteIco({ShapeIcon(16, FolderShape(16), kWhite)}, icons / "387.ico");
  ok &= WriteIco({ShapeIcon(12, 16, Rect(5.5f, 3, 6.5f, 13), Hex(0xCFD6DF))}, icons / "171.ico");
  ok &= WriteIco({ShapeIcon(16, Any({Stroke(4.5f, 9.5f, 8, 6, 1.6f), Stroke(8, 6, 11.5f, 9.5f, 1.6f)}), Hex(0x5A6B80))},
                 icons / "236.ico");
  ok &= WriteIco({ShapeIcon(16, Any({Stroke(4.5f, 6.5f, 8, 10, 1.6f), Stroke(8, 10, 11.5f, 6.5f, 1.6f)}), Hex(0x5A6B80))},
                 icons / "243.ico");
  // The result window's group buttons (normal, hover, down), its list-kind switches, the waiting
  // animation and the scan lines' bullet.
  ok &= WriteBmp(PushButton(56, 32, Hex(0xFFFFFF), Hex(0xF1F4F8), Hex(0xC9D2DD), 1), bitmaps / "250.bmp");
  ok &= WriteBmp(PushButton(56, 32, Hex(0xF3F8FE), Hex(0xE6EFFA), Hex(0x7FA8DD), 1), bitmaps / "251.bmp");
  ok &= WriteBmp(PushButton(56, 32, Hex(0xDCE7F5), Hex(0xD0E0F4), Hex(0x4A86D3), 1), bitmaps / "249.bmp");
  ok &= WriteBmp(ListKindButton(true, true), bitmaps / "324.bmp");
  ok &= WriteBmp(ListKindButton(false, true), bitmaps / "325.bmp");
  ok &= WriteBmp(ListKindButton(true, false), bitmaps / "326.bmp");
  ok &= WriteBmp(ListKindButton(false, false), bitmaps / "327.bmp");
  ok &= WriteBmp(WaitingStrip(), bitmaps / "279.bmp");
  ok &= WriteBmp(Bullet(), bitmaps / "336.bmp");
  // Button icons: tutorial and start (24 pixels), back, refresh, scan, open, video help.
  ok &= WriteIco({ShapeIcon(24, PlayShape(24), Hex(0x2B6CC4))}, icons / "378.ico");
  ok &= WriteIco({ShapeIcon(24, MagnifierShape(24), kWhite)}, icons / "379.ico");
  ok &= WriteIco({ShapeIcon(16, BackShape(16), Hex(0x5A6B80))}, icons / "380.ico");
  ok &= WriteIco({ShapeIcon(16, RefreshShape(16), Hex(0x5A6B80))}, icons / "384.ico");
  ok &= WriteIco({ShapeIcon(16, MagnifierShape(16), kWhite)}, icons / "385.ico");
  ok &= WriteIco({ShapeIcon(16, PageShape(16), Hex(0x5A6B80))}, icons / "386.ico");
  ok &= WriteIco({ShapeIcon(16, PlayShape(16), Hex(0x2B6CC4))}, icons / "390.ico");
  // The result lists: the plain file, the recover button's folder, and the context menu's
  // pictures (show icons, recover, open, preview, rename).
  ok &= WriteIco({ShapeIcon(16, PageShape(16), Hex(0x7A8AA0))}, icons / "182.ico");
  ok &= WriteIco({ShapeIcon(16, FolderShape(16), kWhite)}, icons / "383.ico");
  ok &= WriteBmp(MenuPicture(RoundRect(0.5f, 1.5f, 12.5f, 11.5f, 1.5f), Hex(0x2B6CC4)), bitmaps / "353.bmp");
  ok &= WriteBmp(MenuPicture(FolderShape(13), Hex(0x2B6CC4)), bitmaps / "351.bmp");
  ok &= WriteBmp(MenuPicture(PageShape(13), Hex(0x2B6CC4)), bitmaps / "350.bmp");
  ok &= WriteBmp(MenuPicture(MagnifierShape(13), Hex(0x2B6CC4)), bitmaps / "354.bmp");
  ok &= WriteBmp(MenuPicture(Stroke(2, 11, 11, 2, 1.6f), Hex(0x2B6CC4)), bitmaps / "355.bmp");
  ok &= WriteDevPanelArt(skin);
  ok &= WriteMenuArt(skin);
  if (!ok) {
    fprintf(stderr, "skinart: writing the pictures failed\n");
    return 1;
  }
  return 0;
}
