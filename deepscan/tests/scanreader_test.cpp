// The reader and the thread frame against a fake device, with a test consumer that records
// every block and a message-only main window that answers WM_DEVICE_LOST by script.
#include "deepscan/scanreader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/tests/fakestorage.h"
#include "core/volumelist.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanthread.h"
#include "platform/hooks.h"
#include "platform/wndcore.h"
#include "scanbase/scanrun.h"

namespace {

using namespace std::chrono_literals;
constexpr uint64_t kBlock = kScanBlockSectors;
const char kPath[] = "fakedisk0";

// A fake device whose reads from a given LBA on wait at a gate the test opens.
class GateDevice : public FakeDevice {
 public:
  explicit GateDevice(uint64_t sectors) : FakeDevice(sectors) {}
  int64_t Pread(void* buf, uint32_t count, uint64_t offset) override {
    {
      std::unique_lock<std::mutex> lk(m_);
      if (offset / 512 > maxLba_ || maxLba_ == UINT64_MAX) maxLba_ = offset / 512;
      if (gateClosed_ && offset / 512 >= gateLba_) {
        arrived_ = true;
        cv_.notify_all();
        cv_.wait(lk, [this] { return !gateClosed_; });
      }
    }
    return FakeDevice::Pread(buf, count, offset);
  }
  void CloseGateAt(uint64_t lba) {
    std::lock_guard<std::mutex> g(m_);
    gateClosed_ = true;
    gateLba_ = lba;
  }
  bool WaitArrived() {
    std::unique_lock<std::mutex> lk(m_);
    return cv_.wait_for(lk, 60s, [this] { return arrived_; });
  }
  void OpenGate() {
    std::lock_guard<std::mutex> g(m_);
    gateClosed_ = false;
    cv_.notify_all();
  }
  uint64_t MaxLba() {
    std::lock_guard<std::mutex> g(m_);
    return maxLba_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool gateClosed_ = false;
  bool arrived_ = false;
  uint64_t gateLba_ = 0;
  uint64_t maxLba_ = UINT64_MAX;
};

struct SeenBlock {
  uint64_t lba;
  int32_t result;
  bool dataOk;
};

// What the test consumer saw; shared with its thread.
struct ConsumerLog {
  std::mutex m;
  std::vector<SeenBlock> blocks;
  std::atomic<bool> hold{false};
  std::atomic<bool> ended{false};
  uint64_t deviceSectors = 0;
};
ConsumerLog* g_log = nullptr;

bool BlockDataOk(const uint8_t* data, uint64_t lba, int32_t result, uint64_t deviceSectors) {
  for (uint64_t i : {uint64_t(0), uint64_t(1), kBlock / 2, kBlock - 1}) {
    const uint8_t* s = data + i * 512;
    bool inside = result != 0 && lba + i < deviceSectors;
    if (inside ? !IsLbaSector(s, lba + i) : !IsZero(s, 512)) return false;
  }
  return true;
}

UINT TestConsumer(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  ConsumerLog* log = g_log;
  OnThreadBegin(u"TestConsumer");
  uint8_t* staging = static_cast<uint8_t*>(AllocMem(kScanBlockBytes, 1));
  for (;;) {
    uint32_t s = state->load();
    if (s == kScanStopped) break;
    if (log->hold.load()) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    if (TakeScanBlock(staging)) {
      uint64_t lba = ScanBlockLba(staging);
      int32_t result = ScanBlockReadResult(staging);
      bool ok = BlockDataOk(staging, lba, result, log->deviceSectors);
      {
        std::lock_guard<std::mutex> g(log->m);
        log->blocks.push_back({lba, result, ok});
      }
      SetBlockState(lba / kBlock, kBlockHandled);
      continue;
    }
    if (s == kScanInputDone) break;
    WaitForScanBlock(20);
  }
  FreeMem(staging);
  EndDeepScan();
  OnThreadEnd(u"TestConsumer");
  log->ended.store(true);
  return 0;
}

// The main window: answers WM_DEVICE_LOST with the test's script.
std::function<void()>* g_onDeviceLost = nullptr;
std::atomic<int> g_deviceLostCount{0};

LRESULT MainWndProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_DEVICE_LOST) {
    ++g_deviceLostCount;
    if (g_onDeviceLost && *g_onDeviceLost) (*g_onDeviceLost)();
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

std::vector<CString>* g_boxes = nullptr;
std::mutex g_boxLock;
bool RecordBox(const CString& text, const CString&, const CString&) {
  std::lock_guard<std::mutex> g(g_boxLock);
  if (g_boxes) g_boxes->push_back(text);
  return false;
}
std::vector<CString>* g_events = nullptr;
void RecordEvent(unsigned code, const CString& text, bool) {
  std::lock_guard<std::mutex> g(g_boxLock);
  if (g_events) g_events->push_back(FormatCString(u"%u %s", code, text));
}

const char16_t kLang[] =
    u"ScanEncountErr: %u failed (%s)\r\n"
    u"MaybeUsbPoorContact: poor contact\r\n"
    u"ScanDevOpenFailed: cannot open %s\r\n";

class ScanFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", kLang);
    // One backend for the process: a helper read may still hold a device after a test.
    static FakeBackend& backend = *new FakeBackend();
    backend_ = &backend;
    SetStorageBackend(backend_);
    SetScanPauseStepMs(5);
    SetMessageBoxHandler(&RecordBox);
    SetEventReportHandler(&RecordEvent);
    g_boxes = &boxes_;
    g_events = &events_;
    g_log = &log_;
    g_onDeviceLost = &onLost_;
    g_deviceLostCount = 0;
    SetScanConsumer(ScanConsumerKind::kCarving, &TestConsumer);
    SetAddRealPartInfoHook(nullptr);
    DeepScanSettingsRecord() = DeepScanSettings();
    DeepScanSettingsRecord().showWhileScanning = 0;
    ProbeReading.store(0);
    static bool registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &MainWndProc;
      wc.lpszClassName = u"KestrelScanTestMain";
      return RegisterClassW(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    mainWnd_ = CreateWindowExW(0, u"KestrelScanTestMain", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    AppVolumeList().mainWindow = mainWnd_;
  }
  void TearDown() override {
    AppVolumeList().mainWindow = nullptr;
    DestroyWindow(mainWnd_);
    SetScanConsumer(ScanConsumerKind::kCarving, nullptr);
    SetMessageBoxHandler(nullptr);
    SetEventReportHandler(nullptr);
    SetStorageBackend(nullptr);
    SetScanPauseStepMs(0);
    g_boxes = nullptr;
    g_events = nullptr;
    g_onDeviceLost = nullptr;
    ScanRunState.store(kScanStopped);
  }

  std::shared_ptr<GateDevice> AddDevice(uint64_t sectors) {
    auto dev = std::make_shared<GateDevice>(sectors);
    backend_->Add(kPath, dev);
    return dev;
  }
  void Target(uint64_t sectors, uint32_t operation = 1, bool removable = false) {
    VolumeContext& t = ScanTarget();
    ResetVolumeContext(t);
    t.name = u"Fake disk";
    t.devicePath = CString(kPath);
    t.sectorCount = sectors;
    t.deviceSectors = sectors;
    t.operation = operation;
    t.removable = removable ? 1 : 0;
    t.targetKind = kTargetDisk;
    log_.deviceSectors = sectors;
  }
  void Start(uint32_t state = kScanRunning) {
    ScanRunState.store(state);
    done_ = false;
    thread_ = std::thread([this] {
      DiskScanAndViewThread(&ScanRunState);
      done_ = true;
    });
  }
  // Serves the main window until the pred holds; false after the time-out.
  bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 60s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      PumpSentMessages();
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  bool WaitScanEnd() {
    bool ok = PumpUntil([this] { return done_.load() && log_.ended.load(); }, 120s);
    if (thread_.joinable()) thread_.join();
    return ok;
  }
  std::vector<uint64_t> SeenLbas() {
    std::lock_guard<std::mutex> g(log_.m);
    std::vector<uint64_t> v;
    for (const SeenBlock& b : log_.blocks) v.push_back(b.lba);
    return v;
  }
  size_t SeenCount() {
    std::lock_guard<std::mutex> g(log_.m);
    return log_.blocks.size();
  }
  void ExpectAllGood() {
    std::lock_guard<std::mutex> g(log_.m);
    for (const SeenBlock& b : log_.blocks) {
      EXPECT_EQ(b.result, 1) << b.lba;
      EXPECT_TRUE(b.dataOk) << b.lba;
    }
  }
  static std::vector<uint64_t> Lbas(std::initializer_list<uint64_t> blocks) {
    std::vector<uint64_t> v;
    for (uint64_t b : blocks) v.push_back(b * kBlock);
    return v;
  }

  FakeBackend* backend_ = nullptr;
  HWND mainWnd_ = nullptr;
  ConsumerLog log_;
  std::vector<CString> boxes_, events_;
  std::function<void()> onLost_;
  std::thread thread_;
  std::atomic<bool> done_{false};
};

TEST_F(ScanFixture, EveryBlockArrivesInOrderWithItsData) {
  const uint64_t sectors = 5 * kBlock + 100;  // the last block is mostly past the end
  AddDevice(sectors);
  Target(sectors);
  Start();
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(SeenLbas(), Lbas({0, 1, 2, 3, 4, 5}));
  ExpectAllGood();
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
  EXPECT_EQ(ReaderDone.load(), 1u);
  EXPECT_LE(ScanRingHighWater(), kScanRingSlots);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(ScanBlockRingExists()) << "the end of the scan frees the ring";
}

TEST_F(ScanFixture, QueuedBlocksComeFirstAndUnfitOnesAreDropped) {
  AddDevice(8 * kBlock);
  Target(8 * kBlock);
  DeepScanSettingsRecord().priorityStart = 3 * kBlock + 5;
  DeepScanSettingsRecord().priorityCount = kBlock;  // blocks 3 and 4
  DeepScanSettingsRecord().showWhileScanning = 1;
  SetAddRealPartInfoHook([](std::atomic<uint32_t>*) {
    std::lock_guard<std::mutex> g(PriorityQueueLock());
    PriorityBlockQueue().push_back(100 * kBlock);  // outside the range
    PriorityBlockQueue().push_back(3 * kBlock);    // already taken by then
    PriorityBlockQueue().push_back(6 * kBlock);
  });
  Start();
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(SeenLbas(), Lbas({3, 4, 6, 0, 1, 2, 5, 7}));
  ExpectAllGood();
}

TEST_F(ScanFixture, DeletedFilesOperationsReadOnlyQueuedBlocks) {
  for (uint32_t op : {kOperationDeletedFiles, kOperationEmptiedRecycleBin}) {
    log_.blocks.clear();
    log_.ended = false;
    AddDevice(6 * kBlock);
    Target(6 * kBlock, op);
    DeepScanSettingsRecord().priorityStart = 2 * kBlock;
    DeepScanSettingsRecord().priorityCount = 1;
    Start();
    ASSERT_TRUE(WaitScanEnd()) << op;
    EXPECT_EQ(SeenLbas(), Lbas({2})) << op;
    EXPECT_EQ(ScanRunState.load(), kScanInputDone);
  }
}

TEST_F(ScanFixture, PauseBeforeTheFirstBlockHoldsTheReader) {
  auto dev = AddDevice(3 * kBlock);
  Target(3 * kBlock);
  Start(kScanPaused);
  ASSERT_TRUE(PumpUntil([] { return ScanBlockRingExists(); }));
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(dev->Reads(), 0);
  EXPECT_EQ(ReaderDone.load(), 0u);
  ScanRunState.store(kScanRunning);
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(SeenLbas(), Lbas({0, 1, 2}));
}

TEST_F(ScanFixture, PauseInTheMiddleHoldsTheNextRead) {
  auto dev = AddDevice(4 * kBlock);
  Target(4 * kBlock);
  dev->CloseGateAt(1 * kBlock);
  Start();
  ASSERT_TRUE(dev->WaitArrived());
  ScanRunState.store(kScanPaused);
  dev->OpenGate();  // the block in hand is finished first
  ASSERT_TRUE(PumpUntil([this] { return SeenCount() == 2; }));
  std::this_thread::sleep_for(60ms);
  EXPECT_LT(dev->MaxLba(), 2 * kBlock) << "nothing read while paused";
  EXPECT_EQ(SeenCount(), 2u);
  ScanRunState.store(kScanRunning);
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(SeenLbas(), Lbas({0, 1, 2, 3}));
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
}

TEST_F(ScanFixture, PauseWhenTheReadingCompletesIsWaitedOut) {
  auto dev = AddDevice(3 * kBlock);
  Target(3 * kBlock);
  dev->CloseGateAt(2 * kBlock);
  Start();
  ASSERT_TRUE(dev->WaitArrived());
  ScanRunState.store(kScanPaused);
  dev->OpenGate();
  ASSERT_TRUE(PumpUntil([this] { return SeenCount() == 3; }));
  std::this_thread::sleep_for(60ms);
  // Still paused, and the reader has not given up: a resume must lead to the end.
  EXPECT_EQ(ScanRunState.load(), kScanPaused);
  EXPECT_EQ(ReaderDone.load(), 0u);
  EXPECT_FALSE(log_.ended.load());
  ScanRunState.store(kScanRunning);
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
  EXPECT_EQ(ReaderDone.load(), 1u);
}

TEST_F(ScanFixture, StopInTheMiddleEndsWithoutTheInputMark) {
  auto dev = AddDevice(6 * kBlock);
  Target(6 * kBlock);
  dev->CloseGateAt(1 * kBlock);
  Start();
  ASSERT_TRUE(dev->WaitArrived());
  ScanRunState.store(kScanStopped);
  dev->OpenGate();
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(ScanRunState.load(), kScanStopped);
  EXPECT_EQ(ReaderDone.load(), 1u);
  EXPECT_LT(dev->MaxLba(), 2 * kBlock);
  EXPECT_LE(SeenCount(), 2u);
}

TEST_F(ScanFixture, StopWhilePausedReadsNothingMore) {
  auto dev = AddDevice(3 * kBlock);
  Target(3 * kBlock);
  Start(kScanPaused);
  std::this_thread::sleep_for(30ms);
  ScanRunState.store(kScanStopped);
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(dev->Reads(), 0);
  EXPECT_EQ(ScanRunState.load(), kScanStopped);
}

TEST_F(ScanFixture, StopWhileTheRingIsFullAbandonsTheBlockInHand) {
  auto dev = AddDevice(12 * kBlock);
  Target(12 * kBlock);
  log_.hold = true;
  Start();
  ASSERT_TRUE(PumpUntil([] { return ScanBlockRingExists() && GetScanRingState().count == kScanRingSlots; }));
  // The ninth block is chosen and waits for a slot to be read into.
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(GetScanRingState().count, kScanRingSlots);
  EXPECT_LT(dev->MaxLba(), 8 * kBlock) << "no ninth block is read while the ring is full";
  ScanRunState.store(kScanStopped);
  log_.hold = false;
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(ScanRunState.load(), kScanStopped);
  EXPECT_EQ(ScanRingHighWater(), kScanRingSlots);
  EXPECT_EQ(SeenCount(), 0u) << "a stopped consumer takes nothing more";
}

TEST_F(ScanFixture, ReadErrorInOneBlockGoesOnMarkedFailed) {
  auto dev = AddDevice(6 * kBlock);
  Target(6 * kBlock, 1, /*removable=*/true);
  dev->FailAt(2 * kBlock + 7, EIO);
  Start();
  ASSERT_TRUE(WaitScanEnd());
  ASSERT_EQ(SeenLbas(), Lbas({0, 1, 2, 3, 4, 5}));
  {
    std::lock_guard<std::mutex> g(log_.m);
    for (const SeenBlock& b : log_.blocks) {
      EXPECT_EQ(b.result, b.lba == 2 * kBlock ? 0 : 1) << b.lba;
      EXPECT_TRUE(b.dataOk) << "a failed block is all zero: " << b.lba;
    }
  }
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0], CString(u"1 failed (8.00(MB))\npoor contact"));
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0], CString(u"23 Disk scan error: 1 / 6"));
  EXPECT_EQ(g_deviceLostCount.load(), 0) << "a plain read error is not a lost device";
}

TEST_F(ScanFixture, ReadErrorSummaryNeedsOneFailureInTwenty) {
  Target(kBlock);
  struct Case {
    uint32_t reads, failed;
    bool shown;
  } const cases[] = {{100, 5, true}, {100, 4, false}, {0, 0, false}, {1, 1, true}, {21, 1, false}};
  for (const Case& c : cases) {
    boxes_.clear();
    BlockReads.store(c.reads);
    BlockReadFailures.store(c.failed);
    ReportScanReadErrors();
    EXPECT_EQ(boxes_.size(), c.shown ? 1u : 0u) << c.failed << "/" << c.reads;
  }
  BlockReads.store(0);
  BlockReadFailures.store(0);
}

TEST_F(ScanFixture, DeviceLossAnsweredWithRetryReadsTheSameBlockAgain) {
  auto lost = AddDevice(4 * kBlock);
  Target(4 * kBlock);
  lost->CloseGateAt(1 * kBlock);
  onLost_ = [this] { AddDevice(4 * kBlock); };  // the device is back; the state stays 0
  Start();
  ASSERT_TRUE(lost->WaitArrived());
  lost->Vanish();
  lost->OpenGate();
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(g_deviceLostCount.load(), 1);
  EXPECT_EQ(SeenLbas(), Lbas({0, 1, 2, 3}));
  ExpectAllGood();
  EXPECT_TRUE(boxes_.empty()) << "a lost device is not a read error";
}

TEST_F(ScanFixture, DeviceLossAnsweredWithCancelKeepsTheBlockUntilTheDeviceReturns) {
  auto lost = AddDevice(4 * kBlock);
  Target(4 * kBlock);
  lost->CloseGateAt(2 * kBlock);
  onLost_ = [] { ScanRunState.store(kScanPaused); };
  Start();
  ASSERT_TRUE(lost->WaitArrived());
  lost->Vanish();
  lost->OpenGate();
  ASSERT_TRUE(PumpUntil([] { return g_deviceLostCount.load() == 1; }));
  ASSERT_TRUE(PumpUntil([this] { return SeenCount() == 2; }));
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(SeenCount(), 2u) << "the block in hand is not sent on as failed";
  AddDevice(4 * kBlock);  // the device arrives again and the scan resumes
  ScanRunState.store(kScanRunning);
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(g_deviceLostCount.load(), 1);
  EXPECT_EQ(SeenLbas(), Lbas({0, 1, 2, 3}));
  ExpectAllGood();
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
}

TEST_F(ScanFixture, DeviceThatCannotBeOpenedEndsTheScan) {
  Target(4 * kBlock);
  ScanTarget().devicePath = u"nodevice";  // nothing behind this path
  Start();
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(SeenCount(), 0u);
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
  EXPECT_EQ(ReaderDone.load(), 1u);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0], CString(u"cannot open Fake disk"));
}

TEST_F(ScanFixture, DeviceThatCannotBeOpenedWhilePausedEndsTheScanOnResume) {
  Target(4 * kBlock);
  ScanTarget().devicePath = u"nodevice";
  Start(kScanPaused);
  // The reader has tried and given up; the scan resumes after that.
  ASSERT_TRUE(PumpUntil([this] { return boxes_.size() == 1; }));
  std::this_thread::sleep_for(50ms);
  ScanRunState.store(kScanRunning);
  ASSERT_TRUE(WaitScanEnd());
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
  EXPECT_EQ(ReaderDone.load(), 1u);
}

TEST(ScanConsumerChoice, FirstMatchWins) {
  struct Case {
    uint32_t mov, mts;
    const char16_t* version;
    ScanConsumerKind kind;
  } const cases[] = {
      {1, 1, u"VuzuDazuv", ScanConsumerKind::kVideoFragments},
      {0, 1, u"VuzuDazuv", ScanConsumerKind::kMtsFragments},
      {0, 0, u"VuzuDazuv", ScanConsumerKind::kDiskImage},
      {0, 0, u"VuzuDazuvX", ScanConsumerKind::kCarving},
      {0, 0, u"vuzudazuv", ScanConsumerKind::kCarving},
      {0, 0, u"Pro", ScanConsumerKind::kCarving},
  };
  for (const Case& c : cases) {
    LoadSettingsForTest(u"Tesmur", c.version, u"Default-Key: 101\r\n", u"");
    MovFragmentMode = c.mov;
    MtsFragmentMode = c.mts;
    EXPECT_EQ(ChooseScanConsumer(), c.kind) << c.mov << c.mts;
  }
  MovFragmentMode = 0;
  MtsFragmentMode = 0;
}

}  // namespace
