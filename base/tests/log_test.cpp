#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/fileio.h"

namespace {

std::vector<std::string> g_lines;
void Record(const CString& line) { g_lines.push_back(line.ToUtf8()); }

TEST(Log, EveryPercentReachesTheSinkDoubled) {
  g_lines.clear();
  SetLogSink(&Record);
  WriteLog(u"50% done");
  WriteLog(u"%%d%");
  WriteLog(u"");
  LogSrcLine(u"Pointer error", u"core/volume", 1234);
  WriteLogFmt(u"Scan minute: %u", 7u);
  SetLogSink(nullptr);
  ASSERT_EQ(g_lines.size(), 5u);
  EXPECT_EQ(g_lines[0], "50%% done");
  EXPECT_EQ(g_lines[1], "%%%%d%%");
  EXPECT_EQ(g_lines[2], "");
  EXPECT_EQ(g_lines[3], "Pointer error   core/volume   1234");
  EXPECT_EQ(g_lines[4], "Scan minute: 7");
}

TEST(Log, InsertLogPercentClampsTheIndex) {
  CString s(u"ab");
  InsertLogPercent(s, -5);
  InsertLogPercent(s, 100);
  InsertLogPercent(s, 2);
  EXPECT_EQ(s, CString(u"%a%b%"));
}

TEST(LogDeathTest, FileSinkWritesSinglePercentsBesideTheProgram) {
  char tmpl[] = "/tmp/kestrel-log-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  // In a child, so the process-wide sink state of other tests is untouched.
  EXPECT_EXIT(
      {
        SetProgramDirOverride(FromHostPath(tmpl));
        WriteLog(u"100% sure");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  std::ifstream in(std::string(tmpl) + "/Kestrel.log");
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_NE(ss.str().find("100% sure\n"), std::string::npos) << ss.str();
  std::system((std::string("rm -rf ") + tmpl).c_str());
}

}  // namespace
