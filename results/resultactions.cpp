// What the result view's buttons do beyond layout: the selection summary, Recover, Back, the
// search, the video help page and the report of rebuilt videos at the end of a scan.
#include "app/settings.h"
#include "app/weblink.h"
#include "base/sizetext.h"
#include "core/copyout.h"
#include "core/filefilter.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "dialogs/mainwnd.h"
#include "platform/hooks.h"
#include "results/filterdlg.h"
#include "results/resultview.h"
#include "scanbase/scanrun.h"

namespace {

// Slot 3's folder of photo fragments the carving keeps apart, and the one beside it.
constexpr uint32_t kCanonFragmentFolderId = 201;

bool IsModeValue(int32_t mode) { return mode >= kModeByPath && mode <= kModeByModification; }

// The child count of a named record of slot 3 read straight from its table; 0 when missing.
uint32_t NamedChildCount(const VolumeContext& v, uint32_t id) {
  if (v.idLimit <= id) return 0;
  const FileRecord* r = GetFileRecord(v, id, 1);
  if (!r || r->id != id || (r->flags & kRecUnnamed) || !r->name) return 0;
  return r->childCount;
}

}  // namespace

SelectionSummary CountCheckedFiles(VolumeList& list) {
  SelectionSummary sum;
  VolumeListReadGuard guard(list);
  const uint32_t slots = std::min(list.slotCount, kVolumeSlotMax);
  for (uint32_t s = 0; s < slots; ++s) {
    const VolumeContext& v = list.slots[s];
    for (uint32_t id = 0; id < v.idLimit; ++id) {
      const FileRecord* r = GetFileRecord(v, id, 0);
      if (!r || (r->flags & kRecDirectory) || !(r->flags & (kRecChecked | kRecPartChecked))) continue;
      ++sum.files;
      sum.bytes += r->size;
    }
  }
  return sum;
}

bool CountRebuiltVideos(VolumeList& list, uint32_t& count, uint32_t folderId) {
  count = 0;
  std::vector<uint32_t> children;
  if (!ListVolumeChildren(list, kFindFileSlot, folderId, children, 0)) return false;
  VolumeListReadGuard guard(list);
  for (uint32_t id : children) {
    // In search mode only visible records are found.
    const FileRecord* r = GetItemRecord(list, kFindFileSlot, id);
    if (r && (r->flags & kRecExtentList)) ++count;
  }
  return true;
}

LRESULT CDorivDlg::OnCheckChanged(WPARAM, LPARAM) {
  const SelectionSummary sum = CountCheckedFiles(*m_list);
  if (sum.bytes != 0) {
    m_summary.SetText(FormatCString(GetLangStr(u"SelFileCount").GetString(), sum.files, FormatByteSize(sum.bytes)));
  } else {
    m_summary.SetText(GetLangStr(u"SelAndSave"));
  }
  m_selCount = sum.files;
  m_selBytes = sum.bytes;
  return 0;
}

void CDorivDlg::OnBnClickedRecover() { RecoverCheckedItems(*m_list, m_selCount, m_selBytes); }

void CDorivDlg::OnBnClickedBack() {
  if (ScanRunState.load() == kScanRunning &&
      ShowMessageBox(GetLangStr(u"WaitScanMinute"), GetLangStr(u"Yes"), GetLangStr(u"No"))) {
    return;
  }
  ScanRunState.store(kScanStopped);
  if (auto* main = dynamic_cast<CKestrelDlg*>(GetParent())) {
    CDevSelDlg& devSel = main->m_devSel;
    devSel.ShowWindow(SW_SHOW);
    devSel.m_shown = 1;
    if (devSel.m_refreshNeeded) {
      devSel.m_refreshNeeded = 0;
      devSel.RefreshDeviceList();
    } else {
      devSel.m_devWnd.m_root.Build(devSel.m_targets);
    }
    RECT rc{};
    devSel.GetClientRect(&rc);
    devSel.OnSkinSize(rc.right, rc.bottom);
  }
  ShowResultView(0);
}

void CDorivDlg::OnBnClickedSearch() {
  if (RunFileFilterDialog(this)) ApplySearch();
}

void CDorivDlg::ApplySearch() {
  ParseFileFilterText();
  bool matched = false;
  {
    VolumeListWriteGuard guard(*m_list);
    const uint32_t slots = std::min(m_list->slotCount, kVolumeSlotMax);
    for (uint32_t s = kFindFileSlot; s < slots; ++s) {
      VolumeContext& v = m_list->slots[s];
      for (uint32_t id = 0; id < v.idLimit; ++id) {
        if (FileRecord* r = GetFileRecord(v, id, 0)) MatchFileFilter(r);
      }
      MarkVisibleDirectories(v, kRootId);
      const FileRecord* root = GetFileRecord(v, kRootId, 0);
      matched = matched || (root && (root->flags & kRecVisible));
    }
  }
  if (!matched) {
    ShowMessageBox(GetLangStr(u"NoFileFilter"));
    return;
  }
  const int32_t saved = m_list->mode;
  {
    VolumeListWriteGuard guard(*m_list);
    m_list->mode = kModeSearch;
  }
  std::vector<uint32_t> found;
  ListVisibleVolumeSlots(*m_list, found);
  if (!found.empty()) {
    NotifyVolumeListeners(*m_list, nullptr, WM_VIEW_SEARCHDONE, WPARAM(found.back()), 0);
    SetClassifyMode(kModeSearch);
    return;
  }
  // Only the found-files slot matched: it has no root of its own in the search pane.
  ShowMessageBox(GetLangStr(u"NoFileFilter"));
  if (IsModeValue(saved)) {
    VolumeListWriteGuard guard(*m_list);
    m_list->mode = saved;
  }
}

void CDorivDlg::OnBnClickedVideoHelp() {
  CString address = GetSoftCfg(u"VideoHelp");
  if (address.IsEmpty()) address = GetSoftCfg(u"WEB");
  OpenUrl(address);
}

void CDorivDlg::ReportVideoResults() {
  if (MovFragmentMode) ReportMovRebuild();
  else if (MtsFragmentMode) ReportMtsRebuild();
  else ReportCanonFragments();
}

void CDorivDlg::ReportMovRebuild() {
  ReportRebuiltVideos(kMovVideoFolderId, u"Rebuild mov: %u", u"成功重组%u个视频文件！");
}

void CDorivDlg::ReportMtsRebuild() {
  ReportRebuiltVideos(kMtsVideoFolderId, u"Rebuild mts: %u", u"成功重组%u个MTS视频文件！");
}

void CDorivDlg::ReportRebuiltVideos(uint32_t folderId, const char16_t* reportFormat, const char16_t* messageFormat) {
  uint32_t count = 0;
  if (!CountRebuiltVideos(*m_list, count, folderId) || count == 0) return;
  SendEventReport(26, FormatCString(reportFormat, count), true);
  bool folder = false;
  {
    VolumeListReadGuard guard(*m_list);
    const FileRecord* r = GetItemRecord(*m_list, kFindFileSlot, folderId);
    folder = r && (r->flags & kRecDirectory) && m_list->slotCount > kFindFileSlot;
  }
  if (folder) NotifyVolumeListeners(*m_list, nullptr, WM_VIEW_OPENFOLDER, kFindFileSlot, folderId);
  ShowMessageBox(FormatCString(messageFormat, count));
}

void CDorivDlg::ReportCanonFragments() {
  uint32_t b = 0, c = 0;
  {
    VolumeListReadGuard guard(*m_list);
    if (m_list->slotCount <= kFindFileSlot) return;
    const VolumeContext& v = m_list->slots[kFindFileSlot];
    if (v.idLimit <= kCanonFragmentFolderId) return;
    b = NamedChildCount(v, kCanonFragmentFolderId);
    if (b == 0) return;
    c = b + NamedChildCount(v, kMovVideoFolderId);
  }
  if (b >= 4 && b >= c / 2) SendEventReport(25, FormatCString(u"Find Canon fragment: %u / %u", b, c), true);
}
