// The base of the helper classes of the service layer (option parser, pattern search, HTTP
// client): their operations report failure by a false result and leave the reason here for
// the caller to show or log; nothing is shown by the helpers themselves.
#pragma once

#include "platform/cstring.h"

class CUniteBase {
 public:
  CUniteBase() = default;
  virtual ~CUniteBase() = default;
  CUniteBase(const CUniteBase&) = delete;
  CUniteBase& operator=(const CUniteBase&) = delete;

  virtual void Reset() {}
  virtual const char16_t* GetErrorText() const { return errorText_.GetString(); }
  virtual const char16_t* ClearErrorText() {
    errorText_.Empty();
    return errorText_.GetString();
  }
  virtual const char16_t* GetInfoText() const { return infoText_.GetString(); }
  virtual const char16_t* ClearInfoText() {
    infoText_.Empty();
    return infoText_.GetString();
  }
  void SetErrorText(const CString& text) { errorText_ = text; }

 protected:
  CString errorText_;
  CString infoText_;
};
