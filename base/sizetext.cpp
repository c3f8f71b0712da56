#include "base/sizetext.h"

CString FormatByteSize(uint64_t bytes) {
  CString s;
  if (bytes < 1024) {
    s.Format(u"%u(B)", unsigned(bytes));
  } else if (bytes < (1ull << 20)) {
    s.Format(u"%.2f(KB)", double(bytes) / 1024.0);
  } else if (bytes < (1ull << 30)) {
    s.Format(u"%.2f(MB)", double(bytes) / double(1ull << 20));
  } else if (bytes < (1ull << 40)) {
    s.Format(u"%.2f(GB)", double(bytes) / double(1ull << 30));
  } else {
    s.Format(u"%.2f(TB)", double(bytes) / double(1ull << 40));
  }
  return s;
}

CString FormatSectorSize(uint64_t sectors) {
  CString s;
  if (sectors < 0x200000) {
    s.Format(u"%0.2f(MB)", float(sectors >> 11));
  } else if (sectors < 0x80000000ull) {
    s.Format(u"%0.2f(GB)", float(sectors >> 11) / 1024.0f);
  } else {
    s.Format(u"%0.2f(TB)", float(sectors >> 21) / 1024.0f);
  }
  return s;
}
