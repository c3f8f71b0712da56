// What the document reader tests share: times shown in UTC, the listing heading from a small
// language table, and the readers installed as the program installs them.
#pragma once

#include <cstdlib>
#include <ctime>

#include "app/settings.h"
#include "deepscan/doctext/doctext.h"

inline void DocTextTestEnv() {
  setenv("TZ", "UTC", 1);
  tzset();
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"ZipDetail: Ratio   Modified           Name\r\n");
  InstallDocumentTextReaders();
}
