// What the recovery dialog tests share: the program's English texts and skin pictures, a plain
// main window as owner, message boxes answered and recorded, and waiting for a popup of the
// main window from a helper thread while the test thread runs a modal loop.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "app/tests/cstring_print.h"
#include "platform/afx/afxwin.h"
#include "platform/hooks.h"
#include "platform/wnd/dialog.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace recovery_test {

inline std::string ShotPath(const char* name) { return std::string(KESTREL_RESULTS_SHOT_DIR) + "/" + name; }

// The program's own English texts, so that what the dialogs show reads as a user sees it.
inline CString ProgramEnglishTexts() {
  namespace fs = std::filesystem;
  std::ifstream in(fs::path(KESTREL_SOURCE_DIR) / "resources/archive/Lang/English.txt");
  std::string line, all;
  while (std::getline(in, line)) all += line + "\r\n";
  return CString(std::string_view(all));
}

struct Boxes {
  std::mutex lock;
  std::vector<CString> texts;
  std::vector<CString> Take() {
    std::lock_guard<std::mutex> g(lock);
    std::vector<CString> out;
    out.swap(texts);
    return out;
  }
};
inline Boxes& TheBoxes() {
  static Boxes& b = *new Boxes();
  return b;
}
inline bool RecordBox(const CString& text, const CString&, const CString&) {
  std::lock_guard<std::mutex> g(TheBoxes().lock);
  TheBoxes().texts.push_back(text);
  return false;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    LoadSettingsForTest(u"Tesmur", u"Pro", EditionValues(), ProgramEnglishTexts());
    LoadSkinArt();
    TheBoxes().Take();
    SetMessageBoxHandler(&RecordBox);
    ASSERT_TRUE(main_.CreateEx(0, nullptr, u"Main", WS_POPUP | WS_VISIBLE, RECT{100, 100, 900, 700}, nullptr, 0));
    app_.m_pMainWnd = &main_;
    PumpAll();
  }
  void TearDown() override {
    app_.m_pMainWnd = nullptr;
    main_.DestroyWindow();
    SetMessageBoxHandler(nullptr);
    PumpAll();
  }
  virtual CString EditionValues() const { return u"Default-LocalName: Kestrel Data Recovery\r\n"; }

  // The popup of the main window that shows (and, when a control id is given, holds that
  // control) within the time; null when none did. Safe from a helper thread.
  HWND WaitForPopup(int controlId, std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      HWND p = GetLastActivePopup(main_.m_hWnd);
      if (p && p != main_.m_hWnd && IsWindowVisible(p) && !IsDialogEnded(p) &&
          (controlId == 0 || GetDlgItem(p, controlId) != nullptr))
        return p;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return nullptr;
  }

  CWinApp app_;
  CWnd main_;
};

}  // namespace recovery_test
