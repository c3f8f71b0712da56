// What the worker builds: open previews (the file's bytes, its text or a hex dump) and
// thumbnails (a small JPEG of a picture, or a document's or text file's text).
#include <cstring>

#include "app/resarchive.h"
#include "app/settings.h"
#include "base/heap.h"
#include "base/memstream.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/itemread.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtext.h"
#include "core/preview/previewtypes.h"
#include "core/preview/previewworker.h"

namespace {

constexpr unsigned kOpenReadTag = 657;
constexpr unsigned kThumbReadTag = 634;
constexpr unsigned kThumbJpegTag = 49;
// Slack behind the bytes read, as every reader of the buffers had.
constexpr uint64_t kOpenReadSlack = 0x100000;
constexpr uint64_t kThumbReadSlack = 1024;

bool At(const uint8_t* d, uint64_t n, uint64_t at, const char* magic, size_t len) {
  return at <= n && len <= n - at && std::memcmp(d + at, magic, len) == 0;
}

uint8_t* EmptyFileBlob() {
  const CString text = GetLangStr(u"EmptyFile");
  return PackPreviewBlobWithText(kPreviewTextCode, text.GetString(), uint32_t(text.GetLength()) * 2, text);
}

// The size and type an open request is served with: a file above 64 MiB shows its first MiB as
// hex, an untyped one its bytes as hex.
void AdjustOpenRequest(PreviewRequest& q) {
  if (q.size > kMaxPreviewFile) {
    q.size = kHexPreviewBytes;
    q.type = kPreviewHexCode;
  } else if (q.type == kTypeNone) {
    q.type = kPreviewHexCode;
  }
}

uint8_t* FilePreviewBlob(int complete, const PreviewRequest& q, const uint8_t* d) {
  const uint32_t n = uint32_t(q.size);
  if (!complete) return PackPreviewBlobWithText(kPreviewTextCode, d, n, GetLangStr(u"ReadDataFailed"));
  if (IsPreviewPictureType(q.type)) return PackPreviewBlob(uint8_t(q.type), d, n, nullptr, 0);
  CString text;
  if (GetDocumentDetailText(q.type, d, n, text)) return PackPreviewBlobWithText(kPreviewTextCode, d, n, text);
  if (IsPreviewTextType(q.type)) return PackPreviewBlobWithText(kPreviewTextCode, d, n, DecodePreviewText(d, n));
  if (n >= kHexPreviewFrom) return PackPreviewBlobWithText(kPreviewHexCode, d, n, CString());
  return PackPreviewBlobWithText(kPreviewTextCode, d, n, AnsiPreviewText(d, n));
}

bool IsDocumentStart(const uint8_t* d, uint64_t n) {
  return At(d, n, 0, "\xD0\xCF\x11\xE0", 4) || At(d, n, 0, "PK\x03\x04", 4) || At(d, n, 0, "PK\x05\x06", 4) ||
         At(d, n, 0, "PK00", 4);
}

bool ZipListing(const uint8_t* d, uint64_t n, CString& text) {
  const PreviewTextHooks hooks = GetPreviewTextHooks();
  if (!hooks.listZipEntries) return false;
  MemFile file{uint32_t(n), 0, const_cast<uint8_t*>(d)};
  zlib_filefunc_def funcs;
  FillMemFileFuncs(&funcs);
  unzFile zip = unzOpen2(reinterpret_cast<const char*>(&file), &funcs);
  if (!zip) return false;
  const bool ok = hooks.listZipEntries(zip, text);
  unzClose(zip);
  return ok && !text.IsEmpty();
}

}  // namespace

bool HasPictureSignature(const uint8_t* d, uint64_t n) {
  if (!d) return false;
  if (At(d, n, 0, "\xFF\xD8", 2) || At(d, n, 0, "BM", 2) || At(d, n, 0, "\x89PNG", 4) || At(d, n, 0, "GIF8", 4) ||
      At(d, n, 0, "II", 2) || At(d, n, 0, "MM", 2) || At(d, n, 0, "FUJI", 4) || At(d, n, 0, "8BPS", 4))
    return true;
  if (At(d, n, 0, "\x00\x05\x16\x07", 4) && At(d, n, 8, "Mac ", 4)) return true;
  if (At(d, n, 0, "RIFF", 4) && At(d, n, 12, "anih", 4)) return true;
  const uint32_t f = DetectImageFormat(d, size_t(n));
  return f == kImageIco || f == kImageMetafile;
}

bool EncodeThumbnailImage(ImageCodec& img, uint8_t*& jpeg, uint32_t& length) {
  jpeg = nullptr;
  length = 0;
  if (!(img.GetBpp() == 8 && img.IsGreyRamp()) && !img.IncreaseBpp24()) return false;
  std::vector<uint8_t> out;
  if (!img.EncodeJpeg(out) || out.empty() || out.size() > kMaxPreviewFile) return false;
  jpeg = static_cast<uint8_t*>(AllocMem(out.size(), kThumbJpegTag));
  std::memcpy(jpeg, out.data(), out.size());
  length = uint32_t(out.size());
  return true;
}

bool MakeImageThumbnail(const PreviewRequest& q, const uint8_t* data, uint8_t*& jpeg, uint32_t& length) {
  jpeg = nullptr;
  length = 0;
  if (!data || q.size == 0 || q.size > kMaxPreviewFile) return false;
  const uint32_t n = uint32_t(q.size);
  const uint32_t format = CategoryToImageType(q.type);
  ImageCodec img;
  if (!img.DecodeForBox(data, n, format, kThumbnailBox, kThumbnailBox)) {
    // The file may be another format than its type says (a carved file typed by its first
    // signature): the bytes are read once more through a stream, every decoder trying them.
    // A picture refused for its size stays refused.
    if (format == kImageUnknown || img.LastStatus() == ImageStatus::kTooLarge) return false;
    CStream stream(data, n);
    if (!img.DecodeFromStream(&stream, kImageUnknown)) return false;
  }
  uint32_t w = 0, h = 0;
  FitIntoBox(img.GetWidth(), img.GetHeight(), kThumbnailBox, w, h);
  if (!img.Resample(w, h)) return false;
  return EncodeThumbnailImage(img, jpeg, length);
}

void PreviewService::Deliver(uint8_t* buffer, const PreviewRequest* q) {
  if (!buffer) return;
  if (sink_) {
    sink_(buffer, q, sinkContext_);
    return;
  }
  HWND w = window_.load();
  // The window frees the buffer once it has taken its copy; without a window nobody would.
  if (w && IsWindow(w)) SendMessageW(w, WM_PREVIEW_DATA, WPARAM(buffer), LPARAM(q));
  else FreeMem(buffer);
}

int PreviewService::SendEmptyFilePreview(PreviewRequest& q) {
  if (q.kind != kPreviewOpen) return 0;
  if (q.size == 0) {
    Deliver(EmptyFileBlob(), nullptr);
    return 1;
  }
  AdjustOpenRequest(q);
  return 0;
}

void PreviewService::BuildFilePreview(int complete, PreviewRequest& q, const uint8_t* data) {
  Deliver(FilePreviewBlob(complete, q, data), &q);
}

int PreviewService::BuildThumbnail(const PreviewRequest& q, const uint8_t* d) {
  if (!d || q.size > kMaxPreviewFile) return 0;
  const uint32_t n = uint32_t(q.size);
  const uint32_t t = q.type;
  uint8_t* buffer = nullptr;
  CString text;
  if (IsPreviewPictureType(t)) {
    if (!HasPictureSignature(d, n)) return 0;
    uint8_t* jpeg = nullptr;
    uint32_t length = 0;
    if (!MakeImageThumbnail(q, d, jpeg, length)) return 0;
    buffer = PackPreviewBlob(kPreviewJpegCode, jpeg, length, nullptr, 0);
    FreeMem(jpeg);
  } else if (IsPreviewDocumentType(t)) {
    if (!IsDocumentStart(d, n) || !GetDocumentDetailText(t, d, n, text)) return 0;
    buffer = PackPreviewBlobWithText(kPreviewTextCode, nullptr, 0, text);
  } else if (IsPreviewTextType(t)) {
    buffer = PackPreviewBlobWithText(kPreviewTextCode, nullptr, 0, DecodePreviewText(d, n));
  } else if (t == 61) {
    if (!ZipListing(d, n, text)) return 0;
    buffer = PackPreviewBlobWithText(kPreviewTextCode, nullptr, 0, text);
  } else if (t == 62) {
    const PreviewTextHooks hooks = GetPreviewTextHooks();
    if (!hooks.listRarEntries || !hooks.listRarEntries(d, n, text) || text.IsEmpty()) return 0;
    buffer = PackPreviewBlobWithText(kPreviewTextCode, nullptr, 0, text);
  } else {
    return 0;
  }
  StorePreviewCache(q, buffer);
  return 1;
}

void PreviewService::ServeRequest(PreviewRequest& q) {
  if (q.kind == kPreviewOpen) ServeOpen(q);
  else ServeThumbnail(q);
}

void PreviewService::ServeOpen(PreviewRequest& q) {
  uint8_t* buffer = nullptr;
  const PreviewRequest* about = &q;
  {
    // Under the list's read lock a reset cannot free the item between the check and the read.
    VolumeListReadGuard guard(list_);
    if (Stale(q)) return;
    if (q.size == 0) {
      buffer = EmptyFileBlob();
      about = nullptr;
    } else {
      AdjustOpenRequest(q);
      auto* data = static_cast<uint8_t*>(AllocMem(q.size + kOpenReadSlack, kOpenReadTag));
      const uint64_t got = ReadItemData(list_, q.firstWord, q.id, data, q.size);
      buffer = FilePreviewBlob(got == q.size, q, data);
      FreeMem(data);
    }
  }
  // Sent without any lock held: the window's thread may query the list while the worker waits.
  Deliver(buffer, about);
}

void PreviewService::ServeThumbnail(PreviewRequest& q) {
  bool ready = false;
  {
    VolumeListReadGuard guard(list_);
    FileRecord* r = GetItemRecord(list_, q.firstWord, q.id);
    if (!r) return;  // gone while it waited: nothing to mark or announce
    if (Stale(q)) {
      // Taken before the queue was cleared: the record starts over like the dropped ones.
      if ((r->flags & kRecPreviewReady) == kRecPreviewQueued) ClearRecordFlags(*r, kRecPreviewQueued);
      return;
    }
    if (q.size == 0 || q.size > kMaxPreviewFile) {
      ready = false;
    } else if (CachedThumbnail(q.lba, q.size, q.type)) {
      // Another record of the same file (a view, a split copy) had it built already.
      ready = true;
    } else {
      auto* data = static_cast<uint8_t*>(AllocMem(q.size + kThumbReadSlack, kThumbReadTag));
      if (ReadItemData(list_, q.firstWord, q.id, data, q.size) == q.size) ready = BuildThumbnail(q, data) != 0;
      FreeMem(data);
    }
    if (ready) {
      SetRecordFlags(*r, kRecPreviewReady);
    } else {
      SetRecordFlags(*r, kRecNoPreview);
      ClearRecordFlags(*r, kRecPreviewQueued);
    }
  }
  if (ready) PostPreviewReady(list_, q.firstWord, q.id);
}
