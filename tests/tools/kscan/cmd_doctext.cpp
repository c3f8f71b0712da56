// "kscan doctext IMAGE LBA": the file that starts at the LBA of an image as the deep scan
// carves it (its signature, end and kind, and the metadata its name is made of), and the detail
// text the preview shows for it, as one JSON line:
//   {"lba", "matched", "status", "type", "size", "name", "person", "excerpt", "date", "text"}
// The file is decided from the bytes up to the largest carving window, or up to the image end.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "base/heap.h"
#include "core/carvedname.h"
#include "core/filetypetable.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/fileend.h"
#include "deepscan/sectorsignature.h"
#include "tests/tools/kscan/kscan.h"

namespace {

std::string Slot(const char16_t* s, size_t n) {
  std::u16string t;
  for (size_t i = 0; i < n && s[i]; ++i) t.push_back(s[i]);
  return CString(t).ToUtf8();
}

int RunDocText(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    fprintf(stderr, "usage: kscan doctext IMAGE LBA\n");
    return 2;
  }
  const uint64_t lba = strtoull(args[1].c_str(), nullptr, 0);
  InitFileTypeTables();
  std::ifstream image(args[0], std::ios::binary | std::ios::ate);
  if (!image) {
    printf("{\"error\":\"cannot open\",\"path\":\"%s\"}\n", KscanJsonText(args[0]).c_str());
    return 1;
  }
  const uint64_t imageBytes = uint64_t(image.tellg());
  const uint64_t imageSectors = imageBytes / 512;
  if (lba >= imageSectors) {
    printf("{\"error\":\"beyond the image\",\"lba\":%llu}\n", (unsigned long long)lba);
    return 1;
  }
  // The largest window the scan decides a file in, from the file's own block on.
  const uint64_t take = std::min<uint64_t>(kMaxWantedBytes + 0x800000, (imageSectors - lba) * 512);
  std::vector<uint8_t> data(size_t(take), 0);
  image.seekg(std::streamoff(lba * 512));
  image.read(reinterpret_cast<char*>(data.data()), std::streamsize(take));

  uint32_t matched = 0;
  if (!MatchSectorSignature(data.data(), matched, lba) || matched > 176) {
    printf("{\"lba\":%llu,\"matched\":null}\n", (unsigned long long)lba);
    return 1;
  }
  CarveCandidate c;
  c.typeId = int32_t(matched);
  c.startLba = lba;
  // First the file's block alone, as a new candidate sees it; then the whole window, as the
  // pending window hands it over; last as the end of the input.
  int32_t status = DetectFileEnd(c, lba, data.data(), std::min<uint64_t>(take, 0x800000));
  if (status == kEndNeedsMore) status = DetectFileEnd(c, lba, data.data(), take);
  if (status == kEndNeedsMore && lba + take / 512 >= imageSectors)
    status = DetectFileEndAtInputEnd(c, lba, data.data(), take, imageSectors);

  CarvedFileMetadata meta{};
  const bool hasMeta = c.details && HasDocumentMetadata(uint32_t(c.typeId));
  if (hasMeta) std::memcpy(&meta, c.details, sizeof meta);
  CString name;
  MakeCarvedFileName(uint32_t(c.typeId), lba, hasMeta ? &meta : nullptr, name);
  std::string text;
  if (status == kEndKnown && c.size <= take) {
    char16_t* block = nullptr;
    uint32_t bytes = 0;
    if (GetDocumentDetailText(uint32_t(c.typeId), data.data(), uint32_t(c.size), block, bytes)) {
      text = CString(std::u16string(block, bytes / 2)).ToUtf8();
      FreeMem(block);
    }
  }
  printf("{\"lba\":%llu,\"matched\":%u,\"status\":%d,\"type\":%d,\"size\":%llu,\"name\":\"%s\",\"person\":\"%s\","
         "\"excerpt\":\"%s\",\"date\":\"%s\",\"text\":\"%s\"}\n",
         (unsigned long long)lba, matched, status, c.typeId, (unsigned long long)c.size,
         KscanJsonText(name.ToUtf8()).c_str(), KscanJsonText(Slot(meta.person, 32)).c_str(),
         KscanJsonText(Slot(meta.excerpt, 64)).c_str(), KscanJsonText(Slot(meta.date, 12)).c_str(),
         KscanJsonText(text).c_str());
  if (c.details) FreeMem(c.details);
  return 0;
}

KscanCommand reg("doctext", "doctext IMAGE LBA", &RunDocText);

}  // namespace
