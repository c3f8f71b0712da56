// The window layer, the skin pictures and the settings of a run, with scripted message boxes
// (their texts recorded, answered from a queue, "no" once it is empty), for the dialogs of the
// results window tested on their own.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "app/settings.h"
#include "platform/hooks.h"
#include "platform/wnd/wnd.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace dlgtest {

struct Boxes {
  std::vector<CString> texts;
  std::vector<CString> firstCaptions;
  std::deque<bool> answers;
};
inline Boxes& Box() {
  static Boxes b;
  return b;
}
inline bool ScriptedBox(const CString& text, const CString& first, const CString&) {
  Box().texts.push_back(text);
  Box().firstCaptions.push_back(first);
  if (Box().answers.empty()) return false;
  const bool a = Box().answers.front();
  Box().answers.pop_front();
  return a;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    UseBrand(u"Tesmur");
    LoadSkinArt();
    Box() = Boxes{};
    SetMessageBoxHandler(&ScriptedBox);
  }
  void TearDown() override { SetMessageBoxHandler(nullptr); }
  // The settings of a run of that brand, with the language texts the dialogs look up.
  static void UseBrand(const CString& brand) {
    LoadSettingsForTest(brand, u"Pro", u"Default-LocalName: Kestrel\r\n",
                        u"OK: OK\r\nCancel: Cancel\r\nYes: Yes\r\nNo: No\r\nInputFileSizeErr: bad size text\r\n"
                        u"FileSizeErr: max below min\r\nFileCreateTimeErr: creation reversed\r\n"
                        u"FileFixTimeErr: modification reversed\r\nFileAccessTimeErr: access reversed\r\n"
                        u"SelScanSave: choose one\r\nLoadSSFNoSave: no data file \r\nLoadSSFNoLocal: no source \r\n"
                        u"LoadSSFNoDev: no device\r\nSureLoadScanSave: resume %s?\r\nSureDelScanSave: delete %s?\r\n"
                        u"DelOK: deleted\r\nDelFailed: not deleted\r\nScanSaveTime: Time\r\nFileSearchSet: Search\r\n"
                        u"InputNameKey: Name keywords\r\nFileBigSize: File size\r\nCreateBigTime: Created\r\n"
                        u"FixBigTime: Modified\r\nRename: Rename\r\nFileBigName: File name\r\n"
                        u"LoadScanSave: Saved scan\r\nDelete: Delete\r\nFix: Move\r\nResume: Resume\r\n"
                        u"RecoveryMode: Mode\r\nPercentScanned: Scanned\r\nReadSuccessRate: Read\r\n"
                        u"DevDesc: Device\r\nSavePath: Data file\r\n");
  }
};

}  // namespace dlgtest
