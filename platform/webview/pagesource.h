// Where the web view may take a page, a picture or a style sheet from: files of this machine
// and servers on the loopback interface. Every other address is refused, since the program
// works offline and a page must never reach out on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class PageScheme {
  kFile,          // file:///path, file://localhost/path, or an absolute path
  kLoopbackHttp,  // http:// on 127.x.x.x or localhost
  kProgramCall,   // kestrel-call:NAME?ARG&ARG, a call into the program from a link
  kRefused,
};

struct PageAddress {
  PageScheme scheme = PageScheme::kRefused;
  std::string path;    // the host path of a file, the request target of http, the call's text
  std::string host;    // dotted loopback address
  uint16_t port = 0;
};

// Classifies an address; percent escapes in a file path are decoded.
PageAddress ClassifyAddress(const std::string& url);

// `ref` taken relative to the page at `base` (an absolute `ref` stays as it is).
std::string ResolveAddress(const std::string& base, const std::string& ref);

// Reads what a file or loopback address names, at most maxBytes, giving up on a server after
// timeoutMs. False (and a reason) when the address is refused, the file is missing, the
// server does not answer 200 with the whole body in time, or the content is too large.
bool FetchAddress(const std::string& url, size_t maxBytes, int timeoutMs, std::string* body, std::string* why);

// The body of an HTTP/1.x reply with status 200, checked against its Content-Length and cut
// from chunked framing; false for anything else or a reply cut short.
bool ParseHttpReply(const std::string& reply, std::string* body);

// Splits a program call "NAME?A&B" into its name and percent-decoded arguments.
bool ParseProgramCall(const std::string& text, std::string* name, std::vector<std::string>* args);
