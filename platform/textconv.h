// Conversions between the program's UTF-16 text and 8-bit text at the Linux boundary.
//
// "ANSI" text (packets, report texts, zip member names, addresses) uses one configurable code
// page: UTF-8 by default, any iconv encoding when set (tests pin a single-byte page). Invalid
// input never fails: it turns into U+FFFD (or '?' where the target page cannot hold a
// character).
#pragma once

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// The process-wide ANSI code page, as an iconv name ("UTF-8", "CP1252", "ISO-8859-1" ...).
// Returns false and keeps the old page when iconv does not know the name.
bool SetAnsiCodePage(const std::string& name);
std::string GetAnsiCodePage();
std::u16string AnsiToUtf16(std::string_view s);
std::string Utf16ToAnsi(std::u16string_view s);
