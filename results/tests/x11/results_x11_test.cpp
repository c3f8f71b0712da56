// The result view on a virtual X server: the main window with a volume of a few thousand files,
// the by-path list showing a folder of 2,500, some rows checked, pictured from the screen.
// The model's and windows' headers first: Xlib's macros would spoil them.
#include "results/tests/resultfixture.h"
#include "platform/wnd/tests/x11/x11_test_util.h"

namespace results_test {
namespace {

class ResultViewX11 : public mainwnd_test::MainWindowTest {
 protected:
  void SetUp() override {
    if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
    InstallResultView();
    MainWindowTest::SetUp();
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(SelectBackend("x11"));
    UseVirtualMessageClock(false);
    LoadSettingsForTest(u"Tesmur", u"Pro", CString(mainwnd_test::DefaultVerCfg()) + kResultVerCfg,
                        CString(mainwnd_test::DefaultLang()) + CString(kViewTestLang) + kResultLang);
    InitFileTypeTables();
    ClassifyAllowed = 1;
  }
  void TearDown() override {
    if (server_.dpy()) {
      Close();
      x11test::PumpFor(50);
      SelectBackend("headless");
      server_.Stop();
    }
    MainWindowTest::TearDown();
    ClearVolumeList(AppVolumeList());
    SetResultViewMaker(ResultViewMaker{});
  }
  x11test::XServer server_;
};

// Folders of photos, documents and music; the first holds 2,500 files.
VolumeContext FewThousandFiles() {
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = kVolTypeNtfs;
  v.label = u"Data";
  CreateRootAndLostFolders(v);
  const char16_t* folders[] = {u"Camera", u"Documents", u"Music"};
  const char16_t* exts[] = {u".jpg", u".docx", u".mp3"};
  const uint32_t counts[] = {2500, 700, 400};
  uint32_t id = 100;
  for (uint32_t f = 0; f < 3; ++f) {
    AddFileRecord(v, MakeRecord({10 + f, kRootId, folders[f], kDirInUse}), 1);
    for (uint32_t i = 0; i < counts[f]; ++i, ++id) {
      const CString name = FormatCString(u"%s_%04u%s", f == 0 ? u"IMG" : f == 1 ? u"Report" : u"Track", i, exts[f]);
      FileRecord r = MakeRecord({id, 10 + f, name.GetString(), kRecInUse, 0, Day(2022, 1 + i % 12, 1 + i % 28),
                                 uint64_t(40000 + 3917 * i)});
      r.mtime = Day(2023, 1 + i % 12, 1 + i % 28);
      AddFileRecord(v, r, 1);
    }
  }
  return v;
}

TEST_F(ResultViewX11, FewThousandFilesPictured) {
  Open();
  dlg_->PlaceWindow(1);
  auto* view = dynamic_cast<CDorivDlg*>(&dlg_->m_resultView);
  ASSERT_NE(view, nullptr);
  ScanTarget().name = u"\\\\.\\E:";
  view->SetLayoutState(1);
  view->SetClassifyMode(kModeByPath);
  view->ShowResultView(1);
  ResetVolumeList(AppVolumeList(), nullptr, 0);
  VolumeContext v = FewThousandFiles();
  ASSERT_TRUE(AddScannedVolume(AppVolumeList(), nullptr, v, 1));
  NotifyVolumeListeners(AppVolumeList(), nullptr, WM_VIEW_RESULTSREADY, kFirstScannedSlot, 0);
  dlg_->SendMessage(WM_RESULTS_READY, 0, 0);
  view->OnScanFinished();
  view->OnBnClickedShowDetails();
  ASSERT_TRUE(RequestOpenFolder(AppVolumeList(), nullptr, kFirstScannedSlot, 10));
  for (uint32_t id : {100u, 102u, 103u}) ToggleItemCheck(AppVolumeList(), nullptr, kFirstScannedSlot, id);
  x11test::PumpFor(400);
  CExplorerListCtrl& list = view->Pane(kModeByPath)->m_details;
  EXPECT_EQ(list.GetItemCount(), 2500);
  EXPECT_EQ(view->m_selCount, 3u);
  EXPECT_TRUE(server_.SaveScreen(std::string(KESTREL_RESULTS_SHOT_DIR) + "/results_x11.png"));
}

}  // namespace
}  // namespace results_test
