// A small HTTP server on 127.0.0.1 for tests: each request gets the next scripted reply (the
// last one repeats), with its status, headers and body, optionally after a delay, written in
// pieces, never, or not at all (the connection closed at once). Every reply closes its
// connection. The request heads are kept for the test to inspect.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/tests/loopback_listener.h"

struct HttpReply {
  int status = 200;
  std::string body;
  // The body is written in pieces ending at these offsets, with a pause after each, so that
  // the client reads it in separate parts.
  std::vector<size_t> splits;
  int delayMs = 0;
  bool hang = false;               // read the request, then answer nothing
  bool closeWithoutReply = false;  // read the request, then close
  std::vector<std::string> headers;
};

inline HttpReply Reply(int status, std::string body) {
  HttpReply r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

class LoopbackHttpServer {
 public:
  LoopbackHttpServer() {
    fd_ = OpenLoopbackListenSocket(&port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopbackHttpServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

  uint16_t Port() const { return port_; }
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  void Script(std::vector<HttpReply> replies) {
    std::lock_guard<std::mutex> g(lock_);
    replies_ = std::move(replies);
    next_ = 0;
  }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
  }
  size_t RequestCount() {
    std::lock_guard<std::mutex> g(lock_);
    return requests_.size();
  }
  // The path of a request's first line ("GET /path HTTP/1.1").
  static std::string PathOf(const std::string& request) {
    const size_t a = request.find(' ');
    const size_t b = request.find(' ', a + 1);
    return a == std::string::npos || b == std::string::npos ? std::string() : request.substr(a + 1, b - a - 1);
  }

 private:
  static const char* Reason(int status) {
    switch (status) {
      case 200: return "OK";
      case 302: return "Found";
      case 404: return "Not Found";
      default: return "Status";
    }
  }

  // Waits for the socket to become readable; false when the server stops or time runs out.
  bool WaitReadable(int c, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < end) {
      pollfd p{c, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }

  void Pause(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  void SendAll(int c, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
      const ssize_t n = send(c, s.data() + done, s.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return;
      done += size_t(n);
    }
  }

  void Serve(int c) {
    std::string head;
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos && WaitReadable(c, 5000)) {
      const ssize_t n = read(c, buf, sizeof(buf));
      if (n <= 0) break;
      head.append(buf, size_t(n));
    }
    HttpReply reply;
    {
      std::lock_guard<std::mutex> g(lock_);
      requests_.push_back(head);
      if (!replies_.empty()) reply = replies_[std::min(next_++, replies_.size() - 1)];
    }
    if (reply.closeWithoutReply) return;
    if (reply.hang) {
      // Holds the connection until the client gives up (or the server stops).
      while (WaitReadable(c, 60000) && read(c, buf, sizeof(buf)) > 0) {
      }
      return;
    }
    Pause(reply.delayMs);
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
    out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n";
    for (const auto& h : reply.headers) out += h + "\r\n";
    out += "\r\n";
    SendAll(c, out);
    size_t at = 0;
    for (size_t split : reply.splits) {
      if (split <= at || split > reply.body.size()) continue;
      SendAll(c, reply.body.substr(at, split - at));
      at = split;
      Pause(40);
    }
    SendAll(c, reply.body.substr(at));
  }

  void Run() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      int one = 1;
      setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      Serve(c);
      close(c);
    }
  }

  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex lock_;
  std::vector<HttpReply> replies_;
  size_t next_ = 0;
  std::vector<std::string> requests_;
};
