// A TCP listener on 127.0.0.1 (an ephemeral port) for tests: every accepted connection is read
// to its end and kept as one packet.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A listening socket on 127.0.0.1 at an ephemeral port (returned in *port).
inline int OpenLoopbackListenSocket(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  listen(fd, 16);
  socklen_t len = sizeof(a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return fd;
}

class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = OpenLoopbackListenSocket(&port_);
    thread_ = std::thread([this] { Run(); });
    // Tests fork while the listener runs; a thread still starting up at that moment may hold
    // runtime locks (a sanitizer's thread registry, say) that the child would then wait for.
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait(g, [&] { return running_; });
  }
  ~LoopbackListener() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  uint16_t Port() const { return port_; }

  // Waits until at least n packets arrived (or the time ran out) and returns them all.
  std::vector<std::vector<uint8_t>> WaitFor(size_t n, int ms = 10000) {
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait_for(g, std::chrono::milliseconds(ms), [&] { return packets_.size() >= n; });
    return packets_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> g(lock_);
    return packets_.size();
  }

  // A port on which nothing listens (connections are refused).
  static uint16_t ClosedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
  }

 private:
  void Run() {
    {
      std::lock_guard<std::mutex> g(lock_);
      running_ = true;
    }
    cv_.notify_all();
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::vector<uint8_t> data;
      uint8_t buf[65536];
      for (;;) {
        pollfd q{c, POLLIN, 0};
        if (poll(&q, 1, 5000) <= 0) break;
        ssize_t n = read(c, buf, sizeof(buf));
        if (n <= 0) break;
        data.insert(data.end(), buf, buf + n);
      }
      close(c);
      {
        std::lock_guard<std::mutex> g(lock_);
        packets_.push_back(std::move(data));
      }
      cv_.notify_all();
    }
  }

  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  bool running_ = false;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<std::vector<uint8_t>> packets_;
};
