// The class library's date-time picker: CDateTimeCtrl.
#pragma once

#include "platform/afx/afxctrls.h"

class CDateTimeCtrl : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(DATETIMEPICK_CLASS, u"", style, rect, parent, id);
  }
  // GDT_VALID with the time, GDT_NONE when the check box is clear (the time is left alone).
  DWORD GetTime(SYSTEMTIME* time) const {
    return DWORD(SendMessage(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(time)));
  }
  // Null clears the check box of a picker that has one.
  BOOL SetTime(const SYSTEMTIME* time) {
    return BOOL(SendMessage(DTM_SETSYSTEMTIME, time ? GDT_VALID : GDT_NONE, reinterpret_cast<LPARAM>(time)));
  }
  BOOL SetFormat(const char16_t* format) { return BOOL(SendMessage(DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format))); }
  DWORD GetRange(SYSTEMTIME* minMax) const {
    return DWORD(SendMessage(DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(minMax)));
  }
  // Either end may be null: no limit on that side.
  BOOL SetRange(const SYSTEMTIME* minTime, const SYSTEMTIME* maxTime) {
    SYSTEMTIME both[2] = {};
    DWORD flags = 0;
    if (minTime) both[0] = *minTime, flags |= GDTR_MIN;
    if (maxTime) both[1] = *maxTime, flags |= GDTR_MAX;
    return BOOL(SendMessage(DTM_SETRANGE, flags, reinterpret_cast<LPARAM>(both)));
  }
};
