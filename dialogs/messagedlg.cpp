#include "dialogs/messagedlg.h"

#include "app/settings.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "skin/skinfonts.h"

namespace {

void RegisterTemplate() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  t.cx = 200;
  t.cy = 90;
  t.title = u"Message";
  t.items = {
      {IDOK, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"OK", 40, 66, 50, 16},
      {IDCANCEL, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"Cancel", 110, 66, 50, 16},
  };
  RegisterDialogTemplate(IDD_MESSAGE_BOX, t);
}

bool SkinnedMessageBox(const CString& text, const CString& first, const CString& second) {
  return RunMessageBox(text, first, second) == 1;
}

}  // namespace

MessageBoxLayout ComputeMessageBoxLayout(int w, int h, int lineFeeds, bool twoButtons) {
  MessageBoxLayout l{};
  l.width = w <= 270 ? 300 : w <= 570 ? w + 30 : 600;
  l.lines = w / 570 + 2 + lineFeeds;
  l.text = RECT{15, 50, l.width - 15, 50 + l.lines * h};
  l.height = l.lines * h + 108;
  const int top = l.text.bottom + 15, bottom = l.text.bottom + 43;
  const int half = int(unsigned(l.width) / 2u);
  if (twoButtons) {
    l.first = RECT{half - 97, top, half - 15, bottom};
    l.second = RECT{half + 15, top, half + 97, bottom};
  } else {
    l.second = RECT{half - 41, top, half + 41, bottom};
  }
  return l;
}

CMessageDlg::CMessageDlg(const CString& text, const CString& first, const CString& second)
    : CSkinDialogEx(IDD_MESSAGE_BOX), m_text(text), m_firstCaption(first), m_secondCaption(second) {}

void CMessageDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDOK, m_first);
  DDX_Control(dx, IDCANCEL, m_second);
}

void CMessageDlg::MeasureLayout() {
  // Measured in the font the text is drawn with, so wrapped lines are counted as they show.
  CClientDC dc(this);
  CFont desc;
  CreateSkinFont(u"Desc", &desc);
  ScopedSelect sel(dc.m_hDC, desc.m_hObject);
  m_extent = dc.GetTextExtent(m_text);
  int lineFeeds = 0;
  for (int i = 0; i < m_text.GetLength(); ++i) lineFeeds += m_text[i] == u'\n';
  const bool two = !m_firstCaption.IsEmpty();
  const MessageBoxLayout l = ComputeMessageBoxLayout(m_extent.cx, m_extent.cy, lineFeeds, two);
  m_boxW = l.width;
  m_boxH = l.height;
  m_textRect = l.text;
  m_firstRect = l.first;
  m_secondRect = l.second;
  if (two) {
    m_first.SetWindowText(GetLangStr(u"Yes"));
    m_second.SetWindowText(GetLangStr(u"No"));
  } else {
    m_first.ShowWindow(SW_HIDE);
    m_second.SetWindowText(GetLangStr(u"OK"));
  }
}

BOOL CMessageDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(GetLangStr(u"Message"));
  MeasureLayout();
  if (!m_firstCaption.IsEmpty()) {
    m_first.SetWindowText(m_firstCaption);
    m_second.SetWindowText(m_secondCaption);
  } else {
    m_second.SetWindowText(GetLangStr(u"OK"));
  }
  m_first.MoveWindow(&m_firstRect, TRUE);
  m_second.MoveWindow(&m_secondRect, TRUE);
  SetWindowPos(nullptr, 0, 0, m_boxW, m_boxH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_first.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(SkinMinBtnFont().m_hObject), TRUE);
  m_second.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(SkinMinBtnFont().m_hObject), TRUE);
  if (m_firstCaption.IsEmpty()) {
    // The hidden first button was the first tab stop: the focus goes to the visible one, so
    // Enter answers with it.
    GotoDlgCtrl(&m_second);
    return FALSE;
  }
  return TRUE;
}

void CMessageDlg::OnDrawBackground(CDC* dc) {
  CFont desc;
  CreateSkinFont(u"Desc", &desc);
  ScopedSelect sel(dc->m_hDC, desc.m_hObject);
  RECT rc{};
  GetClientRect(&rc);
  m_textRect.bottom = rc.bottom - 2;
  dc->SetTextColor(RGB(48, 48, 48));
  RECT r = m_textRect;
  dc->DrawText(m_text, &r, DT_WORDBREAK | DT_EDITCONTROL);
}

int RunMessageBox(const CString& text, const CString& first, const CString& second) {
  CString t = text;
  t.Replace(u"\\n", u"\n");
  CMessageDlg dlg(t, first, second);
  return dlg.DoModal() == IDOK ? 1 : 0;
}

void InstallMessageBox() {
  RegisterTemplate();
  SetMessageBoxHandler(&SkinnedMessageBox);
}
