// Settings and file-type table shared by the core tests: the language texts the record model
// and the table read, and an edition value "Key" chosen per test.
#pragma once

#include "app/settings.h"
#include "core/filetypetable.h"

inline const char16_t kCoreTestLang[] =
    u"FileLost: Lost files\r\n"
    u"Document: Documents\r\n"
    u"Photo: Photos\r\n"
    u"Image: Images\r\n"
    u"Audio: Audio\r\n"
    u"Video: Videos\r\n"
    u"ZipFile: Archives\r\n"
    u"Other: Other files\r\n"
    u"WordDoc: Word files\r\n"
    u"ExcelDoc: Excel files\r\n"
    u"PptDoc: PowerPoint files\r\n";

// Loads the settings with the given edition text and builds the table (once per process).
inline void LoadCoreTestSettings(const char16_t* verCfg = u"Default-Key: 101\r\n") {
  LoadSettingsForTest(u"Tesmur", u"Pro", verCfg, kCoreTestLang);
  InitFileTypeTables();
}
