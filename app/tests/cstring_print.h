// Readable CString values in test failure messages.
#pragma once

#include <ostream>

#include "platform/cstring.h"

inline void PrintTo(const CString& s, std::ostream* os) { *os << '"' << s.ToUtf8() << '"'; }
