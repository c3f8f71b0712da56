/* A preloaded guard for test runs: every connect() and every datagram sent to an explicit
 * address is written to the file named by KESTREL_NETGUARD_LOG as "allowed FAMILY ADDRESS PORT"
 * or "refused ...". Internet addresses outside loopback are refused (ENETUNREACH), so nothing
 * leaves the machine even when something tries; local (unix, netlink) sockets pass unrecorded. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static int IsLoopback(const struct sockaddr* a) {
  if (a->sa_family == AF_INET) {
    const struct sockaddr_in* in = (const struct sockaddr_in*)a;
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  const struct sockaddr_in6* in6 = (const struct sockaddr_in6*)a;
  if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr)) return 1;
  return IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && in6->sin6_addr.s6_addr[12] == 127;
}

/* Returns 1 when the destination may be used; records internet destinations. */
static int Check(const struct sockaddr* a, socklen_t len) {
  if (!a || len < (socklen_t)sizeof(sa_family_t)) return 1;
  if (a->sa_family != AF_INET && a->sa_family != AF_INET6) return 1;
  if ((a->sa_family == AF_INET && len < (socklen_t)sizeof(struct sockaddr_in)) ||
      (a->sa_family == AF_INET6 && len < (socklen_t)sizeof(struct sockaddr_in6)))
    return 0;
  const int ok = IsLoopback(a);
  char text[INET6_ADDRSTRLEN] = "?";
  unsigned port;
  if (a->sa_family == AF_INET) {
    inet_ntop(AF_INET, &((const struct sockaddr_in*)a)->sin_addr, text, sizeof(text));
    port = ntohs(((const struct sockaddr_in*)a)->sin_port);
  } else {
    inet_ntop(AF_INET6, &((const struct sockaddr_in6*)a)->sin6_addr, text, sizeof(text));
    port = ntohs(((const struct sockaddr_in6*)a)->sin6_port);
  }
  const char* path = getenv("KESTREL_NETGUARD_LOG");
  if (path && *path) {
    char line[128];
    const int n = snprintf(line, sizeof(line), "%s %s %s %u\n", ok ? "allowed" : "refused",
                           a->sa_family == AF_INET ? "ipv4" : "ipv6", text, port);
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
      if (n > 0) (void)!write(fd, line, (size_t)n);
      close(fd);
    }
  }
  return ok;
}

int connect(int fd, const struct sockaddr* a, socklen_t len) {
  static int (*real)(int, const struct sockaddr*, socklen_t);
  if (!real) real = (int (*)(int, const struct sockaddr*, socklen_t))dlsym(RTLD_NEXT, "connect");
  if (!Check(a, len)) {
    errno = ENETUNREACH;
    return -1;
  }
  return real(fd, a, len);
}

ssize_t sendto(int fd, const void* buf, size_t n, int flags, const struct sockaddr* a, socklen_t len) {
  static ssize_t (*real)(int, const void*, size_t, int, const struct sockaddr*, socklen_t);
  if (!real) real = (ssize_t(*)(int, const void*, size_t, int, const struct sockaddr*, socklen_t))dlsym(RTLD_NEXT, "sendto");
  if (a && !Check(a, len)) {
    errno = ENETUNREACH;
    return -1;
  }
  return real(fd, buf, n, flags, a, len);
}

ssize_t sendmsg(int fd, const struct msghdr* m, int flags) {
  static ssize_t (*real)(int, const struct msghdr*, int);
  if (!real) real = (ssize_t(*)(int, const struct msghdr*, int))dlsym(RTLD_NEXT, "sendmsg");
  if (m && m->msg_name && !Check((const struct sockaddr*)m->msg_name, m->msg_namelen)) {
    errno = ENETUNREACH;
    return -1;
  }
  return real(fd, m, flags);
}
