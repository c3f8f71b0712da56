// The folder picker and the file-open dialog: scripted answers (relative ones taken from the
// folder shown, refused ones ending the dialog instead of waiting), and the dialog driven by
// input like a user: going into a folder by a double click, making a new folder, OK. The
// folder picker's picture is picker_folder.png next to the test program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/comobj.h"
#include "platform/fileio.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/commdlg.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/shellapi.h"
#include "platform/wnd/tests/wnd_test_util.h"

#ifndef KESTREL_WND_SHOT_DIR
#define KESTREL_WND_SHOT_DIR "."
#endif

namespace {

class PickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    if (const char* h = std::getenv("HOME")) home_ = h;
    base_ = ::testing::TempDir() + "pickerhome_" + std::to_string(getpid());
    std::filesystem::remove_all(base_);
    for (const char* d : {"/Alpha/inner", "/beta", "/with space", "/.hidden"}) std::filesystem::create_directories(base_ + d);
    std::ofstream(base_ + "/beta/disk.img") << "image";
    std::ofstream(base_ + "/notes.txt") << "x";
    setenv("HOME", base_.c_str(), 1);
  }
  void TearDown() override {
    if (home_) setenv("HOME", home_->c_str(), 1);
    else unsetenv("HOME");
  }
  // The folder picker with one scripted answer (null: Cancel); the chosen path or nothing.
  std::optional<CString> PickFolder(const CString* answer, CString* displayName = nullptr) {
    PushPickerAnswerForTest(answer);
    char16_t name[MAX_PATH] = u"untouched";
    BROWSEINFOW bi{};
    bi.lpszTitle = u"Choose the folder to scan";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.pszDisplayName = name;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&bi);
    EXPECT_EQ(OpenPickerForTest(), nullptr);
    if (!item) return std::nullopt;
    char16_t path[MAX_PATH];
    EXPECT_TRUE(SHGetPathFromIDListW(item, path));
    CoTaskMemFree(item);
    if (displayName) *displayName = name;
    return CString(path);
  }
  CString Base(const std::string& rest = "") { return FromHostPath(base_ + rest); }

  std::optional<std::string> home_;
  std::string base_;
};

TEST_F(PickerTest, ScriptedFolderAnswers) {
  struct Case {
    const char16_t* answer;  // null: Cancel
    std::string chosen;      // empty: nothing chosen
    const char16_t* refusal;
  };
  // A folder whose path is longer than MAX_PATH characters (names are at most 255 bytes).
  const std::string deep = "/" + std::string(200, 'n') + "/" + std::string(200, 'm');
  const CString tooLong = Base(deep);
  std::filesystem::create_directories(base_ + deep);
  const Case cases[] = {
      {u"Alpha", "/Alpha", nullptr},  // relative to the home folder, where it starts
      {u"beta/../with space/", "/with space", nullptr},
      {u"./Alpha//inner", "/Alpha/inner", nullptr},
      {nullptr, "", nullptr},
      {u"missing", "", u"The folder does not exist."},
      {u"notes.txt", "", u"The folder does not exist."},
      {u"", "", u"Type or choose a folder."},
      {tooLong.GetString(), "", u"The path is too long."},
  };
  for (const Case& c : cases) {
    const CString answer = c.answer ? CString(c.answer) : CString();
    CString name;
    const std::optional<CString> got = PickFolder(c.answer ? &answer : nullptr, &name);
    const std::string label = c.answer ? CString(c.answer).ToUtf8() : "(cancel)";
    if (c.chosen.empty()) {
      EXPECT_FALSE(got) << label;
    } else {
      ASSERT_TRUE(got) << label;
      EXPECT_EQ(*got, Base(c.chosen)) << label;
      EXPECT_EQ(name, FromHostPath(c.chosen.substr(c.chosen.rfind('/') + 1))) << label;
    }
    if (c.refusal) {
      EXPECT_EQ(LastPickerRefusalForTest(), CString(c.refusal)) << label;
    }
  }
  const CString absolute = Base("/beta");
  EXPECT_EQ(PickFolder(&absolute).value_or(u""), absolute);
  EXPECT_EQ(SHBrowseForFolderW(nullptr), nullptr);
  EXPECT_FALSE(SHGetPathFromIDListW(nullptr, nullptr));
}

TEST_F(PickerTest, ScriptedFileAnswers) {
  auto open = [&](const CString* answer, DWORD flags, DWORD maxFile, OPENFILENAMEW* out) {
    PushPickerAnswerForTest(answer);
    static char16_t file[MAX_PATH];
    static char16_t title[MAX_PATH];
    file[0] = title[0] = 0;
    *out = OPENFILENAMEW{};
    out->lStructSize = sizeof(OPENFILENAMEW);
    out->lpstrFile = file;
    out->nMaxFile = maxFile;
    out->lpstrFileTitle = title;
    out->nMaxFileTitle = MAX_PATH;
    const CString dir = Base("/beta");
    out->lpstrInitialDir = dir.GetString();
    out->Flags = flags;
    return GetOpenFileNameW(out);
  };
  OPENFILENAMEW ofn{};
  const CString rel = u"disk.img";
  ASSERT_TRUE(open(&rel, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, MAX_PATH, &ofn));
  const CString chosen(ofn.lpstrFile);
  EXPECT_EQ(chosen, Base("/beta/disk.img"));
  EXPECT_EQ(chosen.Mid(ofn.nFileOffset), CString(u"disk.img"));
  EXPECT_EQ(chosen.Mid(ofn.nFileExtension), CString(u"img"));
  EXPECT_EQ(CString(ofn.lpstrFileTitle), CString(u"disk.img"));
  // A file that is not there is the caller's to refuse, unless it must exist; its folder must.
  const CString missing = u"../Alpha/new.img";
  ASSERT_TRUE(open(&missing, OFN_HIDEREADONLY, MAX_PATH, &ofn));
  EXPECT_EQ(CString(ofn.lpstrFile), Base("/Alpha/new.img"));
  EXPECT_FALSE(open(&missing, OFN_FILEMUSTEXIST, MAX_PATH, &ofn));
  EXPECT_EQ(LastPickerRefusalForTest(), CString(u"The file does not exist."));
  const CString noFolder = u"nowhere/x.img";
  EXPECT_FALSE(open(&noFolder, 0, MAX_PATH, &ofn));
  EXPECT_EQ(LastPickerRefusalForTest(), CString(u"The folder does not exist."));
  EXPECT_FALSE(open(&rel, 0, 8, &ofn));  // the caller's buffer is too small for the path
  EXPECT_EQ(LastPickerRefusalForTest(), CString(u"The path is too long."));
  // A folder's name goes into the folder; with no second answer the dialog ends cancelled.
  const CString folder = u"..";
  EXPECT_FALSE(open(&folder, 0, MAX_PATH, &ofn));
  EXPECT_FALSE(open(nullptr, 0, MAX_PATH, &ofn));
  EXPECT_FALSE(GetOpenFileNameW(nullptr));
}

TEST_F(PickerTest, AUserGoesIntoAFolderMakesANewOneAndTakesIt) {
  constexpr UINT kDrive = WM_APP + 7;
  static std::string s_shot;
  s_shot = std::string(KESTREL_WND_SHOT_DIR) + "/picker_folder.png";
  HWND owner = MakeWindow(WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, 0,
                          [](HWND, UINT msg, WPARAM, LPARAM, LRESULT*) {
                            if (msg != kDrive) return false;
                            HWND dlg = OpenPickerForTest();
                            EXPECT_NE(dlg, nullptr);
                            if (!dlg) return true;
                            HWND list = GetDlgItem(dlg, 102);
                            // Folders only, sorted without case, hidden ones left out, ".." first.
                            EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
                            char16_t text[64];
                            LVITEMW item{};
                            item.pszText = text;
                            item.cchTextMax = 64;
                            SendMessageW(list, LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&item));
                            EXPECT_EQ(CString(text), CString(u"Alpha/"));
                            UpdateWindow(dlg);
                            SaveWindowPng(dlg, s_shot);
                            // A double click on "Alpha/" goes into it.
                            RECT r{LVIR_LABEL, 0, 0, 0};
                            SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
                            const POINT p = At(list, r.left + 5, (r.top + r.bottom) / 2);
                            InjectMouseMove(p.x, p.y);
                            for (int i = 0; i < 2; ++i) {
                              InjectMouseButton(0, true, p.x, p.y);
                              InjectMouseButton(0, false, p.x, p.y);
                            }
                            Pump();
                            EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);  // "..", "inner/"
                            // Make New Folder, then OK takes it.
                            RECT b{};
                            GetClientRect(GetDlgItem(dlg, 106), &b);
                            Click(GetDlgItem(dlg, 106), b.right / 2, b.bottom / 2);
                            Pump();
                            RECT ok{};
                            GetClientRect(GetDlgItem(dlg, IDOK), &ok);
                            Click(GetDlgItem(dlg, IDOK), ok.right / 2, ok.bottom / 2);
                            return true;
                          });
  PostMessageW(owner, kDrive, 0, 0);
  BROWSEINFOW bi{};
  bi.hwndOwner = owner;
  bi.lpszTitle = u"Choose the folder to save the recovered files in";
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&bi);
  ASSERT_NE(item, nullptr);
  char16_t path[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListW(item, path));
  CoTaskMemFree(item);
  EXPECT_EQ(CString(path), Base("/Alpha/New Folder"));
  EXPECT_TRUE(std::filesystem::is_directory(base_ + "/Alpha/New Folder"));
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

}  // namespace
