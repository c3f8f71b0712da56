// "kscan version": proves the tool runs; prints one JSON line.
#include <cstdio>

#include "tests/tools/kscan/kscan.h"

namespace {
int RunVersion(const std::vector<std::string>&) {
  printf("{\"tool\":\"kscan\",\"version\":1}\n");
  return 0;
}
KscanCommand reg("version", "version", &RunVersion);
}  // namespace
