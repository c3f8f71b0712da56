#include "platform/webview/pagesource.h"

#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/tcpclient.h"

namespace {

// The largest reply head a loopback server may send.
constexpr size_t kMaxHead = 64 * 1024;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool StartsNoCase(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (Lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Percent escapes decoded; an escape that is not two hex digits stays as it is. A decoded zero
// byte refuses the text (it would cut a path short).
bool PercentDecode(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
      const char c = char(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2]));
      if (c == 0) return false;
      *out += c;
      i += 2;
    } else {
      *out += in[i];
    }
  }
  return true;
}

// 127.x.x.x in dotted decimal (each part 0-255, no leading sign or empty part), or localhost.
bool LoopbackHost(const std::string& host, std::string* dotted) {
  std::string h;
  for (char c : host) h += Lower(c);
  if (h == "localhost") {
    *dotted = "127.0.0.1";
    return true;
  }
  int parts = 0;
  size_t i = 0;
  int first = -1;
  while (i <= h.size()) {
    size_t j = i;
    int v = 0;
    while (j < h.size() && h[j] >= '0' && h[j] <= '9' && j - i < 3) v = v * 10 + (h[j++] - '0');
    if (j == i || v > 255 || (j < h.size() && h[j] != '.')) return false;
    if (parts == 0) first = v;
    ++parts;
    if (j == h.size()) break;
    i = j + 1;
    if (i == h.size()) return false;
  }
  if (parts != 4 || first != 127) return false;
  *dotted = h;
  return true;
}

std::string StripFragment(const std::string& url) {
  const size_t hash = url.find('#');
  return hash == std::string::npos ? url : url.substr(0, hash);
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFileCapped(const std::string& path, size_t maxBytes, std::string* body, std::string* why) {
  if (IsDirectory(path)) {
    *why = "a folder is not a page";
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rbe");
  if (!f) {
    *why = "no such file";
    return false;
  }
  body->clear();
  char buf[65536];
  size_t n = 0;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (body->size() + n > maxBytes) {
      *why = "too large";
      ok = false;
      break;
    }
    body->append(buf, n);
  }
  if (ok && std::ferror(f)) *why = "read error", ok = false;
  std::fclose(f);
  return ok;
}

bool HttpGet(const PageAddress& a, size_t maxBytes, int timeoutMs, std::string* body, std::string* why) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto left = [&] {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return int(std::max<long long>(0, ms.count()));
  };
  int err = 0;
  const int sock = TcpConnect(a.host.c_str(), a.port, left(), &err);
  if (sock < 0) {
    *why = "the server does not answer";
    return false;
  }
  const std::string request = "GET " + a.path + " HTTP/1.0\r\nHost: " + a.host + ":" + std::to_string(a.port) +
                              "\r\nConnection: close\r\nAccept: */*\r\n\r\n";
  std::string reply;
  bool ok = TcpSendAll(sock, request.data(), request.size(), left(), &err);
  char buf[65536];
  while (ok) {
    const int wait = left();
    if (wait <= 0) {
      *why = "the server took too long";
      ok = false;
      break;
    }
    const int n = TcpReceiveOnce(sock, buf, sizeof buf, wait);
    if (n == 0) break;  // the server closed: the reply is complete
    if (n == -ETIMEDOUT || n == -EAGAIN) {
      *why = "the server took too long";
      ok = false;
      break;
    }
    if (n < 0) {
      *why = "the connection failed";
      ok = false;
      break;
    }
    if (reply.size() + size_t(n) > maxBytes + kMaxHead) {
      *why = "too large";
      ok = false;
      break;
    }
    reply.append(buf, size_t(n));
  }
  TcpClose(sock);
  if (!ok) return false;
  if (!ParseHttpReply(reply, body)) {
    *why = "the server did not send the page";
    return false;
  }
  if (body->size() > maxBytes) {
    *why = "too large";
    return false;
  }
  return true;
}

// Cuts a chunked body out of its framing; false when the framing is broken or cut short.
bool Unchunk(const std::string& in, std::string* out) {
  out->clear();
  size_t pos = 0;
  for (;;) {
    const size_t eol = in.find("\r\n", pos);
    if (eol == std::string::npos) return false;
    size_t size = 0;
    size_t i = pos;
    for (; i < eol && HexValue(in[i]) >= 0; ++i) {
      if (size > (SIZE_MAX >> 8)) return false;
      size = size * 16 + size_t(HexValue(in[i]));
    }
    if (i == pos) return false;
    pos = eol + 2;
    if (size == 0) return true;  // trailers are not read
    if (size > in.size() - pos || in.size() - pos - size < 2 || in.compare(pos + size, 2, "\r\n") != 0) return false;
    out->append(in, pos, size);
    pos += size + 2;
  }
}

}  // namespace

bool ParseHttpReply(const std::string& reply, std::string* body) {
  const size_t headEnd = reply.find("\r\n\r\n");
  if (headEnd == std::string::npos || headEnd > kMaxHead) return false;
  const std::string head = reply.substr(0, headEnd);
  // "HTTP/1.x 200 ..."
  if (head.size() < 12 || head.compare(0, 7, "HTTP/1.") != 0 || head.compare(8, 4, " 200") != 0 ||
      (head.size() > 12 && head[12] != ' ' && head[12] != '\r')) {
    return false;
  }
  bool chunked = false;
  long long length = -1;
  size_t line = head.find("\r\n");
  while (line != std::string::npos) {
    const size_t start = line + 2;
    line = head.find("\r\n", start);
    const std::string h = head.substr(start, line == std::string::npos ? std::string::npos : line - start);
    if (StartsNoCase(h, "content-length:")) {
      size_t i = 15;
      while (i < h.size() && (h[i] == ' ' || h[i] == '\t')) ++i;
      long long v = 0;
      const size_t digits = i;
      for (; i < h.size() && h[i] >= '0' && h[i] <= '9'; ++i) {
        if (v > (1LL << 40)) return false;
        v = v * 10 + (h[i] - '0');
      }
      if (i == digits || (length >= 0 && length != v)) return false;  // none, or two that differ
      length = v;
    } else if (StartsNoCase(h, "transfer-encoding:") && h.find("chunked") != std::string::npos) {
      chunked = true;
    }
  }
  const std::string rest = reply.substr(headEnd + 4);
  if (chunked) return Unchunk(rest, body);
  if (length >= 0) {
    if (rest.size() < size_t(length)) return false;  // cut short
    *body = rest.substr(0, size_t(length));
    return true;
  }
  *body = rest;
  return true;
}

PageAddress ClassifyAddress(const std::string& urlIn) {
  PageAddress a;
  for (char c : urlIn) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return a;  // no control characters anywhere
  }
  const std::string url = StripFragment(urlIn);
  if (StartsNoCase(url, "kestrel-call:")) {
    a.scheme = PageScheme::kProgramCall;
    a.path = url.substr(13);
    return a;
  }
  if (!url.empty() && url[0] == '/') {
    if (PercentDecode(url, &a.path)) a.scheme = PageScheme::kFile;
    return a;
  }
  if (StartsNoCase(url, "file:")) {
    std::string rest = url.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
      const size_t slash = rest.find('/', 2);
      if (slash == std::string::npos) return a;
      std::string host = rest.substr(2, slash - 2);
      for (char& c : host) c = Lower(c);
      if (!host.empty() && host != "localhost") return a;  // another machine's file
      rest = rest.substr(slash);
    }
    const size_t query = rest.find('?');
    if (query != std::string::npos) rest.resize(query);
    if (rest.empty() || rest[0] != '/' || !PercentDecode(rest, &a.path)) return a;
    a.scheme = PageScheme::kFile;
    return a;
  }
  if (StartsNoCase(url, "http://")) {
    const std::string rest = url.substr(7);
    const size_t slash = rest.find_first_of("/?");
    const std::string authority = rest.substr(0, slash);
    if (authority.find('@') != std::string::npos) return a;  // no user names in front of a host
    std::string host = authority;
    uint16_t port = 80;
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
      host = authority.substr(0, colon);
      const std::string p = authority.substr(colon + 1);
      if (p.empty() || p.size() > 5) return a;
      unsigned long v = 0;
      for (char c : p) {
        if (c < '0' || c > '9') return a;
        v = v * 10 + unsigned(c - '0');
      }
      if (v == 0 || v > 65535) return a;
      port = uint16_t(v);
    }
    if (!LoopbackHost(host, &a.host)) return a;
    a.path = slash == std::string::npos ? "/" : rest.substr(slash);
    if (a.path[0] == '?') a.path = "/" + a.path;
    for (char c : a.path) {
      if (c == ' ') return a;  // a request line with a space in its target would be malformed
    }
    a.port = port;
    a.scheme = PageScheme::kLoopbackHttp;
    return a;
  }
  return a;
}

std::string ResolveAddress(const std::string& base, const std::string& ref) {
  if (ref.empty()) return base;
  // Anything with a scheme stays as it is.
  const size_t colon = ref.find(':');
  const size_t cut = ref.find_first_of("/?#");
  if (colon != std::string::npos && (cut == std::string::npos || colon < cut)) return ref;
  if (base.empty()) return ref;
  // The base as scheme, authority, path (a bare absolute path is a file).
  std::string b = base[0] == '/' ? "file://" + base : base;
  const size_t bc = b.find(':');
  if (bc == std::string::npos) return ref;
  const std::string scheme = b.substr(0, bc + 1);
  std::string rest = b.substr(bc + 1);
  std::string authority;
  if (rest.compare(0, 2, "//") == 0) {
    const size_t slash = rest.find_first_of("/?#", 2);
    authority = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);
  }
  const size_t end = rest.find_first_of("?#");
  std::string path = rest.substr(0, end);
  if (path.empty()) path = "/";
  std::string target;
  if (ref.compare(0, 2, "//") == 0) return scheme + ref;
  if (ref[0] == '#') return scheme + "//" + authority + rest.substr(0, rest.find('#')) + ref;
  if (ref[0] == '?') {
    target = path + ref;
  } else if (ref[0] == '/') {
    target = ref;
  } else {
    target = path.substr(0, path.rfind('/') + 1) + ref;
  }
  // Dot segments of the path go; the query and fragment stay as they are.
  const size_t tail = target.find_first_of("?#");
  const std::string suffix = tail == std::string::npos ? std::string() : target.substr(tail);
  const std::string p = target.substr(0, tail);
  std::vector<std::string> parts;
  size_t i = 1;
  while (i <= p.size()) {
    const size_t slash = std::min(p.find('/', i), p.size());
    const std::string seg = p.substr(i, slash - i);
    const bool last = slash == p.size();
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
      if (last) parts.emplace_back();
    } else if (seg == ".") {
      if (last) parts.emplace_back();
    } else {
      parts.push_back(seg);
    }
    i = slash + 1;
  }
  std::string joined;
  for (const std::string& seg : parts) joined += "/" + seg;
  if (joined.empty()) joined = "/";
  return scheme + "//" + authority + joined + suffix;
}

bool FetchAddress(const std::string& url, size_t maxBytes, int timeoutMs, std::string* body, std::string* why) {
  const PageAddress a = ClassifyAddress(url);
  switch (a.scheme) {
    case PageScheme::kFile:
      return ReadFileCapped(a.path, maxBytes, body, why);
    case PageScheme::kLoopbackHttp:
      return HttpGet(a, maxBytes, timeoutMs, body, why);
    default:
      *why = "not available offline";
      return false;
  }
}

bool ParseProgramCall(const std::string& text, std::string* name, std::vector<std::string>* args) {
  args->clear();
  const size_t q = text.find('?');
  if (!PercentDecode(text.substr(0, q), name) || name->empty()) return false;
  if (q == std::string::npos) return true;
  const std::string rest = text.substr(q + 1);
  size_t start = 0;
  while (start <= rest.size()) {
    const size_t amp = std::min(rest.find('&', start), rest.size());
    std::string arg;
    if (!PercentDecode(rest.substr(start, amp - start), &arg)) return false;
    args->push_back(arg);
    start = amp + 1;
  }
  return true;
}
