#include "deepscan/movrebuild.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"
#include "base/log.h"
#include "deepscan/videohits.h"

namespace {

constexpr uint64_t kSector = 512;
constexpr unsigned kTagVideoExtents = 4115;
constexpr uint64_t kLooseHeadReach = 0x100000;
constexpr uint64_t kMdatExcessLimit = 0x1000000;

uint64_t CeilSectors(uint64_t bytes) { return (bytes + kSector - 1) / kSector; }

// The index of value in P at or after from, or SIZE_MAX; *stop is where the forward scan
// stopped (the first position not below value).
size_t SeekFrom(const std::vector<uint64_t>& P, size_t from, uint64_t value, size_t* stop = nullptr) {
  from = std::min(from, P.size());
  const auto it = std::lower_bound(P.begin() + long(from), P.end(), value);
  const size_t at = size_t(it - P.begin());
  if (stop) *stop = at;
  return at < P.size() && *it == value ? at : SIZE_MAX;
}

// Sample b at P[d] with the next three samples at the same distances.
bool LooksAhead(const std::vector<uint32_t>& offs, const std::vector<uint64_t>& P, uint32_t b, size_t d) {
  size_t from = d + 1;
  for (uint32_t k = 1; k <= 3; ++k) {
    const uint64_t want = P[d] + uint64_t(offs[b + k]) - offs[b];
    size_t stop = 0;
    if (SeekFrom(P, from, want, &stop) == SIZE_MAX) return false;
    from = stop;
  }
  return true;
}

// The device position where the file would start if it ran unbroken up to sample i.
uint64_t Placement(const std::vector<uint32_t>& offs, const std::vector<uint64_t>& anch, size_t i) {
  return anch[i] - offs[i];
}

}  // namespace

void MovCandidates::Reindex() {
  bySectorOffset.assign(kSector, {});
  for (size_t i = 0; i < positions.size(); ++i) bySectorOffset[positions[i] % kSector].push_back(uint32_t(i));
}

bool AnchorTrackChunks(const std::vector<uint32_t>& offs, const MovCandidates& cand, std::vector<uint64_t>& anch) {
  const std::vector<uint64_t>& P = cand.positions;
  const uint32_t n = uint32_t(offs.size());
  anch.assign(n, 0);
  uint32_t b = 1;  // sample 0 is never searched for
  uint32_t failures = 0;
  // The bound is taken unsigned as it always was: for fewer than 6 samples it wraps, so such a
  // track ends only by its failures.
  while (b < uint32_t(n - 6)) {
    size_t found = SIZE_MAX;
    // Sample b and the three after it must exist (the look-ahead reads offs[b + 3]).
    if (uint64_t(b) + 4 < n && !P.empty() && cand.bySectorOffset.size() == kSector) {
      for (const uint32_t d : cand.bySectorOffset[offs[b] % kSector]) {
        if (d < P.size() && LooksAhead(offs, P, b, d)) {
          found = d;
          break;
        }
      }
    }
    if (found == SIZE_MAX) {
      if (++failures > kMaxAnchorFailures) return false;
      b += 3;
      continue;
    }
    anch[b] = P[found];
    failures = 0;
    uint32_t j = b;
    size_t e = found;
    uint32_t misses = 0;
    for (uint32_t l = b + 1; l < n; ++l) {
      const size_t at = SeekFrom(P, e + 1, P[e] + uint64_t(offs[l]) - offs[j]);
      if (at != SIZE_MAX) {
        anch[l] = P[at];
        j = l;
        e = at;
        misses = 0;
      } else if (++misses >= kMaxWalkMisses) {
        break;
      }
    }
    b = j + 1;
  }
  return true;
}

bool AcceptTrackAnchors(const std::vector<uint32_t>& offs, std::vector<uint64_t>& anch) {
  const size_t n = std::min(offs.size(), anch.size());
  size_t count = 0, first = SIZE_MAX, last = 0;
  for (size_t i = 0; i < n; ++i) {
    if (anch[i] == 0) continue;
    ++count;
    first = std::min(first, i);
    last = i;
  }
  if (count == 0 || count < n / 4 || first > kMaxFirstAnchored) return false;
  for (size_t i = 0; i < first; ++i) anch[i] = anch[first] + offs[i] - offs[first];
  for (size_t i = last + 1; i < n; ++i) anch[i] = anch[last] + offs[i] - offs[last];
  return true;
}

void FillAnchorGaps(const std::vector<uint32_t>& offs, const MovCandidates& cand, std::vector<uint64_t>& anch) {
  const size_t n = std::min(offs.size(), anch.size());
  size_t prev = SIZE_MAX;  // the last anchored sample before i
  for (size_t i = 0; i < n; ++i) {
    if (anch[i] == 0) continue;
    if (prev != SIZE_MAX && i > prev + 1 && Placement(offs, anch, i) != Placement(offs, anch, prev)) {
      // The walk along the earlier placement found none of the samples between; the run of
      // them just before sample i that the candidates hold at the later placement belongs to it.
      const uint64_t later = Placement(offs, anch, i);
      for (size_t s = i - 1; s > prev && SeekFrom(cand.found, 0, later + offs[s]) != SIZE_MAX; --s)
        anch[s] = later + offs[s];
    }
    prev = i;
  }
  for (size_t i = 1; i < n; ++i)
    if (anch[i] == 0) anch[i] = anch[i - 1] + offs[i] - offs[i - 1];
}

void RemoveUsedCandidates(MovCandidates& cand, const std::vector<uint64_t>& anch) {
  std::vector<uint64_t> used(anch);
  std::sort(used.begin(), used.end());
  std::vector<uint64_t> kept;
  kept.reserve(cand.positions.size());
  std::set_difference(cand.positions.begin(), cand.positions.end(), used.begin(), used.end(), std::back_inserter(kept));
  cand.positions.swap(kept);
  cand.Reindex();
}

void SortMoovsByLastSample(std::vector<MovMoovHit>& moovs) {
  auto last = [](const MovMoovHit& m) { return m.offsets.empty() ? 0u : m.offsets.back(); };
  for (size_t i = 0; i < moovs.size(); ++i)
    for (size_t j = i + 1; j < moovs.size(); ++j)
      if (last(moovs[j]) < last(moovs[i])) std::swap(moovs[i], moovs[j]);
}

bool FindMdatForMoov(const std::vector<MovFtypHit>& ftyps, const std::vector<MovMdatHit>& mdats, const MovMoovHit& M,
                     uint64_t a, uint64_t p, int32_t editionMode, size_t& ftypIndex, size_t& mdatIndex) {
  const uint64_t fileStart = p - a;
  for (size_t f = 0; f < ftyps.size(); ++f) {
    if (ftyps[f].lba != M.lba || ftyps[f].size != M.position % kSector) continue;
    // Moov-first: the ftyp and the moov share the file's first sector.
    ftypIndex = f;
    // A head that ends inside a sector shares that sector with the data, so it cannot lie apart
    // from it: data placed elsewhere is another file's (a copy of the same movie, say).
    const uint64_t h = uint64_t(ftyps[f].size) + M.size;
    const bool headApart = ftyps[f].lba * kSector != fileStart;
    const uint64_t want = h + fileStart;
    for (size_t t = 0; t < mdats.size() && !(headApart && h % kSector != 0); ++t) {
      if (mdats[t].position == want) {
        mdatIndex = t;
        return true;
      }
    }
    if (editionMode != kEditionLooseHead) return false;
    bool any = false;
    for (size_t t = 0; t < mdats.size(); ++t) {
      if (mdats[t].position < p && p - mdats[t].position < kLooseHeadReach) {
        mdatIndex = t;
        any = true;
      }
    }
    return any;
  }
  // Moov-last: the ftyp and the mdat header in the sector where the file starts.
  const uint64_t startLba = fileStart / kSector;
  for (size_t t = 0; t < mdats.size(); ++t) {
    if (mdats[t].lba != startLba) continue;
    for (size_t f = 0; f < ftyps.size(); ++f) {
      if (ftyps[f].lba == startLba) {
        ftypIndex = f;
        mdatIndex = t;
        return true;
      }
    }
  }
  WriteLogFmt(u"Computer Mdat lba: 0x%x", unsigned(startLba));
  const uint64_t e = M.offsets.empty() ? 0 : M.offsets.back();
  bool found = false;
  uint64_t best = 0;
  for (size_t t = 0; t < mdats.size(); ++t) {
    if (mdats[t].size <= e || mdats[t].size - e >= kMdatExcessLimit) continue;
    const uint64_t excess = mdats[t].size - e;
    if (found && excess >= best) continue;
    size_t withFtyp = SIZE_MAX;
    for (size_t f = 0; f < ftyps.size(); ++f)
      if (ftyps[f].lba == mdats[t].lba) withFtyp = f;
    if (withFtyp == SIZE_MAX) continue;
    found = true;
    best = excess;
    ftypIndex = withFtyp;
    mdatIndex = t;
  }
  return found;
}

std::vector<VideoFragment> BuildFragmentList(const MovFtypHit& F, const MovMoovHit& M, const MovMdatHit& T,
                                             const std::vector<uint32_t>& offs, const std::vector<uint64_t>& anch,
                                             int32_t editionMode) {
  std::vector<VideoFragment> out;
  const size_t n = std::min(offs.size(), anch.size());
  if (n == 0) return out;
  const uint64_t D0 = Placement(offs, anch, 0);
  uint64_t a = F.lba;
  if (F.lba == M.lba) {
    const uint64_t h = uint64_t(F.size) + M.size;
    // A head of less than a sector has no sectors of its own: it runs on into the data.
    if ((editionMode == kEditionLooseHead || h % kSector == 0) && h >= kSector && F.lba * kSector + h != T.position) {
      out.push_back({F.lba, h / kSector});
      a = T.lba;
    }
  } else if (F.lba == T.lba && D0 / kSector != F.lba) {
    out.push_back({F.lba, 8});
    a = D0 / kSector + 8;
  }

  for (size_t i = 0; i + 1 < n; ++i) {
    const uint64_t next = Placement(offs, anch, i + 1);
    if (next == Placement(offs, anch, i)) continue;
    // Sample i starts in this fragment, so the cut lies after its first byte: at the first
    // sector boundary past it (for a sample starting on a boundary, the next one).
    const uint64_t end = anch[i] / kSector + 1;
    out.push_back({a, end - a});
    a = (next + offs[i]) / kSector + 1;
  }

  // The file ends after its last box. The mdat may be preceded by other boxes ("free", "wide"),
  // so its own end counts where the sum of the three boxes falls short.
  uint64_t fileBytes = uint64_t(F.size) + M.size + T.size;
  // The layout in the file (the pieces may lie in any order on the device): moov-first has the
  // moov in the ftyp's sector, moov-last the mdat header there and the moov elsewhere.
  const bool moovFirst = F.lba == M.lba;
  const bool moovLast = F.lba == T.lba && !moovFirst;
  uint64_t mdatOffset = UINT64_MAX;  // the mdat's offset in the file
  if (moovLast && T.position >= F.lba * kSector) {
    mdatOffset = T.position - F.lba * kSector;
  } else if (moovFirst && T.position >= D0 && T.position - D0 <= offs[0]) {
    mdatOffset = T.position - D0;
  }
  if (mdatOffset != UINT64_MAX) fileBytes = std::max(fileBytes, mdatOffset + T.size + (moovLast ? M.size : 0));
  const uint64_t lastPlacement = Placement(offs, anch, n - 1);
  out.push_back({a, CeilSectors(lastPlacement + fileBytes) - a});

  // Moov-last with the moov apart from the data: the sectors where the moov would follow the
  // data are replaced by the moov's own.
  VideoFragment& last = out.back();
  if (moovLast && (M.lba < last.start || M.lba >= last.start + last.count) &&
      last.count * kSector > M.size) {
    const uint64_t k = CeilSectors(M.position % kSector + M.size);
    if (last.count > k) {
      last.count -= k;
      out.push_back({M.lba, k});
    }
  }
  return out;
}

bool ValidVideoFragments(const std::vector<VideoFragment>& fragments, uint64_t deviceSectors) {
  if (fragments.empty()) return false;
  for (const VideoFragment& f : fragments)
    if (f.count == 0 || f.start >= deviceSectors || f.count > deviceSectors - f.start) return false;
  return true;
}

void MakeRebuiltVideoRecord(FileRecord& rec, const std::vector<VideoFragment>& fragments, const MovMoovHit& M) {
  std::memset(static_cast<void*>(&rec), 0, sizeof rec);
  const uint32_t bytes = uint32_t(fragments.size() * sizeof(VideoFragment));
  rec.blob = static_cast<uint8_t*>(AllocMem(bytes, kTagVideoExtents));
  uint64_t sectors = 0;
  CString line(u"FileFrag(LBA,Size): ");
  for (size_t i = 0; i < fragments.size(); ++i) {
    std::memcpy(rec.blob + i * sizeof(VideoFragment), &fragments[i], sizeof(VideoFragment));
    sectors += fragments[i].count;
    line += FormatCString(u"[0x%llx,0x%llx]", (unsigned long long)fragments[i].start,
                          (unsigned long long)fragments[i].count);
  }
  WriteLog(line);
  rec.blobLength = bytes;
  rec.parent = kRebuiltVideoType;
  rec.typeId = kRebuiltVideoType;
  rec.size = sectors * kSector;
  rec.ctime = rec.mtime = M.createTime;
  rec.flags = kRecInUse | kRecExtentList;
  const CString name = FormatVideoFileName(fragments.empty() ? 0 : fragments.front().start, M.createTime);
  SetRecordName(rec, name.GetString());
}
