// The preview worker over a scratch image: open previews, the queue's order and bounds,
// thumbnails through real reads, the cache and its clearing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/settings.h"
#include "base/codec/tests/pictures.h"
#include "base/heap.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtypes.h"
#include "core/preview/previewworker.h"
#include "core/recordtable.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSlot = 4;

struct Delivered {
  std::vector<uint8_t> blob;
  bool withRequest = false;
  PreviewRequest request;
};

void Collect(uint8_t* buffer, const PreviewRequest* q, void* ctx) {
  auto* out = static_cast<std::vector<Delivered>*>(ctx);
  Delivered d;
  d.blob.assign(buffer, buffer + GetMemSize(buffer));
  if (q) {
    d.withRequest = true;
    d.request = *q;
  }
  out->push_back(std::move(d));
  FreeMem(buffer);  // the receiver owns the buffer
}

PreviewBlobView View(const std::vector<uint8_t>& blob) {
  PreviewBlobView v;
  EXPECT_TRUE(ReadPreviewBlob(blob.data(), uint32_t(blob.size()), v));
  return v;
}

// Like the application's, one list for the process, never destroyed; each test empties it.
VolumeList& TestList() {
  static VolumeList& list = *new VolumeList;
  return list;
}

// The carved-file volume of a scratch image: each file at its own sector.
class PreviewWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n",
                        u"EmptyFile: The file is empty.\r\nReadDataFailed: Reading failed.\r\n");
    InitFileTypeTables();
    path_ = (fs::temp_directory_path() / ("kestrel_preview_" + std::to_string(getpid()) + ".img")).string();
    image_.assign(4 << 20, 0);
    list_.slotCount = kSlot + 1;
    list_.slots[kSlot].type = kVolTypeFindFile;
    service_.SetDataSink(&Collect, &delivered_);
  }
  void TearDown() override {
    service_.Stop();
    service_.ClearPreviewCache();
    ClearVolumeList(list_);
    ResetVolumeContext(ScanTarget());
    fs::remove(path_);
  }
  // Puts the bytes at the sector and adds a record for them.
  void AddFile(uint32_t id, uint64_t lba, const std::vector<uint8_t>& bytes, uint8_t type,
               const char16_t* name = u"file", uint64_t size = UINT64_MAX) {
    if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), image_.begin() + std::ptrdiff_t(lba * 512));
    AddRecord(id, lba, size == UINT64_MAX ? bytes.size() : size, type, name);
  }
  void AddRecord(uint32_t id, uint64_t lba, uint64_t size, uint8_t type, const char16_t* name = u"file") {
    FileRecord r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.id = id;
    r.parent = kRootId;
    r.flags = kRecInUse;
    r.lba = lba;
    r.size = size;
    r.typeId = type;
    SetRecordName(r, name);
    ASSERT_EQ(AddFileRecord(list_.slots[kSlot], r, 0), id);
  }
  void WriteImage() {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(image_.data()), std::streamsize(image_.size()));
    ScanTarget().devicePath = CString(std::u16string(path_.begin(), path_.end()).c_str());
    ScanTarget().sectorCount = image_.size() / 512;
  }
  FileRecord& Rec(uint32_t id) { return *GetItemRecord(list_, kSlot, id); }
  uint16_t Bits(uint32_t id) { return uint16_t(Rec(id).flags & kRecPreviewReady); }
  // Serves whatever waits, as the worker does.
  void ServeAll() {
    PreviewRequest q;
    while (service_.TakeRequest(q)) service_.ServeRequest(q);
  }
  void Open(uint32_t id) { service_.QueuePreviewRequest(kSlot, id, Rec(id), kPreviewOpen); }

  std::string path_;
  std::vector<uint8_t> image_;
  VolumeList& list_ = TestList();
  PreviewService service_{list_};
  std::vector<Delivered> delivered_;
};

std::vector<uint8_t> QuadJpeg(uint32_t w, uint32_t h) {
  ImageCodec img;
  EXPECT_EQ(img.Create(w, h, 24), ImageStatus::kOk);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const Rgb c = kQuadColours[(y * 2 / h) * 2 + x * 2 / w];
      uint8_t* p = img.GetRow(y) + 3 * x;
      p[0] = uint8_t(c.b);
      p[1] = uint8_t(c.g);
      p[2] = uint8_t(c.r);
    }
  std::vector<uint8_t> jpeg;
  EXPECT_TRUE(img.EncodeJpeg(jpeg));
  return jpeg;
}

TEST_F(PreviewWorker, OpenPreviews) {
  const std::vector<uint8_t> jpg = LoadPicture("quad.jpg");
  const std::string text = "\r\n\r\n\r\nSome notes of a user";
  AddFile(10, 8, jpg, 46);
  AddFile(11, 40, std::vector<uint8_t>(text.begin(), text.end()), 161);
  AddFile(12, 60, {}, 46, u"empty.jpg");
  AddRecord(13, 100, 100ull << 20, 46, u"huge.jpg");  // 100 MiB: its first MiB, as hex
  const std::string json = "{\"a\": 1}";
  AddFile(14, 80, std::vector<uint8_t>(json.begin(), json.end()), kTypeNone, u"settings.json");
  AddRecord(15, 200, 4096, 46, u"lost.jpg");
  WriteImage();

  for (uint32_t id : {10, 11, 12, 13, 14}) {
    Open(id);
    ServeAll();
  }
  // The device is gone: the read comes back short.
  fs::remove(path_);
  Open(15);
  ServeAll();
  ASSERT_EQ(delivered_.size(), 6u);

  PreviewBlobView v = View(delivered_[0].blob);
  EXPECT_EQ(v.code, 46);
  EXPECT_EQ(std::vector<uint8_t>(v.head.begin(), v.head.end()), jpg);
  EXPECT_TRUE(v.text.IsEmpty());
  EXPECT_EQ(delivered_[0].request.type, 46u);

  v = View(delivered_[1].blob);
  EXPECT_EQ(v.code, kPreviewTextCode);
  EXPECT_EQ(v.head.size(), text.size());
  EXPECT_EQ(v.text.Str(), u"Some notes of a user");  // leading line breaks stripped

  // An empty file: the text alone, without a request, and nothing read.
  EXPECT_FALSE(delivered_[2].withRequest);
  v = View(delivered_[2].blob);
  EXPECT_EQ(v.code, kPreviewTextCode);
  EXPECT_EQ(v.text.Str(), u"The file is empty.");

  v = View(delivered_[3].blob);
  EXPECT_EQ(v.code, kPreviewHexCode);
  EXPECT_EQ(v.head.size(), 1u << 20);
  EXPECT_EQ(delivered_[3].request.size, 1u << 20);
  EXPECT_EQ(delivered_[3].request.type, kPreviewHexCode);

  // An untyped file named .json is queued as text and shown as text.
  EXPECT_EQ(delivered_[4].request.type, kPreviewTextType);
  EXPECT_EQ(View(delivered_[4].blob).text.Str(), u"{\"a\": 1}");

  // A short read.
  v = View(delivered_[5].blob);
  EXPECT_EQ(v.code, kPreviewTextCode);
  EXPECT_EQ(v.text.Str(), u"Reading failed.");
}

TEST_F(PreviewWorker, QueueOrderAndBound) {
  for (uint32_t id = 1; id <= 302; ++id) AddRecord(10 + id, 8, 1000, 46);
  WriteImage();
  // Three open requests: only the last one waits.
  Open(11);
  Open(12);
  Open(13);
  std::vector<PreviewRequest> waiting = service_.WaitingRequests();
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(waiting[0].id, 13u);
  // A thumbnail queued after it goes under it: the open request is served first.
  ASSERT_EQ(service_.RequestThumbnail(kSlot, 14, Rec(14)), 0);
  waiting = service_.WaitingRequests();
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting[0].id, 14u);
  EXPECT_EQ(waiting[1].id, 13u);
  PreviewRequest q;
  ASSERT_TRUE(service_.TakeRequest(q));
  EXPECT_EQ(q.id, 13u);
  ASSERT_TRUE(service_.TakeRequest(q));
  EXPECT_EQ(q.id, 14u);
  ClearRecordFlags(Rec(14), kRecPreviewReady);

  // 300 thumbnails waiting: the 44 oldest go, their records start over; the newest is next.
  for (uint32_t id = 1; id <= 300; ++id) service_.RequestThumbnail(kSlot, 10 + id, Rec(10 + id));
  EXPECT_EQ(Bits(11), kRecPreviewQueued);
  ASSERT_TRUE(service_.TakeRequest(q));
  EXPECT_EQ(q.id, 310u);
  EXPECT_EQ(service_.WaitingRequests().size(), 255u);
  EXPECT_EQ(Bits(11), 0);
  EXPECT_EQ(Bits(54), 0);
  EXPECT_EQ(Bits(55), kRecPreviewQueued);
  // A queued record is not queued twice.
  EXPECT_EQ(service_.RequestThumbnail(kSlot, 55, Rec(55)), 0);
  EXPECT_EQ(service_.WaitingRequests().size(), 255u);
  // Clearing the queue lets them all start over.
  service_.ClearPreviewQueue();
  EXPECT_TRUE(service_.WaitingRequests().empty());
  EXPECT_EQ(Bits(55), 0);
  // A request taken before the clear is stale: nothing is built and its record starts over.
  service_.RequestThumbnail(kSlot, 60, Rec(60));
  ASSERT_TRUE(service_.TakeRequest(q));
  service_.ClearPreviewQueue();
  service_.ServeRequest(q);
  EXPECT_EQ(Bits(60), 0);
  EXPECT_EQ(service_.CacheCount(), 0u);
}

// Thumbnails through the worker thread: fitted into 118 x 118, encoded as JPEG, cached by the
// start LBA, and the record marked ready or without a preview.
TEST_F(PreviewWorker, ThumbnailsThroughTheWorker) {
  struct Case {
    uint32_t id;
    std::vector<uint8_t> bytes;
    uint8_t type;
    uint32_t w, h;  // 0: no thumbnail
  };
  std::vector<uint8_t> notJpeg = LoadPicture("quad.png");  // typed as JPEG: read by trying every decoder
  std::vector<uint8_t> broken = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<Case> cases = {
      {20, QuadJpeg(4000, 3000), 46, 118, 88},
      {21, QuadJpeg(600, 800), 46, 88, 118},
      {22, QuadJpeg(100, 50), 46, 100, 50},
      {23, LoadPicture("quad.gif"), 45, 96, 64},  // smaller than the box: kept
      {24, notJpeg, 46, 96, 64},
      {25, LoadPicture("quad_nothumb.dng"), 144, 96, 64},
      {26, broken, 46, 0, 0},
      {27, {'n', 'o', 'p', 'e', 0, 0, 0, 0}, 44, 0, 0},  // no picture signature
  };
  uint64_t lba = 8;
  for (const Case& c : cases) {
    AddFile(c.id, lba, c.bytes, c.type);
    lba += (c.bytes.size() + 511) / 512 + 1;
  }
  AddRecord(28, 2, 0, 46);                    // empty: no preview, never queued
  AddRecord(29, 2, 100, 75);                  // a type without thumbnails
  WriteImage();
  service_.Start();
  for (const Case& c : cases) EXPECT_EQ(service_.RequestThumbnail(kSlot, c.id, Rec(c.id)), 0);
  EXPECT_EQ(service_.RequestThumbnail(kSlot, 28, Rec(28)), 0);
  EXPECT_EQ(Bits(28), kRecNoPreview);
  EXPECT_EQ(service_.RequestThumbnail(kSlot, 29, Rec(29)), 0);
  EXPECT_EQ(Bits(29), kRecNoPreview);

  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (const Case& c : cases)
    while (Bits(c.id) == kRecPreviewQueued && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));

  VolumeListReadGuard guard(list_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    FileRecord& r = Rec(c.id);
    if (c.w == 0) {
      EXPECT_EQ(Bits(c.id), kRecNoPreview);
      EXPECT_EQ(service_.RequestThumbnail(kSlot, c.id, r), 0);
      continue;
    }
    ASSERT_EQ(Bits(c.id), kRecPreviewReady);
    // The draw that finds it ready takes the cached buffer.
    ASSERT_EQ(service_.RequestThumbnail(kSlot, c.id, r), 1);
    const auto* blob = reinterpret_cast<const uint8_t*>(uintptr_t(r.previewHandle));
    ASSERT_NE(blob, nullptr);
    PreviewBlobView v;
    ASSERT_TRUE(ReadPreviewBlob(blob, GetMemSize(blob), v));
    EXPECT_EQ(v.code, kPreviewJpegCode);
    ImageCodec img;
    ASSERT_TRUE(img.DecodeFromMemory(v.head.data(), uint32_t(v.head.size()), kImageJpeg));
    EXPECT_EQ(img.GetWidth(), c.w);
    EXPECT_EQ(img.GetHeight(), c.h);
    for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(QuadrantColour(img, q), kQuadColours[q], 24)) << q;
  }
}

TEST_F(PreviewWorker, CacheIsKeptPerFileAndClearedWithTheRecords) {
  const std::vector<uint8_t> gif = LoadPicture("quad.gif");
  AddFile(30, 8, gif, 45);
  AddRecord(31, 8, gif.size(), 45);  // the same file seen twice: built once
  AddRecord(32, 8, 10, 45);          // another file starting at the same LBA (another volume's numbering)
  WriteImage();
  service_.RequestThumbnail(kSlot, 30, Rec(30));
  ServeAll();
  ASSERT_EQ(Bits(30), kRecPreviewReady);
  ASSERT_EQ(service_.CacheCount(), 1u);
  const uint8_t* first = service_.CachedThumbnail(8, gif.size(), 45);
  ASSERT_NE(first, nullptr);
  service_.RequestThumbnail(kSlot, 31, Rec(31));
  ServeAll();
  EXPECT_EQ(Bits(31), kRecPreviewReady);
  EXPECT_EQ(service_.CachedThumbnail(8, gif.size(), 45), first);
  ASSERT_EQ(service_.RequestThumbnail(kSlot, 31, Rec(31)), 1);
  // The other file's size does not match the cached entry: never shown another's thumbnail.
  Rec(32).flags = uint16_t(Rec(32).flags | kRecPreviewReady);
  EXPECT_EQ(service_.RequestThumbnail(kSlot, 32, Rec(32)), 0);
  EXPECT_EQ(Bits(32), 0);

  service_.ClearPreviewCache();
  EXPECT_EQ(service_.CacheCount(), 0u);
  EXPECT_EQ(uint64_t(Rec(31).previewHandle), 0u);
  EXPECT_EQ(Bits(30), 0);
  EXPECT_EQ(Bits(31), 0);
}

TEST_F(PreviewWorker, DocumentThumbnailsNeedTheirSignatureAndAText) {
  const std::string docx = "PK\x03\x04 a word file";
  const std::string fake = "XX\x03\x04 not a zip";
  AddFile(40, 8, std::vector<uint8_t>(docx.begin(), docx.end()), 37);
  AddFile(41, 16, std::vector<uint8_t>(fake.begin(), fake.end()), 37);
  AddFile(42, 24, std::vector<uint8_t>(docx.begin(), docx.end()), 36);
  WriteImage();
  // Without the document readers there is no text, so no thumbnail.
  service_.RequestThumbnail(kSlot, 42, Rec(42));
  ServeAll();
  EXPECT_EQ(Bits(42), kRecNoPreview);

  PreviewTextHooks hooks;
  hooks.documentDetailText = [](uint32_t, const uint8_t*, uint32_t, CString& text) {
    text = u"Title: report";
    return true;
  };
  SetPreviewTextHooks(hooks);
  service_.RequestThumbnail(kSlot, 40, Rec(40));
  service_.RequestThumbnail(kSlot, 41, Rec(41));
  ServeAll();
  SetPreviewTextHooks(PreviewTextHooks());
  EXPECT_EQ(Bits(40), kRecPreviewReady);
  EXPECT_EQ(Bits(41), kRecNoPreview);
  const uint8_t* blob = service_.CachedThumbnail(8, docx.size(), 37);
  ASSERT_NE(blob, nullptr);
  PreviewBlobView v;
  ASSERT_TRUE(ReadPreviewBlob(blob, GetMemSize(blob), v));
  EXPECT_EQ(v.code, kPreviewTextCode);
  EXPECT_TRUE(v.head.empty());
  EXPECT_EQ(v.text.Str(), u"Title: report");
}

// The real hand-over: WM_PREVIEW_DATA sent to the preview window (which copies and frees the
// buffer) while the worker waits, WM_VIEW_PREVIEWREADY posted to the result windows.
struct WindowLog {
  std::mutex lock;
  std::vector<std::pair<UINT, std::vector<uint8_t>>> got;
  std::vector<std::pair<WPARAM, LPARAM>> ready;
};
WindowLog& Log() {
  static auto& log = *new WindowLog;
  return log;
}

LRESULT PreviewWindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_PREVIEW_DATA) {
    std::lock_guard<std::mutex> g(Log().lock);
    auto* blob = reinterpret_cast<uint8_t*>(w);
    Log().got.push_back({msg, std::vector<uint8_t>(blob, blob + GetMemSize(blob))});
    FreeMem(blob);
    return 0;
  }
  if (msg == WM_VIEW_PREVIEWREADY) {
    std::lock_guard<std::mutex> g(Log().lock);
    Log().ready.push_back({w, l});
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

TEST_F(PreviewWorker, MessagesToThePreviewWindowAndTheResultWindows) {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &PreviewWindowProc;
    wc.lpszClassName = u"KestrelPreviewTestWindow";
    return RegisterClassW(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  HWND preview = CreateWindowExW(0, u"KestrelPreviewTestWindow", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  HWND results = CreateWindowExW(0, u"KestrelPreviewTestWindow", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(preview && results);
  list_.AddListener(results);
  service_.SetDataSink(nullptr, nullptr);
  service_.SetPreviewWindow(preview);
  AddFile(50, 8, LoadPicture("quad.gif"), 45);
  AddFile(51, 16, LoadPicture("quad.png"), 44);
  WriteImage();
  service_.Start();
  Open(50);
  service_.RequestThumbnail(kSlot, 51, Rec(51));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    {
      std::lock_guard<std::mutex> g(Log().lock);
      if (!Log().got.empty() && !Log().ready.empty()) break;
    }
    ASSERT_LT(std::chrono::steady_clock::now(), until);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  {
    std::lock_guard<std::mutex> g(Log().lock);
    ASSERT_EQ(Log().got.size(), 1u);
    EXPECT_EQ(View(Log().got[0].second).code, 45);
    ASSERT_EQ(Log().ready.size(), 1u);
    EXPECT_EQ(Log().ready[0], (std::pair<WPARAM, LPARAM>{kSlot, 51}));
  }
  service_.Stop();
  DestroyWindow(preview);
  DestroyWindow(results);
}

}  // namespace
