// The disk-image writer fed by a stand-in for the scan's ring (synthetic blocks), and the image
// path chooser with scripted dialogs and free-space answers.
#include "core/diskimage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/pathutil.h"
#include "core/volumelist.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/textconv.h"

namespace fs = std::filesystem;

namespace {

struct Block {
  uint64_t lba;
  bool readOk;
  uint8_t fill;
};

// The ring stand-in: blocks waiting in order; the input ends (state 3) once they are taken.
struct FakeRing {
  std::deque<Block> blocks;
  std::vector<uint8_t> data = std::vector<uint8_t>(kImageBlockBytes);
  std::atomic<uint32_t>* state = nullptr;
  uint32_t stopAfter = UINT32_MAX;  // the user stops after this many blocks
  uint32_t taken = 0;
  std::vector<ImageCounts> heard;
};

bool Take(void* c, const uint8_t** data, uint64_t* lba, bool* ok) {
  auto* r = static_cast<FakeRing*>(c);
  if (r->blocks.empty() || r->taken >= r->stopAfter) {
    if (r->taken >= r->stopAfter) r->state->store(2);
    return false;
  }
  const Block b = r->blocks.front();
  r->blocks.pop_front();
  std::memset(r->data.data(), b.fill, r->data.size());
  // Each sector starts with its LBA, so misplaced data shows.
  for (uint64_t s = 0; s < kImageBlockBytes / 512; ++s) {
    const uint64_t lbaOf = b.lba + s;
    std::memcpy(r->data.data() + s * 512, &lbaOf, 8);
  }
  *data = r->data.data();
  *lba = b.lba;
  *ok = b.readOk;
  ++r->taken;
  return true;
}
void Release(void*) {}
void Wait(void* c) {
  auto* r = static_cast<FakeRing*>(c);
  if (r->blocks.empty()) r->state->store(3);
}
void Hear(void* c, const ImageCounts& n) { static_cast<FakeRing*>(c)->heard.push_back(n); }

ImageBlockSource SourceOf(FakeRing& r) {
  ImageBlockSource s;
  s.take = &Take;
  s.release = &Release;
  s.wait = &Wait;
  s.progress = &Hear;
  s.context = &r;
  return s;
}

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint64_t LbaAt(const std::vector<uint8_t>& b, uint64_t offset) {
  uint64_t v = 0;
  std::memcpy(&v, b.data() + offset, 8);
  return v;
}

class DiskImage : public ::testing::Test {
 protected:
  void SetUp() override {
    char t[] = "/tmp/diskimage-XXXXXX";
    dir = mkdtemp(t);
    LoadSettingsForTest(u"Tesmur", u"VuzuDazuv", u"Default-ProName: Kestrel Test\r\n",
                        u"Yes: Yes\r\nNo: No\r\nOK: OK\r\nRecoverDirOnSource: on source\r\n");
    SetProgramDirOverride(CString(Utf8ToUtf16(dir)));
  }
  void TearDown() override {
    SetProgramDirOverride(CString());
    SetDiskImageServices(DiskImageServices());
    SetMessageBoxHandler(nullptr);
    ResetVolumeContext(ScanTarget());
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  CString Path(const char* name) const { return CString(Utf8ToUtf16(dir + "/" + name)); }
  std::string dir;
};

TEST_F(DiskImage, BlocksLandAtTheirLbaFailedOnesAreWrittenAndCountedAndTheDeviceEndCutsTheLast) {
  FakeRing ring;
  std::atomic<uint32_t> state{0};
  ring.state = &state;
  const uint64_t block = kImageBlockBytes / 512;
  // A device of two and a half blocks, read out of order, the middle block failed.
  const uint64_t deviceBytes = kImageBlockBytes * 5 / 2;
  ring.blocks = {{2 * block, true, 3}, {0, true, 1}, {block, false, 2}};
  const std::string out = dir + "/disk.qzd";
  const ImageWriteResult r = WriteImageBlocks(&state, CString(Utf8ToUtf16(out)), SourceOf(ring), deviceBytes);
  EXPECT_TRUE(r.created);
  EXPECT_FALSE(r.writeFailed);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(r.counts.blocksRead, 2u);
  EXPECT_EQ(r.counts.blocksFailed, 1u);
  EXPECT_EQ(r.counts.blocksExpected, 3u);
  const std::vector<uint8_t> b = Bytes(out);
  ASSERT_EQ(b.size(), deviceBytes) << "nothing past the device's end";
  for (uint64_t lba : {uint64_t(0), uint64_t(7), block, block + 1, 2 * block, deviceBytes / 512 - 1})
    EXPECT_EQ(LbaAt(b, lba * 512), lba);
  EXPECT_EQ(b[block * 512 + 100], 2) << "a failed block is written as the reader left it";
  ASSERT_FALSE(ring.heard.empty());
  EXPECT_EQ(ring.heard.back().blocksRead, 2u);
  EXPECT_EQ(ExpectedImageBlocks(2 * block), 2u) << "an exact multiple takes no extra block";
  EXPECT_EQ(ImageClosingMessage(r, CString(u"/x/disk.qzd")).Find(u"镜像完成！\n"), 0);
}

TEST_F(DiskImage, APartitionKeepsItsOffsetAndAStopSaysSo) {
  FakeRing ring;
  std::atomic<uint32_t> state{0};
  ring.state = &state;
  const uint64_t block = kImageBlockBytes / 512;
  ring.blocks = {{block, true, 1}, {2 * block, true, 2}, {3 * block, true, 3}};
  ring.stopAfter = 2;
  const std::string out = dir + "/part.qzd";
  const ImageWriteResult r = WriteImageBlocks(&state, CString(Utf8ToUtf16(out)), SourceOf(ring), 4 * kImageBlockBytes);
  EXPECT_TRUE(r.stopped);
  const std::vector<uint8_t> b = Bytes(out);
  ASSERT_EQ(b.size(), 3 * kImageBlockBytes) << "two blocks written from the second on";
  EXPECT_EQ(LbaAt(b, block * 512), block);
  EXPECT_EQ(LbaAt(b, 0), 0u) << "bytes before the first block are never written";
  const CString msg = ImageClosingMessage(r, CString(u"/x/part.qzd"));
  EXPECT_EQ(msg.Find(u"镜像停止！\n"), 0);
  EXPECT_GE(msg.Find(u"Kestrel Test"), 0);
  EXPECT_GE(msg.Find(u" /x/part.qzd"), 0);
}

TEST_F(DiskImage, CreateAndWriteFailuresAreFailuresAndStopTheScan) {
  FakeRing ring;
  std::atomic<uint32_t> state{0};
  ring.state = &state;
  ring.blocks = {{0, true, 1}};
  ImageWriteResult r = WriteImageBlocks(&state, Path("no/such/folder/x.qzd"), SourceOf(ring), kImageBlockBytes);
  EXPECT_FALSE(r.created);
  EXPECT_EQ(state.load(), 2u) << "the scan stops";
  EXPECT_EQ(ImageClosingMessage(r, CString(u"x")).Find(u"镜像失败！"), 0);

  if (access("/dev/full", W_OK) == 0) {
    state.store(0);
    ring.blocks = {{0, true, 1}, {16384, true, 2}};
    r = WriteImageBlocks(&state, CString(u"/dev/full"), SourceOf(ring), 4 * kImageBlockBytes);
    EXPECT_TRUE(r.created);
    EXPECT_TRUE(r.writeFailed) << "a full disk is never a complete image";
    EXPECT_EQ(state.load(), 2u);
    EXPECT_EQ(ring.blocks.size(), 1u) << "imaging ends at the first failed write";
    const CString msg = ImageClosingMessage(r, CString(u"/dev/full"));
    EXPECT_EQ(msg.Find(u"镜像失败！"), 0);
    EXPECT_LT(msg.Find(u"镜像完成"), 0);
  }
  // A file size limit cuts a write part-way, as a full disk does.
  state.store(0);
  ring.blocks = {{0, true, 1}, {16384, true, 2}};
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = kImageBlockBytes + 4096;
  auto* previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  r = WriteImageBlocks(&state, Path("limited.qzd"), SourceOf(ring), 4 * kImageBlockBytes);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  EXPECT_TRUE(r.writeFailed);
  EXPECT_EQ(r.counts.blocksRead, 2u);
}

TEST_F(DiskImage, FormatOfTheSummary) {
  ImageCounts c;
  c.blocksExpected = 4;
  c.blocksRead = 3;
  c.blocksFailed = 1;
  EXPECT_EQ(FormatImageProgress(c).ToUtf8(), "总镜像: 32.00(MB) 镜像成功: 24.00(MB) 镜像失败: 8.00(MB) 镜像成功率: 75%");
  EXPECT_GE(FormatImageProgress(ImageCounts()).Find(u"镜像成功率: 100%"), 0);
}

// Scripted dialogs for the chooser.
CString g_chosen;
std::vector<std::string> g_boxes;
bool g_overwrite = false;
uint64_t g_free = 0;
bool g_system = false;
bool ChooseScripted(const CString& initial, CString& out) {
  EXPECT_EQ(initial, CString(u"VuzuDazuv"));
  out = g_chosen;
  return !g_chosen.IsEmpty();
}
bool Answer(const CString& text, const CString&, const CString&) {
  g_boxes.push_back(text.ToUtf8());
  return g_overwrite;
}
bool FreeScripted(const CString&, uint64_t& bytes) {
  bytes = g_free;
  return true;
}
bool SystemScripted(const CString&) { return g_system; }

TEST_F(DiskImage, ThePathChooserChecksOverwriteSpaceAndTheSourceAndKeepsThePathAsChosen) {
  DiskImageServices sv;
  sv.saveAsDialog = &ChooseScripted;
  sv.freeBytes = &FreeScripted;
  sv.onSystemDrive = &SystemScripted;
  SetDiskImageServices(sv);
  SetMessageBoxHandler(&Answer);
  const uint64_t size = 1ull << 30;
  // The source: an image file of the test.
  const std::string source = dir + "/Source.img";
  std::ofstream(source) << "disk";
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.devicePath = t.sourcePath = CString(Utf8ToUtf16(source));
  t.targetKind = kTargetImage;

  g_chosen = CString();
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv")) << "cancelled";

  g_chosen = Path("Images/Disk1.QZD");
  fs::create_directories(dir + "/Images");
  g_free = size + kImageOtherDriveMargin;
  g_boxes.clear();
  ASSERT_TRUE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  EXPECT_EQ(GetDiskImagePath(), g_chosen) << "no upper-casing on a case-sensitive file system";
  EXPECT_TRUE(g_boxes.empty());
  const std::vector<uint8_t> clone = Bytes(dir + "/ClonePath.txt");
  EXPECT_EQ(clone.size(), size_t(g_chosen.GetLength()) * 2) << "UTF-16, no mark, no terminator";
  EXPECT_EQ(Bytes(dir + "/Images/Disk1.QZD"), std::vector<uint8_t>(4, ' ')) << "the test write";

  // Existing file: No leaves it untouched; Yes overwrites.
  std::ofstream(dir + "/Images/Disk1.QZD") << "keep me";
  g_boxes.clear();
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], "您所选位置有同名文件，是否覆盖？");
  EXPECT_EQ(Bytes(dir + "/Images/Disk1.QZD").size(), 7u);
  g_overwrite = true;
  EXPECT_TRUE(ChooseDiskImagePath(size, u"VuzuDazuv"));

  // Space: the system drive keeps 904 MiB, others 500 MiB.
  g_free = size + kImageOtherDriveMargin - 1;
  g_boxes.clear();
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  EXPECT_EQ(g_boxes.back(), "抱歉，所选分区剩余空间不足，请重新选择镜像保存路径！");
  g_system = true;
  g_free = size + kImageOtherDriveMargin;
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  g_free = size + kImageSystemDriveMargin;
  EXPECT_TRUE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  g_free = 100;
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv")) << "less free than the image itself";

  // Never onto the source itself; never where it cannot be created.
  g_free = size + kImageSystemDriveMargin;
  g_chosen = t.devicePath;
  g_boxes.clear();
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  EXPECT_EQ(Bytes(source).size(), 4u) << "the source is untouched";
  g_chosen = Path("missing/folder/x.QZD");
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv"));
  EXPECT_EQ(g_boxes.back(), "创建文件失败，请重新选择镜像保存路径！");

  // A source named by the caller is the one kept off, whatever the ScanTarget still holds.
  const VolumeContext chosen = t;
  ResetVolumeContext(t);
  g_chosen = chosen.devicePath;
  EXPECT_FALSE(ChooseDiskImagePath(size, u"VuzuDazuv", chosen));
  EXPECT_EQ(Bytes(source).size(), 4u) << "the source is untouched";
}

}  // namespace
