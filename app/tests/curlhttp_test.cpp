#include "app/curlhttp.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/tests/cstring_print.h"
#include "app/tests/loopback_http.h"
#include "app/tests/loopback_listener.h"
#include "platform/textconv.h"

extern char** environ;

namespace {

// Loopback requests must never be handed to a proxy from the environment.
const bool kNoProxy = setenv("no_proxy", "127.0.0.1,localhost", 1) == 0 && setenv("NO_PROXY", "127.0.0.1,localhost", 1) == 0;

TEST(CurlHttp, RunsCollectBodiesAndStartClean) {
  ASSERT_TRUE(kNoProxy);
  LoopbackHttpServer server;
  HttpReply closed;
  closed.closeWithoutReply = true;
  HttpReply empty;
  HttpReply missing;
  missing.status = 404;
  missing.body = "not here";
  server.Script({Reply(200, "first body"), closed, empty, missing});

  CCurlHttpQuery q(server.Url("/cfg"));
  ASSERT_TRUE(q.Run()) << CString(q.GetErrorText()).ToUtf8();
  EXPECT_EQ(q.GetResponseBody(), "first body");
  EXPECT_STREQ(q.GetResponse(), "first body");
  EXPECT_EQ(q.GetResponseCode(), 200);
  EXPECT_TRUE(q.IsDone());
  EXPECT_FALSE(q.IsInProgress());

  // A transfer that gets no answer fails with the library's text; the old body is gone.
  EXPECT_FALSE(q.Run());
  EXPECT_EQ(q.GetCurlCode(), CURLE_GOT_NOTHING);
  EXPECT_EQ(CString(q.GetErrorText()), CString(curl_easy_strerror(CURLE_GOT_NOTHING)));
  EXPECT_TRUE(q.GetResponseBody().empty());
  EXPECT_FALSE(q.IsDone());

  // An empty body is a success, and the error text of the failed run is gone.
  ASSERT_TRUE(q.Run()) << CString(q.GetErrorText()).ToUtf8();
  EXPECT_TRUE(q.GetResponseBody().empty());
  EXPECT_TRUE(CString(q.GetErrorText()).IsEmpty());

  // The status is not judged here, only exposed.
  ASSERT_TRUE(q.Run());
  EXPECT_EQ(q.GetResponseCode(), 404);
  EXPECT_EQ(q.GetResponseBody(), "not here");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].rfind("GET /cfg HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(requests[0].find("Connection: keep-alive\r\n"), std::string::npos);
  EXPECT_NE(requests[0].find("Cache-Control: no-cache\r\n"), std::string::npos);
}

TEST(CurlHttp, RefusedConnectionAndUnsupportedSchemesFail) {
  CCurlHttpQuery refused("http://127.0.0.1:" + std::to_string(LoopbackListener::ClosedPort()) + "/");
  EXPECT_FALSE(refused.Run());
  EXPECT_EQ(refused.GetCurlCode(), CURLE_COULDNT_CONNECT);
  EXPECT_EQ(CString(refused.GetErrorText()), CString(curl_easy_strerror(CURLE_COULDNT_CONNECT)));
  EXPECT_EQ(refused.GetResponseCode(), 0);

  // Only the web is spoken: a local file is never read through this client.
  CCurlHttpQuery file("file:///etc/hostname");
  EXPECT_FALSE(file.Run());
  EXPECT_EQ(file.GetCurlCode(), CURLE_UNSUPPORTED_PROTOCOL);
  EXPECT_TRUE(file.GetResponseBody().empty());
}

TEST(CurlHttp, AddressesAreEncodedKeepingTheirStructure) {
  struct Case {
    std::string in;
    std::string sent;
  };
  const Case cases[] = {
      // A plain plus is a blank, as in a form; an escaped plus stays a plus sign.
      {"http://h/a b+c", "http://h/a%20b%20c"},
      {"http://h:81/p?x=1&y=%41%2F", "http://h:81/p?x=1&y=%41%2F"},
      {"http://h/q?v=1%2B1", "http://h/q?v=1%2B1"},
      {"http://h/caf\xC3\xA9", "http://h/caf%C3%A9"},
      {"http://h/100%", "http://h/100%25"},
  };
  for (const Case& c : cases) EXPECT_EQ(CCurlHttpQuery(c.in).EncodedUrl(), c.sent) << c.in;

  // An address in a single-byte ANSI page is sent as the UTF-8 escapes of its characters.
  const std::string page = GetAnsiCodePage();
  ASSERT_TRUE(SetAnsiCodePage("CP1252"));
  EXPECT_EQ(CCurlHttpQuery("http://h/caf\xE9 1").EncodedUrl(), "http://h/caf%C3%A9%201");
  SetAnsiCodePage(page);

  // And that is what reaches the server.
  LoopbackHttpServer server;
  server.Script({Reply(200, "x")});
  CCurlHttpQuery q(server.Url("/dir name/a+b?k=%2B&n=\xC3\xA9"));
  ASSERT_TRUE(q.Run()) << CString(q.GetErrorText()).ToUtf8();
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(LoopbackHttpServer::PathOf(server.Requests()[0]), "/dir%20name/a%20b?k=%2B&n=%C3%A9");
}

TEST(CurlHttp, TimeOutsEndATransferThatNeverAnswers) {
  LoopbackHttpServer server;
  HttpReply hang;
  hang.hang = true;
  server.Script({hang});
  CCurlHttpQuery q(server.Url());
  q.SetTimeouts(1000, 300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(q.Run());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(q.GetCurlCode(), CURLE_OPERATION_TIMEDOUT);
  EXPECT_LT(took, std::chrono::seconds(10));
}

// A callback that starts another transfer on the same object while the first one runs.
class ReenteringQuery : public CCurlHttpQuery {
 public:
  using CCurlHttpQuery::CCurlHttpQuery;
  size_t OnWrite(const char* data, size_t size, size_t count) override {
    if (!tried) {
      tried = true;
      innerResult = Perform();
      innerError = GetErrorText();
    }
    return CCurlHttpQuery::OnWrite(data, size, count);
  }
  bool tried = false;
  bool innerResult = true;
  CString innerError;
};

TEST(CurlHttp, ASecondTransferWhileBusyIsRefused) {
  LoopbackHttpServer server;
  server.Script({Reply(200, "body")});
  ReenteringQuery q(server.Url());
  EXPECT_TRUE(q.Run());
  EXPECT_TRUE(q.tried);
  EXPECT_FALSE(q.innerResult);
  EXPECT_GE(q.innerError.Find(u"busy"), 0) << q.innerError.ToUtf8();
  EXPECT_EQ(q.GetResponseBody(), "body");
  EXPECT_EQ(server.RequestCount(), 1u);
}

// A TLS server on loopback with a certificate of its own (openssl s_server).
class LoopbackTlsServer {
 public:
  LoopbackTlsServer() {
    dir_ = std::filesystem::temp_directory_path() / ("kestrel-tls-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    cert_ = (dir_ / "cert.pem").string();
    const std::string key = (dir_ / "key.pem").string();
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                             "-addext subjectAltName=IP:127.0.0.1 -keyout '" + key + "' -out '" + cert_ +
                             "' >/dev/null 2>&1";
    if (system(make.c_str()) != 0) return;
    port_ = LoopbackListener::ClosedPort();
    const std::string accept = "127.0.0.1:" + std::to_string(port_);
    const char* argv[] = {"openssl", "s_server", "-accept", accept.c_str(), "-cert", cert_.c_str(), "-key",
                          key.c_str(), "-www", "-quiet", nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "openssl", &fa, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&fa);
    for (int i = 0; pid_ && i < 200 && !Listening(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ~LoopbackTlsServer() {
    if (pid_) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(dir_);
  }
  bool Ready() const { return pid_ && Listening(); }
  std::string Url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }
  const std::string& CertFile() const { return cert_; }

 private:
  bool Listening() const {
    int err = 0;
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    err = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    close(s);
    return err == 0;
  }

  std::filesystem::path dir_;
  std::string cert_;
  uint16_t port_ = 0;
  pid_t pid_ = 0;
};

TEST(CurlHttp, TlsPeersAreVerifiedWithOrWithoutACaFile) {
  LoopbackTlsServer tls;
  ASSERT_TRUE(tls.Ready()) << "openssl s_server did not start";

  // No CA file: the system's store decides, and it does not know this certificate.
  CCurlHttpQuery untrusted(tls.Url());
  EXPECT_FALSE(untrusted.Run());
  EXPECT_EQ(untrusted.GetCurlCode(), CURLE_PEER_FAILED_VERIFICATION);

  // With the certificate as the CA file the same server is trusted.
  CCurlHttpQuery trusted(tls.Url());
  trusted.SetCaFile(tls.CertFile());
  EXPECT_TRUE(trusted.Run()) << CString(trusted.GetErrorText()).ToUtf8();
  EXPECT_EQ(trusted.GetResponseCode(), 200);
}

}  // namespace
