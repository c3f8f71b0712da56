// The entry points: the detail text the preview shows for a document or an archive, and the
// metadata a carved document is named after.
#include "deepscan/doctext/doctext.h"

#include <cstring>
#include <vector>

#include "base/heap.h"
#include "core/preview/previewworker.h"
#include "deepscan/doctext/zipmemory.h"
#include "deepscan/olereader.h"

namespace {

constexpr uint32_t kMinDocumentBytes = 1024;
constexpr uint32_t kTitleChars = 48;
constexpr uint32_t kExcerptFrom = 128;
constexpr unsigned kDetailTextTag = 4111;

bool DetailText(uint32_t typeId, const uint8_t* data, uint32_t size, CString& text) {
  text.Empty();
  if (!data || size < kMinDocumentBytes) return false;
  switch (typeId) {
    case 36:
      return ExtractWordText(data, size, text);
    case 37:
    case 38:
    case 89:
      return ExtractOoxmlText(typeId, data, size, text);
    case 61: {
      ZipFromMemory zip(data, size);
      if (!zip.Open() || !ListZipEntries(zip.Handle(), text)) return false;
      text.Truncate(int(kListingBytes / 2));
      return true;
    }
    case 62:
      return ListRarEntries(data, size, text);
    case 87:
      return ExtractExcelText(data, size, text, kDetailTextChars);
    default:
      return false;
  }
}

// The hooks of the preview worker.
bool PreviewDetailText(uint32_t typeId, const uint8_t* data, uint32_t length, CString& text) {
  return DetailText(typeId, data, length, text) && !text.IsEmpty();
}

bool PreviewRarListing(const uint8_t* data, uint32_t length, CString& text) {
  return ListRarEntries(data, length, text);
}

// The first 128 characters, made fit for a file name, blanks run together, 48 kept.
CString Excerpt(const CString& text) {
  const CString safe = SanitizeCarvedNameText(text.Left(int(kExcerptFrom)));
  std::u16string out;
  for (char16_t c : safe.View()) {
    if (c == u' ' && !out.empty() && out.back() == u' ') continue;
    out.push_back(c);
  }
  if (out.size() > kTitleChars) out.resize(kTitleChars);
  return CString(std::move(out));
}

}  // namespace

int GetDocumentDetailText(uint32_t typeId, const uint8_t* data, uint32_t size, char16_t*& text, uint32_t& bytes) {
  text = nullptr;
  bytes = 0;
  CString t;
  if (!DetailText(typeId, data, size, t) || t.IsEmpty()) return 0;
  const uint64_t units = uint64_t(t.GetLength());
  text = static_cast<char16_t*>(AllocMem((units + 1) * 2, kDetailTextTag));
  std::memcpy(text, t.GetString(), units * 2);
  bytes = uint32_t(units * 2);
  return 1;
}

CarvedFileMetadata* ReadDocumentMetadata(uint32_t typeId, const uint8_t* head, uint64_t bytes) {
  if (!head) return nullptr;
  const bool ooxml = typeId == 37 || typeId == 38 || typeId == 89;
  const bool ole = typeId == 36 || typeId == 87 || typeId == 90;
  if (!ooxml && !ole) return nullptr;
  CString text;
  if (bytes >= kMinDocumentBytes) {
    bool found = false;
    if (typeId == 36) found = ExtractWordText(head, bytes, text);
    else if (ooxml) found = ExtractOoxmlText(typeId, head, bytes, text);
    else if (typeId == 87) found = ExtractExcelText(head, bytes, text, kTitleChars);
    if (!found) text.Empty();
  }
  DocumentProperties props;
  if (ooxml) {
    ParseOoxmlCoreProperties(head, bytes, props);
  } else if (bytes >= kMinDocumentBytes && HasOleSignature(head, bytes)) {
    OleTables t;
    std::vector<uint8_t> summary;
    // The leading 0x05 keeps "DocumentSummaryInformation" (whose property numbers mean other
    // things) from being taken for it when it comes first in the directory.
    if (OleLoadTables(head, bytes, t) && OleReadStreamByName(head, bytes, t, u"\x05SummaryInformation", summary))
      ParseSummaryInformation(summary.data(), summary.size(), props);
  }
  const CString& person = props.lastAuthor.IsEmpty() ? props.author : props.lastAuthor;
  const CString& date = props.saved.IsEmpty() ? props.created : props.saved;
  return PackDocumentMetadata(person, CString(), text.IsEmpty() ? CString() : Excerpt(text), date);
}

void InstallDocumentTextReaders() {
  SetOleSummaryReader(&ReadDocumentMetadata);
  PreviewTextHooks hooks;
  hooks.documentDetailText = &PreviewDetailText;
  hooks.listZipEntries = &ListZipEntries;
  hooks.listRarEntries = &PreviewRarListing;
  SetPreviewTextHooks(hooks);
}
