// Runs of file-system metadata found by the scan: a FAT32 allocation table (228) and a run of
// exFAT directory sectors (231).
#include "base/heap.h"
#include "deepscan/fileend.h"
#include "deepscan/fileendrules.h"
#include "parsefilesystem/exfat/exfatdirhitinfo.h"
#include "parsefilesystem/exfat/exfatsectorcheck.h"
#include "parsefilesystem/parsefat/fattablemeasure.h"

namespace {
constexpr uint32_t kFatGrowth = 0x7FFE00;
constexpr uint32_t kExfatRunStep = 4096;
}  // namespace

int32_t DetectFat32TableEnd(CarveCandidate& c, const FileEndBuffer& b) {
  // Every byte from the table's start to the buffer's end is measured at once; when that is
  // not enough, the candidate asks for nearly one more block.
  const uint64_t bufferStop = b.lba + b.length / 512;
  if (bufferStop <= c.startLba) return kEndNeedsMore;
  const uint64_t available = (bufferStop - c.startLba) * 512;
  if (c.wanted >= available) return kEndNeedsMore;
  if (available > kMaxWantedBytes) return kEndNotValid;
  c.wanted = uint32_t(available);
  uint64_t from = 0;
  int32_t r = LocateCandidateWindow(c, b.lba, b.length, from);
  if (r != kEndCopied) return r;
  r = MeasureFat32Table(b.data + from, c.wanted, c);
  if (r != kEndNeedsMore) return r;
  c.wanted += kFatGrowth;
  return LocateCandidateWindow(c, b.lba, b.length, from);
}

int32_t DetectExfatDirRunEnd(CarveCandidate& c, const FileEndBuffer& b) {
  // The run grows by 4096 bytes while the last sector of each new step still holds directory
  // entries. Only the new step is examined each round (the earlier ones passed before, also on
  // an earlier try of a pending candidate), and the bytes are read in place.
  if (c.wanted == 0) c.wanted = kExfatRunStep;
  for (;;) {
    uint64_t from = 0;
    const int32_t r = LocateCandidateWindow(c, b.lba, b.length, from);
    if (r != kEndCopied) return r;
    const uint8_t* last = b.data + from + c.wanted - 512;
    if (!CheckExfatDirEntries(last, 0) || last[512 - 32] == 0) {
      void* old = c.details;
      AnalyzeExfatDirSector(b.data + from, c.wanted, c);
      if (old && old != c.details) FreeMem(old);
      return kEndKnown;
    }
    c.wanted += kExfatRunStep;
  }
}
