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

#include "base/heap.h"
#include "core/carvedname.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/fileend.h"

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

std::u16string Slot(const char16_t* s, size_t n) {
  std::u16string t;
  for (size_t i = 0; i < n && s[i]; ++i) t.push_back(s[i]);
  return t;
}

struct Found {
  int32_t status = 0;
  uint64_t size = 0;
  int32_t type = 0;
  std::u16string person, excerpt, date;
};

Found Take(CarveCandidate& c, int32_t status) {
  Found f{status, c.size, c.typeId, u"", u"", u""};
  if (auto* m = static_cast<CarvedFileMetadata*>(c.details)) {
    CarvedFileMetadata copy;
    std::memcpy(&copy, m, sizeof copy);
    f.person = Slot(copy.person, 32);
    f.excerpt = Slot(copy.excerpt, 64);
    f.date = Slot(copy.date, 12);
    FreeMem(c.details);
    c.details = nullptr;
  }
  return f;
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

class DocSamples : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    InstallDocumentTextReaders();
  }
};

TEST_F(DocSamples, Explore) {
  const char* names[] = {"letter.doc", "ledger.xls", "deck.ppt.gz", "drawing.vsd", "plan.mpp", "letter.docx",
                         "ledger.xlsx", "deck.pptx", "vector.cdr", "stored.zip", "deflated.zip", "streamed.zip",
                         "sevenzip.zip"};
  for (const char* n : names) {
    const Bytes file = Sample(n);
    const int32_t type = file[0] == 0xD0 ? 36 : 61;
    for (int across = 0; across < 2; ++across) {
      const Found f = across ? DetectAcrossBlocks(type, file) : DetectWhole(type, file);
      printf("%s across=%d status=%d size=%llu/%zu type=%d person=%s excerpt=%s date=%s\n", n, across, f.status,
             (unsigned long long)f.size, file.size(), f.type, CString(f.person).ToUtf8().c_str(),
             CString(f.excerpt).ToUtf8().c_str(), CString(f.date).ToUtf8().c_str());
      if (across) continue;
      char16_t* text = nullptr;
      uint32_t bytes = 0;
      if (GetDocumentDetailText(uint32_t(f.type), file.data(), uint32_t(file.size()), text, bytes)) {
        printf("---\n%s\n---\n", CString(std::u16string(text, bytes / 2)).ToUtf8().c_str());
        FreeMem(text);
      }
    }
  }
}

}  // namespace
