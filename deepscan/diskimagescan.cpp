#include "deepscan/diskimagescan.h"

#include <atomic>

#include "app/settings.h"
#include "core/diskimage.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanthread.h"
#include "platform/hooks.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint32_t kRingEmptyWaitMs = 100;

bool TakeRingBlock(void*, const uint8_t** data, uint64_t* lba, bool* readOk) {
  const uint8_t* block = BeginTakeScanBlock();
  if (block == nullptr) return false;
  *data = block;
  *lba = ScanBlockLba(block);
  *readOk = ScanBlockReadResult(block) != 0;
  return true;
}
void ReleaseRingBlock(void*) { EndTakeScanBlock(); }
void WaitRing(void*) { WaitForScanBlock(kRingEmptyWaitMs); }
void PostImageProgress(void*, const ImageCounts& c) {
  ScanProgress p = MakeScanProgress(kProgressDiskImage);
  p.image.blocksRead = c.blocksRead;
  p.image.blocksFailed = c.blocksFailed;
  p.image.blocksExpected = c.blocksExpected;
  PostScanProgress(p);
}

}  // namespace

UINT VuzuDazuvHandThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"VuzuDazuvHandThread");
  const VolumeContext target = ScanTarget();
  const CString path = GetDiskImagePath();
  ImageBlockSource source;
  source.take = &TakeRingBlock;
  source.release = &ReleaseRingBlock;
  source.wait = &WaitRing;
  source.progress = &PostImageProgress;
  const ImageWriteResult r = WriteImageBlocks(state, path, source, target.deviceSectors * kSectorBytes);
  EndDeepScan();
  ShowMessageBox(ImageClosingMessage(r, path), GetLangStr(u"OK"));
  OnThreadEnd(u"VuzuDazuvHandThread");
  return 0;
}

void InstallDiskImageConsumer() { SetScanConsumer(ScanConsumerKind::kDiskImage, &VuzuDazuvHandThread); }
