// The online edition configuration: once per run the text at the edition value "WebParam" is
// downloaded; its "<p>...</p>" paragraphs are edition configuration lines applied over the
// archive's, the values "Link1" to "Link5" become the support links, and "MustUpdate" or
// "NeedUpdate" ("build*message*link") announce a newer build.
//
// The downloaded text is UTF-16LE behind a byte-order mark. Nothing here is shown on failure:
// an unreachable address or a bad body leaves the configuration as the archive has it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cstring.h"
#include "platform/wintypes.h"

// This program's build: an announcement must name a later one.
constexpr uint32_t kProgramBuild = 6648;

struct UpdateNoticeInfo {
  uint32_t level = 0;  // 0 none, 2 an update is offered, 3 an update is required
  CString message;
  CString link;
};
struct LinkEntry {
  CString text;
  CString address;
};

// UpdateNotice and LinkList are read and written only under OnlineCfgLock; no other lock is
// taken while it is held.
extern std::mutex OnlineCfgLock;
extern UpdateNoticeInfo UpdateNotice;
extern std::vector<LinkEntry> LinkList;

// Copies taken under the lock, for the windows that show them.
UpdateNoticeInfo GetUpdateNoticeCopy();
std::vector<LinkEntry> GetLinkListCopy();

// The whole refresh (StartupThread): up to five downloads one second apart until a text
// arrives, then ApplyOnlineCfg with it. An empty address downloads nothing.
void RefreshOnlineCfg();
// One download. Only a status of 200 counts; the body is gathered whole, its first code unit
// (the byte-order mark) dropped, and the text ends at its first zero unit. False (and an
// empty text) for any failure.
bool HttpGetText(const CString& address, CString& text);
// A whole body as text: UTF-16LE without its first code unit, up to its first zero unit.
CString DecodeOnlineCfgBody(std::string_view body);
void ApplyOnlineCfg(const CString& text, const CString& version);
// The edition lines of the paragraphs into the edition table; a paragraph must begin directly
// with "Default-" or "<version>-".
void ParseOnlineCfgText(const CString& text, const CString& version);
// The texts between each "<p>" and the next "</p>", as they stand; an unfinished paragraph is
// dropped.
std::vector<CString> SplitParagraphs(const CString& text);
// Appends "Link1" to "Link5" (each "text*address"; no '*' gives an empty address).
void LoadLinkList();
// True when the value is "build*message*link" with a build of digits only above this
// program's build and both texts present. A sign, blank or other text in the build means no
// announcement.
bool ParseUpdateNotice(const CString& value, CString& message, CString& link);
// Keeps the announcement with the highest level.
void SetUpdateNotice(uint32_t level, const CString& message, const CString& link);

// The main window's showing of the announcement (its tenth timer tick): with a level and a
// message, the message in an OK box, the link opened when it is a web address, and for level 3
// the program's stop with "Must update!".
void ShowUpdateNotice();

// Tests: the wait between tries and the download's time-outs (0: 30 s), and a clean state.
void SetOnlineCfgTimingForTest(void (*sleepFn)(DWORD), uint32_t timeoutMs);
void ClearOnlineCfgForTest();
