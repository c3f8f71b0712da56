// Opening addresses that came from outside the program (a download, a page, the service
// library): only web addresses are handed to the desktop, so a tampered value cannot name a
// local program or file.
#pragma once

#include "platform/cstring.h"

// True for "http://" or "https://" (any case) followed by at least one character, with no
// control character anywhere.
bool IsWebAddress(const CString& address);
// Opens a web address with the desktop; anything else is refused and logged. False when
// refused or when the desktop could not open it.
bool OpenWebAddress(const CString& address);

// Opens one of the program's own addresses (edition values, support links, the maker's pages)
// with the desktop. The downloaded configuration can replace these values, so only web
// addresses are opened, as above; an empty text does nothing. 1 when the desktop took it.
int OpenUrl(const CString& address);

// The desktop's opener: hands documents, folders and addresses to xdg-open. Installed as the
// ShellOpen handler at start; false when xdg-open is missing or could not start.
bool DesktopOpen(const CString& target);
void InstallDesktopOpener();
// Starts the opener (its full path) with the target as its one argument; true when it
// started. The program starts it as a child process; tests install a recorder instead, so
// that nothing is ever launched.
using DesktopOpenRunner = bool (*)(const CString& opener, const CString& target);
void SetDesktopOpenRunner(DesktopOpenRunner runner);  // null: the child process again
