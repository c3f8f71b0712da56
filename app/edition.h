// Edition predicates on the base value "Brand" and the per-machine registry values of the
// edition: run counters, the support service code, the improvement consent and the "Detail"
// tag.
//
// The values live under HKEY_LOCAL_MACHINE "SOFTWARE\<Company>\<LocalName>" (edition values).
// The key is only opened: when the set-up did not create it, reads fail and writes do nothing,
// silently, and every caller falls back as its comment says.
#pragma once

#include "platform/cstring.h"

// Brand compared whole and case-sensitively.
bool IsHouseBrand();           // Tesmur, Andovel, Brisolde, Drevask
bool IsPelmarCorvinthBrand();  // Pelmar or Corvinth
bool IsOstrelBrand();

// The key path below HKEY_LOCAL_MACHINE.
CString GetRegKeyPath();
// True only for a value that exists, is not empty and is shorter than 260 characters.
bool ReadRegValue(const CString& name, CString& text);
// Stores the text as REG_SZ without a terminating zero.
bool WriteRegValue(const CString& name, const CString& text);

// "Detail" when it holds only 0-9, A-Z and a-z; "0" otherwise (also when missing).
CString GetDetailValue();
// Owner, Version and the application's Detail value joined by '-', lower-cased.
CString GetEditionTag();
// Reads "JoinImproveSoft" (consent only for exactly "1") and "Detail" into the run values.
void LoadRegistryRunValues();

// House brands only. n > 0 at start counts a run that may not end normally; 0 at a normal end.
void UpdateRunInfo(unsigned n);
// When "RunInfo" is one character above '2', reports the failed runs (event 1, at once) and
// returns true.
bool ReportLastRunFailed();
// Counts this run in "RunNum" and returns the run number (1 when the value was missing).
int IncRunNum();
// "dddd-dddc": seven random digits and their sum modulo 10.
CString MakeServeCode();
// The stored service code, or a new one that is then stored.
CString GetServeCode();
