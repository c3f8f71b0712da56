// The program's run: the shutdown order with fakes, the command line's splash switch, the
// splash keys the application object eats, and the services the program installs.
#include "program/kestrelapp.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/diskimage.h"
#include "core/volumelist.h"
#include "platform/afx/afxfiledlg.h"
#include "platform/fileio.h"
#include "platform/sync.h"
#include "skin/splash.h"

namespace {

std::vector<std::string> g_steps;
std::atomic<int32_t> g_workers{0};
int g_countCalls = 0;

void StopPreview() { g_steps.push_back("stop preview"); }
void StopScan() { g_steps.push_back("stop scan"); }
int32_t Workers() {
  // A worker leaves a few polls after it was told to stop.
  if (++g_countCalls == 3) g_workers = 0;
  return g_workers.load();
}
int32_t StuckWorker() { return 1; }
void FreeHits() { g_steps.push_back("free hits workers=" + std::to_string(g_workers.load())); }
void ClearVolumes() { g_steps.push_back("clear volumes"); }
void ClearCache() { g_steps.push_back("clear cache"); }

ShutdownSteps Fakes() {
  ShutdownSteps s;
  s.stopPreviewWorker = &StopPreview;
  s.stopScan = &StopScan;
  s.workerCount = &Workers;
  s.freeHitLists = &FreeHits;
  s.clearVolumeList = &ClearVolumes;
  s.clearPreviewCache = &ClearCache;
  return s;
}

TEST(Shutdown, WorkersAreStoppedAndAwaitedBeforeAnythingIsFreed) {
  g_steps.clear();
  g_workers = 2;
  g_countCalls = 0;
  EXPECT_TRUE(RunShutdownSteps(Fakes()));
  EXPECT_EQ(g_steps, (std::vector<std::string>{"stop preview", "stop scan", "free hits workers=0", "clear volumes",
                                               "clear cache"}));
  EXPECT_GE(g_countCalls, 3);
}

TEST(Shutdown, AWorkerThatNeverEndsIsWaitedForBoundedAndNothingIsFreedUnderIt) {
  g_steps.clear();
  ShutdownSteps s = Fakes();
  s.workerCount = &StuckWorker;
  s.waitLimitMs = 200;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(RunShutdownSteps(s));
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_EQ(g_steps, (std::vector<std::string>{"stop preview", "stop scan"}));
}

TEST(Shutdown, MissingStepsAreSkipped) {
  ShutdownSteps none;
  EXPECT_TRUE(RunShutdownSteps(none));
}

TEST(CommandLine, AutomationEmbeddingAndRegistrationSwitchOffTheSplash) {
  const struct {
    std::vector<const char*> args;
    bool splash;
  } cases[] = {
      {{"kestrel"}, true},
      {{"kestrel", "/Automation"}, false},
      {{"kestrel", "-embedding"}, false},
      {{"kestrel", "/REGSERVER"}, false},
      {{"kestrel", "/Unregister"}, false},
      {{"kestrel", "/unregserver"}, false},
      {{"kestrel", "Automation"}, true},
      {{"kestrel", "/Automations"}, true},
      {{"kestrel", "image.img", "/register"}, false},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv;
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    EXPECT_EQ(CommandLineShowsSplash(int(argv.size()), argv.data()), c.splash) << c.args.back();
  }
}

TEST(SplashKeys, KeysAreEatenOnlyWhileASplashExists) {
  MSG esc{nullptr, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
  MSG space{nullptr, WM_KEYDOWN, VK_SPACE, 0, 0, {0, 0}};
  SplashWindow = nullptr;
  EXPECT_FALSE(theApp.PreTranslateMessage(&esc));
  alignas(CSplashWnd) static unsigned char fake[sizeof(CSplashWnd)];
  SplashWindow = reinterpret_cast<CSplashWnd*>(fake);  // only its presence counts
  SplashCountdown = 25;
  SplashPaused = 0;
  EXPECT_TRUE(theApp.PreTranslateMessage(&space));
  EXPECT_EQ(SplashPaused, 1);
  EXPECT_TRUE(theApp.PreTranslateMessage(&space));
  EXPECT_EQ(SplashPaused, 0);
  EXPECT_TRUE(theApp.PreTranslateMessage(&esc));
  EXPECT_EQ(SplashCountdown, 0u);
  SplashWindow = nullptr;
}

}  // namespace

namespace {

// The disk-image edition's chooser asks through the program's save dialog: the path comes back
// as chosen, a cancel chooses nothing.
TEST(ProgramServices, TheImageChooserUsesTheSaveDialog) {
  const std::string dir = ::testing::TempDir() + "kestrel_image_choice_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  SetProgramDirOverride(FromHostPath(dir));
  LoadSettingsForTest(u"Tesmur", u"VuzuDazuv", u"Default-Key: 101\r\n", u"Yes: Yes\r\nNo: No\r\nOK: OK\r\n");
  InstallProgramServices();
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.devicePath = t.sourcePath = FromHostPath(dir + "/source.img");
  const CString answer = FromHostPath(dir + "/Copy.QZD");
  PushPickerAnswerForTest(&answer);
  EXPECT_TRUE(ChooseDiskImagePath(4096, u"VuzuDazuv"));
  EXPECT_EQ(GetDiskImagePath(), answer);
  PushPickerAnswerForTest(nullptr);
  EXPECT_FALSE(ChooseDiskImagePath(4096, u"VuzuDazuv"));
  SetDiskImageServices(DiskImageServices());
  ResetVolumeContext(t);
  SetProgramDirOverride(CString());
  std::filesystem::remove_all(dir);
}

}  // namespace
