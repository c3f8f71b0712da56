// The main window with the real result view, on the application's VolumeList, with the model
// texts, classification on, a recording listener window and helpers to fill the model.
#pragma once

#include "core/checkstate.h"
#include "core/itemquery.h"
#include "core/tests/volumelistfixture.h"
#include "dialogs/tests/mainwnd_fixture.h"
#include "results/resultview.h"

namespace results_test {

inline const char16_t kResultLang[] =
    u"Name: Name\r\nSize: Size\r\nCreateBigTime: Created\r\nFixBigTime: Modified\r\n"
    u"SelAndSave: Check files and save\r\nSelFileCount: %u files, %s\r\nNoSelFile: No file chosen\r\n"
    u"WaitSortMinute: Sorting %u\r\nSortOK: Sorted\r\nNoFileFilter: Nothing found\r\n"
    u"RecoverDiskData: Disk\r\nRecoverPartData: Partition\r\nWaitScanMinute: Still scanning\r\nYes: Yes\r\nNo: No\r\n"
    u"RightClickToRecover: Pick a file to recover\r\nRightClickToOpen: Pick a file to open\r\n"
    u"RightClickToPreview: Pick a file to preview\r\nRightClickToRename: Pick a file to rename\r\n"
    u"RenameOK: Renamed\r\nRenameFailed: Not renamed\r\nOpenFileFailed: Cannot open\r\n"
    u"SortFilePath: By path\r\nSortFileType: By type\r\nSortCreateTime: By creation\r\nSortFixTime: By change\r\n"
    u"FileSearch: Search\r\nBack: Back\r\nRecover: Recover\r\nVideoHelp: Video help\r\n";

inline const char16_t kResultVerCfg[] = u"Default-Key: 101\r\nDefault-ClassifyFile: 1\r\nDefault-ShowAllFile: 1\r\n";

class ResultViewTest : public mainwnd_test::MainWindowTest {
 protected:
  void SetUp() override {
    InstallResultView();
    MainWindowTest::SetUp();
    LoadSettingsForTest(u"Tesmur", u"Pro",
                        CString(mainwnd_test::DefaultVerCfg()) + kResultVerCfg,
                        CString(mainwnd_test::DefaultLang()) + CString(kViewTestLang) + kResultLang);
    InitFileTypeTables();
    ClassifyAllowed = 1;
    TakeReceived();
    listener_ = MakeListenerWindow();
    AppVolumeList().AddListener(listener_);
    Open();
    view_ = dynamic_cast<CDorivDlg*>(&dlg_->m_resultView);
    ASSERT_NE(view_, nullptr);
    TakeReceived();
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    ClearVolumeList(AppVolumeList());
    DestroyWindow(listener_);
    TakeReceived();
    SetResultViewMaker(ResultViewMaker{});
  }
  VolumeList& List() { return AppVolumeList(); }
  CFdrDlg& Pane(int mode) { return *view_->Pane(mode); }
  CExplorerListCtrl& Details(int mode) { return Pane(mode).m_details; }

  // Resets the model and adds the volume as slot 4, then tells the views the results are there.
  void Publish(VolumeContext v) {
    ResetVolumeList(List(), nullptr, 0);
    ASSERT_TRUE(AddScannedVolume(List(), nullptr, v, 1));
    NotifyVolumeListeners(List(), nullptr, WM_VIEW_RESULTSREADY, kFirstScannedSlot, 0);
    PumpAll();
  }
  // Messages of a kind the recording listener received since the last call.
  std::vector<Received> ReceivedOf(UINT msg) {
    std::vector<Received> out;
    for (const Received& r : TakeReceived())
      if (r.msg == msg && r.hwnd == listener_) out.push_back(r);
    return out;
  }
  std::vector<uint32_t> Ids(int mode) { return Details(mode).m_ids; }
  // The names of the rows, in row order.
  std::vector<CString> RowNames(int mode) {
    std::vector<CString> out;
    for (uint32_t id : Details(mode).m_ids) out.push_back(RecordNameText(GetItemRecord(List(), Details(mode).m_shownKey, id)));
    return out;
  }

  HWND listener_ = nullptr;
  CDorivDlg* view_ = nullptr;
};

// A volume of two folders and a handful of files, some sized, under the root.
inline VolumeContext SampleVolume() {
  return MakeVolume({{10, 5, u"Photos", true},
                     {11, 5, u"Docs", true},
                     {20, 10, u"b.jpg", false, 3000, Day(2021, 3, 4), Day(2022, 1, 1)},
                     {21, 10, u"a.JPG", false, 1024, Day(2020, 5, 6), Day(2020, 5, 7)},
                     {22, 11, u"notes.txt", false, 0, Day(2019, 1, 2), Day(2019, 1, 2)},
                     {23, 5, u"readme", false, 700, Day(2018, 8, 9), Day(2018, 8, 9)}});
}

}  // namespace results_test
