// Libraries loaded by path and programs started beside the program: the stand-ins for the
// loader's LoadLibrary/GetProcAddress/FreeLibrary and for the shell's "open" of a program.
#pragma once

#include <cstdint>
#include <sys/types.h>

#include "platform/cstring.h"

using HMODULE = void*;

// Loads a shared library by its path (resolved at once, its symbols kept to itself). Null when
// it cannot be loaded; the loader's explanation is then in GetLoadLibraryError on this thread.
// A bare name that a library built into the program registered (RegisterBuiltinLibrary) gives
// that library instead: its functions are then found through its lookup.
HMODULE LoadLibraryW(const CString& path);
// Makes a library that lives inside the program loadable by its bare name (for example a
// stand-in for an outside library that draws through the program's own windows). The lookup
// answers GetProcAddress; null for an unknown function. A second registration of the name
// replaces the first. Any thread.
using BuiltinLibraryLookup = void* (*)(const char* name);
void RegisterBuiltinLibrary(const CString& name, BuiltinLibraryLookup lookup);
void UnregisterBuiltinLibrary(const CString& name);
CString GetLoadLibraryError();
// Null for a null module or a missing name.
void* GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

// The shell's result codes that the program tests: above 32 is success.
constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t SE_ERR_ACCESSDENIED = 5;
constexpr intptr_t SE_ERR_OOM = 8;
constexpr intptr_t SE_ERR_BADFORMAT = 11;  // the loader's "bad format" code
constexpr intptr_t SE_ERR_NOASSOC = 31;
constexpr intptr_t kShellOpenStarted = 42;

// Starts the program file with the whole parameter text as its one argument (the started
// program reads it as its command line, as a Windows program would), no folder change and no
// inherited descriptors beyond the standard three. Returns kShellOpenStarted and the child's
// process id in *pid, or a result of 32 or less: SE_ERR_FNF for a missing file,
// SE_ERR_ACCESSDENIED for one that may not be run, SE_ERR_BADFORMAT for a file that is not a
// program, SE_ERR_OOM or SE_ERR_NOASSOC for any other failure. The child is not waited for.
intptr_t ShellOpenProgram(const CString& file, const CString& params, pid_t* pid = nullptr);

// The full path of the running program (the target of /proc/self/exe); empty when unknown.
CString GetModuleFileName();
