// The demonstration: a skinned-looking dialog shown headless, hovered and pressed, with its
// screenshot written next to the test program (skin_demo.png).
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/wnd/tests/skin_demo.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

TEST(SkinDemo, ShowsHoversPressesAndWritesAScreenshot) {
  InitWindowLayer();
  HWND dlg = skindemo::Show();
  ASSERT_NE(dlg, nullptr);
  Pump();
  RECT wr{};
  GetWindowRect(dlg, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  // The cut corner belongs to nobody; the frame, caption and face are where the grid put them.
  EXPECT_NE(WindowFromPoint(POINT{wr.left, wr.top}), dlg);
  EXPECT_EQ(WindowFromPoint(POINT{wr.left + 4, wr.top + 4}), dlg);
  EXPECT_EQ(GetWindowPixel(dlg, w / 2, 0), skindemo::kFrame);
  EXPECT_EQ(GetWindowPixel(dlg, w - 1, h / 2), skindemo::kFrame);
  EXPECT_EQ(GetWindowPixel(dlg, w - 20, 20), skindemo::kCaption);
  EXPECT_EQ(GetWindowPixel(dlg, w / 2, h - 4), skindemo::kFill);
  HWND save = GetDlgItem(dlg, skindemo::kOk);
  RECT br{};
  GetClientRect(save, &br);
  EXPECT_EQ(GetWindowPixel(save, 3, br.bottom / 2), skindemo::kButton);
  // The cut button corner shows the dialog's face.
  EXPECT_EQ(GetWindowPixel(save, 0, 0), skindemo::kFill);
  // Some text pixels of the static are dark on the face.
  HWND text = GetDlgItem(dlg, skindemo::kText);
  RECT tr{};
  GetClientRect(text, &tr);
  int dark = 0;
  for (int y = 0; y < tr.bottom; ++y) {
    for (int x = 0; x < tr.right; ++x) dark += GetWindowPixel(text, x, y) == RGB(48, 48, 48);
  }
  EXPECT_GT(dark, 20);
  // Hover, then press: the pictures change; the click reaches the dialog.
  POINT p = At(save, br.right / 2, 3);
  InjectMouseMove(p.x, p.y);
  Pump();
  EXPECT_EQ(GetWindowPixel(save, 3, br.bottom / 2), skindemo::kButtonHover);
  EXPECT_EQ(CursorId(GetCursor()), reinterpret_cast<uintptr_t>(IDC_HAND));
  InjectMouseButton(0, true, p.x, p.y);
  Pump();
  EXPECT_EQ(GetWindowPixel(save, 3, br.bottom / 2), skindemo::kButtonDown);
  InjectMouseButton(0, false, p.x, p.y);
  Pump();
  EXPECT_EQ(skindemo::S().result, skindemo::kOk);
  const std::string path = std::string(KESTREL_WND_SHOT_DIR) + "/skin_demo.png";
  std::filesystem::remove(path);
  ASSERT_TRUE(SaveWindowPng(dlg, path));
  EXPECT_GT(std::filesystem::file_size(path), 500u);
  // Leaving the button takes the hover picture away again.
  InjectMouseMove(wr.left + 20, wr.top + h / 2);
  Pump();
  EXPECT_EQ(GetWindowPixel(save, 3, br.bottom / 2), skindemo::kButton);
  // Dragging the background moves the window.
  InjectMouseButton(0, true, wr.left + 20, wr.top + h / 2);
  InjectMouseMove(wr.left + 50, wr.top + h / 2 + 10);
  InjectMouseButton(0, false, wr.left + 50, wr.top + h / 2 + 10);
  Pump();
  RECT moved{};
  GetWindowRect(dlg, &moved);
  EXPECT_EQ(moved.left, wr.left + 30);
  EXPECT_EQ(moved.top, wr.top + 10);
  DestroyWindow(dlg);
  skindemo::Reset();
}

}  // namespace
