// Fixtures of the VolumeList tests: settings with classification on, message-only listener
// windows that record what they receive, and synthetic volumes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/settings.h"
#include "base/packedtime.h"
#include "core/filetree.h"
#include <string>

#include "core/recordtable.h"
#include "core/tests/coretestenv.h"
#include "core/tests/recordfixture.h"
#include "core/volumelist.h"
#include "platform/wndcore.h"

inline const std::u16string kViewTestLang = std::u16string(kCoreTestLang) +
    u"Files: Files\r\n"
    u"SortByFileType: By type\r\n"
    u"SortByCreateTime: By creation\r\n"
    u"SortByFixTime: By modification\r\n"
    u"DelFile: Deleted\r\n"
    u"NormalFile: Existing\r\n"
    u"FindFile: Found\r\n"
    u"Year: Year\r\n"
    u"Month: Month\r\n"
    u"Day: Day\r\n";

// Edition text: classification on, every file shown, edition number 1.
inline const char16_t kClassifyAll[] = u"Default-Key: 101\r\nDefault-ClassifyFile: 1\r\nDefault-ShowAllFile: 1\r\n";

inline void LoadViewTestSettings(const char16_t* verCfg = kClassifyAll) {
  LoadSettingsForTest(u"Tesmur", u"Pro", verCfg, CString(kViewTestLang));
  InitFileTypeTables();
  ClassifyAllowed = 1;
}

struct Received {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Received&) const = default;
};

// Everything the listener windows received, in order, from any thread.
struct ReceivedLog {
  std::mutex lock;
  std::vector<Received> items;
  // Runs inside the window procedure, on the window's thread.
  std::function<void(const Received&)> onMessage;
};
inline ReceivedLog& TestLog() {
  static auto& log = *new ReceivedLog();
  return log;
}

inline LRESULT ListenerProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg >= WM_USER && msg < WM_APP) {
    const Received r{h, msg, w, l};
    {
      std::lock_guard<std::mutex> guard(TestLog().lock);
      TestLog().items.push_back(r);
    }
    if (TestLog().onMessage) TestLog().onMessage(r);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

// A message-only window of the calling thread that records what it receives.
inline HWND MakeListenerWindow() {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ListenerProc;
    wc.lpszClassName = u"KestrelViewListener";
    return RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExW(0, u"KestrelViewListener", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

inline std::vector<Received> TakeReceived() {
  std::lock_guard<std::mutex> guard(TestLog().lock);
  std::vector<Received> out;
  out.swap(TestLog().items);
  return out;
}

inline uint32_t Day(uint32_t y, uint32_t m, uint32_t d) { return PackTime(y, m, d, 12, 0, 0); }

struct FileSpec {
  uint32_t id;
  uint32_t parent;
  const char16_t* name;
  bool dir;
  uint64_t size = 0;
  uint32_t ctime = 0;
  uint32_t mtime = 0;
};

// A linked volume (root and lost folder, then the rows in order, parents first).
inline VolumeContext MakeVolume(std::initializer_list<FileSpec> rows, const char16_t* label = u"Data",
                                uint32_t type = kVolTypeNtfs) {
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = type;
  v.label = label;
  CreateRootAndLostFolders(v);
  for (const FileSpec& s : rows) {
    FileRecord r = MakeRecord({s.id, s.parent, s.name, uint16_t(kRecInUse | (s.dir ? kRecDirectory : 0)), 0, s.ctime,
                               s.dir ? 0 : s.size});
    r.mtime = s.mtime;
    AddFileRecord(v, r, 1);
  }
  return v;
}

// A list on the heap (it is large), cleared at the end of the test.
struct ListFixture : ::testing::Test {
  std::unique_ptr<VolumeList> owned = std::make_unique<VolumeList>();
  VolumeList& list = *owned;
  HWND listener = nullptr;
  HWND mainWnd = nullptr;

  void SetUp() override {
    LoadViewTestSettings();
    TakeReceived();
    TestLog().onMessage = nullptr;
    listener = MakeListenerWindow();
    mainWnd = MakeListenerWindow();
    list.AddListener(listener);
    list.mainWindow = mainWnd;
  }
  void TearDown() override {
    TestLog().onMessage = nullptr;
    ClearVolumeList(list);
    DestroyWindow(listener);
    DestroyWindow(mainWnd);
    TakeReceived();
  }
};
