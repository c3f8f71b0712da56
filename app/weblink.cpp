#include "app/weblink.h"

#include "base/log.h"
#include "platform/hooks.h"

bool IsWebAddress(const CString& address) {
  for (int i = 0; i < address.GetLength(); ++i)
    if (address[i] < 0x20 || address[i] == 0x7F) return false;
  CString lower = address;
  lower.MakeLower();
  for (const char16_t* scheme : {u"http://", u"https://"}) {
    const int n = int(std::u16string_view(scheme).size());
    if (lower.Left(n) == scheme && lower.GetLength() > n) return true;
  }
  return false;
}

bool OpenWebAddress(const CString& address) {
  if (!IsWebAddress(address)) {
    WriteLog(CString(u"Refused to open an address that is not a web address: ") + address);
    return false;
  }
  return ShellOpen(address);
}
