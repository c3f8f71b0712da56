// The picture sheet of the list view: a report with check boxes, grid lines, a sort mark and a
// selection; an owner-drawn report with zebra rows; an icon view of custom-drawn tiles; a list
// of ten million owner-data rows at its end; and a tooltip. It is written next to the test
// program as listview_sheet.png, to be looked at.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fileio.h"
#include "platform/sync.h"
#include "platform/wnd/shellapi.h"
#include "platform/wnd/tests/listview_test_util.h"

namespace {

enum { kReport = 11, kOwner = 12, kIcons = 13, kMillions = 14 };

void Frame(HDC dc, const RECT& r, COLORREF c) {
  HBRUSH b = CreateSolidBrush(c);
  FrameRect(dc, &r, b);
  DeleteObject(b);
}

TEST(ListViewSheet, DrawsEveryKindOfListAndWritesTheSheet) {
  SetScreenSize(1280, 800);
  ParentSpy spy;
  HWND top = spy.Make(1000, 660);
  spy.rowHeight = 25;
  spy.dispInfo = [](NMLVDISPINFOW* di) {
    if (!(di->item.mask & LVIF_TEXT) || di->item.cchTextMax <= 0) return;
    CString t;
    if (di->item.iSubItem == 0) t.Format(u"IMG_%07d.JPG", di->item.iItem);
    else if (di->item.iSubItem == 1) t.Format(u"%7d KB", (di->item.iItem * 37) % 9000 + 1);
    else t = u"2024-05-17 10:42:31";
    const int n = std::min(t.GetLength(), di->item.cchTextMax - 1);
    std::copy(t.GetString(), t.GetString() + n, di->item.pszText);
    di->item.pszText[n] = 0;
  };
  // Owner-drawn rows: zebra colours, the selection in blue, the texts a cell at a time.
  spy.onDraw = [](const DRAWITEMSTRUCT* d) {
    if (d->CtlID != kOwner) return;
    const int row = int(d->itemID);
    const bool sel = (d->itemState & ODS_SELECTED) != 0;
    RECT r = d->rcItem;
    r.right = 10000;
    FillSolidRectDc(d->hDC, &r, sel ? RGB(204, 239, 255) : row % 2 ? RGB(250, 250, 250) : RGB(255, 255, 255));
    SetBkMode(d->hDC, TRANSPARENT);
    SetTextColor(d->hDC, RGB(55, 52, 47));
    for (int c = 0; c < 3; ++c) {
      RECT cell{};
      cell.top = c;
      cell.left = LVIR_LABEL;
      SendMessageW(d->hwndItem, LVM_GETSUBITEMRECT, d->itemID, reinterpret_cast<LPARAM>(&cell));
      char16_t buf[64] = {};
      LVITEMW it{};
      it.iSubItem = c;
      it.pszText = buf;
      it.cchTextMax = 64;
      SendMessageW(d->hwndItem, LVM_GETITEMTEXTW, d->itemID, reinterpret_cast<LPARAM>(&it));
      CString t = CString(c == 0 ? u"  " : u" ") + buf;
      DrawTextW(d->hDC, t.GetString(), t.GetLength(), &cell, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
  };
  // Tiles: a picture box and a caption box, drawn whole by the parent.
  spy.customDraw = [](NMLVCUSTOMDRAW* cd) -> LRESULT {
    if (cd->nmcd.hdr.idFrom != kIcons) return CDRF_DODEFAULT;
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_SKIPDEFAULT;
    const RECT& r = cd->nmcd.rc;
    const int x = r.left, y = r.top + 3;
    HDC dc = cd->nmcd.hdc;
    RECT box{x + 3, y, x + 123, y + 120}, cap{x + 3, y + 119, x + 123, r.bottom};
    FillSolidRectDc(dc, &box, (cd->nmcd.uItemState & CDIS_SELECTED) ? RGB(204, 239, 255) : RGB(255, 255, 255));
    Frame(dc, box, RGB(192, 192, 192));
    RECT pic{x + 23, y + 20, x + 103, y + 100};
    FillSolidRectDc(dc, &pic, RGB(40 + 20 * int(cd->nmcd.dwItemSpec % 8), 120, 180));
    Frame(dc, cap, RGB(192, 192, 192));
    CString t;
    t.Format(u"Photo %d.jpg", int(cd->nmcd.dwItemSpec));
    RECT tr{x + 25, y + 119, x + 123, y + 144};
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, t.GetString(), t.GetLength(), &tr, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    return CDRF_SKIPDEFAULT;
  };

  // A plain report: check boxes, grid lines, full-row selection, a sort mark on the name.
  HWND report = MakeList(top, LVS_REPORT | LVS_SHOWSELALWAYS, 10, 10, 480, 200, kReport);
  SendMessageW(report, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  AddColumn(report, 0, u"Name", 200);
  AddColumn(report, 1, u"Size", 90, LVCFMT_RIGHT);
  AddColumn(report, 2, u"Modified", 170);
  const char16_t* names[] = {u"Holiday.jpg", u"Thesis.docx", u"Budget 2024.xlsx", u"Interview.mp4", u"backup.zip",
                             u"notes.txt", u"a name much too long to fit the column it is shown in.pdf"};
  for (int i = 0; i < 7; ++i) {
    AddRow(report, i, names[i]);
    LVITEMW t{};
    t.iSubItem = 1;
    t.pszText = const_cast<char16_t*>(i % 2 ? u"1,204 KB" : u"87 KB");
    SendMessageW(report, LVM_SETITEMTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(&t));
    t.iSubItem = 2;
    t.pszText = const_cast<char16_t*>(u"2024-05-17 10:42");
    SendMessageW(report, LVM_SETITEMTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(&t));
  }
  // Each row shows the shell's small icon of its file type.
  SetShellIconFamilyHandler([](const char16_t* ext) {
    const CString e(ext);
    for (auto [x, family] : {std::pair{u"jpg", 7}, {u"docx", 6}, {u"xlsx", 6}, {u"mp4", 10}, {u"zip", 11}, {u"pdf", 6}}) {
      if (e.CompareNoCase(x) == 0) return family;
    }
    return 0;
  });
  SHFILEINFOW fi{};
  auto sysSmall = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(u"x", FILE_ATTRIBUTE_NORMAL, &fi, sizeof fi, SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  SendMessageW(report, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(sysSmall));
  for (int i = 0; i < 7; ++i) {
    SHGetFileInfoW(names[i], FILE_ATTRIBUTE_NORMAL, &fi, sizeof fi, SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    LVITEMW im{};
    im.mask = LVIF_IMAGE;
    im.iItem = i;
    im.iImage = fi.iIcon;
    SendMessageW(report, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&im));
  }
  SetShellIconFamilyHandler(nullptr);
  HWND hdr = reinterpret_cast<HWND>(SendMessageW(report, LVM_GETHEADER, 0, 0));
  HDITEMW hd{};
  hd.mask = HDI_FORMAT;
  hd.fmt = HDF_STRING | HDF_SORTUP;
  SendMessageW(hdr, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&hd));
  LVITEMW st{};
  st.stateMask = LVIS_STATEIMAGEMASK;
  st.state = INDEXTOSTATEIMAGEMASK(2);
  for (int i : {0, 3}) SendMessageW(report, LVM_SETITEMSTATE, WPARAM(i), reinterpret_cast<LPARAM>(&st));
  POINT p{40, 0};
  RECT b = ItemRect(report, 2, LVIR_BOUNDS);
  p.y = (b.top + b.bottom) / 2;
  ClickAt(report, p.x, p.y);

  // An owner-drawn report of owner data, as the skinned lists draw theirs.
  HWND owner = MakeList(top, LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 500, 10, 490, 200, kOwner);
  SendMessageW(owner, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  AddColumn(owner, 0, u"Name", 200);
  AddColumn(owner, 1, u"Size", 100);
  AddColumn(owner, 2, u"Created", 160);
  SendMessageW(owner, LVM_SETITEMCOUNT, 40, LVSICF_NOINVALIDATEALL);
  st.stateMask = st.state = LVIS_SELECTED;
  SendMessageW(owner, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&st));

  // Tiles of an icon view, owner data, no column header.
  HWND icons = MakeList(top, LVS_ICON | LVS_OWNERDATA | LVS_NOLABELWRAP | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER, 10,
                        220, 480, 430, kIcons);
  HIMAGELIST tiles = ImageList_Create(83, 127, ILC_COLOR24 | ILC_MASK, 0, 10);  // sets the tiles' size
  SendMessageW(icons, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(tiles));
  SendMessageW(icons, LVM_SETITEMCOUNT, 500, 0);
  SendMessageW(icons, LVM_SETITEMSTATE, 4, reinterpret_cast<LPARAM>(&st));

  // Ten million owner-data rows, at the end, with a run of them selected.
  HWND millions = MakeList(top, LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 500, 220, 490, 430, kMillions);
  SendMessageW(millions, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  AddColumn(millions, 0, u"Name", 200);
  AddColumn(millions, 1, u"Size", 100, LVCFMT_RIGHT);
  AddColumn(millions, 2, u"Modified", 170);
  SendMessageW(millions, LVM_SETITEMCOUNT, 10000000, LVSICF_NOINVALIDATEALL);
  SendMessageW(millions, WM_VSCROLL, 7, 0);
  const int last = 10000000 - 1;
  b = ItemRect(millions, last - 4, LVIR_BOUNDS);
  ClickAt(millions, 40, (b.top + b.bottom) / 2);
  b = ItemRect(millions, last - 2, LVIR_BOUNDS);
  ClickAt(millions, 40, (b.top + b.bottom) / 2, MK_SHIFT);

  // A tooltip over the icon view.
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASS, u"", WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, top, nullptr,
                             nullptr, nullptr);
  TOOLINFOW ti{};
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = top;
  ti.uId = reinterpret_cast<UINT_PTR>(icons);
  ti.lpszText = const_cast<char16_t*>(u"500 photos found by signature");
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 1);
  POINT at{300, 400};
  ClientToScreen(icons, &at);
  SetCursorPos(at.x, at.y);
  MSG move{icons, WM_MOUSEMOVE, 0, MAKELPARAM(300, 400), 0, at};
  SendMessageW(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
  for (int i = 0; i < 100 && !IsWindowVisible(tip); ++i) {
    Pump();
    Sleep(2);
  }
  UpdateAllWindows();
  ASSERT_TRUE(IsWindowVisible(tip));

  // Spot checks, then the sheet: the top-level window with the tooltip copied in where it shows.
  EXPECT_EQ(GetWindowPixel(owner, 300, ItemRect(owner, 3, LVIR_BOUNDS).top + 3), RGB(204, 239, 255));
  RECT t4 = ItemRect(icons, 4, LVIR_BOUNDS);
  EXPECT_EQ(GetWindowPixel(icons, t4.left + 10, t4.top + 10), RGB(204, 239, 255));
  EXPECT_EQ(SendMessageW(millions, LVM_GETSELECTEDCOUNT, 0, 0), 3);
  const std::string path = std::string(KESTREL_WND_SHOT_DIR) + "/listview_sheet.png";
  std::filesystem::remove(path);
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP sheet = CreateCompatibleBitmap(mem, 1000, 660);
  HGDIOBJ old = SelectObject(mem, sheet);
  PrintWindow(top, mem, 0);
  RECT tr{};
  GetWindowRect(tip, &tr);
  HDC tipDc = CreateCompatibleDC(nullptr);
  HBITMAP tipBm = CreateCompatibleBitmap(tipDc, tr.right - tr.left, tr.bottom - tr.top);
  HGDIOBJ oldTip = SelectObject(tipDc, tipBm);
  PrintWindow(tip, tipDc, 0);
  BitBlt(mem, tr.left, tr.top, tr.right - tr.left, tr.bottom - tr.top, tipDc, 0, 0, SRCCOPY);
  SelectObject(tipDc, oldTip);
  DeleteObject(tipBm);
  DeleteDC(tipDc);
  SelectObject(mem, old);
  DeleteDC(mem);
  ASSERT_TRUE(WriteBitmapPng(sheet, path));
  DeleteObject(sheet);
  EXPECT_GT(std::filesystem::file_size(path), 5000u);
  DestroyWindow(top);
  Pump();
  ImageList_Destroy(tiles);
}

}  // namespace
