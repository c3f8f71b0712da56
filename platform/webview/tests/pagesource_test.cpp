// Which addresses a page may come from, how links resolve, and how a loopback server's reply
// is read (a reply is untrusted: cut short, framed wrongly or too large, it is refused).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/tests/loopback_http.h"
#include "platform/webview/pagesource.h"

namespace {

TEST(PageSource, OnlyFilesAndLoopbackServersAreReached) {
  struct Case {
    const char* url;
    PageScheme scheme;
    const char* path;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"file:///srv/help/a%20b.html", PageScheme::kFile, "/srv/help/a b.html", "", 0},
      {"FILE://localhost/x.html#top", PageScheme::kFile, "/x.html", "", 0},
      {"file:/x.html?q=1", PageScheme::kFile, "/x.html", "", 0},
      {"/opt/kestrel/about.html", PageScheme::kFile, "/opt/kestrel/about.html", "", 0},
      {"file://fileserver/share/x.html", PageScheme::kRefused, "", "", 0},
      {"file:///x%00.html", PageScheme::kRefused, "", "", 0},  // a zero would cut the path
      {"file:relative.html", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1:8080/a?b=c#frag", PageScheme::kLoopbackHttp, "/a?b=c", "127.0.0.1", 8080},
      {"http://LOCALHOST/", PageScheme::kLoopbackHttp, "/", "127.0.0.1", 80},
      {"http://127.1.2.3", PageScheme::kLoopbackHttp, "/", "127.1.2.3", 80},
      {"http://127.0.0.1?x", PageScheme::kLoopbackHttp, "/?x", "127.0.0.1", 80},
      {"http://10.0.0.1/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1.example.com/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.256/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1./", PageScheme::kRefused, "", "", 0},
      {"http://evil@127.0.0.1/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1@evil.example/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1:0/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1:65536/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1:80a/", PageScheme::kRefused, "", "", 0},
      {"http://[::1]/", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1/a b", PageScheme::kRefused, "", "", 0},
      {"http://127.0.0.1/\r\nHost: x", PageScheme::kRefused, "", "", 0},
      {"https://127.0.0.1/", PageScheme::kRefused, "", "", 0},
      {"http://www.example.com/about", PageScheme::kRefused, "", "", 0},
      {"ftp://127.0.0.1/", PageScheme::kRefused, "", "", 0},
      {"javascript:alert(1)", PageScheme::kRefused, "", "", 0},
      {"page.html", PageScheme::kRefused, "", "", 0},
      {"", PageScheme::kRefused, "", "", 0},
      {"kestrel-call:wc_OpenUrl?http%3A%2F%2F127.0.0.1%2F", PageScheme::kProgramCall,
       "wc_OpenUrl?http%3A%2F%2F127.0.0.1%2F", "", 0},
  };
  for (const Case& c : cases) {
    const PageAddress a = ClassifyAddress(c.url);
    EXPECT_EQ(a.scheme, c.scheme) << c.url;
    if (a.scheme == c.scheme && c.scheme != PageScheme::kRefused) {
      EXPECT_EQ(a.path, c.path) << c.url;
      EXPECT_EQ(a.host, c.host) << c.url;
      EXPECT_EQ(a.port, c.port) << c.url;
    }
  }
}

TEST(PageSource, LinksResolveAgainstTheirPage) {
  struct Case {
    const char* base;
    const char* ref;
    const char* expected;
  };
  const Case cases[] = {
      {"file:///srv/help/a.html", "b.html", "file:///srv/help/b.html"},
      {"file:///srv/help/a.html", "../css/s.css", "file:///srv/css/s.css"},
      {"/srv/help/a.html", "pic/x.png", "file:///srv/help/pic/x.png"},
      {"http://127.0.0.1:8080/doc/a.html", "/top.html", "http://127.0.0.1:8080/top.html"},
      {"http://127.0.0.1:8080/doc/a.html", "b.html?x=1", "http://127.0.0.1:8080/doc/b.html?x=1"},
      {"http://127.0.0.1:8080/doc/a.html", "http://127.0.0.2/", "http://127.0.0.2/"},
      {"http://127.0.0.1:8080/doc/a.html", "kestrel-call:wc_close", "kestrel-call:wc_close"},
      {"", "b.html", "b.html"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveAddress(c.base, c.ref), c.expected) << c.base << " + " << c.ref;
}

TEST(PageSource, ProgramCallsSplitIntoDecodedArguments) {
  std::string name;
  std::vector<std::string> args;
  ASSERT_TRUE(ParseProgramCall("jsAboutDlgNotify?2&http%3A%2F%2F127.0.0.1%2F%3Fa%3D1%26b", &name, &args));
  EXPECT_EQ(name, "jsAboutDlgNotify");
  EXPECT_EQ(args, (std::vector<std::string>{"2", "http://127.0.0.1/?a=1&b"}));
  ASSERT_TRUE(ParseProgramCall("wc_close", &name, &args));
  EXPECT_EQ(name, "wc_close");
  EXPECT_TRUE(args.empty());
  ASSERT_TRUE(ParseProgramCall("jsCopyTextData?", &name, &args));
  EXPECT_EQ(args, (std::vector<std::string>{""}));
  EXPECT_FALSE(ParseProgramCall("?x", &name, &args));
  EXPECT_FALSE(ParseProgramCall("f?a%00b", &name, &args));
}

TEST(PageSource, ServerRepliesAreTakenOnlyWhole) {
  struct Case {
    std::string reply;
    bool ok;
    std::string body;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", true, "hello"},
      {"HTTP/1.0 200 OK\r\ncontent-length:  3\r\n\r\nabcdef", true, "abc"},
      {"HTTP/1.0 200 OK\r\n\r\nuntil the end", true, "until the end"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", false, ""},  // cut short
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!", false, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\nhello", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1;ext\r\n!\r\n0\r\n\r\n", true, "hello!"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\nx\r\n0\r\n\r\n", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, ""},
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false, ""},
      {"HTTP/1.1 2000 OK\r\n\r\nx", false, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", false, ""},  // no end of the head
      {"SPDY/9 200 OK\r\n\r\nx", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string body;
    EXPECT_EQ(ParseHttpReply(c.reply, &body), c.ok) << c.reply;
    if (c.ok) {
      EXPECT_EQ(body, c.body) << c.reply;
    }
  }
}

TEST(PageSource, LoopbackServersAndFilesAreRead) {
  LoopbackHttpServer server;
  HttpReply slow = Reply(200, "late");
  slow.hang = true;
  server.Script({Reply(200, "<p>page</p>"), Reply(404, "missing"), Reply(200, std::string(5000, 'x')), slow});
  std::string body, why;
  ASSERT_TRUE(FetchAddress(server.Url("/page.html?x=1"), 1 << 20, 3000, &body, &why)) << why;
  EXPECT_EQ(body, "<p>page</p>");
  EXPECT_EQ(LoopbackHttpServer::PathOf(server.Requests()[0]), "/page.html?x=1");
  EXPECT_FALSE(FetchAddress(server.Url("/gone"), 1 << 20, 3000, &body, &why));
  EXPECT_FALSE(FetchAddress(server.Url("/big"), 4096, 3000, &body, &why));
  EXPECT_EQ(why, "too large");
  EXPECT_FALSE(FetchAddress(server.Url("/slow"), 1 << 20, 300, &body, &why));
  EXPECT_EQ(why, "the server took too long");
  // Nobody listening, or not loopback at all: nothing is read (and nothing leaves the machine).
  EXPECT_FALSE(FetchAddress("http://127.0.0.1:1/", 1 << 20, 1000, &body, &why));
  EXPECT_FALSE(FetchAddress("http://192.0.2.1/", 1 << 20, 1000, &body, &why));
  EXPECT_EQ(why, "not available offline");

  const std::string dir = ::testing::TempDir() + "pagesource_" + std::to_string(getpid());
  std::filesystem::create_directories(dir + "/sub dir");
  std::ofstream(dir + "/sub dir/p.html") << "<b>local</b>";
  ASSERT_TRUE(FetchAddress("file://" + dir + "/sub%20dir/p.html", 1 << 20, 100, &body, &why)) << why;
  EXPECT_EQ(body, "<b>local</b>");
  EXPECT_FALSE(FetchAddress("file://" + dir + "/sub%20dir/p.html", 5, 100, &body, &why));
  EXPECT_FALSE(FetchAddress("file://" + dir + "/sub%20dir", 1 << 20, 100, &body, &why));  // a folder
  EXPECT_FALSE(FetchAddress("file://" + dir + "/none.html", 1 << 20, 100, &body, &why));
}

}  // namespace
