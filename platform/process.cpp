#include "platform/process.h"

#include <mutex>
#include <vector>

#include <dlfcn.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "platform/fileio.h"

extern char** environ;

namespace {
thread_local CString g_loadError;
}

namespace {

struct BuiltinLibrary {
  CString name;
  BuiltinLibraryLookup lookup;
};
struct BuiltinLibraries {
  std::mutex m;
  std::vector<BuiltinLibrary*> entries;  // never freed: handles stay valid for the whole run
};
BuiltinLibraries& Builtins() {
  static BuiltinLibraries& b = *new BuiltinLibraries;
  return b;
}
BuiltinLibrary* FindBuiltin(const CString& name) {
  for (BuiltinLibrary* e : Builtins().entries)
    if (e->name.CompareNoCase(name.View()) == 0 && e->lookup) return e;
  return nullptr;
}
BuiltinLibrary* BuiltinOf(HMODULE module) {
  for (BuiltinLibrary* e : Builtins().entries)
    if (e == module) return e;
  return nullptr;
}

}  // namespace

void RegisterBuiltinLibrary(const CString& name, BuiltinLibraryLookup lookup) {
  std::lock_guard<std::mutex> g(Builtins().m);
  for (BuiltinLibrary* e : Builtins().entries) {
    if (e->name.CompareNoCase(name.View()) == 0) {
      e->lookup = lookup;
      return;
    }
  }
  Builtins().entries.push_back(new BuiltinLibrary{name, lookup});
}

void UnregisterBuiltinLibrary(const CString& name) { RegisterBuiltinLibrary(name, nullptr); }

HMODULE LoadLibraryW(const CString& path) {
  g_loadError.Empty();
  if (path.IsEmpty()) {
    g_loadError = u"empty library path";
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> g(Builtins().m);
    if (BuiltinLibrary* b = FindBuiltin(path)) return b;
  }
  // A path with a separator is never searched for along the system's library paths.
  std::string host = HostPath(path);
  if (host.find('/') == std::string::npos) host = "./" + host;
  void* h = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* why = dlerror();
    g_loadError = CString(why ? why : "dlopen failed");
  }
  return h;
}

CString GetLoadLibraryError() { return g_loadError; }

void* GetProcAddress(HMODULE module, const char* name) {
  if (!module || !name) return nullptr;
  {
    std::lock_guard<std::mutex> g(Builtins().m);
    if (BuiltinLibrary* b = BuiltinOf(module)) return b->lookup ? b->lookup(name) : nullptr;
  }
  return dlsym(module, name);
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) return FALSE;
  {
    std::lock_guard<std::mutex> g(Builtins().m);
    if (BuiltinOf(module)) return TRUE;
  }
  return dlclose(module) == 0 ? TRUE : FALSE;
}

intptr_t ShellOpenProgram(const CString& file, const CString& params, pid_t* pid) {
  if (pid) *pid = 0;
  const std::string path = HostPath(file);
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return SE_ERR_FNF;
  if (!S_ISREG(st.st_mode)) return SE_ERR_ACCESSDENIED;
  if (access(path.c_str(), X_OK) != 0) return SE_ERR_ACCESSDENIED;

  std::string arg = params.ToUtf8();
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(arg.c_str()), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return SE_ERR_OOM;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return SE_ERR_OOM;
  }
  // The child starts with default signal handling and an empty mask (our crash handler and
  // blocked signals are ours), and sees none of our files, sockets or devices.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  pid_t child = 0;
  const int rc = posix_spawn(&child, path.c_str(), &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  switch (rc) {
    case 0:
      if (pid) *pid = child;
      return kShellOpenStarted;
    case ENOENT:
    case ENOTDIR:
      return SE_ERR_FNF;
    case EACCES:
    case EPERM:
      return SE_ERR_ACCESSDENIED;
    case ENOEXEC:
      return SE_ERR_BADFORMAT;
    case ENOMEM:
      return SE_ERR_OOM;
    default:
      return SE_ERR_NOASSOC;
  }
}

CString GetModuleFileName() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return CString();
  return FromHostPath(std::string(buf, size_t(n)));
}
