// A page laid out and drawn by litehtml through the program's own raster and fonts: the
// document's container (fonts, text, backgrounds, borders, list markers, pictures, clipping)
// and what the page asked of its view (a link followed, the pointer's shape, its title).
#pragma once

#include <litehtml/litehtml.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/paint/gdi.h"

class HtmlCanvas : public litehtml::document_container {
 public:
  explicit HtmlCanvas(std::string address);
  ~HtmlCanvas();
  HtmlCanvas(const HtmlCanvas&) = delete;
  HtmlCanvas& operator=(const HtmlCanvas&) = delete;

  // Parses the page (UTF-8 HTML) and lays it out `width` pixels wide in a view of that size.
  void Load(const std::string& html, int width, int height);
  void Relayout(int width, int height);
  // Draws the part of the page that shows at the scroll position into the rectangle.
  void Draw(HDC dc, const RECT& view, int scrollX, int scrollY);
  int ContentWidth() const;
  int ContentHeight() const;
  const std::shared_ptr<litehtml::document>& Document() const { return doc_; }

  // The address of the link the page followed since the last call (resolved), or empty.
  std::string TakeFollowedLink();
  const std::string& Cursor() const { return cursor_; }
  const std::string& Title() const { return title_; }
  const std::string& Address() const { return address_; }

  // ---- litehtml's container ----
  litehtml::uint_ptr create_font(const char* faceName, int size, int weight, litehtml::font_style italic,
                                 unsigned int decoration, litehtml::font_metrics* fm) override;
  void delete_font(litehtml::uint_ptr font) override;
  int text_width(const char* text, litehtml::uint_ptr font) override;
  void draw_text(litehtml::uint_ptr hdc, const char* text, litehtml::uint_ptr font, litehtml::web_color color,
                 const litehtml::position& pos) override;
  int pt_to_px(int pt) const override;
  int get_default_font_size() const override;
  const char* get_default_font_name() const override;
  void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override;
  void load_image(const char* src, const char* baseurl, bool redrawOnReady) override;
  void get_image_size(const char* src, const char* baseurl, litehtml::size& sz) override;
  void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override;
  void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders, const litehtml::position& drawPos,
                    bool root) override;
  void set_caption(const char* caption) override;
  void set_base_url(const char* baseUrl) override;
  void link(const std::shared_ptr<litehtml::document>& doc, const litehtml::element::ptr& el) override;
  void on_anchor_click(const char* url, const litehtml::element::ptr& el) override;
  void set_cursor(const char* cursor) override;
  void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override;
  void import_css(litehtml::tstring& text, const litehtml::tstring& url, litehtml::tstring& baseurl) override;
  void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& radius, bool validX,
                bool validY) override;
  void del_clip() override;
  void get_client_rect(litehtml::position& client) const override;
  std::shared_ptr<litehtml::element> create_element(const char* tagName, const litehtml::string_map& attributes,
                                                    const std::shared_ptr<litehtml::document>& doc) override;
  void get_media_features(litehtml::media_features& media) const override;
  void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override;

 private:
  struct Font {
    HFONT font = nullptr;
    int ascent = 0;
  };
  HBITMAP Picture(const char* src, const char* baseurl);
  std::string Resolve(const char* ref, const char* baseurl) const;

  std::string address_;
  std::string base_;
  std::string title_;
  std::string cursor_;
  std::string followed_;
  litehtml::context context_;
  std::shared_ptr<litehtml::document> doc_;
  HDC measure_ = nullptr;
  int viewW_ = 0, viewH_ = 0;
  std::map<std::string, HBITMAP> pictures_;  // by resolved address; null when it could not be had
  std::vector<int> clipLevels_;              // SaveDC levels of the clips in force while drawing
  HDC drawing_ = nullptr;
};
