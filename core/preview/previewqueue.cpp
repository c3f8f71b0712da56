// The preview queue, the thumbnail cache and the worker thread.
#include <algorithm>

#include "base/heap.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/preview/previewtext.h"
#include "core/preview/previewtypes.h"
#include "core/preview/previewworker.h"
#include "core/recordtable.h"

namespace {

std::mutex& TextHooksLock() {
  static std::mutex m;
  return m;
}
PreviewTextHooks& TextHooks() {
  static PreviewTextHooks h;
  return h;
}

void ClearPreviewBits(VolumeList& list, const std::deque<PreviewRequest>& dropped) {
  if (dropped.empty()) return;
  VolumeListReadGuard guard(list);
  for (const PreviewRequest& q : dropped)
    if (FileRecord* r = GetItemRecord(list, q.firstWord, q.id)) ClearRecordFlags(*r, kRecPreviewReady);
}

}  // namespace

void SetPreviewTextHooks(const PreviewTextHooks& hooks) {
  std::lock_guard<std::mutex> g(TextHooksLock());
  TextHooks() = hooks;
}

PreviewTextHooks GetPreviewTextHooks() {
  std::lock_guard<std::mutex> g(TextHooksLock());
  return TextHooks();
}

bool GetDocumentDetailText(uint32_t typeId, const uint8_t* data, uint32_t length, CString& text) {
  text.Empty();
  const PreviewTextHooks hooks = GetPreviewTextHooks();
  return hooks.documentDetailText && data && hooks.documentDetailText(typeId, data, length, text) && !text.IsEmpty();
}

PreviewService::PreviewService(VolumeList& list) : list_(list) {}

PreviewService::~PreviewService() {
  Stop();
  std::lock_guard<std::mutex> g(cacheLock_);
  for (auto& [lba, e] : cache_) FreeMem(e.buffer);
  for (uint8_t* b : retired_) FreeMem(b);
}

void PreviewService::SetDataSink(PreviewDataSink sink, void* context) {
  sink_ = sink;
  sinkContext_ = context;
}

void PreviewService::Start() {
  if (thread_.joinable()) return;
  stop_.store(0);
  thread_ = std::thread([this] { Run(); });
}

void PreviewService::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    stop_.store(1);
    signalled_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void PreviewService::Run() {
  while (stop_.load() == 0) {
    {
      std::unique_lock<std::mutex> g(queueLock_);
      wake_.wait(g, [this] { return signalled_ || stop_.load() != 0; });
      signalled_ = false;
    }
    PreviewRequest q;
    while (stop_.load() == 0 && TakeRequest(q)) ServeRequest(q);
  }
  ClearPreviewQueue();
}

void PreviewService::QueuePreviewRequest(uint32_t firstWord, uint32_t id, const FileRecord& rec, uint32_t kind) {
  PreviewRequest q;
  q.kind = kind;
  q.firstWord = firstWord;
  q.id = id;
  q.lba = rec.lba;
  q.size = rec.size;
  q.type = rec.typeId;
  if (q.type == kTypeNone && IsTextExtension(RecordNameText(&rec).GetString())) q.type = kPreviewTextType;
  q.resident = uint8_t(rec.flags & kRecResident);
  {
    std::lock_guard<std::mutex> g(queueLock_);
    if (!queue_.empty() && queue_.back().kind == kPreviewOpen) {
      if (kind == kPreviewOpen) {
        // A newer preview replaces the one still waiting.
        queue_.pop_back();
        queue_.push_back(std::move(q));
      } else {
        // The preview the user asked for stays the one served first.
        PreviewRequest open = std::move(queue_.back());
        queue_.pop_back();
        queue_.push_back(std::move(q));
        queue_.push_back(std::move(open));
      }
    } else {
      queue_.push_back(std::move(q));
    }
    signalled_ = true;
  }
  wake_.notify_one();
}

int PreviewService::RequestThumbnail(uint32_t firstWord, uint32_t id, FileRecord& rec) {
  const uint16_t bits = uint16_t(rec.flags & kRecPreviewReady);
  if (bits == kRecNoPreview || bits == kRecPreviewQueued) return 0;
  // Packed fields are read into values: they may sit unaligned.
  const uint64_t lba = rec.lba, size = rec.size;
  const uint32_t type = rec.typeId;
  if (bits == kRecPreviewReady) {
    if (rec.previewHandle != 0) return 1;
    std::lock_guard<std::mutex> g(cacheLock_);
    auto it = cache_.find(lba);
    if (it != cache_.end() && it->second.buffer && it->second.size == size && it->second.type == type) {
      rec.previewHandle = uint64_t(reinterpret_cast<uintptr_t>(it->second.buffer));
      return 1;
    }
    // Ready, but the cache no longer holds it (or holds another file's under that start): ask
    // again on the next draw instead of showing nothing for good.
    ClearRecordFlags(rec, kRecPreviewReady);
    return 0;
  }
  if (size == 0 || size > kMaxPreviewFile || (rec.flags & kRecDirectory)) {
    SetRecordFlags(rec, kRecNoPreview);
    return 0;
  }
  if (IsPreviewPictureType(type) || IsPreviewDocumentType(type)) {
    SetRecordFlags(rec, kRecPreviewQueued);
    QueuePreviewRequest(firstWord, id, rec, kPreviewThumbnail);
    return 0;
  }
  SetRecordFlags(rec, kRecNoPreview);
  return 0;
}

bool PreviewService::TakeRequest(PreviewRequest& out) {
  std::deque<PreviewRequest> dropped;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    if (queue_.empty()) return false;
    // The oldest requests are the tiles scrolled out of view first.
    while (queue_.size() > kMaxWaitingPreviews) {
      dropped.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    out = std::move(queue_.back());
    queue_.pop_back();
    out.generation = generation_.load();
  }
  // Dropped records start over, so a later draw asks again.
  ClearPreviewBits(list_, dropped);
  return true;
}

void PreviewService::ClearPreviewQueue() {
  std::deque<PreviewRequest> dropped;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    // A request the worker has taken but not yet served is stale from now on.
    generation_.fetch_add(1);
    dropped.swap(queue_);
  }
  ClearPreviewBits(list_, dropped);
}

void PreviewService::ClearPreviewCache() {
  ClearPreviewQueue();
  bool any;
  {
    std::lock_guard<std::mutex> g(cacheLock_);
    any = !cache_.empty();
  }
  if (any) {
    // No record may point into a buffer that is about to go. The write lock also waits for the
    // thumbnail the worker is building.
    VolumeListWriteGuard guard(list_);
    std::lock_guard<std::mutex> flagsGuard(RecordFlagsLock());
    for (uint32_t s = 0; s < list_.slotCount && s < kVolumeSlotMax; ++s) {
      VolumeContext& v = list_.slots[s];
      if (v.type == kVolTypeView) continue;
      const uint32_t end = std::min(v.idLimit, kRecordIdEnd);
      for (uint32_t id = 1; id < end; ++id) {
        FileRecord* r = PeekRecordSlot(v, id);
        if (!r) continue;
        if (r->previewHandle != 0 || (r->flags & kRecPreviewReady) == kRecPreviewReady) {
          r->previewHandle = 0;
          r->flags = uint16_t(r->flags & ~kRecPreviewReady);
        }
      }
    }
  }
  std::lock_guard<std::mutex> g(cacheLock_);
  for (auto& [lba, e] : cache_) FreeMem(e.buffer);
  cache_.clear();
  for (uint8_t* b : retired_) FreeMem(b);
  retired_.clear();
}

void PreviewService::StorePreviewCache(const PreviewRequest& q, uint8_t* buffer) {
  std::lock_guard<std::mutex> g(cacheLock_);
  PreviewCacheEntry& e = cache_[q.lba];
  // Records may still point at a buffer this one replaces: it is kept until the cache clears.
  if (e.buffer && e.buffer != buffer) retired_.push_back(e.buffer);
  e = PreviewCacheEntry{q.lba, q.size, q.type, buffer};
}

const uint8_t* PreviewService::CachedThumbnail(uint64_t lba, uint64_t size, uint32_t type) const {
  std::lock_guard<std::mutex> g(cacheLock_);
  auto it = cache_.find(lba);
  if (it == cache_.end() || it->second.size != size || it->second.type != type) return nullptr;
  return it->second.buffer;
}

size_t PreviewService::CacheCount() const {
  std::lock_guard<std::mutex> g(cacheLock_);
  return cache_.size();
}

std::vector<PreviewRequest> PreviewService::WaitingRequests() const {
  std::lock_guard<std::mutex> g(queueLock_);
  return std::vector<PreviewRequest>(queue_.begin(), queue_.end());
}

PreviewService& AppPreviewService() {
  static PreviewService& s = *new PreviewService(AppVolumeList());
  return s;
}

void StartPreviewWorker() { AppPreviewService().Start(); }
void StopPreviewWorker() { AppPreviewService().Stop(); }
void QueuePreviewRequest(uint32_t firstWord, uint32_t id, const FileRecord& rec, uint32_t kind) {
  AppPreviewService().QueuePreviewRequest(firstWord, id, rec, kind);
}
int RequestThumbnail(uint32_t firstWord, uint32_t id, FileRecord& rec) {
  return AppPreviewService().RequestThumbnail(firstWord, id, rec);
}
void ClearPreviewQueue() { AppPreviewService().ClearPreviewQueue(); }
void ClearPreviewCache() { AppPreviewService().ClearPreviewCache(); }
