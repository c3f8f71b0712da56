// The preview worker: one thread that builds what the user sees of a found file without
// recovering it. The user-interface thread queues requests; the worker serves the newest first,
// reads the item (at most 64 MiB) and either sends an open preview to the preview window
// (WM_PREVIEW_DATA, a preview buffer the window frees) or keeps a thumbnail in the cache under
// the file's start LBA and posts WM_VIEW_PREVIEWREADY to the result windows.
//
// Records and the cache. A record's preview bits say: 0x80 no preview, 0x100 queued, both
// ready; a ready record's preview handle points at its cached buffer. The thumbnail view reads
// that buffer while it holds a VolumeListReadGuard; ClearPreviewCache clears every handle and
// preview bit under the list's write lock before it frees a buffer.
//
// Records and the worker. The worker serves a thumbnail inside a VolumeListReadGuard, so a
// reset of the list waits for the request in hand. Clearing the queue or the cache drops every
// waiting request and makes the one taken but not yet served stale (it checks under the list's
// lock), so nothing queued before a reset is served against the records that replace the freed
// ones.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <minizip/unzip.h>

#include "base/codec/imagecodec.h"
#include "core/dataextent.h"
#include "core/filerecord.h"
#include "core/volumelist.h"
#include "platform/cstring.h"
#include "platform/wndcore.h"

constexpr UINT WM_PREVIEW_DATA = 0x464;
constexpr uint32_t kPreviewThumbnail = 0;
constexpr uint32_t kPreviewOpen = 1;
constexpr size_t kMaxWaitingPreviews = 256;
constexpr uint64_t kMaxPreviewFile = 0x4000000;  // 64 MiB
constexpr uint64_t kHexPreviewBytes = 0x100000;  // what a larger file shows, as hex
constexpr uint64_t kHexPreviewFrom = 0x20000;    // other files from this size on show as hex
constexpr uint32_t kThumbnailBox = 118;

struct PreviewRequest {
  uint32_t kind = 0;       // kPreviewOpen or kPreviewThumbnail
  uint32_t firstWord = 0;  // slot, or 0x10000 | view
  uint32_t id = 0;         // record or view node id
  uint64_t lba = 0;        // the record's LBA field: the cache key
  uint64_t size = 0;
  uint32_t type = 0;       // file type id
  uint8_t resident = 0;    // the record's resident-data flag
  DataExtentList extents;  // carried, empty in every request queued here
  uint64_t reserved = 0;
  uint64_t generation = 0;  // the queue's generation when taken; a cleared queue makes it stale
};

struct PreviewCacheEntry {
  uint64_t lba = 0;
  uint64_t size = 0;
  uint32_t type = 0;
  uint8_t* buffer = nullptr;
};

// The document readers plug in here; until they exist documents have no text (and so no
// thumbnail) and archives no listing.
struct PreviewTextHooks {
  // A guarded-free text of a document's details; false when there is none.
  bool (*documentDetailText)(uint32_t typeId, const uint8_t* data, uint32_t length, CString& text) = nullptr;
  // The listing of a ZIP archive opened from memory.
  bool (*listZipEntries)(unzFile zip, CString& text) = nullptr;
  bool (*listRarEntries)(const uint8_t* data, uint32_t length, CString& text) = nullptr;
};
void SetPreviewTextHooks(const PreviewTextHooks& hooks);
PreviewTextHooks GetPreviewTextHooks();
// The document detail text through the hook; false without one.
bool GetDocumentDetailText(uint32_t typeId, const uint8_t* data, uint32_t length, CString& text);

// Where an open preview goes. The receiver owns the buffer (it frees it with FreeMem); the
// request is valid only during the call, and null for the empty-file text.
using PreviewDataSink = void (*)(uint8_t* buffer, const PreviewRequest* request, void* context);

// A thumbnail JPEG of a picture: decoded (for the 118 x 118 box), fitted into the box and
// encoded. True with a guarded-heap block the caller frees.
bool MakeImageThumbnail(const PreviewRequest& q, const uint8_t* data, uint8_t*& jpeg, uint32_t& length);
// Raises a picture to 24 bits unless it has a grey-ramp palette, then encodes it as JPEG into a
// new guarded-heap block (1 byte to 64 MiB).
bool EncodeThumbnailImage(ImageCodec& img, uint8_t*& jpeg, uint32_t& length);
// Whether a thumbnail may be tried for these bytes: they begin with a picture signature.
bool HasPictureSignature(const uint8_t* data, uint64_t length);

class PreviewService {
 public:
  explicit PreviewService(VolumeList& list);
  ~PreviewService();  // stops the worker; cached buffers are freed
  PreviewService(const PreviewService&) = delete;
  PreviewService& operator=(const PreviewService&) = delete;

  VolumeList& List() { return list_; }
  // The preview window that receives WM_PREVIEW_DATA; null: open previews are dropped.
  void SetPreviewWindow(HWND hwnd) { window_.store(hwnd); }
  // Replaces the message to the preview window (tests and tools); null restores it.
  void SetDataSink(PreviewDataSink sink, void* context);

  // The worker thread; Stop sets the stop flag, wakes the worker and waits for it to end (it
  // clears the queue on its way out).
  void Start();
  void Stop();
  bool Running() const { return thread_.joinable(); }

  void QueuePreviewRequest(uint32_t firstWord, uint32_t id, const FileRecord& rec, uint32_t kind);
  // 1 when the record's handle now points at its cached thumbnail; 0 otherwise (queued now,
  // already queued, or no thumbnail possible). The caller holds a VolumeListReadGuard.
  int RequestThumbnail(uint32_t firstWord, uint32_t id, FileRecord& rec);
  void ClearPreviewQueue();
  void ClearPreviewCache();
  void StorePreviewCache(const PreviewRequest& q, uint8_t* buffer);

  // One step of the worker, also for tests that drive it without the thread: takes the newest
  // waiting request (dropping the oldest beyond 256), false when none waits.
  bool TakeRequest(PreviewRequest& out);
  // Serves a taken request: reads the item and builds and hands over its preview.
  void ServeRequest(PreviewRequest& q);

  // What the worker's steps use.
  int SendEmptyFilePreview(PreviewRequest& q);
  void BuildFilePreview(int complete, PreviewRequest& q, const uint8_t* data);
  int BuildThumbnail(const PreviewRequest& q, const uint8_t* data);

  // For tests and tools.
  std::vector<PreviewRequest> WaitingRequests() const;
  // The cached buffer for the LBA, size and type, or null.
  const uint8_t* CachedThumbnail(uint64_t lba, uint64_t size, uint32_t type) const;
  size_t CacheCount() const;

 private:
  void Run();
  void Deliver(uint8_t* buffer, const PreviewRequest* q);
  void ServeOpen(PreviewRequest& q);
  void ServeThumbnail(PreviewRequest& q);
  bool Stale(const PreviewRequest& q) const { return q.generation != generation_.load(); }

  VolumeList& list_;
  std::atomic<HWND> window_{nullptr};
  PreviewDataSink sink_ = nullptr;
  void* sinkContext_ = nullptr;

  mutable std::mutex queueLock_;
  std::deque<PreviewRequest> queue_;
  bool signalled_ = false;
  std::condition_variable wake_;
  std::atomic<uint64_t> generation_{0};

  mutable std::mutex cacheLock_;
  std::map<uint64_t, PreviewCacheEntry> cache_;
  std::vector<uint8_t*> retired_;  // replaced buffers, freed with the cache

  std::atomic<uint32_t> stop_{0};
  std::thread thread_;
};

// The application's service over the application's VolumeList (process lifetime).
PreviewService& AppPreviewService();

// The program's calls, on the application's service.
void StartPreviewWorker();
void StopPreviewWorker();
void QueuePreviewRequest(uint32_t firstWord, uint32_t id, const FileRecord& rec, uint32_t kind);
int RequestThumbnail(uint32_t firstWord, uint32_t id, FileRecord& rec);
void ClearPreviewQueue();
void ClearPreviewCache();
