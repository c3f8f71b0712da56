// The class library's file dialog: the chosen path and its parts, or IDCANCEL.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/afx/afxfiledlg.h"
#include "platform/fileio.h"

namespace {

TEST(FileDialog, AChosenFileAndACancel) {
  const std::string dir = ::testing::TempDir() + "afx_file_dialog_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/card.IMG") << "image";
  const CString answer = FromHostPath(dir + "/card.IMG");
  PushPickerAnswerForTest(&answer);
  CFileDialog open(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr, nullptr);
  ASSERT_EQ(open.DoModal(), IDOK);
  EXPECT_EQ(open.GetPathName(), answer);
  EXPECT_EQ(open.GetFileName(), CString(u"card.IMG"));
  EXPECT_EQ(open.GetFileExt(), CString(u"IMG"));
  // A save dialog: a new file, named with the default extension.
  const CString newName = FromHostPath(dir + "/new");
  PushPickerAnswerForTest(&newName);
  CFileDialog save(FALSE, u"QZD", u"start", OFN_HIDEREADONLY, u"Images(*.QZD)|*.QZD||");
  ASSERT_EQ(save.DoModal(), IDOK);
  EXPECT_EQ(save.GetPathName(), FromHostPath(dir + "/new.QZD"));
  EXPECT_EQ(save.GetFileExt(), CString(u"QZD"));
  PushPickerAnswerForTest(nullptr);
  CFileDialog cancelled(TRUE);
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
  EXPECT_TRUE(cancelled.GetPathName().IsEmpty());
}

}  // namespace
