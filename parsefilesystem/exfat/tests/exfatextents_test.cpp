// exFAT files read through the record model's extents and item reads equal the manifest.
#include "parsefilesystem/exfat/exfatextents.h"

#include "base/heap.h"
#include "core/dataextents.h"
#include "core/itemread.h"
#include "parsefilesystem/exfat/tests/exfattestenv.h"

namespace {

TEST(ExfatExtents, ItemReadsEqualTheManifest) {
  LoadExfatTestSettings();
  std::string image;
  std::vector<ManifestItem> items;
  ASSERT_TRUE(BuildExfatFixture("exfat_extents", 0, image, items));
  InitExfatExtentProvider();
  ScanRunState = kScanRunning;
  VolumeContext vol;
  ASSERT_TRUE(SetupImageVolume(image, 0, vol) && ParseExfatVolume(&ScanRunState, vol));
  ScanTarget().devicePath = CString(Utf8ToUtf16(image));
  ScanTarget().sectorCount = vol.firstLba + vol.sectorCount;
  const auto byPath = RecordsByPath(vol);
  auto* block = static_cast<uint8_t*>(AllocMem(kMaxItemRead, 1));
  int checked = 0;
  for (const auto& it : items) {
    if (it.dir || it.size == 0 || it.size > kMaxItemRead) continue;
    SCOPED_TRACE(it.path);
    auto found = byPath.find(it.path);
    ASSERT_NE(found, byPath.end());
    ASSERT_EQ(ReadRecordData(vol, *found->second, 0, block), it.size);
    Sha256 sha;
    sha.Update(block, it.size);
    EXPECT_EQ(sha.HexDigest(), it.sha256);
    ++checked;
  }
  EXPECT_GT(checked, 3);
  FreeMem(block);
  FreeAllFileRecords(vol);
  ResetVolumeContext(ScanTarget());
  ScanRunState = kScanStopped;
  remove(image.c_str());
}

}  // namespace
