// Real office documents and archives (tests/fixtures/docsamples, made by make_docsamples.sh
// there with the office suite, zip and 7-Zip, plus synthetic drawing, plan and vector-drawing
// containers): each is found by the end detection at its exact size and kind with its author,
// date and text excerpt, inside one block and when it starts in a block's last sector, and its
// detail text is what the preview shows.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/carvedname.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/fileend.h"
#include "deepscan/doctext/tests/doctexttestenv.h"
#include "deepscan/tests/carvedetails.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kBlockSectors = 16384;
constexpr uint64_t kBlockBytes = kBlockSectors * 512;

// A sample by name; "NAME.gz" files are unpacked.
Bytes Sample(const std::string& name) {
  const std::string path = std::string(KESTREL_DOC_SAMPLES) + "/" + name;
  if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) {
    Bytes out;
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    int n = 0;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    gzclose(f);
    return out;
  }
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The file at the start of a block, other bytes behind it.
Found DetectWhole(int32_t type, const Bytes& file) {
  Bytes buffer(kBlockBytes, 0x5A);
  std::memcpy(buffer.data(), file.data(), file.size());
  CarveCandidate c;
  c.typeId = type;
  c.startLba = 0x10000;
  return Take(c, DetectFileEnd(c, 0x10000, buffer.data(), buffer.size()));
}

// The file starting in the last sector of a block: decided once the pending window hands over
// both blocks.
Found DetectAcrossBlocks(int32_t type, const Bytes& file) {
  Bytes two(2 * kBlockBytes, 0x5A);
  const uint64_t blockLba = 2 * kBlockSectors;
  const uint64_t start = blockLba + kBlockSectors - 1;
  std::memcpy(two.data() + (kBlockBytes - 512), file.data(), file.size());
  CarveCandidate c;
  c.typeId = type;
  c.startLba = start;
  EXPECT_EQ(DetectFileEnd(c, blockLba, two.data(), kBlockBytes), kEndNeedsMore);
  EXPECT_EQ(c.firstNeededLba, start);
  return Take(c, DetectFileEnd(c, blockLba, two.data(), two.size()));
}

std::u16string DetailText(uint32_t type, const Bytes& file) {
  char16_t* text = nullptr;
  uint32_t bytes = 0;
  if (!GetDocumentDetailText(type, file.data(), uint32_t(file.size()), text, bytes)) return u"";
  EXPECT_EQ(text[bytes / 2], 0);  // the block ends with a zero
  std::u16string t(text, bytes / 2);
  FreeMem(text);
  return t;
}

class DocSamples : public ::testing::Test {
 protected:
  void SetUp() override { DocTextTestEnv(); }
};

TEST_F(DocSamples, FoundAtTheirSizeKindAndProperties) {
  const struct {
    const char* file;
    int32_t matched, type;
    std::u16string person, excerpt, date;
  } cases[] = {
      // The last author and the last save time win over the author and the creation time.
      {"letter.doc", 36, 36, u"Jonas Berg", u"Quarterly recovery report for the archive volume", u"2022-05-06"},
      {"ledger.xls", 36, 87, u"Jonas Berg", u"Ledger _ Notes _ Invoice _ Refund _ Checked by a", u"2022-05-06"},
      // Slide shows get their people and dates, no excerpt.
      {"deck.ppt.gz", 36, 90, u"Jonas Berg", u"", u"2022-05-06"},
      // Drawings and plans are no named document types.
      {"drawing.vsd", 36, 96, u"", u"", u""},
      {"plan.mpp", 36, 91, u"", u"", u""},
      // The office suite streams its packages: every member's sizes follow its data.
      {"letter.docx", 61, 37, u"Jonas Berg", u"Quarterly recovery report for the archive volume", u"2022-05-06"},
      {"ledger.xlsx", 61, 38, u"Jonas Berg", u"InvoiceRefundChecked by auditor", u"2022-05-06"},
      {"deck.pptx", 61, 89, u"Jonas Berg", u"Opening slide about backups", u"2022-05-06"},
      {"vector.cdr", 61, 118, u"", u"", u""},
      {"stored.zip", 61, 61, u"", u"", u""},
      {"deflated.zip", 61, 61, u"", u"", u""},
      {"streamed.zip", 61, 61, u"", u"", u""},
      {"sevenzip.zip", 61, 61, u"", u"", u""},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.file);
    const Bytes file = Sample(k.file);
    ASSERT_GT(file.size(), 2000u);
    for (int across = 0; across < 2; ++across) {
      SCOPED_TRACE(across ? "across a block edge" : "inside one block");
      const Found f = across ? DetectAcrossBlocks(k.matched, file) : DetectWhole(k.matched, file);
      EXPECT_EQ(f.status, kEndKnown);
      EXPECT_EQ(f.size, file.size());
      EXPECT_EQ(f.type, k.type);
      EXPECT_EQ(f.person, k.person);
      EXPECT_EQ(f.excerpt, k.excerpt);
      EXPECT_EQ(f.date, k.date);
    }
  }
}

TEST_F(DocSamples, DetailTextsAsThePreviewShowsThem) {
  EXPECT_EQ(DetailText(36, Sample("letter.doc")),
            u"Quarterly recovery report for the archive volume.\r\nSecond paragraph lists the damaged sectors.\r\n");
  EXPECT_EQ(DetailText(87, Sample("ledger.xls")), u"Ledger | Notes | Invoice | Refund | Checked by auditor");
  // Text runs are joined as they stand between the tags.
  EXPECT_EQ(DetailText(37, Sample("letter.docx")),
            u"Quarterly recovery report for the archive volume.Second paragraph lists the damaged sectors.");
  EXPECT_EQ(DetailText(38, Sample("ledger.xlsx")), u"InvoiceRefundChecked by auditor");
  const std::u16string slides = DetailText(89, Sample("deck.pptx"));
  const size_t one = slides.find(u"Opening slide"), two = slides.find(u"Middle slide"),
               three = slides.find(u"Closing slide");
  ASSERT_NE(three, std::u16string::npos);
  EXPECT_LT(one, two);
  EXPECT_LT(two, three);
  // Slide shows, drawings and plans have no detail text.
  EXPECT_EQ(DetailText(90, Sample("deck.ppt.gz")), u"");
  EXPECT_EQ(DetailText(96, Sample("drawing.vsd")), u"");

  const std::u16string heading = u"Ratio   Modified           Name\r\n";
  EXPECT_EQ(DetailText(61, Sample("stored.zip")),
            heading + u"100%    2020-01-02 03:04   notes/readme.txt\r\n100%    2020-01-02 03:04   random.bin\r\n");
  for (const char* name : {"deflated.zip", "streamed.zip", "sevenzip.zip"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(DetailText(61, Sample(name)),
              heading + u"1%      2020-01-02 03:04   notes/readme.txt\r\n100%    2020-01-02 03:04   random.bin\r\n");
  }
  // A document is at least 1024 bytes: a shorter one has no text.
  Bytes doc = Sample("letter.doc");
  doc.resize(1023);
  EXPECT_EQ(DetailText(36, doc), u"");
}

}  // namespace
