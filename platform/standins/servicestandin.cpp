// The service library the program loads at start-up, as our own stand-in: it keeps what the
// program tells it, answers the version and page questions from a local answers file, contacts
// nothing, and records every call it gets (for tests).
//
// Answers file: KESTREL_SERVICE_ANSWERS, else "ServiceAnswers.txt" beside this library. UTF-8
// lines "name=value"; blank lines and lines starting with '#' are skipped. Names:
//   latest.version, latest.info, latest.<attribute>      the latest release
//   installed.version, installed.info, installed.<attribute>
//   page.<name>                                          a web page's address
// A missing version text is the product version the program passed at set-up, so without an
// answers file no update is ever announced; a missing page address is empty. The file is read
// again each time the program fetches a record, so a test may change it between checks.
//
// Record: KESTREL_SERVICE_RECORD names a file that gets one line per call.
#include <dlfcn.h>

#include <fstream>
#include <map>
#include <mutex>
#include <string>

#include "platform/servicelib.h"
#include "platform/standins/standintext.h"

namespace {

constexpr size_t kMaxAnswerLine = 4096;
constexpr size_t kMaxAnswers = 1000;

void Record(const std::string& line) { standin::AppendRecord("KESTREL_SERVICE_RECORD", line + "\n"); }

std::string AnswersPath() {
  if (const char* p = getenv("KESTREL_SERVICE_ANSWERS"); p && *p) return p;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&AnswersPath), &info) || !info.dli_fname) return std::string();
  std::string self = info.dli_fname;
  const size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "ServiceAnswers.txt";
}

std::map<std::string, std::string> ReadAnswers() {
  std::map<std::string, std::string> answers;
  std::ifstream in(AnswersPath());
  std::string line;
  while (answers.size() < kMaxAnswers && std::getline(in, line)) {
    if (line.size() > kMaxAnswerLine) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    answers[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return answers;
}

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

class VersionRecord final : public IServiceVersion {
 public:
  explicit VersionRecord(std::string prefix) : prefix_(std::move(prefix)) {}

  void Refresh(const std::u16string& productVersion) {
    answers_ = ReadAnswers();
    auto it = answers_.find(prefix_ + ".version");
    version_ = it == answers_.end() ? productVersion : standin::FromUtf8(it->second);
    info_ = Answer("info");
  }

  const char16_t* VersionText() override {
    std::lock_guard<std::mutex> g(Lock());
    Record(prefix_ + ".VersionText");
    return version_.c_str();
  }
  const char16_t* UpdaterInfo() override {
    std::lock_guard<std::mutex> g(Lock());
    Record(prefix_ + ".UpdaterInfo");
    return info_.c_str();
  }
  const char16_t* Attribute(const char16_t* name) override {
    std::lock_guard<std::mutex> g(Lock());
    const std::string n = standin::ToUtf8(name);
    Record(prefix_ + ".Attribute " + n);
    attribute_ = Answer(n);
    return attribute_.c_str();
  }

 private:
  std::u16string Answer(const std::string& name) const {
    auto it = answers_.find(prefix_ + "." + name);
    return it == answers_.end() ? std::u16string() : standin::FromUtf8(it->second);
  }

  std::string prefix_;
  std::map<std::string, std::string> answers_;
  std::u16string version_, info_, attribute_;
};

class PageTable final : public IServicePages {
 public:
  const char16_t* Select(int which) override {
    std::lock_guard<std::mutex> g(Lock());
    Record("Pages.Select " + std::to_string(which));
    selected_.clear();
    return selected_.c_str();
  }
  const char16_t* PageAddress(const char16_t* page, int flags) override {
    std::lock_guard<std::mutex> g(Lock());
    const std::string name = standin::ToUtf8(page);
    Record("Pages.PageAddress " + name + " " + std::to_string(flags));
    const auto answers = ReadAnswers();
    auto it = answers.find("page." + name);
    address_ = it == answers.end() ? std::u16string() : standin::FromUtf8(it->second);
    return address_.c_str();
  }

 private:
  std::u16string selected_, address_;
};

class Service final : public IServiceInterface {
 public:
  void Release() override {
    std::lock_guard<std::mutex> g(Lock());
    Record("Release");
  }
  void SetConfigPath(const char16_t* path) override {
    std::lock_guard<std::mutex> g(Lock());
    Record("SetConfigPath " + standin::ToUtf8(path));
  }
  void SetProduct(const char16_t* version, const char16_t* code1, const char16_t* code2, const char16_t* key,
                  const char16_t* address) override {
    std::lock_guard<std::mutex> g(Lock());
    product_ = version ? version : u"";
    Record("SetProduct " + standin::ToUtf8(version) + "|" + standin::ToUtf8(code1) + "|" + standin::ToUtf8(code2) +
           "|" + standin::ToUtf8(key) + "|" + standin::ToUtf8(address));
  }
  void Start() override {
    std::lock_guard<std::mutex> g(Lock());
    Record("Start");
  }
  IServicePages* Pages() override {
    std::lock_guard<std::mutex> g(Lock());
    Record("Pages");
    return &pages_;
  }
  IServiceVersion* LatestVersion() override {
    std::lock_guard<std::mutex> g(Lock());
    Record("LatestVersion");
    latest_.Refresh(product_);
    return &latest_;
  }
  IServiceVersion* InstalledVersion() override {
    std::lock_guard<std::mutex> g(Lock());
    Record("InstalledVersion");
    installed_.Refresh(product_);
    return &installed_;
  }
  void SetSecondAddress(const char16_t* address, int flags) override {
    std::lock_guard<std::mutex> g(Lock());
    Record("SetSecondAddress " + standin::ToUtf8(address) + " " + std::to_string(flags));
  }

 private:
  std::u16string product_;
  PageTable pages_;
  VersionRecord latest_{"latest"};
  VersionRecord installed_{"installed"};
};

}  // namespace

extern "C" __attribute__((visibility("default"))) IServiceInterface* GetVODExport() {
  static Service service;
  return &service;
}
