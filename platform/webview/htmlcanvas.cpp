#include "platform/webview/htmlcanvas.h"

#include <algorithm>
#include <cstring>

#include "platform/textconv.h"
#include "platform/webview/pagesource.h"
#include "platform/wnd/wnd.h"

namespace {

// The look of elements that no page style sheet changes: blocks, lists, tables, headings,
// links and the like, in the sizes a reader expects.
constexpr char kMasterCss[] = R"CSS(
html, address, blockquote, body, dd, div, dl, dt, fieldset, form, frame, frameset, h1, h2, h3, h4, h5, h6,
noframes, ol, p, ul, center, dir, hr, menu, pre, header, footer, nav, section, article, aside, main, figure,
figcaption { display: block; }
head, script, style, title, meta, link, base, noscript, template { display: none; }
html { color: #000000; }
body { margin: 8px; line-height: 1.2; }
p, blockquote, dl, ol, ul, pre, figure { margin-top: 1em; margin-bottom: 1em; }
h1 { font-size: 2em; margin: 0.67em 0; font-weight: bold; }
h2 { font-size: 1.5em; margin: 0.83em 0; font-weight: bold; }
h3 { font-size: 1.17em; margin: 1em 0; font-weight: bold; }
h4 { margin: 1.33em 0; font-weight: bold; }
h5 { font-size: 0.83em; margin: 1.67em 0; font-weight: bold; }
h6 { font-size: 0.67em; margin: 2.33em 0; font-weight: bold; }
b, strong, th { font-weight: bold; }
i, em, cite, var, address { font-style: italic; }
u, ins { text-decoration: underline; }
s, strike, del { text-decoration: line-through; }
pre, code, kbd, samp, tt { font-family: monospace; }
pre { white-space: pre; }
small { font-size: 0.83em; }
big { font-size: 1.17em; }
sub { vertical-align: sub; font-size: 0.83em; }
sup { vertical-align: super; font-size: 0.83em; }
center { text-align: center; }
blockquote { margin-left: 40px; margin-right: 40px; }
ul, ol, menu, dir { padding-left: 40px; }
ul { list-style-type: disc; }
ol { list-style-type: decimal; }
ul ul { list-style-type: circle; }
li { display: list-item; }
dd { margin-left: 40px; }
hr { border-style: inset; border-width: 1px; margin: 0.5em auto; color: #808080; }
a { color: #0645ad; text-decoration: underline; cursor: pointer; }
img { display: inline-block; }
table { display: table; border-spacing: 2px; border-collapse: separate; }
thead { display: table-header-group; vertical-align: middle; }
tbody { display: table-row-group; vertical-align: middle; }
tfoot { display: table-footer-group; vertical-align: middle; }
tr { display: table-row; vertical-align: inherit; }
td, th { display: table-cell; vertical-align: inherit; padding: 1px; }
th { text-align: center; }
caption { display: table-caption; text-align: center; }
br { display: block; }
input, button, select, textarea { display: inline-block; }
)CSS";

// Pictures and style sheets a page names are read with these limits.
constexpr size_t kMaxPicture = size_t(16) << 20;
constexpr size_t kMaxStyleSheet = size_t(2) << 20;
constexpr int kFetchTimeoutMs = 3000;
// A picture may declare at most this many pixels; a small file naming a huge picture would
// otherwise cost gigabytes when decoded.
constexpr uint64_t kMaxPicturePixels = uint64_t(4096) * 4096;

uint32_t Be32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
         uint32_t(uint8_t(b[at + 3]));
}
uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

// The size a PNG (IHDR) or BMP (info header) declares is within the limit.
bool DeclaredSizeFits(const std::string& b, bool png) {
  uint64_t w = 0, h = 0;
  if (png) {
    if (b.size() < 24) return false;
    w = Be32(b, 16);
    h = Be32(b, 20);
  } else {
    if (b.size() < 26) return false;
    w = Le32(b, 18);
    const int32_t sh = int32_t(Le32(b, 22));
    h = sh < 0 ? uint64_t(-int64_t(sh)) : uint64_t(sh);
  }
  return w > 0 && h > 0 && w <= 65535 && h <= 65535 && w * h <= kMaxPicturePixels;
}

COLORREF Colour(const litehtml::web_color& c) { return RGB(c.red, c.green, c.blue); }

RECT RectOf(const litehtml::position& p) { return RECT{p.x, p.y, p.x + p.width, p.y + p.height}; }

HDC DcOf(litehtml::uint_ptr hdc) { return reinterpret_cast<HDC>(hdc); }

// The first family of a CSS font list, without quotes.
std::u16string FirstFamily(const char* list) {
  std::string s = list ? list : "";
  s = s.substr(0, s.find(','));
  const size_t a = s.find_first_not_of(" \t\"'");
  const size_t b = s.find_last_not_of(" \t\"'");
  s = a == std::string::npos ? std::string("sans-serif") : s.substr(a, b - a + 1);
  return Utf8ToUtf16(s);
}

void FillRectColour(HDC dc, const RECT& r, COLORREF c) { FillSolidRectDc(dc, &r, c); }

}  // namespace

HtmlCanvas::HtmlCanvas(std::string address) : address_(std::move(address)), base_(address_) {
  context_.load_master_stylesheet(kMasterCss);
  measure_ = CreateCompatibleDC(nullptr);
}

HtmlCanvas::~HtmlCanvas() {
  doc_.reset();  // its fonts go back through delete_font first
  for (auto& kv : pictures_) {
    if (kv.second) DeleteObject(kv.second);
  }
  DeleteDC(measure_);
}

void HtmlCanvas::Load(const std::string& html, int width, int height) {
  viewW_ = width;
  viewH_ = height;
  doc_ = litehtml::document::createFromUTF8(html.c_str(), this, &context_);
  if (doc_) doc_->render(std::max(1, width));
}

void HtmlCanvas::Relayout(int width, int height) {
  viewW_ = width;
  viewH_ = height;
  if (doc_) {
    doc_->media_changed();
    doc_->render(std::max(1, width));
  }
}

void HtmlCanvas::Draw(HDC dc, const RECT& view, int scrollX, int scrollY) {
  FillRectColour(dc, view, RGB(255, 255, 255));
  if (!doc_) return;
  drawing_ = dc;
  const int level = SaveDC(dc);
  IntersectClipRect(dc, view.left, view.top, view.right, view.bottom);
  litehtml::position clip(view.left, view.top, view.right - view.left, view.bottom - view.top);
  doc_->draw(reinterpret_cast<litehtml::uint_ptr>(dc), view.left - scrollX, view.top - scrollY, &clip);
  RestoreDC(dc, level);
  clipLevels_.clear();
  drawing_ = nullptr;
}

int HtmlCanvas::ContentWidth() const { return doc_ ? doc_->width() : 0; }
int HtmlCanvas::ContentHeight() const { return doc_ ? doc_->height() : 0; }

std::string HtmlCanvas::TakeFollowedLink() {
  std::string out;
  out.swap(followed_);
  return out;
}

std::string HtmlCanvas::Resolve(const char* ref, const char* baseurl) const {
  const std::string base = baseurl && *baseurl ? ResolveAddress(base_, baseurl) : base_;
  return ResolveAddress(base, ref ? ref : "");
}

litehtml::uint_ptr HtmlCanvas::create_font(const char* faceName, int size, int weight, litehtml::font_style italic,
                                          unsigned int decoration, litehtml::font_metrics* fm) {
  const std::u16string face = FirstFamily(faceName);
  HFONT f = CreateFontW(-std::max(1, size), 0, 0, 0, weight, italic == litehtml::fontStyleItalic,
                        (decoration & litehtml::font_decoration_underline) != 0,
                        (decoration & litehtml::font_decoration_linethrough) != 0, 1 /* default character set */, 0,
                        0, 0, 0, face.c_str());
  if (!f) return 0;
  auto* font = new Font{f, 0};
  HGDIOBJ old = SelectObject(measure_, f);
  TEXTMETRICW tm{};
  GetTextMetricsW(measure_, &tm);
  SIZE x{};
  GetTextExtentPoint32W(measure_, u"x", 1, &x);
  SelectObject(measure_, old);
  font->ascent = tm.tmAscent;
  if (fm) {
    fm->height = tm.tmHeight;
    fm->ascent = tm.tmAscent;
    fm->descent = tm.tmDescent;
    fm->x_height = std::max<int>(1, tm.tmAscent / 2);
    fm->draw_spaces = (decoration & (litehtml::font_decoration_underline | litehtml::font_decoration_linethrough)) != 0;
  }
  return reinterpret_cast<litehtml::uint_ptr>(font);
}

void HtmlCanvas::delete_font(litehtml::uint_ptr font) {
  auto* f = reinterpret_cast<Font*>(font);
  if (!f) return;
  DeleteObject(f->font);
  delete f;
}

int HtmlCanvas::text_width(const char* text, litehtml::uint_ptr font) {
  auto* f = reinterpret_cast<Font*>(font);
  if (!f || !text) return 0;
  const std::u16string t = Utf8ToUtf16(text);
  HGDIOBJ old = SelectObject(measure_, f->font);
  SIZE sz{};
  GetTextExtentPoint32W(measure_, t.c_str(), int(t.size()), &sz);
  SelectObject(measure_, old);
  return sz.cx;
}

void HtmlCanvas::draw_text(litehtml::uint_ptr hdc, const char* text, litehtml::uint_ptr font,
                           litehtml::web_color color, const litehtml::position& pos) {
  auto* f = reinterpret_cast<Font*>(font);
  if (!f || !text) return;
  HDC dc = DcOf(hdc);
  const std::u16string t = Utf8ToUtf16(text);
  HGDIOBJ old = SelectObject(dc, f->font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, Colour(color));
  TextOutW(dc, pos.x, pos.y, t.c_str(), int(t.size()));
  SelectObject(dc, old);
}

int HtmlCanvas::pt_to_px(int pt) const { return pt * 96 / 72; }
int HtmlCanvas::get_default_font_size() const { return 16; }
const char* HtmlCanvas::get_default_font_name() const { return "sans-serif"; }

void HtmlCanvas::draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) {
  HDC dc = DcOf(hdc);
  if (!marker.image.empty()) {
    if (HBITMAP bm = Picture(marker.image.c_str(), marker.baseurl)) {
      HDC src = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(src, bm);
      BITMAP info{};
      GetObjectW(bm, sizeof info, &info);
      StretchBlt(dc, marker.pos.x, marker.pos.y, marker.pos.width, marker.pos.height, src, 0, 0, info.bmWidth,
                 info.bmHeight, SRCCOPY);
      SelectObject(src, old);
      DeleteDC(src);
      return;
    }
  }
  const RECT r = RectOf(marker.pos);
  const COLORREF c = Colour(marker.color);
  switch (marker.marker_type) {
    case litehtml::list_style_type_square:
      FillRectColour(dc, r, c);
      break;
    case litehtml::list_style_type_circle: {
      HBRUSH b = CreateSolidBrush(c);
      FrameRect(dc, &r, b);
      DeleteObject(b);
      break;
    }
    case litehtml::list_style_type_disc: {
      // A filled round dot, row by row.
      const int w = r.right - r.left, h = r.bottom - r.top;
      const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, rr = std::min(w, h) / 2.0;
      for (int y = 0; y < h; ++y) {
        const double dy = y - cy;
        if (dy * dy > rr * rr) continue;
        int x0 = 0;
        while (x0 < w && (x0 - cx) * (x0 - cx) + dy * dy > rr * rr) ++x0;
        const int x1 = w - x0;
        if (x1 > x0) FillRectColour(dc, RECT{r.left + x0, r.top + y, r.left + x1, r.top + y + 1}, c);
      }
      break;
    }
    default:
      if (marker.font) {  // a numbered marker: the number and a dot
        const std::string t = std::to_string(marker.index) + ".";
        litehtml::position p = marker.pos;
        p.x -= text_width(t.c_str(), marker.font);
        draw_text(hdc, t.c_str(), marker.font, marker.color, p);
      }
      break;
  }
}

HBITMAP HtmlCanvas::Picture(const char* src, const char* baseurl) {
  const std::string url = Resolve(src, baseurl);
  auto it = pictures_.find(url);
  if (it != pictures_.end()) return it->second;
  std::string bytes, why;
  HBITMAP bm = nullptr;
  if (FetchAddress(url, kMaxPicture, kFetchTimeoutMs, &bytes, &why)) {
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const bool png = bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG", 4) == 0;
    const bool bmp = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    if ((png || bmp) && DeclaredSizeFits(bytes, png)) bm = png ? BitmapFromPngBytes(data) : BitmapFromBmpBytes(data);
  }
  pictures_[url] = bm;
  return bm;
}

void HtmlCanvas::load_image(const char* src, const char* baseurl, bool) { Picture(src, baseurl); }

void HtmlCanvas::get_image_size(const char* src, const char* baseurl, litehtml::size& sz) {
  sz.width = sz.height = 0;
  if (HBITMAP bm = Picture(src, baseurl)) {
    BITMAP info{};
    GetObjectW(bm, sizeof info, &info);
    sz.width = info.bmWidth;
    sz.height = std::abs(info.bmHeight);
  }
}

void HtmlCanvas::draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) {
  HDC dc = DcOf(hdc);
  const RECT clip = RectOf(bg.clip_box);
  if (bg.color.alpha > 0) FillRectColour(dc, clip, Colour(bg.color));
  if (bg.image.empty()) return;
  HBITMAP bm = Picture(bg.image.c_str(), bg.baseurl.c_str());
  if (!bm || bg.image_size.width <= 0 || bg.image_size.height <= 0) return;
  BITMAP info{};
  GetObjectW(bm, sizeof info, &info);
  const int level = SaveDC(dc);
  IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
  HDC src = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(src, bm);
  const int w = bg.image_size.width, h = bg.image_size.height;
  const bool repeatX = bg.repeat == litehtml::background_repeat_repeat || bg.repeat == litehtml::background_repeat_repeat_x;
  const bool repeatY = bg.repeat == litehtml::background_repeat_repeat || bg.repeat == litehtml::background_repeat_repeat_y;
  int x0 = bg.position_x, y0 = bg.position_y;
  if (repeatX) x0 -= ((x0 - clip.left) / w + 1) * w;
  if (repeatY) y0 -= ((y0 - clip.top) / h + 1) * h;
  for (int y = y0; y < (repeatY ? int(clip.bottom) : y0 + 1); y += h) {
    for (int x = x0; x < (repeatX ? int(clip.right) : x0 + 1); x += w) {
      StretchBlt(dc, x, y, w, h, src, 0, 0, info.bmWidth, std::abs(info.bmHeight), SRCCOPY);
    }
  }
  SelectObject(src, old);
  DeleteDC(src);
  RestoreDC(dc, level);
}

void HtmlCanvas::draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& b, const litehtml::position& p, bool) {
  HDC dc = DcOf(hdc);
  auto visible = [](const litehtml::border& s) {
    return s.width > 0 && s.style != litehtml::border_style_none && s.style != litehtml::border_style_hidden;
  };
  if (visible(b.top)) FillRectColour(dc, RECT{p.x, p.y, p.right(), p.y + b.top.width}, Colour(b.top.color));
  if (visible(b.bottom)) {
    FillRectColour(dc, RECT{p.x, p.bottom() - b.bottom.width, p.right(), p.bottom()}, Colour(b.bottom.color));
  }
  if (visible(b.left)) FillRectColour(dc, RECT{p.x, p.y, p.x + b.left.width, p.bottom()}, Colour(b.left.color));
  if (visible(b.right)) {
    FillRectColour(dc, RECT{p.right() - b.right.width, p.y, p.right(), p.bottom()}, Colour(b.right.color));
  }
}

void HtmlCanvas::set_caption(const char* caption) { title_ = caption ? caption : ""; }

void HtmlCanvas::set_base_url(const char* baseUrl) {
  if (baseUrl && *baseUrl) base_ = ResolveAddress(address_, baseUrl);
}

void HtmlCanvas::link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) {}

void HtmlCanvas::on_anchor_click(const char* url, const litehtml::element::ptr&) {
  if (!url || !*url) return;
  if (url[0] == '#') return;  // a place on this page: nothing to load
  followed_ = Resolve(url, nullptr);
}

void HtmlCanvas::set_cursor(const char* cursor) { cursor_ = cursor ? cursor : ""; }

void HtmlCanvas::transform_text(litehtml::tstring& text, litehtml::text_transform tt) {
  if (tt == litehtml::text_transform_none || text.empty()) return;
  std::u16string t = Utf8ToUtf16(text);
  bool start = true;
  for (char16_t& c : t) {
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if ((tt == litehtml::text_transform_uppercase || (tt == litehtml::text_transform_capitalize && start)) && c >= u'a' &&
        c <= u'z') {
      c = char16_t(c - u'a' + u'A');
    } else if (tt == litehtml::text_transform_lowercase && c >= u'A' && c <= u'Z') {
      c = char16_t(c - u'A' + u'a');
    }
    start = !letter;
  }
  text = Utf16ToUtf8(t);
}

void HtmlCanvas::import_css(litehtml::tstring& text, const litehtml::tstring& url, litehtml::tstring& baseurl) {
  const std::string where = Resolve(url.c_str(), baseurl.c_str());
  std::string why;
  if (!FetchAddress(where, kMaxStyleSheet, kFetchTimeoutMs, &text, &why)) text.clear();
  baseurl = where;
}

void HtmlCanvas::set_clip(const litehtml::position& pos, const litehtml::border_radiuses&, bool, bool) {
  if (!drawing_) return;
  clipLevels_.push_back(SaveDC(drawing_));
  IntersectClipRect(drawing_, pos.x, pos.y, pos.right(), pos.bottom());
}

void HtmlCanvas::del_clip() {
  if (!drawing_ || clipLevels_.empty()) return;
  RestoreDC(drawing_, clipLevels_.back());
  clipLevels_.pop_back();
}

void HtmlCanvas::get_client_rect(litehtml::position& client) const { client = litehtml::position(0, 0, viewW_, viewH_); }

std::shared_ptr<litehtml::element> HtmlCanvas::create_element(const char*, const litehtml::string_map&,
                                                              const std::shared_ptr<litehtml::document>&) {
  return nullptr;
}

void HtmlCanvas::get_media_features(litehtml::media_features& media) const {
  media.type = litehtml::media_type_screen;
  media.width = viewW_;
  media.height = viewH_;
  media.device_width = GetSystemMetrics(0);
  media.device_height = GetSystemMetrics(1);
  media.color = 8;
  media.monochrome = 0;
  media.color_index = 256;
  media.resolution = 96;
}

void HtmlCanvas::get_language(litehtml::tstring& language, litehtml::tstring& culture) const {
  language = "en";
  culture.clear();
}
