#include "deepscan/fileend.h"

#include <array>
#include <cstring>

#include "base/heap.h"

#include "deepscan/fileendrules.h"

namespace {

// Where the wanted bytes of a candidate lie: the sectors first..last, and the LBA just after
// the wanted bytes. False when the arithmetic would leave 64 bits (a hostile offset).
struct WantedRange {
  uint64_t first = 0;
  uint64_t end = 0;
  uint64_t last = 0;
};

bool LocateWanted(const CarveCandidate& c, WantedRange& r) {
  uint64_t stop = 0;
  if (__builtin_add_overflow(c.currentOffset, uint64_t(c.wanted), &stop)) return false;
  if (__builtin_add_overflow(c.startLba, c.currentOffset >> 9, &r.first)) return false;
  if (__builtin_add_overflow(c.startLba, stop >> 9, &r.end)) return false;
  r.last = (stop % 512 == 0) ? r.end - 1 : r.end;
  return true;
}

}  // namespace

int32_t LocateCandidateWindow(CarveCandidate& c, uint64_t bufferLba, uint64_t length, uint64_t& from) {
  if (c.wanted == 0 || c.wanted > kMaxWantedBytes) return kEndNotValid;
  WantedRange r;
  if (!LocateWanted(c, r)) return kEndNotValid;
  if (r.last < bufferLba) return kEndNotValid;
  // The sector just after the buffer; a range may begin at most kMaxNeededSectors beyond the
  // buffer's last sector.
  uint64_t bufferStop = 0;
  if (__builtin_add_overflow(bufferLba, length / 512, &bufferStop)) return kEndNotValid;
  if (r.first >= bufferStop && r.first - bufferStop >= kMaxNeededSectors) return kEndNotValid;
  if (r.first < bufferLba || r.last >= bufferStop) {
    c.firstNeededLba = r.first;
    c.endNeededLba = r.end;
    return kEndNeedsMore;
  }
  from = (r.first - bufferLba) * 512 + (c.currentOffset % 512);
  return kEndCopied;
}

int32_t CopyCandidateWindow(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length,
                            uint8_t* dest) {
  if (!dest || !buffer) return kEndNotValid;
  uint64_t from = 0;
  const int32_t r = LocateCandidateWindow(c, bufferLba, length, from);
  if (r != kEndCopied) return r;
  std::memcpy(dest, buffer + from, c.wanted);
  return kEndCopied;
}

int32_t ViewWanted(CarveCandidate& c, const FileEndBuffer& b, uint32_t wanted, const uint8_t*& view,
                   uint32_t& avail) {
  c.wanted = wanted;
  if (!b.data) return kEndNotValid;
  if (b.inputEndLba != kNoInputEnd) {
    // The input ended: only the bytes before its end can ever come.
    uint64_t at = 0;
    if (c.startLba > (UINT64_MAX >> 9) || b.inputEndLba > (UINT64_MAX >> 9) ||
        __builtin_add_overflow(c.startLba << 9, c.currentOffset, &at))
      return kEndNotValid;
    const uint64_t inputEnd = b.inputEndLba << 9;
    if (at >= inputEnd) return kEndNeedsMore;
    if (inputEnd - at < wanted) c.wanted = uint32_t(inputEnd - at);
  }
  uint64_t from = 0;
  const int32_t r = LocateCandidateWindow(c, b.lba, b.length, from);
  if (r != kEndCopied) return r;
  view = b.data + from;
  avail = c.wanted;
  return kEndCopied;
}

int32_t CopyWanted(CarveCandidate& c, const FileEndBuffer& b, uint32_t wanted, uint8_t* dest) {
  if (!dest) return kEndNotValid;
  const uint8_t* view = nullptr;
  uint32_t avail = 0;
  const int32_t r = ViewWanted(c, b, wanted, view, avail);
  if (r != kEndCopied) return r;
  std::memcpy(dest, view, avail);
  if (avail < wanted) std::memset(dest + avail, 0, wanted - avail);
  return kEndCopied;
}

int32_t ViewUnit(CarveCandidate& c, const FileEndBuffer& b, uint32_t n, uint8_t* scratch, const uint8_t*& unit) {
  uint32_t avail = 0;
  const int32_t r = ViewWanted(c, b, n, unit, avail);
  if (r != kEndCopied || avail == n) return r;
  std::memcpy(scratch, unit, avail);
  std::memset(scratch + avail, 0, n - avail);
  unit = scratch;
  return kEndCopied;
}

void ReplaceCandidateDetails(CarveCandidate& c, void* details) {
  if (c.details && c.details != details) FreeMem(c.details);
  c.details = details;
}

namespace {

using FileEndRule = int32_t (*)(CarveCandidate&, const FileEndBuffer&);

// The end rule of each type; a type without a row has no end detection and is sized by the
// distance to the next hit (0).
struct FileEndRow {
  uint8_t type;
  FileEndRule rule;
};
constexpr FileEndRow kFileEndRows[] = {
    {36, DetectOleEnd},          {37, DetectZipEnd},     {38, DetectZipEnd},    {39, DetectChmEnd},
    {41, DetectHlpEnd},          {46, DetectJpegEnd},    {48, DetectBmpEnd},    {51, DetectCameraRawEnd},
    {54, DetectMp3End},          {61, DetectZipEnd},     {62, DetectRarEnd},    {64, DetectFlvEnd},
    {66, DetectRmEnd},           {75, DetectDwgEnd},     {82, DetectMpegPsEnd}, {86, DetectMkvEnd},
    {89, DetectZipEnd},          {108, DetectAsfEnd},    {118, DetectZipEnd},   {146, DetectEpsEnd},
    {147, DetectRiffEnd},        {228, DetectFat32TableEnd}, {231, DetectExfatDirRunEnd},
    {67, WalkQtAtoms},           {68, WalkQtAtoms},      {69, WalkQtAtoms},     {71, WalkQtAtoms},
    {72, WalkQtAtoms},           {150, WalkQtAtoms},     {202, WalkQtAtoms},    {201, ParseMoovAtom},
    {203, FindSampleChains},
    // FIXME: MTS packets (208) get their own row; until then they are sized like every type
    // without end detection.
};

FileEndRule RuleFor(int32_t type) {
  static const auto table = [] {
    std::array<FileEndRule, 256> t{};
    for (const FileEndRow& row : kFileEndRows) t[row.type] = row.rule;
    return t;
  }();
  return (type >= 0 && type < 256) ? table[size_t(type)] : nullptr;
}

int32_t Dispatch(CarveCandidate& c, const FileEndBuffer& b) {
  const FileEndRule rule = RuleFor(c.typeId);
  const int32_t result = rule ? rule(c, b) : kEndNotDetected;
  c.status = result;
  return result;
}

}  // namespace

int32_t DetectFileEnd(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length) {
  return Dispatch(c, FileEndBuffer{bufferLba, buffer, length - length % 512});
}

int32_t DetectFileEndAtInputEnd(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length,
                                uint64_t inputEndLba) {
  return Dispatch(c, FileEndBuffer{bufferLba, buffer, length - length % 512, inputEndLba});
}
