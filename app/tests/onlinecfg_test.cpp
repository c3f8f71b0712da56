#include "app/onlinecfg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/tests/cstring_print.h"
#include "app/tests/loopback_http.h"
#include "app/tests/loopback_listener.h"
#include "base/log.h"
#include "platform/hooks.h"

namespace {

const bool kNoProxy = setenv("no_proxy", "127.0.0.1,localhost", 1) == 0 && setenv("NO_PROXY", "127.0.0.1,localhost", 1) == 0;

std::vector<DWORD> g_sleeps;
void RecordSleep(DWORD ms) { g_sleeps.push_back(ms); }

std::vector<CString> g_shown;
bool RecordBox(const CString& text, const CString&, const CString&) {
  g_shown.push_back(text);
  return true;
}
std::vector<CString> g_opened;
bool RecordOpen(const CString& target) {
  g_opened.push_back(target);
  return true;
}
std::vector<CString> g_log;
void RecordLog(const CString& line) { g_log.push_back(line); }

// The download's bytes: UTF-16LE, with or without a byte-order mark.
std::string Utf16Body(const std::u16string& text, bool bom = true) {
  std::string out;
  if (bom) out += "\xFF\xFE";
  for (char16_t u : text) {
    out += char(u & 0xFF);
    out += char(u >> 8);
  }
  return out;
}

const char16_t kVerCfg[] =
    u"Default-Advert: archive advert\r\n"
    u"Default-NeedUpdate:\r\n"
    u"Default-MustUpdate:\r\n";

class OnlineCfgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kNoProxy);
    LoadSettingsForTest(u"Tesmur", u"Pro", kVerCfg, u"");
    ClearOnlineCfgForTest();
    g_sleeps.clear();
    g_shown.clear();
    g_opened.clear();
    g_log.clear();
    SetOnlineCfgTimingForTest(&RecordSleep, 0);
    SetMessageBoxHandler(&RecordBox);
    SetShellOpenHandler(&RecordOpen);
  }
  void TearDown() override {
    SetOnlineCfgTimingForTest(nullptr, 0);
    SetMessageBoxHandler(nullptr);
    SetShellOpenHandler(nullptr);
    SetLogSink(nullptr);
    ClearOnlineCfgForTest();
  }
  static void SetWebParam(const std::string& url) { SoftCfgTable().Set(u"Default-WebParam:", CString(url.c_str())); }
};

TEST(OnlineCfgParse, UpdateNoticeValues) {
  struct Case {
    const char16_t* value;
    bool ok;
    const char16_t* message;
    const char16_t* link;
  };
  const Case cases[] = {
      {u"6649*New build*http://127.0.0.1/get", true, u"New build", u"http://127.0.0.1/get"},
      {u"6648*Same build*http://127.0.0.1/", false, u"", u""},
      {u"07000*Leading zero*l", true, u"Leading zero", u"l"},
      // A number too large for any counter is still just a later build.
      {u"184467440737095516160*Huge*l", true, u"Huge", u"l"},
      // A sign, a blank or other text in the build announces nothing.
      {u"-1*Minus*l", false, u"", u""},
      {u"+6649*Plus*l", false, u"", u""},
      {u" 6649*Blank*l", false, u"", u""},
      {u"66a49*Text*l", false, u"", u""},
      {u"*No build*l", false, u"", u""},
      // Both texts are needed; the link keeps any further '*'.
      {u"6649*Message only*", false, u"", u""},
      {u"6649**l", false, u"", u""},
      {u"6649", false, u"", u""},
      {u"6649*m*l*x", true, u"m", u"l*x"},
  };
  for (const Case& c : cases) {
    CString message = u"stale", link = u"stale";
    EXPECT_EQ(ParseUpdateNotice(c.value, message, link), c.ok) << CString(c.value).ToUtf8();
    EXPECT_EQ(message, CString(c.message)) << CString(c.value).ToUtf8();
    EXPECT_EQ(link, CString(c.link)) << CString(c.value).ToUtf8();
  }
}

TEST(OnlineCfgParse, Paragraphs) {
  struct Case {
    const char16_t* text;
    std::vector<CString> want;
  };
  const Case cases[] = {
      {u"<p>a</p><p> b </p>", {u"a", u" b "}},
      {u"head<p>a</p>between<p>b</p>tail", {u"a", u"b"}},
      {u"<p>a</p><p>unfinished", {u"a"}},
      {u"<p></p><p>x\r\ny</p>", {u"", u"x\r\ny"}},
      {u"<p><p>inner</p></p>", {u"<p>inner"}},
      {u"no paragraphs", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitParagraphs(c.text), c.want) << CString(c.text).ToUtf8();
}

TEST_F(OnlineCfgTest, ParagraphsReplaceEditionValuesLinksAndNotices) {
  ApplyOnlineCfg(
      u"<html><p>Default-Advert: online advert</p>\r\n"
      u"<p> Default-ProDown: not applied</p>"
      u"<p>Pro-SoftDown: http://127.0.0.1/pro</p>"
      u"<p>Other-SoftDown: http://127.0.0.1/other</p>"
      u"<p>Default-Link2: Forum*http://127.0.0.1/forum</p>"
      u"<p>Default-Link4: Mail us</p>"
      u"<p>Default-NeedUpdate: 6700*Offered*http://127.0.0.1/need</p>"
      u"<p>Default-MustUpdate: 6701*Required*http://127.0.0.1/must</p></html>",
      u"Pro");
  EXPECT_EQ(GetSoftCfg(u"Advert"), CString(u"online advert"));
  // A blank before the prefix matches nothing.
  EXPECT_EQ(GetSoftCfg(u"ProDown"), CString());
  // Lines for this version apply, lines for another version are kept but not seen.
  EXPECT_EQ(GetSoftCfg(u"SoftDown"), CString(u"http://127.0.0.1/pro"));

  const auto links = GetLinkListCopy();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].text, CString(u"Forum"));
  EXPECT_EQ(links[0].address, CString(u"http://127.0.0.1/forum"));
  EXPECT_EQ(links[1].text, CString(u"Mail us"));
  EXPECT_EQ(links[1].address, CString());

  // With both announcements valid only the required one is kept; a later, lower one does not
  // replace it.
  UpdateNoticeInfo n = GetUpdateNoticeCopy();
  EXPECT_EQ(n.level, 3u);
  EXPECT_EQ(n.message, CString(u"Required"));
  EXPECT_EQ(n.link, CString(u"http://127.0.0.1/must"));
  SetUpdateNotice(2, u"later", u"http://127.0.0.1/");
  EXPECT_EQ(GetUpdateNoticeCopy().message, CString(u"Required"));
}

TEST_F(OnlineCfgTest, OnlyAnOfferedUpdateGivesLevelTwo) {
  ApplyOnlineCfg(u"<p>Default-NeedUpdate: 6649*Offered*http://127.0.0.1/need</p>"
                 u"<p>Default-MustUpdate: -5*Bad*http://127.0.0.1/must</p>",
                 u"Pro");
  const UpdateNoticeInfo n = GetUpdateNoticeCopy();
  EXPECT_EQ(n.level, 2u);
  EXPECT_EQ(n.message, CString(u"Offered"));
}

TEST_F(OnlineCfgTest, DownloadsAreDecodedWhole) {
  LoopbackHttpServer server;
  const std::u16string text = u"<p>Default-Advert: 広告 \U0001F600</p>";
  const std::string body = Utf16Body(text);
  // Pieces that end inside code units and inside a surrogate pair.
  HttpReply split = Reply(200, body);
  split.splits = {1, 3, 8, 13, body.size() - 3};
  HttpReply noBom = Reply(200, Utf16Body(text, false));
  HttpReply cut = Reply(200, Utf16Body(u"<p>a</p>") + std::string("\0\0", 2) + Utf16Body(u"rest", false));
  server.Script({Reply(200, body), split, noBom, Reply(404, body), cut, Reply(200, "\xFF\xFE")});

  CString got;
  ASSERT_TRUE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_EQ(got, CString(text));
  ASSERT_TRUE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_EQ(got, CString(text));
  // Without a byte-order mark the first character is lost, and with it the first "<p>".
  ASSERT_TRUE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_EQ(got, CString(text.substr(1)));
  EXPECT_TRUE(SplitParagraphs(got).empty());
  // Only a 200 answer counts.
  EXPECT_FALSE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_TRUE(got.IsEmpty());
  // The text ends at its first zero unit.
  ASSERT_TRUE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_EQ(got, CString(u"<p>a</p>"));
  // A mark alone is no text.
  EXPECT_FALSE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_FALSE(HttpGetText(CString(), got));
}

TEST_F(OnlineCfgTest, RedirectsAreFollowedAndHugeBodiesRefused) {
  LoopbackHttpServer server;
  HttpReply moved = Reply(302, "");
  moved.headers = {"Location: " + server.Url("/moved")};
  server.Script({moved, Reply(200, Utf16Body(u"<p>x</p>")), Reply(200, std::string(3 << 20, 'a'))});
  CString got;
  ASSERT_TRUE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_EQ(got, CString(u"<p>x</p>"));
  EXPECT_EQ(LoopbackHttpServer::PathOf(server.Requests()[1]), "/moved");
  EXPECT_FALSE(HttpGetText(CString(server.Url().c_str()), got));
}

TEST_F(OnlineCfgTest, RefreshTriesFiveTimesThenLeavesEverythingAsItWas) {
  SetWebParam("http://127.0.0.1:" + std::to_string(LoopbackListener::ClosedPort()) + "/cfg");
  RefreshOnlineCfg();
  EXPECT_EQ(g_sleeps, (std::vector<DWORD>{1000, 1000, 1000, 1000, 1000}));
  EXPECT_TRUE(GetLinkListCopy().empty());
  EXPECT_EQ(GetUpdateNoticeCopy().level, 0u);
  EXPECT_EQ(GetSoftCfg(u"Advert"), CString(u"archive advert"));
}

TEST_F(OnlineCfgTest, RefreshAppliesTheFirstTextThatArrives) {
  LoopbackHttpServer server;
  HttpReply closed;
  closed.closeWithoutReply = true;
  server.Script({Reply(500, ""), closed,
                 Reply(200, Utf16Body(u"<p>Default-Link1: Help*http://127.0.0.1/help</p>"
                                      u"<p>Default-NeedUpdate: 6650*Newer*http://127.0.0.1/dl</p>"))});
  SetWebParam(server.Url("/cfg"));
  RefreshOnlineCfg();
  EXPECT_EQ(server.RequestCount(), 3u);
  EXPECT_EQ(g_sleeps.size(), 2u);
  ASSERT_EQ(GetLinkListCopy().size(), 1u);
  EXPECT_EQ(GetLinkListCopy()[0].address, CString(u"http://127.0.0.1/help"));
  EXPECT_EQ(GetUpdateNoticeCopy().level, 2u);
}

TEST_F(OnlineCfgTest, RefreshWithoutAnAddressFetchesNothing) {
  SetWebParam("");
  RefreshOnlineCfg();
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_TRUE(GetLinkListCopy().empty());
}

TEST_F(OnlineCfgTest, ADownloadThatNeverAnswersEndsAtItsTimeOut) {
  LoopbackHttpServer server;
  HttpReply hang;
  hang.hang = true;
  server.Script({hang});
  SetOnlineCfgTimingForTest(&RecordSleep, 300);
  CString got;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HttpGetText(CString(server.Url().c_str()), got));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(OnlineCfgTest, NoticeShowsTheMessageAndOpensOnlyWebLinks) {
  SetUpdateNotice(2, u"Version 9.1 is out", u"https://127.0.0.1/download");
  ShowUpdateNotice();
  EXPECT_EQ(g_shown, (std::vector<CString>{u"Version 9.1 is out"}));
  EXPECT_EQ(g_opened, (std::vector<CString>{u"https://127.0.0.1/download"}));

  // A tampered download naming a local program: the message is shown, nothing is opened.
  for (const char16_t* link : {u"/usr/bin/xterm", u"file:///usr/bin/xterm", u"javascript:alert(1)", u"http://",
                               u"http://127.0.0.1/\nrm"}) {
    ClearOnlineCfgForTest();
    g_opened.clear();
    g_log.clear();
    SetLogSink(&RecordLog);
    SetUpdateNotice(2, u"Update", link);
    ShowUpdateNotice();
    SetLogSink(nullptr);
    EXPECT_TRUE(g_opened.empty()) << CString(link).ToUtf8();
    ASSERT_EQ(g_log.size(), 1u) << CString(link).ToUtf8();
    EXPECT_GE(g_log[0].Find(u"Refused"), 0);
  }

  // No message, or no announcement: nothing happens.
  ClearOnlineCfgForTest();
  g_shown.clear();
  SetUpdateNotice(2, u"", u"https://127.0.0.1/");
  ShowUpdateNotice();
  EXPECT_TRUE(g_shown.empty());
}

TEST_F(OnlineCfgTest, RequiredUpdateStopsTheProgram) {
  SetUpdateNotice(3, u"You must update", u"http://127.0.0.1/must");
  EXPECT_EXIT(ShowUpdateNotice(), ::testing::ExitedWithCode(1), "Must update!");
}

}  // namespace
