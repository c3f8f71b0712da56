#include "platform/tcpclient.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(TcpClient, BadAddressesAndRefusedConnectionsFail) {
  int err = 0;
  EXPECT_EQ(TcpConnect("300.1.2.3", 7000, 1000, &err), -1);
  EXPECT_EQ(err, EINVAL);
  EXPECT_EQ(TcpConnect("localhost", 7000, 1000, &err), -1);
  EXPECT_FALSE(IsIpv4Text("1.2.3"));
  EXPECT_TRUE(IsIpv4Text("127.0.0.1"));
  // A loopback port that was just free: the connection is refused at once.
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  EXPECT_EQ(TcpConnect("127.0.0.1", ntohs(a.sin_port), 1000, &err), -1);
  EXPECT_EQ(err, ECONNREFUSED);
}

TEST(TcpClient, AnUnansweredConnectGivesUpAfterItsTimeOut) {
  // A listener that never accepts and has no room in its queue: further handshakes go
  // unanswered, as with a server that has vanished.
  int l = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
  ASSERT_EQ(listen(l, 0), 0);
  socklen_t len = sizeof(a);
  getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<int> open;
  int err = 0;
  bool timedOut = false;
  for (int i = 0; i < 8 && !timedOut; ++i) {
    auto start = std::chrono::steady_clock::now();
    int s = TcpConnect("127.0.0.1", ntohs(a.sin_port), 200, &err);
    if (s >= 0) {
      open.push_back(s);
      continue;
    }
    timedOut = err == ETIMEDOUT;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  EXPECT_TRUE(timedOut);
  for (int s : open) close(s);
  close(l);
}

// A sender with a small buffer and a peer that never reads: the send cannot complete.
struct StuckPair {
  int fds[2];
  StuckPair() {
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds);
    int small = 4096;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof(small));
  }
  ~StuckPair() {
    close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
  }
};

TEST(TcpClient, APacketCountsAsSentOnlyWhenEveryByteWent) {
  std::vector<char> packet(0x3FFFF, 'd');
  {
    // The peer goes away midway.
    StuckPair pair;
    std::thread closer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      close(pair.fds[1]);
      pair.fds[1] = -1;
    });
    int err = 0;
    EXPECT_FALSE(TcpSendAll(pair.fds[0], packet.data(), packet.size(), 5000, &err));
    EXPECT_EQ(err, EPIPE);
    closer.join();
  }
  {
    // The peer stays but stops reading: the send gives up after its time-out.
    StuckPair pair;
    int err = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(TcpSendAll(pair.fds[0], packet.data(), packet.size(), 200, &err));
    EXPECT_EQ(err, ETIMEDOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  }
  {
    // A peer that reads everything.
    StuckPair pair;
    size_t received = 0;
    std::thread reader([&] {
      char buf[8192];
      for (;;) {
        ssize_t n = read(pair.fds[1], buf, sizeof(buf));
        if (n > 0) received += size_t(n);
        else if (n == 0 || errno != EAGAIN) break;
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    EXPECT_TRUE(TcpSendAll(pair.fds[0], packet.data(), packet.size(), 5000, nullptr));
    shutdown(pair.fds[0], SHUT_WR);
    reader.join();
    EXPECT_EQ(received, packet.size());
  }
}

}  // namespace
