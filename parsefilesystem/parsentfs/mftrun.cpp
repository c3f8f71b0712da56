#include "parsefilesystem/parsentfs/mftrun.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

#include "base/heap.h"
#include "base/log.h"
#include "core/dataextent.h"
#include "core/filetypetable.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

namespace {

constexpr unsigned kTagIndxCluster = 1757;
constexpr uint64_t kRecordSectors = 2;
constexpr uint32_t kMaxClusterSamples = 4096;
constexpr uint32_t kSmallSampleTotal = 128;
constexpr uint32_t kMinChildren = 3;
constexpr uint32_t kMaxChildren = 30;
constexpr uint32_t kMinRefMatches = 3;
constexpr uint32_t kIndexEntryNameHead = 0x52;  // bytes of an index entry up to its name
constexpr size_t kMinMarkedRun = 4;
constexpr uint32_t kMirrorRecords = 4;
constexpr uint32_t kDefaultClusterSectors = 8;
constexpr uint8_t kDirWithIndex = kMftHitInUse | kMftHitDirectory | kMftHitIndexAllocation;

bool Readable(const SectorHit& h) { return MftHitSummary(h) != nullptr; }

void LogPointerError(uint64_t line) {
  LogSrcLine(CString(u"Pointer error ********************************"),
             CString(u"parsefilesystem/parsentfs/mftrun"), line);
}

// The first run of a summary's run list: its LCN and cluster count. False for a missing,
// undecodable or sparse first run.
bool FirstRun(const MftHitInfo& info, int64_t& lcn, uint64_t& clusters) {
  const uint8_t* runs = info.runList;
  const uint32_t length = info.runListLength;
  if (runs == nullptr || length == 0) return false;
  DataExtentList list;
  if (!DecodeDataRuns(runs, std::min<uint32_t>(length, GetMemSize(runs)), list)) return false;
  const DataExtent& e = list.front();
  if (e.clusterDelta == kSparseRunMark) return false;
  lcn = e.clusterDelta;
  clusters = e.clusterCount;
  return true;
}

bool NameIsMft(const MftHitInfo& info) {
  const char16_t* name = info.name;
  return name != nullptr && info.nameLength == 4 && std::memcmp(name, u"$MFT", 8) == 0;
}

// Rounds a slack sample (bytes, a multiple of 512) up to a cluster size; 0 when it is none the
// boot sector can hold.
uint32_t ClusterSectorsOfSample(uint64_t bytes) {
  const uint64_t sectors = bytes / 512;
  for (uint32_t s = 1; s <= kMaxEstimatedClusterSectors; s *= 2)
    if (sectors <= s) return s;
  return 0;
}

}  // namespace

bool FindMftRecordRun(const std::vector<SectorHit>& hits, std::vector<SectorHit>& run, size_t& pos) {
  run.clear();
  const size_t count = hits.size();
  if (count < kMinMftRunHits - 1 || pos > count - (kMinMftRunHits - 1)) {
    pos = count;
    return false;
  }
  for (size_t i = pos; i < count;) {
    if (!Readable(hits[i])) {
      LogPointerError(__LINE__);
      ++i;
      continue;
    }
    const uint64_t lba = hits[i].lba;
    const int64_t number = MftHitSummary(hits[i])->recordNumber;
    size_t last = 0;
    for (size_t j = i + 1; j < count; ++j) {
      if (!Readable(hits[j])) {
        LogPointerError(__LINE__);
        break;
      }
      // In 64 bits: LBAs and twice a record number above 2^31 do not wrap into a false match.
      const uint64_t lbaJ = hits[j].lba;
      const int64_t apart = int64_t(MftHitSummary(hits[j])->recordNumber) - number;
      if (lbaJ < lba || apart <= 0 || lbaJ - lba != uint64_t(apart) * kRecordSectors) break;
      last = j;
    }
    if (last > i && last - i >= kMinMftRunHits - 1) {
      run.assign(hits.begin() + ptrdiff_t(i), hits.begin() + ptrdiff_t(last) + 1);
      pos = last + 1;
      return true;
    }
    i = last != 0 ? last + 1 : i + 1;
  }
  pos = count;
  return false;
}

std::vector<MftHitRun> SplitMftHitRuns(const std::vector<SectorHit>& hits, std::vector<SectorHit>& mftHits) {
  mftHits.clear();
  for (const SectorHit& h : hits)
    if (h.kind == kKindMftRecord) mftHits.push_back(h);
  std::vector<MftHitRun> runs;
  for (size_t i = 0; i < mftHits.size(); ++i) {
    const uint64_t lba = mftHits[i].lba;
    if (!runs.empty()) {
      MftHitRun& r = runs.back();
      if (lba - r.firstLba == kRecordSectors * r.count && lba > r.firstLba) {
        ++r.count;
        continue;
      }
    }
    MftHitRun r;
    r.first = i;
    r.count = 1;
    r.firstLba = lba;
    const MftHitInfo* info = MftHitSummary(mftHits[i]);
    r.startsWithMft = info != nullptr && NameIsMft(*info);
    runs.push_back(r);
  }
  return runs;
}

bool DeriveNtfsStartFromMftRun(const std::vector<SectorHit>& mftHits, const MftHitRun& run, uint64_t& start) {
  if (!run.startsWithMft || run.count < 2 || run.first + 1 >= mftHits.size()) return false;
  const MftHitInfo* mft = MftHitSummary(mftHits[run.first]);
  const MftHitInfo* mirror = MftHitSummary(mftHits[run.first + 1]);
  if (mft == nullptr || mirror == nullptr) return false;
  int64_t lcn = 0;
  uint64_t clusters = 0;
  uint64_t s = 0;
  const uint64_t mirrorBytes = mirror->dataSize;
  if (mirrorBytes > 4096) {
    s = uint32_t(mirrorBytes) / 512;
  } else {
    // The mirror holds four records (8 sectors) in as many clusters as it takes.
    if (!FirstRun(*mirror, lcn, clusters) || clusters == 0) return false;
    s = kDefaultClusterSectors / clusters;
  }
  if (s == 0) return false;
  const bool isMft = (s < 8 && run.count > kMirrorRecords) || (s >= 8 && run.count > s / 2);
  if (!isMft && s < 8 && run.count != kMirrorRecords) return false;
  if (!FirstRun(isMft ? *mft : *mirror, lcn, clusters) || lcn < 0) return false;
  uint64_t offset = 0;
  if (__builtin_mul_overflow(s, uint64_t(lcn), &offset) || run.firstLba < offset) return false;
  start = run.firstLba - offset;
  return true;
}

std::vector<uint64_t> NtfsStartsFromMftHits(const std::vector<SectorHit>& hits) {
  std::vector<uint64_t> starts;
  std::vector<SectorHit> mftHits;
  const std::vector<MftHitRun> runs = SplitMftHitRuns(hits, mftHits);
  if (mftHits.size() < kMinMarkedRun) return starts;
  for (const MftHitRun& r : runs) {
    if (r.count < kMinMarkedRun) continue;
    if (r.startsWithMft) {
      uint64_t start = 0;
      if (DeriveNtfsStartFromMftRun(mftHits, r, start)) starts.push_back(start);
      continue;
    }
    const MftHitInfo* info = MftHitSummary(mftHits[r.first]);
    if (info == nullptr) continue;
    const uint64_t offset = kRecordSectors * uint64_t(info->recordNumber);
    if (r.firstLba > offset) starts.push_back(r.firstLba - offset);
  }
  return starts;
}

bool EstimateNtfsClusterSize(const std::vector<SectorHit>& run, uint32_t& sectorsPerCluster) {
  std::map<uint32_t, uint32_t> histogram;  // cluster sectors → samples
  uint32_t sampled = 0;
  for (const SectorHit& h : run) {
    const MftHitInfo* info = MftHitSummary(h);
    if (info == nullptr) continue;
    const uint8_t flags = info->flags;
    if (!(flags & kMftHitInUse) || (flags & kMftHitDirectory) || info->runListLength == 0) continue;
    if (++sampled > kMaxClusterSamples) break;
    const uint64_t allocated = info->allocatedSize, real = info->dataSize;
    if (allocated < 512 || allocated % 512 != 0 || allocated <= real || real == 0) continue;
    // The slack of the last cluster, rounded to whole sectors the file does not use.
    uint64_t slack = (allocated - real) / 512 * 512;
    if (real % 512 != 0) slack += 512;
    if (slack < 512) continue;
    if (const uint32_t s = ClusterSectorsOfSample(slack)) ++histogram[s];
  }
  if (histogram.empty()) return false;
  uint64_t total = 0;
  for (const auto& [s, n] : histogram) total += n;
  uint32_t chosen = histogram.rbegin()->first;
  if (total >= kSmallSampleTotal) {
    const uint64_t enough = total * 5 / 100;
    for (auto it = histogram.rbegin(); it != histogram.rend(); ++it)
      if (it->second >= enough) {
        chosen = it->first;
        break;
      }
  }
  sectorsPerCluster = chosen;
  return true;
}

bool ReadIndxEntryRefs(DiskReader& reader, uint32_t sectorsPerCluster, const std::vector<SectorHit>& indxHits,
                       const MftHitInfo& dir, const std::vector<uint32_t>& children, uint64_t& lba) {
  if (children.size() < kMinChildren || children.size() > kMaxChildren) return false;
  if (sectorsPerCluster == 0 || sectorsPerCluster > kMaxEstimatedClusterSectors) return false;
  const uint64_t clusterBytes = uint64_t(sectorsPerCluster) * 512;
  const uint32_t number = dir.recordNumber;
  std::vector<uint8_t> cluster(clusterBytes);
  std::vector<uint32_t> listed;
  for (const SectorHit& h : indxHits) {
    if (h.kind != kKindIndexRecord || uint32_t(reinterpret_cast<uintptr_t>(h.detail)) != number) continue;
    std::fill(cluster.begin(), cluster.end(), 0);
    if (!reader.ReadSectors(cluster.data(), h.lba, sectorsPerCluster)) continue;
    if (std::memcmp(cluster.data(), "INDX", 4) != 0) continue;
    // The entries as they lie, without the fix-up: a reference is never at a sector's end.
    listed.clear();
    uint64_t pos = 0x18 + uint64_t(NtfsRead32(cluster.data() + 0x18));
    while (pos + kIndexEntryNameHead <= clusterBytes) {
      const uint8_t* e = cluster.data() + pos;
      if (NtfsRead16(e + 0x0C) > 1) break;
      if (e[0x51] <= 3) listed.push_back(NtfsRead32(e));
      const uint16_t length = NtfsRead16(e + 0x08);
      if (length == 0) break;
      pos += length;
    }
    uint64_t matches = 0;
    for (uint32_t child : children)
      for (uint32_t ref : listed)
        if (child == ref) ++matches;
    if (matches >= kMinRefMatches && matches >= children.size()) {
      lba = h.lba;
      return true;
    }
  }
  return false;
}

bool NtfsStartVote::Add(uint64_t candidate) {
  if (finished_) return true;
  result_ = candidate;
  ++voters_;
  auto it = std::find_if(table_.begin(), table_.end(), [&](const U64Triple& t) { return t.v[1] == candidate; });
  if (it != table_.end()) ++it->v[0];
  else table_.push_back(U64Triple{{1, candidate, 0}});
  if (voters_ == 3 && table_.size() == 1) {
    finished_ = true;
  } else if (voters_ == 5 || voters_ == 10) {
    SortTriples(table_);
    if (voters_ == 10 || table_.back().v[0] >= 3) {
      result_ = table_.back().v[1];
      finished_ = true;
    }
  }
  return finished_;
}

namespace {

// The first LCN of the directory's $INDEX_ALLOCATION, read from its MFT record at lba.
bool ReadIndexAllocationLcn(DiskReader& reader, uint64_t lba, int64_t& lcn) {
  uint8_t r[kMftRecordBytes] = {};
  if (!reader.ReadSectors(r, lba, kMftRecordSectors)) return false;
  RepairMftRecord(r);
  if (!HasFileMagic(r)) return false;
  uint32_t off = 0, len = 0;
  if (!GetRunList(r, FindAttributeOffset(r, kAttrIndexAllocation), off, len) || len < 3) return false;
  DataExtentList runs;
  if (!DecodeDataRuns(r + off, len, runs)) return false;
  const int64_t delta = runs.front().clusterDelta;
  if (delta == kSparseRunMark || delta < 0) return false;
  lcn = delta;
  return true;
}

}  // namespace

bool EstimateNtfsVolumeStart(DiskReader& reader, uint64_t& start, uint32_t& sectorsPerCluster,
                             const std::vector<SectorHit>& indxHits, const std::vector<SectorHit>& run) {
  uint32_t spc = 0;
  if (!EstimateNtfsClusterSize(run, spc) || spc == 0) return false;
  sectorsPerCluster = spc;
  // Children by parent and index records by directory, made once: looking them up per
  // directory over the whole run would be quadratic in the run's length.
  std::unordered_map<uint32_t, std::vector<uint32_t>> children;
  for (const SectorHit& h : run) {
    const MftHitInfo* info = MftHitSummary(h);
    if (info != nullptr && (info->flags & kMftHitInUse)) children[info->parentRecord].push_back(info->recordNumber);
  }
  std::unordered_map<uint32_t, std::vector<SectorHit>> indxByDir;
  for (const SectorHit& h : indxHits)
    if (h.kind == kKindIndexRecord) indxByDir[uint32_t(reinterpret_cast<uintptr_t>(h.detail))].push_back(h);
  NtfsStartVote vote;
  for (const SectorHit& h : run) {
    const MftHitInfo* info = MftHitSummary(h);
    if (info == nullptr || (info->flags & kDirWithIndex) != kDirWithIndex) continue;
    const auto records = indxByDir.find(info->recordNumber);
    if (records == indxByDir.end()) continue;
    const auto kids = children.find(info->recordNumber);
    if (kids == children.end()) continue;
    uint64_t indxLba = 0;
    if (!ReadIndxEntryRefs(reader, spc, records->second, *info, kids->second, indxLba)) continue;
    int64_t lcn = 0;
    if (!ReadIndexAllocationLcn(reader, h.lba, lcn)) continue;
    uint64_t offset = 0;
    if (__builtin_mul_overflow(uint64_t(spc), uint64_t(lcn), &offset) || indxLba < offset) continue;
    if (vote.Add(indxLba - offset)) break;
  }
  if (vote.Voters() == 0) return false;
  start = vote.Result();
  return true;
}

bool MftStartHoldsOwnRecords(DiskReader& reader, const uint8_t* boot, uint64_t lba) {
  constexpr uint32_t kProbeRecords = 64;
  constexpr uint32_t kEnoughOwnNumbers = 16;
  const uint64_t spc = boot[0x0D];
  const uint64_t mftLcn = NtfsRead64(boot + 0x30);
  uint64_t offset = 0, at = 0;
  if (__builtin_mul_overflow(spc, mftLcn, &offset) || __builtin_add_overflow(lba, offset, &at)) return false;
  std::vector<uint8_t> records(size_t(kProbeRecords) * kMftRecordBytes, 0);
  if (!reader.ReadSectors(records.data(), at, kProbeRecords * kMftRecordSectors)) return false;
  uint32_t own = 0;
  for (uint32_t k = 0; k < kProbeRecords; ++k) {
    uint8_t* r = records.data() + size_t(k) * kMftRecordBytes;
    RepairMftRecord(r);
    if (NtfsRead32(r + 0x2C) == k) ++own;
  }
  return own > kEnoughOwnNumbers;
}
