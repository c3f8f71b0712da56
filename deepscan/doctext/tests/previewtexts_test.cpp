// The readers plugged into the preview worker: the open preview of a document carries its
// detail text, and thumbnails of documents and archives are their texts and listings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewworker.h"
#include "core/volumelist.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/doctext/tests/doctexttestenv.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Sample(const char* name) {
  std::ifstream f(std::string(KESTREL_DOC_SAMPLES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Delivered {
  std::u16string text;
  int count = 0;
};
void Keep(uint8_t* buffer, const PreviewRequest*, void* ctx) {
  auto* d = static_cast<Delivered*>(ctx);
  PreviewBlobView v;
  if (ReadPreviewBlob(buffer, GetMemSize(buffer), v)) d->text = v.text.Str();
  ++d->count;
  FreeMem(buffer);
}

TEST(PreviewTexts, DocumentsAndArchivesThroughTheWorker) {
  DocTextTestEnv();
  static VolumeList& list = *new VolumeList;
  PreviewService service(list);
  Delivered got;
  service.SetDataSink(&Keep, &got);

  // The open preview of a Word document shows its text.
  const Bytes doc = Sample("letter.doc");
  PreviewRequest open;
  open.kind = kPreviewOpen;
  open.size = doc.size();
  open.type = 36;
  service.BuildFilePreview(1, open, doc.data());
  EXPECT_EQ(got.count, 1);
  EXPECT_EQ(got.text.substr(0, 26), u"Quarterly recovery report ");

  // Thumbnails: a document's text, an archive's listing.
  const struct {
    const char* file;
    uint32_t type;
    std::u16string begins;
  } cases[] = {
      {"ledger.xlsx", 38, u"InvoiceRefund"},
      {"deflated.zip", 61, u"Ratio   Modified           Name\r\n1%      2020-01-02 03:04   notes/readme.txt"},
  };
  uint64_t lba = 100;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.file);
    const Bytes data = Sample(k.file);
    PreviewRequest q;
    q.kind = kPreviewThumbnail;
    q.lba = ++lba;
    q.size = data.size();
    q.type = k.type;
    ASSERT_EQ(service.BuildThumbnail(q, data.data()), 1);
    const uint8_t* blob = service.CachedThumbnail(q.lba, q.size, q.type);
    ASSERT_NE(blob, nullptr);
    PreviewBlobView v;
    ASSERT_TRUE(ReadPreviewBlob(blob, GetMemSize(blob), v));
    EXPECT_EQ(v.text.Str().substr(0, k.begins.size()), k.begins);
  }
  service.SetDataSink(nullptr, nullptr);
  service.ClearPreviewCache();
}

}  // namespace
