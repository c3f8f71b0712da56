#include "platform/tcpclient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Waits for the socket to become ready; 0 when ready, else an error number.
int WaitReady(int sock, short events, int timeoutMs) {
  pollfd p{sock, events, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeoutMs);
    if (r > 0) return 0;
    if (r == 0) return ETIMEDOUT;
    if (errno != EINTR) return errno;
  }
}

}  // namespace

bool IsIpv4Text(const char* text) {
  in_addr a;
  return text && inet_pton(AF_INET, text, &a) == 1;
}

int TcpConnect(const char* ipv4, uint16_t port, int connectTimeoutMs, int* error) {
  int dummy;
  if (!error) error = &dummy;
  *error = 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (!ipv4 || inet_pton(AF_INET, ipv4, &addr.sin_addr) != 1) {
    *error = EINVAL;
    return -1;
  }
  int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (sock < 0) {
    *error = errno;
    return -1;
  }
  // Non-blocking connect, so an unanswered server costs the time-out and not the system's
  // minutes of SYN retries.
  if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    if (errno != EINPROGRESS) {
      *error = errno;
      ::close(sock);
      return -1;
    }
    int err = WaitReady(sock, POLLOUT, connectTimeoutMs);
    if (err == 0) {
      socklen_t len = sizeof(err);
      if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    }
    if (err != 0) {
      *error = err;
      ::close(sock);
      return -1;
    }
  }
  return sock;
}

bool TcpSendAll(int sock, const void* data, size_t length, int ioTimeoutMs, int* error) {
  int dummy;
  if (!error) error = &dummy;
  *error = 0;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::send(sock, p + done, length - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (int err = WaitReady(sock, POLLOUT, ioTimeoutMs); err != 0) {
        *error = err;
        return false;
      }
      continue;
    }
    *error = n < 0 ? errno : EPIPE;
    return false;
  }
  return true;
}

int TcpReceiveOnce(int sock, void* buf, size_t capacity, int ioTimeoutMs) {
  for (;;) {
    ssize_t n = ::recv(sock, buf, capacity, 0);
    if (n >= 0) return int(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -errno;
    if (int err = WaitReady(sock, POLLIN, ioTimeoutMs); err != 0) return -err;
  }
}

void TcpClose(int sock) {
  if (sock >= 0) ::close(sock);
}
