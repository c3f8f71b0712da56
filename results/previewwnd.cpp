#include "results/previewwnd.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "base/heap.h"
#include "base/packedtime.h"
#include "base/sizetext.h"
#include "core/copyout.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtypes.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "skin/skinfonts.h"
#include "skin/wndhelpers.h"

namespace {

constexpr COLORREF kFrameColor = RGB(0xCA, 0xCC, 0xCF);
constexpr COLORREF kFaceColor = RGB(0xF6, 0xF7, 0xF8);
constexpr COLORREF kDisabledText = RGB(0xAC, 0xA8, 0x99);
constexpr unsigned kHexTag = 364;
constexpr unsigned kHeadAllocTag = 480, kHeadCopyTag = 481;
constexpr unsigned kExtraAllocTag = 487, kExtraCopyTag = 488;
constexpr int kLine = 78;

CPreviewDlg* g_preview = nullptr;

CString Lang(const char16_t* key) { return GetLangStr(key); }

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

PreviewKind PreviewViewOf(uint32_t code) {
  switch (code) {
    case 44: case 45: case 46: case 47: case 48: case 76: case 85: case 132: case 162:
      return PreviewKind::kPicture;
    case 36: case 37: case 38: case 61: case 62: case 79: case 80: case 81: case 87: case 89: case 161: case 163:
    case 165: case 166: case 167: case 168: case 169: case 170: case 171:
      return PreviewKind::kText;
    default:
      return code <= 0xFF && IsPhotoType(int32_t(code)) ? PreviewKind::kPicture : PreviewKind::kFacts;
  }
}

bool FormatHexDump(CString& out, const uint8_t* bytes, uint32_t count) {
  if (!bytes || count == 0) return false;
  const uint32_t n = count < kHexDumpMaxBytes ? count : kHexDumpMaxBytes;
  const uint32_t lines = (n + 15) / 16;
  const size_t filled = size_t(kLine) * (lines + 1);
  auto* buf = static_cast<char*>(AllocMem(filled + 1025, kHexTag));
  std::memset(buf, ' ', filled);
  static const char kHeader[] = "Offset  0  1  2  3  4  5  6  7   8  9  A  B  C  D  E  F";
  std::memcpy(buf, kHeader, sizeof(kHeader) - 1);
  buf[76] = '\r';
  buf[77] = '\n';
  for (uint32_t i = 0; i < lines; ++i) {
    char* line = buf + size_t(kLine) * (i + 1);
    const uint32_t offset = 16 * i;
    for (int d = 0; d < 6; ++d) line[d] = kHexDigits[(offset >> (20 - 4 * d)) & 0xF];
    const uint32_t inLine = (i + 1 < lines || n % 16 == 0) ? 16 : n % 16;
    for (uint32_t k = 0; k < inLine; ++k) {
      const uint8_t b = bytes[offset + k];
      const int col = int(k < 8 ? 7 + 3 * k : 8 + 3 * k);
      line[col] = kHexDigits[b >> 4];
      line[col + 1] = kHexDigits[b & 0xF];
      line[60 + k] = (b >= 32 && b <= 126) ? char(b) : '.';
    }
    if (i + 1 < lines) {
      line[76] = '\r';
      line[77] = '\n';
    }
  }
  const size_t length = filled - 2;
  std::u16string text(length, u' ');
  for (size_t i = 0; i < length; ++i) text[i] = char16_t(uint8_t(buf[i]));
  FreeMem(buf);
  out = CString(std::move(text));
  return true;
}

// ---- CPreviewChildDlg ----

BEGIN_MESSAGE_MAP(CPreviewChildDlg, CSkinChildDialog)
ON_WM_CTLCOLOR()
ON_BN_CLICKED(IDC_PANE_HEX, OnBnClickedHex)
ON_BN_CLICKED(IDC_PANE_VIEW, OnBnClickedImage)
ON_BN_CLICKED(IDC_PANE_CLOSE, OnBnClickedClose)
ON_BN_CLICKED(IDC_PANE_RECOVER, OnBnClickedRecover)
ON_BN_CLICKED(IDC_PANE_OPEN, OnBnClickedOpen)
END_MESSAGE_MAP()

CPreviewChildDlg::CPreviewChildDlg() : CSkinChildDialog(IDD_PREVIEW_PANE) {
  m_faceBrush.CreateSolidBrush(kFaceColor);
  m_whiteBrush.CreateSolidBrush(RGB(255, 255, 255));
}

CPreviewChildDlg::~CPreviewChildDlg() { FreeCopies(); }

void CPreviewChildDlg::FreeCopies() {
  if (m_head) FreeMem(m_head);
  if (m_extra) FreeMem(m_extra);
  m_head = m_extra = nullptr;
  m_headLength = m_extraLength = 0;
}

void CPreviewChildDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_PANE_HEX, m_btnHex);
  DDX_Control(dx, IDC_PANE_VIEW, m_btnView);
  DDX_Control(dx, IDC_PANE_TEXT, m_text);
  DDX_Control(dx, IDC_PANE_PICTURE, m_picture);
  DDX_Control(dx, IDC_PANE_OPEN, m_btnOpen);
  DDX_Control(dx, IDC_PANE_RECOVER, m_btnRecover);
  DDX_Control(dx, IDC_PANE_CLOSE, m_btnClose);
  DDX_Control(dx, IDC_PANE_NOTE, m_note);
}

BOOL CPreviewChildDlg::OnInitDialog() {
  CSkinChildDialog::OnInitDialog();
  m_hexFont.CreateFont(18, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"Courier New");
  m_text.SetFont(&m_hexFont);
  m_text.LimitText(0);
  for (CSkinButton* b : {&m_btnHex, &m_btnView}) {
    b->SetBitmaps(250, 251, 249, 250, 250);
    b->m_captionColor = 0;
    b->m_disabledColor = kDisabledText;
  }
  m_note.m_textColor = RGB(255, 0, 0);
  m_note.SetText(Lang(u"ClickRightRecoverButton"));
  m_btnOpen.m_captionColor = RGB(0x30, 0x30, 0x30);
  m_btnOpen.m_disabledColor = kDisabledText;
  m_btnOpen.SetIcon(386, 16);
  m_btnOpen.ShowWindow(SW_SHOW);
  m_btnOpen.EnableWindow(TRUE);
  m_btnRecover.m_captionColor = RGB(255, 255, 255);
  m_btnRecover.m_disabledColor = kDisabledText;
  m_btnRecover.SetBitmaps(374, 373, 373, 374, 374);
  m_btnRecover.SetIcon(383, 16);
  SetTexts();
  m_layoutReady = 1;
  RECT rc{};
  GetClientRect(&rc);
  LayoutViews(rc.right, rc.bottom);
  return TRUE;
}

void CPreviewChildDlg::SetTexts() {
  m_btnHex.SetWindowText(Lang(u"BrowseHex"));
  m_btnView.SetWindowText(Lang(u"BrowseImg"));
  m_btnClose.SetWindowText(Lang(u"Close"));
  m_btnRecover.SetWindowText(Lang(u"Recover"));
  m_btnOpen.SetWindowText(Lang(u"Open"));
}

void CPreviewChildDlg::LayoutViews(int w, int h) {
  ++m_layouts;
  if (!m_btnHex.m_hWnd) return;
  m_btnHex.MoveWindow(15, 0, 100, 28, TRUE);
  m_btnView.MoveWindow(120, 0, 100, 28, TRUE);
  m_tabRect = RECT{120, 0, 220, 28};
  m_picture.MoveWindow(0, 28, w, h - 68, TRUE);
  m_text.MoveWindow(0, 28, w, h - 68, TRUE);
  m_viewRect = RECT{0, 28, w, h - 40};
  m_note.MoveWindow(5, h - 26, w - 331, 28, TRUE);
  m_btnOpen.MoveWindow(w - 306, h - 33, 82, 28, TRUE);
  m_btnRecover.MoveWindow(w - 204, h - 33, 82, 28, TRUE);
  m_btnClose.MoveWindow(w - 102, h - 33, 82, 28, TRUE);
  m_bBackReady = 0;
}

void CPreviewChildDlg::OnSkinSize(int cx, int cy) {
  if (m_layoutReady) LayoutViews(cx, cy);
}

void CPreviewChildDlg::OnDrawBackground(CDC* dc) {
  CPen frame(PS_SOLID, 1, kFrameColor);
  CPen* old = dc->SelectObject(&frame);
  CBrush* oldBrush = static_cast<CBrush*>(dc->SelectStockObject(NULL_BRUSH));
  dc->Rectangle(&m_viewRect);
  dc->SelectObject(oldBrush);
  CPen white(PS_SOLID, 1, RGB(255, 255, 255));
  dc->SelectObject(&white);
  dc->MoveTo(m_tabRect.left + 1, m_tabRect.bottom);
  dc->LineTo(m_tabRect.right - 1, m_tabRect.bottom);
  dc->SelectObject(old);
}

HBRUSH CPreviewChildDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
  if (ctlColor == CTLCOLOR_DLG || ctlColor == CTLCOLOR_STATIC) return HBRUSH(m_faceBrush.m_hObject);
  return CSkinChildDialog::OnCtlColor(dc, wnd, ctlColor);
}

void CPreviewChildDlg::BuildPreviewInfoText(const FileRecord& rec) {
  const uint32_t ctime = rec.ctime, mtime = rec.mtime;
  const uint64_t size = rec.size;
  m_factsText = Lang(u"FileBigName") + u": " + RecordNameText(&rec) + u"\r\n" + Lang(u"CreateBigTime") + u": " +
                PackedTimeToText(ctime) + u"\r\n" + Lang(u"FixBigTime") + u": " + PackedTimeToText(mtime) + u"\r\n" +
                Lang(u"FileBigSize") + u": " + FormatByteSize(size) + u"\r\n";
}

CString CPreviewChildDlg::ExtraText() const {
  CString text;
  if (!m_extra) return text;
  // The worker's text is UTF-16 with a terminator; a copy without one ends at its length.
  const uint32_t units = m_extraLength / 2;
  for (uint32_t i = 0; i < units; ++i) {
    const char16_t c = char16_t(m_extra[2 * i] | (m_extra[2 * i + 1] << 8));
    if (c == 0) break;
    text += c;
  }
  return text;
}

void CPreviewChildDlg::ShowPreview() {
  const PreviewKind kind = PreviewViewOf(m_code);
  if (kind == PreviewKind::kPicture) {
    m_picture.m_caption = Lang(u"ClickBelowRecoverButton") + u"\r\n" + m_factsText;
    m_picture.LoadImage(m_head, m_headLength, m_request.type);
  } else if (kind == PreviewKind::kText) {
    m_viewText = m_factsText + Lang(u"ClickBelowRecoverButton") + u"\r\n\r\n" + ExtraText();
    m_text.SetWindowText(m_viewText);
  } else {
    m_viewText = m_factsText;
    if (GetBaseCfg(u"Brand") != CString(u"Virelmo")) m_viewText += Lang(u"MustClickRecoverButton");
    m_viewText += u"\r\n";
    m_code = kPreviewTextCode;
    m_text.SetWindowText(m_viewText);
  }
  if (kind == PreviewKind::kPicture) {
    m_picture.ShowWindow(SW_SHOW);
    m_btnView.ShowWindow(SW_SHOW);
    m_btnView.SetWindowText(Lang(u"BrowseImg"));
  } else {
    m_btnView.ShowWindow(SW_SHOW);
    m_btnView.SetWindowText(Lang(u"BrowseText"));
    m_text.m_topJoined = 2;
    m_text.ShowWindow(SW_SHOW);
    m_picture.ShowWindow(SW_HIDE);
  }
  RefreshViews();
  if (kind == PreviewKind::kPicture) m_text.ShowWindow(SW_HIDE);
}

void CPreviewChildDlg::RefreshViews() {
  Invalidate(TRUE);
  m_btnView.Invalidate(TRUE);
  m_text.ShowWindow(SW_HIDE);
  m_text.ShowWindow(SW_SHOW);
  m_picture.Invalidate(TRUE);
}

void CPreviewChildDlg::OnBnClickedHex() {
  m_text.SetWindowText(m_hexText);
  m_text.m_topJoined = 1;
  m_picture.ShowWindow(SW_HIDE);
  RefreshViews();
}

void CPreviewChildDlg::OnBnClickedImage() {
  const PreviewKind kind = PreviewViewOf(m_code);
  if (kind == PreviewKind::kPicture) {
    m_picture.ShowWindow(SW_SHOW);
    ::SetWindowPos(m_picture.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  } else {
    m_text.SetWindowText(m_viewText);
    m_text.m_topJoined = 2;
  }
  RefreshViews();
  if (kind == PreviewKind::kPicture) m_text.ShowWindow(SW_HIDE);
}

void CPreviewChildDlg::OnBnClickedClose() {
  if (g_preview && g_preview->m_hWnd && GetParent() == g_preview) g_preview->OnCancel();
  else if (CWnd* top = GetParent()) top->ShowWindow(SW_HIDE);
}

void CPreviewChildDlg::OnBnClickedRecover() {
  if (m_list) RecoverOneItem(*m_list, m_slot, m_id, GetParent());
}

void CPreviewChildDlg::OnBnClickedOpen() {
  if (m_list && !OpenItemViaTempCopy(*m_list, m_slot, m_id, GetParent())) ShowMessageBox(Lang(u"OpenFileFailed"));
}

// ---- CPreviewDlg ----

BEGIN_MESSAGE_MAP(CPreviewDlg, CSkinDialogEx)
ON_MESSAGE(WM_PREVIEW_DATA, OnPreviewData)
ON_WM_TIMER()
ON_WM_CLOSE()
END_MESSAGE_MAP()

CPreviewDlg::CPreviewDlg(VolumeList& list, PreviewService& service)
    : CSkinDialogEx(IDD_PREVIEW), m_list(list), m_service(service) {
  m_pane.m_list = &list;
}

CPreviewDlg::~CPreviewDlg() {
  if (g_preview == this) g_preview = nullptr;
}

BOOL CPreviewDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  CreateSkinFont(u"MenuNom", &m_rowFont);
  for (int i = 0; i < 5; ++i) {
    m_rows[i].SubclassDlgItem(IDC_PREVIEW_WAITING + UINT(i), this);
    CopyFontObject(&m_rowFont, &m_rows[i].m_pFont);
  }
  SetAppIcon();
  SetTitle(Lang(u"Preview"));
  m_btnMenu.ShowWindow(SW_SHOW);
  m_btnMin.ShowWindow(SW_SHOW);
  m_btnMax.ShowWindow(SW_SHOW);
  if (HICON icon = LoadIconW(nullptr, ResourceIdName(128))) {
    SendMessage(WM_SETICON, ICON_BIG, LPARAM(icon));
    SendMessage(WM_SETICON, ICON_SMALL, LPARAM(icon));
  }
  m_bResizable = 1;
  LayoutCaptionButtons();
  m_pane.Create(IDD_PREVIEW_PANE, this);
  // Above the rows: once shown, the pane covers them and the animation.
  ::SetWindowPos(m_pane.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  m_pane.ShowWindow(SW_SHOW);
  m_rows[0].SetText(Lang(u"PreparePreview"));
  m_anim.LoadFromResource(279);
  m_layoutReady = 1;
  LayoutControls();
  return TRUE;
}

void CPreviewDlg::LayoutControls() {
  if (!m_layoutReady || !m_pane.m_hWnd) return;
  RECT rc{};
  GetClientRect(&rc);
  m_pane.MoveWindow(5, 55, rc.right - 10, rc.bottom - 60, TRUE);
}

void CPreviewDlg::OnSkinSize(int, int) { LayoutControls(); }

void CPreviewDlg::OnCancel() {
  // A modeless window: closing hides it, and the same window serves the next preview.
  ShowWindow(SW_HIDE);
}

void CPreviewDlg::OnClose() { OnCancel(); }

void CPreviewDlg::OnTimer(UINT_PTR id) {
  if (id == kPreviewAnimTimer) {
    m_bBackReady = 0;
    InvalidateNoErase();
  }
  Default();
}

void CPreviewDlg::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  if (!m_dataArrived) {
    RECT inner{rc.left + 3, rc.top + 38, rc.right - 3, rc.bottom - 3};
    if (inner.right > inner.left && inner.bottom > inner.top) dc->FillSolidRect(&inner, RGB(255, 255, 255));
  }
  m_frame = (m_frame + 1) % 8;
  if (m_animX == -1) m_animX = std::max(0, int(rc.right - 48) / 2);
  if (!m_anim.m_bEmpty) dc->BitBlt(m_animX, 100, 48, 48, &m_anim, m_frame * 48, 0, SRCCOPY);
}

void CPreviewDlg::ShowFileFacts(const FileRecord& rec) {
  m_dataArrived = 0;
  m_bBackReady = 0;
  InvalidateNoErase();
  SetTimer(kPreviewAnimTimer, 200, nullptr);
  m_pane.ShowWindow(SW_HIDE);
  const uint32_t ctime = rec.ctime, mtime = rec.mtime;
  const uint64_t size = rec.size;
  m_rows[1].SetText(Lang(u"FileBigName") + u": " + RecordNameText(&rec));
  m_rows[3].SetText(Lang(u"CreateBigTime") + u": " + PackedTimeToText(ctime));
  m_rows[4].SetText(Lang(u"FixBigTime") + u": " + PackedTimeToText(mtime));
  m_rows[2].SetText(Lang(u"FileBigSize") + u": " + FormatByteSize(size));
  m_pane.BuildPreviewInfoText(rec);
}

bool CPreviewDlg::PreviewItem(uint32_t slotOrView, uint32_t id) {
  {
    // The record is used only while the guard holds: a reset may free it afterwards.
    VolumeListReadGuard guard(m_list);
    const FileRecord* r = GetItemRecord(m_list, slotOrView, id);
    if (r) {
      if (IsWindowVisible()) m_pane.Invalidate(TRUE);
      CenterOnMainWnd(this, 0, 0);
      ShowFileFacts(*r);
      ShowWindow(SW_SHOWNORMAL);
      ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      m_pane.m_slot = slotOrView;
      m_pane.m_id = id;
      m_service.QueuePreviewRequest(slotOrView, id, *r, kPreviewOpen);
      return true;
    }
  }
  ShowMessageBox(Lang(u"RightClickToPreview"));
  return false;
}

bool CPreviewDlg::PumpMessages() {
  const uint32_t start = GetTickCount();
  for (;;) {
    Sleep(0);
    if (GetTickCount() - start >= m_pumpMs) return true;
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) continue;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CPreviewDlg::OnPreviewData(WPARAM w, LPARAM l) {
  auto* buffer = reinterpret_cast<uint8_t*>(w);
  const auto* request = reinterpret_cast<const PreviewRequest*>(l);
  PumpMessages();
  PreviewBlobView view;
  // The buffer's own lengths are checked against the block before anything is copied out.
  const bool readable = buffer && ReadPreviewBlob(buffer, GetMemSize(buffer), view);
  // Data for an item the window no longer shows (a newer preview started meanwhile) are
  // dropped: they would appear under the new item's facts and buttons.
  const bool current = !request || (request->firstWord == m_pane.m_slot && request->id == m_pane.m_id);
  if (readable && current && m_hWnd && IsWindowVisible()) {
    KillTimer(kPreviewAnimTimer);
    m_bBackReady = 0;
    m_dataArrived = 1;
    InvalidateNoErase();
    m_pane.ShowWindow(SW_SHOW);
    m_pane.FreeCopies();
    if (request) m_pane.m_request = *request;
    const uint32_t old = m_pane.m_code;
    m_pane.m_code = request ? request->type : buffer[0];
    const uint32_t l1 = uint32_t(view.head.size());
    uint32_t l2 = 0;
    std::memcpy(&l2, buffer + 5, 4);
    if (l1) {
      m_pane.m_head = static_cast<uint8_t*>(AllocMem(l1, kHeadAllocTag));
      CopyToMem(m_pane.m_head, view.head.data(), l1, kHeadCopyTag);
      m_pane.m_headLength = l1;
    }
    if (l2) {
      m_pane.m_extra = static_cast<uint8_t*>(AllocMem(l2, kExtraAllocTag));
      CopyToMem(m_pane.m_extra, buffer + kPreviewBlobHeader + l1, l2, kExtraCopyTag);
      m_pane.m_extraLength = l2;
    }
    m_pane.m_hexText.Empty();
    FormatHexDump(m_pane.m_hexText, m_pane.m_head, m_pane.m_headLength);
    if (m_pane.m_code != old) {
      RECT rc{};
      m_pane.GetClientRect(&rc);
      m_pane.LayoutViews(rc.right, rc.bottom);
    }
    m_pane.ShowPreview();
  }
  if (buffer) FreeMem(buffer);
  return 0;
}

// ---- Templates and the application's window ----

void RegisterPreviewTemplates() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
  t.cx = 540;
  t.cy = 349;
  t.title = u"预览";
  const DWORD row = WS_CHILD | WS_VISIBLE | SS_CENTER;
  t.items = {
      {int(IDC_PREVIEW_WAITING), WC_STATIC, row, 0, u"正在准备预览数据，请耐心等待几秒钟！", 64, 110, 405, 14},
      {int(IDC_PREVIEW_NAME), WC_STATIC, row, 0, u"文件名：", 64, 136, 404, 14},
      {int(IDC_PREVIEW_SIZE), WC_STATIC, row, 0, u"文件大小：", 64, 155, 404, 14},
      {int(IDC_PREVIEW_CTIME), WC_STATIC, row, 0, u"创建时间：", 64, 174, 404, 14},
      {int(IDC_PREVIEW_MTIME), WC_STATIC, row, 0, u"修改时间：", 64, 193, 404, 14},
  };
  RegisterDialogTemplate(IDD_PREVIEW, t);

  DlgTemplate p;
  p.style = WS_CHILD;
  p.cx = 467;
  p.cy = 278;
  const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  p.items = {
      {int(IDC_PANE_HEX), WC_BUTTON, button, 0, u"十六进制", 10, 0, 66, 18},
      {int(IDC_PANE_VIEW), WC_BUTTON, button, 0, u"图片", 80, 0, 66, 18},
      {int(IDC_PANE_TEXT), WC_EDIT, WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL, 0, u"", 0, 18,
       467, 230},
      {int(IDC_PANE_PICTURE), WC_STATIC, WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, u"", 0, 18, 467, 230},
      {int(IDC_PANE_NOTE), WC_STATIC, WS_CHILD | WS_VISIBLE, 0, u"", 3, 260, 250, 18},
      {int(IDC_PANE_OPEN), WC_BUTTON, button & ~WS_VISIBLE, 0, u"打开", 270, 256, 54, 18},
      {int(IDC_PANE_RECOVER), WC_BUTTON, button, 0, u"恢复", 336, 256, 54, 18},
      {int(IDC_PANE_CLOSE), WC_BUTTON, button, 0, u"关闭", 400, 256, 54, 18},
  };
  RegisterDialogTemplate(IDD_PREVIEW_PANE, p);
}

CPreviewDlg* CreatePreviewWindow(VolumeList& list, PreviewService& service) {
  if (g_preview) return g_preview;
  RegisterPreviewTemplates();
  auto* dlg = new CPreviewDlg(list, service);
  if (!dlg->Create(IDD_PREVIEW, nullptr)) {
    delete dlg;
    return nullptr;
  }
  dlg->ShowWindow(SW_HIDE);
  g_preview = dlg;
  service.SetPreviewWindow(dlg->m_hWnd);
  return dlg;
}

void DestroyPreviewWindow() {
  CPreviewDlg* dlg = g_preview;
  if (!dlg) return;
  dlg->m_service.SetPreviewWindow(nullptr);
  g_preview = nullptr;
  if (dlg->m_hWnd) dlg->DestroyWindow();
  delete dlg;
}

CPreviewDlg* ThePreviewWindow() { return g_preview; }

bool PreviewItem(uint32_t slotOrView, uint32_t id) {
  if (!g_preview || !g_preview->m_hWnd) return false;
  return g_preview->PreviewItem(slotOrView, id);
}
