#include <gtest/gtest.h>

#include "platform/hooks.h"

namespace {

CString g_lastText;
bool ScriptedYes(const CString& text, const CString&, const CString&) {
  g_lastText = text;
  return true;
}

void ReportThenReturn(int, const CString& message) { fprintf(stderr, "reported:%s\n", message.ToUtf8().c_str()); }

TEST(Hooks, MessageBoxIsAnsweredByTheInstalledHandler) {
  EXPECT_FALSE(ShowMessageBox(u"no handler"));
  SetMessageBoxHandler(&ScriptedYes);
  EXPECT_TRUE(ShowMessageBox(u"question", u"Yes", u"No"));
  EXPECT_EQ(g_lastText, CString(u"question"));
  SetMessageBoxHandler(nullptr);
}

TEST(HooksDeathTest, ExitOnExceptionReportsThenEndsWithTheCode) {
  EXPECT_EXIT(
      {
        SetExitReportHandler(&ReportThenReturn);
        ExitOnException(3, u"Dev size failed!");
      },
      ::testing::ExitedWithCode(3), "reported:Dev size failed!");
}

TEST(Hooks, LanguageAndShellFallbacksAreEmpty) {
  EXPECT_TRUE(LookupLangText(u"Retry").IsEmpty());
  EXPECT_FALSE(ShellOpen(u"/tmp"));
}

}  // namespace
