// A temporary folder per test and small readers of the files the tests write.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/textconv.h"

struct TempFolder {
  std::string path;
  TempFolder() {
    char t[] = "/tmp/scansave-test-XXXXXX";
    const char* d = mkdtemp(t);
    path = d != nullptr ? d : "/tmp";
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  CString File(const char* name) const { return CString(Utf8ToUtf16(path + "/" + name)); }
};

inline std::vector<uint8_t> FileBytes(const CString& path) {
  std::ifstream f(path.ToUtf8(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void PutFileBytes(const CString& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path.ToUtf8(), std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline bool PathExists(const CString& path) { return std::filesystem::exists(path.ToUtf8()); }
