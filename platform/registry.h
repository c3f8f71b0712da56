// The registry stand-in: string values per key, kept as small text files.
//
// A key is a folder under the registry root ("Registry/" in the program folder unless
// KESTREL_REGISTRY_DIR or SetRegistryRootOverride names another): the key
// "HKEY_LOCAL_MACHINE\SOFTWARE\Maker\Tool" is the folder
// <root>/hkey_local_machine/software/maker/tool (key names are lower-cased, since the names
// are case-insensitive). Its values live in the file "values.txt" inside, one "name=text"
// line each, UTF-8, with '\\', '=', CR, LF and NUL escaped by a backslash.
//
// The program only opens keys: a key whose folder is missing cannot be opened, so reads fail
// and writes do nothing. Keys come into being through RegSetupCreateKey, which the set-up
// (and tests) use. Only REG_SZ values are kept; the data are the UTF-16LE bytes as given, so
// a value set without a terminating zero is stored and read back without one.
#pragma once

#include "platform/cstring.h"
#include "platform/wintypes.h"

struct RegKeyObject;
using HKEY = RegKeyObject*;
using REGSAM = DWORD;

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t(0x80000001));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t(0x80000002));

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;

constexpr DWORD REG_SZ = 1;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;

// Opens an existing key below a root key ("SOFTWARE\\Maker\\Tool").
LONG RegOpenKeyExW(HKEY root, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result);
// Reads a value. With data null only the size is given back. A buffer smaller than the value
// gives ERROR_MORE_DATA and the needed size in *dataBytes.
LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataBytes);
// Sets a REG_SZ value to the given bytes (UTF-16LE; an odd count is refused). Needs a key
// opened with KEY_SET_VALUE.
LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataBytes);
LONG RegCloseKey(HKEY key);

// The set-up's part: creates the key and every key above it. Not for program code.
LONG RegSetupCreateKey(HKEY root, const char16_t* subKey);

// The folder that holds the root keys, with a trailing '/'. An empty override restores the
// default.
CString GetRegistryRoot();
void SetRegistryRootOverride(const CString& dir);
