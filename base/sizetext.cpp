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
