// ZIP archives and the packages built on them (Word, Excel and PowerPoint XML documents, vector
// drawings): a walk over the local, central and end records, each skipped by its stated
// lengths; the end record ends the file. A member whose sizes follow its data (a streamed
// archive) is passed by searching for the next "PK". The member names tell the package kind.
#include <algorithm>
#include <cstring>

#include "core/carvedname.h"
#include "deepscan/fileendrules.h"

namespace {

constexpr uint32_t kZipStep = 4096;
constexpr uint32_t kLocalBytes = 30, kCentralBytes = 46, kEndBytes = 22;
// Central headers are read up to their comment length.
constexpr uint32_t kCentralFields = 34;
// Only the first 129 local headers are looked at for the package kind.
constexpr uint32_t kMaxSubtypeHeaders = 128;

#pragma pack(push, 1)
struct ZipState {
  uint64_t savedOffset;   // where the walk stood when it ran out of data
  uint32_t savedWanted;
  uint64_t savedFirstLba; // the range that walk step missed
  uint64_t savedEndLba;
  uint32_t headersSeen;
  uint32_t sawRiffData;   // "content/riffData.cdr"
  uint32_t sawDataList;   // "content/dataFileList.dat"
  uint32_t sawLinks;      // "links.xml" or "META-INF/links.xml"
};
#pragma pack(pop)
static_assert(sizeof(ZipState) == 44);

bool NameIs(const uint8_t* name, uint16_t length, const char* text) {
  const size_t n = std::strlen(text);
  return length == n && std::memcmp(name, text, n) == 0;
}

// Refines a plain archive (61) from one local header's member name; the flags remember the
// parts of a vector drawing seen so far.
void GetZipSubtype(const uint8_t* header, uint32_t avail, CarveCandidate& c, HandlerState<ZipState>& st) {
  if (c.typeId != 61 || st->headersSeen > kMaxSubtypeHeaders || avail < kLocalBytes) return;
  ++st->headersSeen;
  const uint16_t length = FeLe16(header + 26);
  if (uint32_t(length) <= avail - kLocalBytes) {
    const uint8_t* name = header + kLocalBytes;
    if (NameIs(name, length, "content/riffData.cdr")) {
      if (st->sawLinks) c.typeId = 118;
      else st->sawRiffData = 1;
    } else if (NameIs(name, length, "content/dataFileList.dat")) {
      if (st->sawLinks) c.typeId = 118;
      else st->sawDataList = 1;
    } else if (NameIs(name, length, "links.xml") || NameIs(name, length, "META-INF/links.xml")) {
      if (st->sawRiffData || st->sawDataList) c.typeId = 118;
      else st->sawLinks = 1;
    } else if (NameIs(name, length, "word/_rels/document.xml.rels")) {
      c.typeId = 37;
    } else if (NameIs(name, length, "xl/_rels/workbook.xml.rels")) {
      c.typeId = 38;
    } else if (NameIs(name, length, "ppt/_rels/presentation.xml.rels")) {
      c.typeId = 89;
    }
  }
}

}  // namespace

int32_t DetectZipEnd(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<ZipState> st(c);
  if (c.wanted != 0) {
    // A retry: the walk goes on where it ran out of data.
    c.currentOffset = st->savedOffset;
    c.firstNeededLba = st->savedFirstLba;
    c.endNeededLba = st->savedEndLba;
  }
  // Each step moves the offset forward by at least one byte and reads inside the buffer, so the
  // walk ends within the buffer's length.
  for (;;) {
    const uint8_t* p = nullptr;
    uint32_t avail = 0;
    const int32_t r = ViewWanted(c, b, kZipStep, p, avail);
    if (r == kEndNotValid) return r;
    if (r == kEndNeedsMore) {
      // The candidate waits until the window holds the whole file from its start up to the
      // missing bytes, so that the finished file can be read for its properties.
      const uint64_t upTo = c.currentOffset + kZipStep;
      if (upTo > kMaxWantedBytes) return kEndNotValid;
      st->savedOffset = c.currentOffset;
      st->savedWanted = kZipStep;
      st->savedFirstLba = c.firstNeededLba;
      st->savedEndLba = c.endNeededLba;
      c.currentOffset = 0;
      c.wanted = uint32_t(upTo);
      c.firstNeededLba = c.startLba;
      c.endNeededLba = c.startLba + (upTo >> 9);
      return kEndNeedsMore;
    }
    // Past the end of the input a record cut short is never completed.
    const bool cut = avail < kZipStep;
    uint64_t span = 0;
    if (avail >= 4 && p[0] == 'P' && p[1] == 'K') {
      if (p[2] == 3 && p[3] == 4) {
        if (avail < kLocalBytes) return kEndNeedsMore;
        span = kLocalBytes + uint64_t(FeLe16(p + 26)) + FeLe16(p + 28) + FeLe32(p + 18);
        GetZipSubtype(p, avail, c, st);
      } else if (p[2] == 1 && p[3] == 2) {
        if (avail < kCentralFields) return kEndNeedsMore;
        span = kCentralBytes + uint64_t(FeLe16(p + 28)) + FeLe16(p + 30) + FeLe16(p + 32);
      } else if (p[2] == 5 && p[3] == 6) {
        if (avail < kEndBytes) return kEndNeedsMore;
        c.currentOffset += kEndBytes + FeLe16(p + 20);
        c.size = c.currentOffset;
        if (c.startLba >= b.lba && HasDocumentMetadata(uint32_t(c.typeId))) {
          // The file's bytes in the buffer, never more than the file.
          const uint64_t from = (c.startLba - b.lba) * 512;
          if (from < b.length) {
            const uint64_t held = std::min<uint64_t>(b.length - from, c.size);
            ReplaceCandidateDetails(c, ReadOleSummaryMetadata(uint32_t(c.typeId), b.data + from, held));
          }
        }
        return kEndKnown;
      }
    }
    if (span == 0) {
      // Not a record: the next "PK" in these bytes. One right here (a data descriptor) is
      // stepped over.
      const uint8_t* pk = nullptr;
      for (uint32_t i = 0; i + 1 < avail; ++i) {
        if (p[i] == 'P' && p[i + 1] == 'K') {
          pk = p + i;
          break;
        }
      }
      if (!pk) return cut ? kEndNeedsMore : kEndNotValid;
      span = pk == p ? 4 : uint64_t(pk - p);
    }
    c.currentOffset += span;
  }
}
