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
  PushPickerAnswerForTest(nullptr);
  CFileDialog cancelled(TRUE);
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
  EXPECT_TRUE(cancelled.GetPathName().IsEmpty());
}

}  // namespace
