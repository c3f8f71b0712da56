// Text helpers of the web-service layer: conversions between wide text, UTF-8 and the ANSI
// code page, percent-encoding, query strings, a random nonce, trimming, and making a folder
// with its missing parents.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/cstring.h"

CString Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(const CString& text);
CString AnsiToWide(std::string_view ansi);
std::string AnsiToUtf8(std::string_view ansi);
// An exception's explanation (ANSI) as wide text.
CString ExceptionTextToWide(const char* what);

// Percent-encodes byte by byte: a blank is "%20", '+' is "%2B", letters, digits and * - . _
// stay, every other byte is "%XX". With keepStructure an existing "%XX" escape and the
// characters & / : = ? are copied unchanged.
std::string UrlEncode(std::string_view text, bool keepStructure);
// Decodes the escapes of bytes that an address may not hold literally; escapes of letters,
// digits and ! $ & ' ( ) * , - . / : ; = ? _ @ stay encoded. A plain '+' becomes a blank; an
// escaped plus ("%2B") becomes '+'.
std::string UrlDecode(std::string_view text);
// "name=value" pairs in name order joined with '&'; nothing is encoded here.
std::string BuildQueryString(const std::map<std::string, std::string>& params);
// True for well-formed UTF-8 (sequences of up to six bytes) with at least one non-ASCII byte.
bool IsUtf8Text(std::string_view text);
// 32 random characters from A-Z, a-z and 0-9, from a generator seeded once per thread.
CString MakeNonce32();
// Removes every character of the set from the start, then from the end.
CString TrimChars(const CString& text, std::u16string_view set);
// Removes blanks, tabs, CRs and LFs at both ends, in any mixture.
CString TrimWhite(const CString& text);
// 0 when the folder exists afterwards, 22 for an empty path, -1 when it cannot be made.
// Both separators count; a leading '/' is the root of an absolute path.
int CreateDirRecursive(const CString& path);
