// The main window's timers, device-interface notifications and the scan threads' messages.
#include "app/edition.h"
#include "app/onlinecfg.h"
#include "app/settings.h"
#include "base/textutil.h"
#include "core/volumecontext.h"
#include "dialogs/mainwnd.h"
#include "dialogs/supportdlg.h"
#include "platform/hooks.h"

int32_t StartupTicks = 0;

bool IsUsbStorageInterfacePath(const CString& path) {
  // Paths of fewer than four characters have no "\\?\" to skip.
  if (path.GetLength() < 4) return false;
  CString rest = path.Mid(4);
  const int hash = rest.ReverseFind(u'#');
  if (hash < 0) return false;
  rest = rest.Left(hash);
  rest.Replace(u"#", u"\\");
  rest.MakeUpper();
  const int slash = rest.Find(u'\\');
  const CString first = slash < 0 ? CString() : rest.Left(slash);
  return first == CString(u"USBSTOR");
}

void CKestrelDlg::OnTimer(UINT_PTR id) {
  if (id == kStartupTimer) {
    switch (++StartupTicks) {
      case 1:
        if (IsSoftCfgOn(u"ShowDev") && m_devSel.m_devWnd.m_hWnd) m_devSel.m_devWnd.Invalidate(TRUE);
        UpdateRunInfo(1);
        // Only a window still above everything drops that: an ordinary window would be raised
        // by it, over a dialog of its own that is open by then (a message box, a web page).
        if (GetExStyle() & WS_EX_TOPMOST) {
          ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        if (IsHouseBrand() && ReportLastRunFailed()) {
          CSupporterDlg dlg(this);
          dlg.DoModal();
        }
        break;
      case 10:
        ShowUpdateNotice();
        break;
      case 60:
        ShowAdvert();
        break;
      case 120:
        KillTimer(kStartupTimer);
        break;
      default:
        break;
    }
  } else if (id == kUsbArrivedTimer) {
    KillTimer(kUsbArrivedTimer);
    m_devSel.OnUsbArrived();
  } else if (id == kUsbRemovedTimer) {
    KillTimer(kUsbRemovedTimer);
    if (m_devSel.m_shown) m_devSel.RefreshDeviceList();
    else m_devSel.m_refreshNeeded = 1;
  }
  Default();
}

void CKestrelDlg::ShowAdvert() {
  const CString advert = GetSoftCfg(u"Advert");
  CString text, link;
  if (!SplitAtStar(advert, text, link)) return;
  m_link.SetWindowText(text);
  m_link.ShowWindow(SW_SHOW);
}

BOOL CKestrelDlg::OnDeviceChange(UINT event, DWORD_PTR data) {
  if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || !data) return 0;
  const auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (hdr->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return 0;
  const auto* rec = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data);
  // The name runs to its terminator inside the record the sender sized.
  const size_t head = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  if (rec->dbcc_size < head) return 0;
  const size_t maxChars = (rec->dbcc_size - head) / sizeof(WCHAR);
  size_t n = 0;
  while (n < maxChars && rec->dbcc_name[n]) ++n;
  const CString path(std::u16string_view(rec->dbcc_name, n));
  if (!IsUsbStorageInterfacePath(path)) return 0;
  SetTimer(event == DBT_DEVICEARRIVAL ? kUsbArrivedTimer : kUsbRemovedTimer, 1000, nullptr);
  return 0;
}

LRESULT CKestrelDlg::OnScanFinishing(WPARAM, LPARAM) {
  m_resultView.DisableResultPanes();
  return 0;
}

LRESULT CKestrelDlg::OnScanFinished(WPARAM, LPARAM) {
  m_resultView.OnScanFinished();
  return 0;
}

LRESULT CKestrelDlg::OnResultsReady(WPARAM, LPARAM) {
  if (m_resultView.m_layoutState != 2) m_resultView.SetLayoutState(2);
  return 0;
}

LRESULT CKestrelDlg::OnDeviceLost(WPARAM, LPARAM) {
  m_resultView.m_scanProgress.PauseScan();
  const CString text = ScanTarget().name + u" " + GetLangStr(u"UsbNeedRetry");
  if (ShowMessageBox(text, GetLangStr(u"Retry"), GetLangStr(u"Cancel"))) m_resultView.m_scanProgress.ResumeScan();
  else m_resultView.m_scanProgress.m_waitingForDevice = 1;
  return 0;
}
