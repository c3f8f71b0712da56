// The tree view, the multi-line edit and the date-time picker under a private Xvfb server,
// driven by xdotool as a user would: a click on a tree's button fills and opens the branch,
// keys walk into it; typed lines land in the edit with their breaks; typed digits set the
// picker's day. Skipped where Xvfb or xdotool is missing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/tests/x11/x11_test_util.h"

namespace {

using x11test::PumpUntil;

class X11Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
    if (x11test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(server_.Start(""));
    ASSERT_TRUE(SelectBackend("x11"));
    TestWindows::Register();
  }
  void TearDown() override {
    if (IsWindow(top_)) DestroyWindow(top_);
    Pump();
    SelectBackend("headless");
    server_.Stop();
  }
  static void ClickScreen(HWND h, int x, int y) {
    POINT p{x, y};
    ClientToScreen(h, &p);
    EXPECT_EQ(x11test::Run({"xdotool", "mousemove", std::to_string(p.x), std::to_string(p.y), "sleep", "0.1", "click",
                            "1"}),
              0);
  }
  x11test::XServer server_;
  HWND top_ = nullptr;
};

TEST_F(X11Controls, TreeEditAndPickerTakeTheUsersInput) {
  int fills = 0;
  std::vector<NMDATETIMECHANGE> changes;
  top_ = MakeWindow(WS_POPUP | WS_CAPTION | WS_SYSMENU, 100, 80, 640, 360, nullptr, 0,
                    [&](HWND, UINT msg, WPARAM, LPARAM l, LRESULT* r) {
                      if (msg != WM_NOTIFY) return msg == WM_CLOSE;
                      auto* nm = reinterpret_cast<NMHDR*>(l);
                      if (nm->code == TVN_ITEMEXPANDEDW) {
                        auto* tv = reinterpret_cast<NMTREEVIEWW*>(l);
                        if (tv->itemNew.state & TVIS_EXPANDED) {
                          ++fills;
                          HTREEITEM item = tv->itemNew.hItem;
                          while (auto c = reinterpret_cast<HTREEITEM>(
                                     SendMessageW(nm->hwndFrom, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)))) {
                            SendMessageW(nm->hwndFrom, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(c));
                          }
                          for (const char16_t* name : {u"Documents", u"Pictures", u"Music"}) {
                            TVINSERTSTRUCTW is{};
                            is.hParent = item;
                            is.hInsertAfter = TVI_LAST;
                            is.item.mask = TVIF_TEXT;
                            is.item.pszText = const_cast<char16_t*>(name);
                            SendMessageW(nm->hwndFrom, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is));
                          }
                        }
                      }
                      if (nm->code == DTN_DATETIMECHANGE) changes.push_back(*reinterpret_cast<NMDATETIMECHANGE*>(l));
                      *r = 0;
                      return true;
                    });
  SetWindowTextW(top_, u"Controls");
  HWND tree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEW, u"",
                              WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                              10, 10, 220, 300, top_, reinterpret_cast<void*>(intptr_t(1)), nullptr, nullptr);
  HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDIT, u"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_WANTRETURN, 240, 10, 380, 240,
                              top_, reinterpret_cast<void*>(intptr_t(2)), nullptr, nullptr);
  HWND picker = CreateWindowExW(WS_EX_CLIENTEDGE, DATETIMEPICK_CLASS, u"", WS_CHILD | WS_VISIBLE | DTS_SHORTDATEFORMAT,
                                240, 270, 200, 26, top_, reinterpret_cast<void*>(intptr_t(3)), nullptr, nullptr);
  TVINSERTSTRUCTW is{};
  is.hParent = TVI_ROOT;
  is.hInsertAfter = TVI_LAST;
  is.item.mask = TVIF_TEXT;
  is.item.pszText = const_cast<char16_t*>(u"01 Volume");
  auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
  is.hParent = root;
  is.item.pszText = const_cast<char16_t*>(u"***");
  SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is));
  SYSTEMTIME st{};
  st.wYear = 2024, st.wMonth = 5, st.wDay = 17;
  SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  ShowWindow(top_, SW_SHOW);
  UpdateWindow(top_);
  ASSERT_TRUE(PumpUntil([&] { return server_.FindByTitle("Controls") != 0; }));

  // The tree: a click on the root's button fills and opens it; Down and Down select the
  // second child.
  RECT row{};
  std::memcpy(&row, &root, sizeof(root));
  ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&row)));
  const int indent = int(SendMessageW(tree, TVM_GETINDENT, 0, 0));
  ClickScreen(tree, indent / 2, (row.top + row.bottom) / 2);
  ASSERT_TRUE(PumpUntil([&] { return fills == 1 && SendMessageW(tree, TVM_GETCOUNT, 0, 0) == 4; }));
  ClickScreen(tree, indent + 20, (row.top + row.bottom) / 2);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == tree; }));
  EXPECT_EQ(x11test::Run({"xdotool", "key", "--delay", "40", "Down", "Down"}), 0);
  const auto second = [&] {
    auto first = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root));
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, first));
  };
  ASSERT_TRUE(PumpUntil([&] {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)) == second();
  }));

  // The edit: two typed lines with Enter between them.
  ClickScreen(edit, 20, 20);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == edit; }));
  EXPECT_EQ(x11test::Run({"xdotool", "type", "--delay", "30", "first line"}), 0);
  EXPECT_EQ(x11test::Run({"xdotool", "key", "Return"}), 0);
  EXPECT_EQ(x11test::Run({"xdotool", "type", "--delay", "30", "second"}), 0);
  ASSERT_TRUE(PumpUntil([&] { return GetWindowTextString(edit) == CString(u"first line\r\nsecond"); }))
      << GetWindowTextString(edit).GetLength();
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 2);

  // The picker: the short date starts with the year; Right twice reaches the day, 2 and 8
  // make it the 28th.
  ClickScreen(picker, 6, 12);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == picker; }));
  EXPECT_EQ(x11test::Run({"xdotool", "key", "--delay", "40", "Right", "Right", "2", "8"}), 0);
  ASSERT_TRUE(PumpUntil([&] {
    SYSTEMTIME now{};
    SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&now));
    return now.wDay == 28 && now.wMonth == 5 && now.wYear == 2024;
  }));
  EXPECT_FALSE(changes.empty());
  UpdateAllWindows();
  x11test::PumpFor(200);
  server_.SaveScreen(std::string(KESTREL_WND_SHOT_DIR) + "/controls_x11.png");
}

}  // namespace
