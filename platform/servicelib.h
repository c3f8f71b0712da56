// The maker's service library as the program reaches it: one exported factory function that
// returns the library's interface object. The library and the objects it hands out own every
// text they return (zero-terminated UTF-16, valid until the next call on the same object).
//
// The program loads the library from its own folder by name; the one built here
// (platform/standins) answers from a local file and contacts nothing.
#pragma once

// A version record: the latest release the service knows of, or the installed one.
class IServiceVersion {
 public:
  virtual const char16_t* VersionText() = 0;
  // The version information handed to the updater on its command line.
  virtual const char16_t* UpdaterInfo() = 0;
  // The value of a named attribute ("ForceUpdate"); an empty text when it has none.
  virtual const char16_t* Attribute(const char16_t* name) = 0;

 protected:
  ~IServiceVersion() = default;
};

// The addresses of the maker's web pages.
class IServicePages {
 public:
  virtual const char16_t* Select(int which) = 0;
  virtual const char16_t* PageAddress(const char16_t* page, int flags) = 0;

 protected:
  ~IServicePages() = default;
};

class IServiceInterface {
 public:
  // Releases the library's state; the last call before the library is unloaded.
  virtual void Release() = 0;
  virtual void SetConfigPath(const char16_t* path) = 0;
  virtual void SetProduct(const char16_t* version, const char16_t* code1, const char16_t* code2,
                          const char16_t* key, const char16_t* address) = 0;
  // The first call after the library was loaded.
  virtual void Start() = 0;
  virtual IServicePages* Pages() = 0;
  virtual IServiceVersion* LatestVersion() = 0;
  virtual IServiceVersion* InstalledVersion() = 0;
  virtual void SetSecondAddress(const char16_t* address, int flags) = 0;

 protected:
  ~IServiceInterface() = default;
};

// The export's name and type. The same object comes back on every call.
constexpr char kServiceExportName[] = "GetVODExport";
using ServiceExportFn = IServiceInterface* (*)();
