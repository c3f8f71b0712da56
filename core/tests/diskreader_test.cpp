#include "core/diskreader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "core/tests/fakestorage.h"
#include "platform/hooks.h"

namespace {

// Scripted message box: answers in turn, texts recorded.
struct BoxScript {
  std::vector<bool> answers;
  size_t next = 0;
  std::vector<std::u16string> texts;
  std::vector<std::u16string> buttons;
};
BoxScript g_box;
bool ScriptedBox(const CString& text, const CString& first, const CString& second) {
  g_box.texts.push_back(text.Str());
  g_box.buttons.push_back(first.Str() + u"|" + second.Str());
  bool a = g_box.next < g_box.answers.size() ? g_box.answers[g_box.next] : false;
  ++g_box.next;
  return a;
}

// Records each chunk's time-out and size; reads wait g_waitMs instead.
std::vector<std::pair<DWORD, DWORD>> g_chunks;
DWORD g_waitMs = 2000;
DWORD RecordTimeout(DWORD ms, DWORD bytes) {
  g_chunks.emplace_back(ms, bytes);
  return g_waitMs;
}

const char16_t kLang[] =
    u"UsbNeedRetry: is gone. Plug it in again and press Retry.\r\n"
    u"Retry: Retry\r\n"
    u"Cancel: Cancel\r\n";

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"", kLang);
    backend_ = new FakeBackend();
    SetStorageBackend(backend_);
    SetMessageBoxHandler(ScriptedBox);
    SetReadTimeoutHook(RecordTimeout);
    g_box = BoxScript();
    g_chunks.clear();
    g_waitMs = 2000;
    SmallChunkReads = 0;
    LastReadError = 0;
    BlockReads = BlockReadFailures = OtherReads = OtherReadFailures = 0;
    DeviceReadErrorSeen = 0;
  }
  void TearDown() override {
    SetStorageBackend(nullptr);
    SetReadTimeoutHook(nullptr);
    SetMessageBoxHandler(nullptr);
    // Devices may still be referenced by a helper thread that finished late; the backend
    // only hands out shared pointers, so it can go.
    delete backend_;
  }

  std::shared_ptr<FakeDevice> AddDevice(const std::string& path, uint64_t sectors) {
    auto d = std::make_shared<FakeDevice>(sectors);
    backend_->Add(path, d);
    return d;
  }
  static VolumeContext Target(const char16_t* path, uint64_t sectors, uint32_t removable = 0) {
    VolumeContext t;
    t.name = u"USBDISK";
    t.devicePath = path;
    t.firstLba = 0;
    t.sectorCount = sectors;
    t.removable = removable;
    return t;
  }

  FakeBackend* backend_ = nullptr;
};

TEST_F(ReaderTest, BoundariesOfTheDevice) {
  auto dev = AddDevice("\\\\.\\PhysicalDrive1", 100);
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"\\\\.\\PhysicalDrive1", 100), r));
  EXPECT_EQ(r.lastLba, 99);
  struct Case {
    const char* what;
    uint64_t lba;
    uint32_t count;
    BOOL result;
    uint32_t dataSectors;  // sectors at the front that hold their LBA; the rest must be zero
    uint32_t otherReads;   // added to OtherReads
  } cases[] = {
      {"at the unknown-size mark", 0x1000000000000, 2, 0, 0, 0},
      {"far above the mark", 0x7000000000000000, 1, 0, 0, 0},
      {"the last LBA", 99, 1, 1, 1, 1},
      {"cut at the end", 98, 4, 1, 2, 1},
      {"one past the last", 100, 3, 0, 0, 0},
      {"zero sectors", 5, 0, 1, 0, 1},
      {"first sectors", 0, 3, 1, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> buf(size_t(std::max<uint32_t>(c.count, 1)) * 512, 0xAA);
    uint32_t before = OtherReads;
    EXPECT_EQ(r.ReadSectors(buf.data(), c.lba, c.count), c.result);
    for (uint32_t i = 0; i < c.dataSectors; ++i) EXPECT_TRUE(IsLbaSector(&buf[i * 512], c.lba + i));
    EXPECT_TRUE(IsZero(&buf[c.dataSectors * 512], size_t(c.count - c.dataSectors) * 512));
    EXPECT_EQ(OtherReads - before, c.otherReads);
  }
  EXPECT_EQ(BlockReads, 0u);
  EXPECT_EQ(OtherReadFailures, 0u);
  EXPECT_EQ(DeviceReadErrorSeen, 0u);
}

TEST_F(ReaderTest, UnknownSizeLetsEveryLbaBelowTheMarkBeTried) {
  auto dev = AddDevice("img", 100);
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"img", kUnknownSectorCount), r));
  EXPECT_EQ(r.lastLba, kUnknownSizeLba);
  std::vector<uint8_t> buf(512);
  int reads = dev->Reads();
  // Far beyond the device: attempted (and failing short), not refused by the size check.
  EXPECT_EQ(r.ReadSectors(buf.data(), 0xFFFFFFFFFFFF, 1), 0);
  EXPECT_EQ(dev->Reads(), reads + 1);
  EXPECT_EQ(LastReadError, ERROR_HANDLE_EOF);
  EXPECT_EQ(r.ReadSectors(buf.data(), 42, 1), 1);
  EXPECT_TRUE(IsLbaSector(buf.data(), 42));
}

TEST_F(ReaderTest, ChunksAndTimeOuts) {
  AddDevice("disk", 40000);
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"disk", 40000), r));
  std::vector<uint8_t> buf(16384 * 512);

  ASSERT_TRUE(r.ReadSectors(buf.data(), 10, 5000));
  std::vector<std::pair<DWORD, DWORD>> want = {{8000, 2048 * 512}, {8000, 2048 * 512}, {8000, 904 * 512}};
  EXPECT_EQ(g_chunks, want);
  for (uint32_t i = 0; i < 5000; i += 997) EXPECT_TRUE(IsLbaSector(&buf[i * 512], 10 + i));

  g_chunks.clear();
  SmallChunkReads = 1;
  ASSERT_TRUE(r.ReadSectors(buf.data(), 0, 300));
  want = {{8000, 256 * 512}, {4000, 44 * 512}};
  EXPECT_EQ(g_chunks, want);
  EXPECT_TRUE(IsLbaSector(&buf[299 * 512], 299));
  SmallChunkReads = 0;

  // A whole scan block counts as a block read; one cut at the device end does not.
  uint32_t other = OtherReads;
  ASSERT_TRUE(r.ReadSectors(buf.data(), 16384, 16384));
  EXPECT_EQ(BlockReads, 1u);
  ASSERT_TRUE(r.ReadSectors(buf.data(), 32768, 16384));
  EXPECT_EQ(BlockReads, 1u);
  EXPECT_EQ(OtherReads, other + 1);
  EXPECT_TRUE(IsLbaSector(&buf[(39999 - 32768) * 512], 39999));
  EXPECT_TRUE(IsZero(&buf[(40000 - 32768) * 512], size_t(16384 - (40000 - 32768)) * 512));
}

// Reads run with one helper, or with pieces spread over several helpers as image files do.
class ReaderParallelTest : public ReaderTest, public ::testing::WithParamInterface<uint32_t> {};
INSTANTIATE_TEST_SUITE_P(Helpers, ReaderParallelTest, ::testing::Values(1u, 3u));

TEST_P(ReaderParallelTest, FailedChunkKeepsEarlierChunksAndZerosTheRest) {
  auto dev = AddDevice("disk", 40000);
  dev->parallel_ = GetParam();
  dev->FailAt(3000);
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"disk", 40000), r));
  std::vector<uint8_t> buf(16384 * 512, 0xAA);
  EXPECT_EQ(r.ReadSectors(buf.data(), 0, 16384), 0);
  for (uint32_t i = 0; i < 2048; i += 511) EXPECT_TRUE(IsLbaSector(&buf[i * 512], i));
  EXPECT_TRUE(IsLbaSector(&buf[2047 * 512], 2047));
  EXPECT_TRUE(IsZero(&buf[2048 * 512], size_t(16384 - 2048) * 512));
  EXPECT_EQ(g_chunks.size(), 2u);  // stopped at the failed chunk
  EXPECT_EQ(LastReadError, ERROR_IO_DEVICE);
  EXPECT_EQ(DeviceReadErrorSeen, 1u);
  EXPECT_EQ(BlockReads, 1u);
  EXPECT_EQ(BlockReadFailures, 1u);
}

TEST_F(ReaderTest, ErrnoOfAFailedReadMapsToTheCodesTheProgramTests) {
  struct Case {
    int err;
    bool present;
    DWORD code;
    bool counted;
  } cases[] = {
      {ENODEV, false, ERROR_NO_SUCH_DEVICE, false}, {ENXIO, false, ERROR_NO_SUCH_DEVICE, false},
      {ENOMEDIUM, false, ERROR_NO_SUCH_DEVICE, false}, {ENOENT, false, ERROR_FILE_NOT_FOUND, false},
      {EBADF, false, ERROR_FILE_INVALID, false}, {ESTALE, false, ERROR_FILE_INVALID, false},
      {EIO, false, ERROR_NO_SUCH_DEVICE, false},  // EIO from a device that vanished
      {EIO, true, ERROR_IO_DEVICE, true},         // EIO from a device still there
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    auto dev = AddDevice("disk", 100);
    if (c.present) dev->FailAt(0, c.err);
    else dev->Vanish(c.err);
    DiskReader r;
    ASSERT_TRUE(OpenVolumeDevice(Target(u"disk", 100), r));
    OtherReads = OtherReadFailures = 0;
    std::vector<uint8_t> buf(512, 0xAA);
    // A lost device is a failure to the caller, whether counted or not.
    EXPECT_EQ(r.ReadSectors(buf.data(), 0, 1), 0);
    EXPECT_TRUE(IsZero(buf.data(), 512));
    EXPECT_EQ(LastReadError, c.code);
    EXPECT_EQ(OtherReads, c.counted ? 1u : 0u);
    EXPECT_EQ(OtherReadFailures, c.counted ? 1u : 0u);
    EXPECT_EQ(DeviceReadErrorSeen, 1u);
  }
}

TEST_P(ReaderParallelTest, StalledReadTimesOutAndNeverWritesLater) {
  auto dev = AddDevice("disk", 4096);
  dev->parallel_ = GetParam();
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"disk", 4096), r));
  g_waitMs = 50;
  std::vector<uint8_t> buf(2048 * 512, 0xAA);

  // The whole read stalls.
  dev->Stall();
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(r.ReadSectors(buf.data(), 0, 100), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_EQ(LastReadError, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(g_chunks.at(0).first, 4000u);  // the time-out asked for; the hook shortened it
  dev->Release();
  dev->WaitIdle();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(IsZero(buf.data(), 100 * 512));
  EXPECT_EQ(buf[100 * 512], 0xAA);  // beyond the request: untouched

  // The chunk stalls part-way, after its first pieces were copied in: they are dropped, and
  // the stuck piece, when it finally comes back, is not written either.
  buf.assign(buf.size(), 0xAA);
  dev->Stall(1024);
  EXPECT_EQ(r.ReadSectors(buf.data(), 0, 2048), 0);
  EXPECT_EQ(LastReadError, ERROR_OPERATION_ABORTED);
  dev->Release();
  dev->WaitIdle();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(IsZero(buf.data(), buf.size()));

  // A failed piece inside a chunk: the whole chunk reads as zeros.
  buf.assign(buf.size(), 0xAA);
  dev->FailAt(1500, EIO);
  EXPECT_EQ(r.ReadSectors(buf.data(), 0, 2048), 0);
  EXPECT_EQ(LastReadError, ERROR_IO_DEVICE);
  EXPECT_TRUE(IsZero(buf.data(), buf.size()));

  // The reader goes on.
  g_waitMs = 2000;
  EXPECT_EQ(r.ReadSectors(buf.data(), 7, 1), 1);
  EXPECT_TRUE(IsLbaSector(buf.data(), 7));
}

TEST_F(ReaderTest, SlowReadWithinTheTimeOutSucceeds) {
  auto dev = AddDevice("disk", 100);
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"disk", 100), r));
  dev->Stall();
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    dev->Release();
  });
  std::vector<uint8_t> buf(2 * 512);
  EXPECT_EQ(r.ReadSectors(buf.data(), 50, 2), 1);
  release.join();
  EXPECT_TRUE(IsLbaSector(&buf[512], 51));
}

TEST_F(ReaderTest, RetryQuestionReopensTheScanTarget) {
  auto dev = AddDevice("usb", 100);
  VolumeContext t = Target(u"usb", 100, 1);
  ScanTarget() = t;
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(t, r));
  dev->Vanish();
  // The stick comes back as a new device at the same path; the first re-open still fails.
  AddDevice("usb", 100);
  backend_->QueueOpenResults({ERROR_FILE_NOT_FOUND});
  g_box.answers = {true, true};
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(r.ReadSectorsWithRetry(buf.data(), 9, 1), 1);
  EXPECT_TRUE(IsLbaSector(buf.data(), 9));
  ASSERT_EQ(g_box.texts.size(), 2u);
  EXPECT_EQ(g_box.texts[0], u"USBDISK is gone. Plug it in again and press Retry.");
  EXPECT_EQ(g_box.buttons[0], u"Retry|Cancel");
  EXPECT_EQ(r.aborted, 0u);
}

// A reader of another device than the scan target (a copy of a volume on a second drive) comes
// back on its own device, under its own name, never on the scan target.
TEST_F(ReaderTest, RetryReopensTheReadersOwnDevice) {
  AddDevice("scan", 100);
  VolumeContext scan = Target(u"scan", 100, 1);
  scan.name = u"SCANDISK";
  ScanTarget() = scan;
  auto dev = AddDevice("other", 200);
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"other", 200, 1), r));
  dev->Vanish();
  AddDevice("other", 200);
  g_box.answers = {true};
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(r.ReadSectorsWithRetry(buf.data(), 150, 1), 1);
  EXPECT_TRUE(IsLbaSector(buf.data(), 150));
  EXPECT_EQ(r.devicePath.Str(), u"other");
  ASSERT_EQ(g_box.texts.size(), 1u);
  EXPECT_EQ(g_box.texts[0].rfind(u"USBDISK", 0), 0u);
}

TEST_F(ReaderTest, CancelAbortsEveryLaterRead) {
  auto dev = AddDevice("usb", 100);
  VolumeContext t = Target(u"usb", 100, 1);
  ScanTarget() = t;
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(t, r));
  dev->Vanish();
  g_box.answers = {false};
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(r.ReadSectorsWithRetry(buf.data(), 0, 1), 0);
  EXPECT_EQ(r.aborted, 1u);
  int reads = dev->Reads();
  EXPECT_EQ(r.ReadSectorsWithRetry(buf.data(), 1, 1), 0);
  EXPECT_EQ(dev->Reads(), reads);
  EXPECT_EQ(g_box.texts.size(), 1u);
  // A plain read error is not a reason to ask.
  auto bad = AddDevice("bad", 100);
  bad->FailAt(0);
  DiskReader r2;
  ASSERT_TRUE(OpenVolumeDevice(Target(u"bad", 100, 1), r2));
  EXPECT_EQ(r2.ReadSectorsWithRetry(buf.data(), 0, 1), 0);
  EXPECT_EQ(g_box.texts.size(), 1u);
}

TEST_F(ReaderTest, OpenWithRetryAsksOnlyForRemovableTargets) {
  AddDevice("usb", 100);
  DiskReader r;
  backend_->QueueOpenResults({ERROR_NO_SUCH_DEVICE});
  EXPECT_EQ(OpenVolumeDeviceWithRetry(Target(u"usb", 100, 0), r), 0);
  EXPECT_EQ(r.handle, kInvalidStorageHandle);
  EXPECT_TRUE(g_box.texts.empty());

  backend_->QueueOpenResults({ERROR_NO_SUCH_DEVICE, ERROR_NO_SUCH_DEVICE});
  g_box.answers = {true, true};
  EXPECT_EQ(OpenVolumeDeviceWithRetry(Target(u"usb", 100, 1), r), 1);
  EXPECT_EQ(g_box.texts.size(), 2u);

  backend_->QueueOpenResults({ERROR_NO_SUCH_DEVICE});
  g_box = BoxScript();
  g_box.answers = {false};
  EXPECT_EQ(OpenVolumeDeviceWithRetry(Target(u"usb", 100, 1), r), 0);
  EXPECT_EQ(g_box.texts.size(), 1u);
}

TEST_F(ReaderTest, SizeCascade) {
  struct Case {
    const char* what;
    const char* path;
    bool isDisk;
    uint64_t fileSize;
    uint64_t seekEnd;
    uint64_t want;
  } cases[] = {
      {"disk length first", "disk", true, 0, 77, 100 * 512},
      {"then the file size", "file.img", false, 4096, 77, 4096},
      {"an empty file on a volume path: the drive's file system", "\\\\.\\E:", false, 0, 77, 987654321},
      {"an empty file elsewhere: the end position", "file.img", false, 0, 77, 77},
      {"nothing answers", "file.img", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto dev = AddDevice(c.path, 100);
    dev->isDisk_ = c.isDisk;
    dev->fileSize_ = c.fileSize;
    dev->seekEnd_ = c.seekEnd;
    DiskReader r;
    CString path(c.path);
    ASSERT_TRUE(OpenDeviceByPath(path, r, 1));
    EXPECT_EQ(r.sizeBytes, c.want);
    EXPECT_EQ(r.lastLba, int64_t(c.want / 512) - 1);
    EXPECT_EQ(r.name, path);
  }
}

TEST_F(ReaderTest, ModelNameAndBus) {
  struct Case {
    bool hasInfo;
    const char* vendor;
    const char* model;
    DWORD bus;
    BOOL ok;
    const char16_t* want;
    BOOL usb;
  } cases[] = {
      {true, "ACME    ", "Fast Disk  ", kBusUsb, 1, u"ACME Fast Disk", 1},
      {true, "", "Only Model", kBusSata, 1, u"Only Model", 0},
      {true, "   ", "", kBusNvme, 1, u"", 0},
      {true, "ACME", "Tape", 2, 0, u"", 0},  // a bus the query does not accept
      {false, "", "", 0, 0, u"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    auto dev = AddDevice("disk", 10);
    dev->hasInfo_ = c.hasInfo;
    dev->info_.vendor = c.vendor;
    dev->info_.model = c.model;
    dev->info_.busType = c.bus;
    DiskReader r;
    ASSERT_TRUE(OpenVolumeDevice(Target(u"disk", 10), r));
    CString model;
    EXPECT_EQ(r.GetModelName(model), c.ok);
    EXPECT_EQ(model, CString(c.want));
    EXPECT_EQ(r.IsUsbBus(), c.usb);
  }
}

TEST_F(ReaderTest, SmallChunkRuleCountsSectors) {
  struct Case {
    uint32_t removable;
    uint64_t sectors;
    uint32_t want;
  } cases[] = {
      {1, 62521344, 1},                        // a 32 GB stick
      {1, 0x13FFFFFFFFull, 1},                 // rounds down below the limit
      {1, 0x1400000000ull, 0},                 // the limit itself (40 TiB)
      {1, 0x1400000000ull + (1u << 30) - 1, 0},
      {0, 62521344, 0},                        // fixed disks never
  };
  for (const Case& c : cases) {
    SmallChunkReads = 1 - c.want;
    VolumeContext t = Target(u"x", c.sectors, c.removable);
    UpdateSmallChunkReads(t);
    EXPECT_EQ(SmallChunkReads, c.want) << c.sectors;
  }
}

TEST_F(ReaderTest, DriveFreeBytes) {
  EXPECT_EQ(GetDriveFreeBytes(u"E:\\Recovered"), 123456789u);
  EXPECT_EQ(backend_->lastSpacePath_, "E:\\Recovered");
  EXPECT_EQ(GetDriveFreeBytes(u"Q:\\"), 0u);
}

// The real Linux backend with a machine description: two image files are disks 0 and 1, and
// a window into the first is drive E.
TEST(ReaderMachine, DescribedImagesAreDisksAndDrives) {
  char dirTemplate[] = "/tmp/kestrel-reader-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  std::string dir = dirTemplate;
  auto makeImage = [&](const std::string& name, uint64_t sectors, uint64_t tag) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    uint8_t sector[512];
    for (uint64_t i = 0; i < sectors; ++i) {
      FillLbaSector(sector, i + tag);
      out.write(reinterpret_cast<char*>(sector), 512);
    }
  };
  makeImage("a.img", 4096, 0);
  makeImage("b.img", 1000, 1000000);
  {
    std::ofstream md(dir + "/machine.json");
    md << R"({ "disks": [ { "image": "a.img", "model": "Image A", "bus": "sata" },
                          { "image": "b.img", "model": "Image B", "vendor": "ACME", "bus": "usb", "removable": true } ],
               "drives": [ { "letter": "e", "image": "a.img", "offset": 1048576, "length": 524288 } ] })";
  }
  setenv("KESTREL_MACHINE", (dir + "/machine.json").c_str(), 1);
  SetReadTimeoutHook(nullptr);

  std::vector<uint8_t> buf(4 * 512);
  DiskReader d0, d1, e;
  ASSERT_TRUE(OpenDeviceByPath(u"\\\\.\\PhysicalDrive0", d0, 1));
  ASSERT_TRUE(OpenDeviceByPath(u"\\\\.\\physicaldrive1", d1, 1));
  EXPECT_EQ(d0.sizeBytes, 4096u * 512);
  EXPECT_EQ(d1.lastLba, 999);
  ASSERT_TRUE(d0.ReadSectors(buf.data(), 4094, 4));
  EXPECT_TRUE(IsLbaSector(&buf[512], 4095));
  EXPECT_TRUE(IsZero(&buf[1024], 1024));
  ASSERT_TRUE(d1.ReadSectors(buf.data(), 998, 2));
  EXPECT_TRUE(IsLbaSector(&buf[0], 1000998));
  CString model;
  ASSERT_TRUE(d1.GetModelName(model));
  EXPECT_EQ(model, CString(u"ACME Image B"));
  EXPECT_TRUE(d1.IsUsbBus());
  EXPECT_FALSE(d0.IsUsbBus());

  ASSERT_TRUE(OpenDeviceByPath(u"\\\\.\\E:", e, 1));
  EXPECT_EQ(e.lastLba, 1023);
  ASSERT_TRUE(e.ReadSectors(buf.data(), 1023, 2));
  EXPECT_TRUE(IsLbaSector(buf.data(), 2048 + 1023));
  EXPECT_TRUE(IsZero(&buf[512], 512));

  DiskReader missing;
  EXPECT_FALSE(OpenDeviceByPath(u"\\\\.\\PhysicalDrive2", missing, 1));
  EXPECT_FALSE(OpenDeviceByPath(u"\\\\.\\F:", missing, 1));

  unsetenv("KESTREL_MACHINE");
  d0.Close();
  d1.Close();
  e.Close();
  for (const char* f : {"a.img", "b.img", "machine.json"}) unlink((dir + "/" + f).c_str());
  rmdir(dir.c_str());
}

}  // namespace

// A scan that moves from volume to volume replaces the target while preview and copy threads
// take copies of it; its texts must never be copied half replaced (the sanitizer build sees it).
TEST(ScanTargetTest, CopiesWhileTheTargetIsReplaced) {
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done.load()) {
      const VolumeContext copy = CopyScanTarget();
      const std::u16string path(copy.devicePath.GetString(), size_t(copy.devicePath.GetLength()));
      EXPECT_TRUE(path.empty() || path.find(u"volume-") == 0);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    VolumeContext v;
    v.devicePath = CString(std::u16string(u"volume-") + std::u16string(size_t(20 + i % 50), u'x'));
    v.name = v.devicePath;
    SetScanTarget(v);
  }
  done = true;
  reader.join();
  ResetVolumeContext(ScanTarget());
}
