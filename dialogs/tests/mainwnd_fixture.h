// The main window made modeless on the test thread, with the program's settings, pictures and
// templates, scripted message boxes, and recorders for event reports and opened addresses.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "dialogs/mainwnd.h"
#include "dialogs/messagedlg.h"
#include "platform/hooks.h"
// The registry store of the run (platform/registry.h clashes with the storage layer's codes).
void SetRegistryRootOverride(const CString& dir);
#include "skin/splash.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace mainwnd_test {

struct Recorded {
  std::vector<std::pair<unsigned, CString>> reports;
  std::vector<CString> opened;
  std::vector<CString> boxes;
  std::atomic<int> answer{1};
};
inline Recorded& Rec() {
  static Recorded r;
  return r;
}
inline void RecordReport(unsigned code, const CString& text, bool) { Rec().reports.push_back({code, text}); }
inline bool RecordOpen(const CString& target) {
  Rec().opened.push_back(target);
  return true;
}
inline bool ScriptedBox(const CString& text, const CString&, const CString&) {
  Rec().boxes.push_back(text);
  return Rec().answer.load() != 0;
}

inline const char16_t* DefaultVerCfg() {
  return u"Default-LocalName: Kestrel Data Recovery\r\nDefault-Web: http://127.0.0.1/\r\nDefault-NewMenu: 1\r\n"
         u"Default-ShowDev: 0\r\nDefault-ShowServeQQ: 0\r\nDefault-Splash: 0\r\nDefault-Company: Kestrel\r\n";
}
inline const char16_t* DefaultLang() {
  return u"SureQuit: Quit?\r\nExit: Exit\r\nCancel: Cancel\r\nWebsite: Website\r\nVersion: Ver\r\n"
         u"UsbNeedRetry: is gone.\r\nRetry: Retry\r\nAbout: About\r\nSoftHelp: Help\r\nQuestion: Questions\r\n"
         u"AboutUs: About us\r\nOK: OK\r\nMessage: Message\r\nRecoverOK: Recovery finished\r\n"
         u"RecoverEnd: Recovery finished!\r\nGoRecoveryFolder: Open folder\r\nClose: Close\r\n";
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1920, 1080);
    char tmpl[] = "/tmp/kestrel-mainwnd-XXXXXX";
    regRoot_ = mkdtemp(tmpl);
    SetRegistryRootOverride(CString(regRoot_.c_str()));
    UseSettings(u"Tesmur", DefaultVerCfg());
    LoadSkinArt();
    RegisterMainWindowTemplates();
    Rec().reports.clear();
    Rec().opened.clear();
    Rec().boxes.clear();
    Rec().answer = 1;
    SetMessageBoxHandler(&ScriptedBox);
    SetEventReportHandler(&RecordReport);
    SetShellOpenHandler(&RecordOpen);
    SplashEnabled = 0;
    StartupTicks = 0;
    UseVirtualMessageClock(true);
  }
  void TearDown() override {
    Close();
    UseVirtualMessageClock(false);
    SetMessageBoxHandler(nullptr);
    SetEventReportHandler(nullptr);
    SetShellOpenHandler(nullptr);
    SetRegistryRootOverride(CString());
    SetScreenSize(1280, 800);
    (void)!system(("rm -rf '" + regRoot_ + "'").c_str());
  }
  static void UseSettings(const CString& brand, const CString& verCfg, const CString& language = u"English") {
    LoadSettingsForTest(brand, u"Pro", verCfg, DefaultLang());
    BaseCfgTable().Set(u"language:", language);
  }
  void Open() {
    dlg_ = std::make_unique<CKestrelDlg>();
    app_.m_pMainWnd = dlg_.get();
    ASSERT_TRUE(dlg_->Create(IDD_MAIN_WINDOW));
    PumpAll();
  }
  void Close() {
    if (dlg_ && dlg_->m_hWnd) dlg_->DestroyWindow();
    app_.m_pMainWnd = nullptr;
    dlg_.reset();
  }
  // Moves the virtual clock on in steps and handles what fell due after each.
  static void Advance(int ms, int step = 100) {
    for (int t = 0; t < ms; t += step) {
      AdvanceVirtualMessageClock(uint64_t(step));
      PumpAll();
    }
  }
  RECT WindowRect() const {
    RECT r{};
    ::GetWindowRect(dlg_->m_hWnd, &r);
    return r;
  }
  RECT ChildRect(CWnd& w) const {
    RECT r{};
    ::GetWindowRect(w.m_hWnd, &r);
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ::ScreenToClient(dlg_->m_hWnd, &tl);
    ::ScreenToClient(dlg_->m_hWnd, &br);
    return RECT{tl.x, tl.y, br.x, br.y};
  }

  CWinApp app_;
  std::unique_ptr<CKestrelDlg> dlg_;
  std::string regRoot_;
};

}  // namespace mainwnd_test
