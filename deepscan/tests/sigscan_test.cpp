// The first half of the deep scan over a real image file: the reader, the ring and the
// matching-only consumer, which a scan also falls back to when its consumer is not built.
#include "deepscan/sigscanconsumer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "core/diskreader.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanthread.h"
#include "platform/storage.h"
#include "scanbase/scanrun.h"

namespace {

std::mutex g_hitLock;
std::vector<std::pair<uint64_t, uint32_t>> g_hits;

void Collect(void*, uint64_t lba, uint32_t type) {
  std::lock_guard<std::mutex> g(g_hitLock);
  g_hits.push_back({lba, type});
}

TEST(SignatureScan, FindsPlantedStartsInAnImageFile) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
  char name[] = "/tmp/kestrel_sigscan_XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  const uint64_t sectors = 2 * kScanBlockSectors + 300;  // a short last block
  std::vector<uint8_t> image(sectors * 512, 0x20);
  const std::pair<uint64_t, std::string> planted[] = {
      {0, "\xFF\xD8\xFF\xE0"},
      {77, "\x89PNG\r\n\x1A\n"},
      {kScanBlockSectors - 1, "%PDF-1.5"},
      {kScanBlockSectors, std::string("PK\3\4", 4)},
      {2 * kScanBlockSectors + 299, "GIF89a"},
  };
  for (const auto& [lba, text] : planted) std::memcpy(image.data() + lba * 512, text.data(), text.size());
  ASSERT_EQ(write(fd, image.data(), image.size()), ssize_t(image.size()));
  close(fd);

  SetStorageBackend(nullptr);
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.devicePath = CString(std::string(name));
  t.name = t.devicePath;
  t.sectorCount = sectors;
  t.deviceSectors = sectors;
  t.operation = 1;
  DeepScanSettingsRecord() = DeepScanSettings();
  DeepScanSettingsRecord().showWhileScanning = 0;
  SetScanConsumer(ScanConsumerKind::kCarving, nullptr);  // the matching-only fallback
  g_hits.clear();
  SetSignatureHitSink(&Collect, nullptr);
  ScanRunState.store(kScanRunning);
  std::thread scan([] { DiskScanAndViewThread(&ScanRunState); });
  scan.join();
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((ScanBlockRingExists() || WorkerThreadCount() != 0) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(WorkerThreadCount(), 0);
  SetSignatureHitSink(nullptr, nullptr);
  unlink(name);

  const std::vector<std::pair<uint64_t, uint32_t>> expected = {
      {0, 46}, {77, 44}, {kScanBlockSectors - 1, 40}, {kScanBlockSectors, 61}, {2 * kScanBlockSectors + 299, 45}};
  EXPECT_EQ(g_hits, expected);
  SignatureScanCounts c = GetSignatureScanCounts();
  EXPECT_EQ(c.blocks, 3u);
  EXPECT_EQ(c.failedBlocks, 0u);
  EXPECT_EQ(ScanRunState.load(), kScanInputDone);
  ScanRunState.store(kScanStopped);
}

}  // namespace
