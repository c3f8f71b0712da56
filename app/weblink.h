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
