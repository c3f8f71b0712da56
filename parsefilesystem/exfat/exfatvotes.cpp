#include "parsefilesystem/exfat/exfatvotes.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "scanbase/scanhitstore.h"

namespace {

constexpr uint8_t kDirEntryKind = 231;
constexpr uint8_t kGeometryTypes[] = {46, 48, 37, 38, 89, 61, 62, 53, 86, 39};
constexpr uint32_t kDominantCount = 10;
constexpr uint32_t kLinkEntries = 9;    // the first entries of a run are looked at for links
constexpr uint32_t kLinkReach = 7;      // runs after it that may be its directories
constexpr size_t kBestStarts = 5;

// The sized runs from position pos of the list on: the size that reaches ten directories first,
// or the first size with the most. Every run adds at least one directory to one of at most 15
// sizes, so the early end comes within 15 × 9 + 1 runs.
bool Dominant(const std::vector<ExfatDirHitInfo>& hits, const std::vector<uint32_t>& sized, size_t pos,
              uint32_t& size, uint32_t& strength) {
  std::vector<std::pair<uint32_t, uint64_t>> tally;
  strength = 0;
  for (size_t i = pos; i < sized.size(); ++i) {
    const ExfatDirHitInfo& h = hits[sized[i]];
    const uint32_t s = ExfatHitDirSize(h);
    const uint32_t n = h.smallestDirCount;
    auto it = std::find_if(tally.begin(), tally.end(), [&](const auto& t) { return t.first == s; });
    if (it == tally.end()) {
      tally.emplace_back(s, n);
      continue;
    }
    it->second += n;
    if (it->second >= kDominantCount) {
      size = s;
      strength = kDominantCount;
      return true;
    }
  }
  uint64_t best = 0;
  for (const auto& t : tally) {
    if (t.second > best) {
      best = t.second;
      size = t.first;
    }
  }
  return best > 0;
}

std::vector<uint32_t> SizedRuns(const std::vector<ExfatDirHitInfo>& hits, size_t from) {
  std::vector<uint32_t> sized;
  for (size_t i = from; i < hits.size(); ++i)
    if (ExfatHitDirSize(hits[i]) != 0) sized.push_back(uint32_t(i));
  return sized;
}

bool BySizeThenType(const ExfatGeometryItem& a, const ExfatGeometryItem& b) {
  return a.size != b.size ? a.size < b.size : a.type < b.type;
}

}  // namespace

uint32_t ExfatHitEntriesUsed(const ExfatDirHitInfo& h) {
  const uint32_t n = h.entryCount;
  return n < kExfatHitEntryMax ? n : kExfatHitEntryMax;
}

uint32_t ExfatHitDirSize(const ExfatDirHitInfo& h) {
  const uint32_t s = h.smallestDirSize;
  if (h.smallestDirCount == 0) return 0;
  for (uint32_t k = 0; k <= 14; ++k)
    if (s == (512u << k)) return s;
  return 0;
}

bool IsExfatGeometryType(uint8_t typeId) {
  return std::find(std::begin(kGeometryTypes), std::end(kGeometryTypes), typeId) != std::end(kGeometryTypes);
}

bool FindDominantDirSize(const std::vector<ExfatDirHitInfo>& hits, size_t from, uint32_t& size, uint32_t& strength) {
  return Dominant(hits, SizedRuns(hits, from), 0, size, strength);
}

void SplitDirHitsBySize(const std::vector<ExfatDirHitInfo>& hits, size_t from, uint32_t key,
                        std::vector<DirSizeGroup>& groups) {
  if (groups.empty()) return;
  const std::vector<uint32_t> sized = SizedRuns(hits, from);
  bool keyMet = false;
  for (size_t pos = 0; pos < sized.size(); ++pos) {
    const ExfatDirHitInfo& h = hits[sized[pos]];
    const uint32_t s = ExfatHitDirSize(h);
    if (s != key) {
      // Before the key size is met, other sizes are passed over; after it, a size that
      // dominates from here on starts the next group.
      if (!keyMet) continue;
      uint32_t d = 0, strength = 0;
      if (!Dominant(hits, sized, pos, d, strength) || strength != kDominantCount || d != s) continue;
      groups.push_back(DirSizeGroup{sized[pos], 0, s / 512, 0});
      key = s;
    }
    keyMet = true;
    groups.back().count += h.smallestDirCount;
    groups.back().last = sized[pos];
  }
}

void CollectCarvedStarts(const SectorHit* hits, size_t count, std::vector<ExfatGeometryItem>& starts) {
  for (size_t i = 0; i < count; ++i) {
    const SectorHit& h = hits[i];
    if (h.endStatus != kHitEndFound || !IsExfatGeometryType(h.kind)) continue;
    starts.push_back(ExfatGeometryItem{0, h.kind, uint64_t(h.lba), 0, uint32_t(uint64_t(h.size))});
  }
  std::sort(starts.begin(), starts.end(), BySizeThenType);
}

void CollectCarvedStartsOfScan(std::vector<ExfatGeometryItem>& starts) {
  std::shared_lock<std::shared_mutex> g(BlockHitListsLock());
  std::vector<ExfatGeometryItem> all;
  for (const HitList& list : BlockHitLists()) {
    std::vector<ExfatGeometryItem> some;
    CollectCarvedStarts(list.data(), list.size(), some);
    all.insert(all.end(), some.begin(), some.end());
  }
  std::sort(all.begin(), all.end(), BySizeThenType);
  starts.swap(all);
}

void ListExfatFileEntries(const std::vector<ExfatDirHitInfo>& hits, size_t first, size_t last,
                          std::vector<ExfatGeometryItem>& entries) {
  for (size_t i = first; i <= last && i < hits.size(); ++i) {
    const ExfatDirHitInfo& h = hits[i];
    for (uint32_t e = 0; e < ExfatHitEntriesUsed(h); ++e) {
      const ExfatDirHitEntry& x = h.entries[e];
      if (!IsExfatGeometryType(x.kind)) continue;
      entries.push_back(ExfatGeometryItem{uint32_t(i - first), x.kind, 0, x.firstCluster, x.size});
    }
  }
  std::sort(entries.begin(), entries.end(), BySizeThenType);
}

void ExfatVoteTable::Add(uint32_t hit, uint64_t zeroLba) {
  auto [it, fresh] = index_.try_emplace({zeroLba, hit}, votes_.size());
  if (fresh) votes_.push_back(ExfatGeometryVote{hit, zeroLba, 1});
  else ++votes_[it->second].count;
}

bool CastExfatGeometryVotes(const std::vector<ExfatGeometryItem>& entries, const std::vector<ExfatGeometryItem>& starts,
                            uint32_t spc, ExfatVoteTable& votes) {
  for (const ExfatGeometryItem& e : entries) {
    auto it = std::lower_bound(starts.begin(), starts.end(), e.size,
                               [](const ExfatGeometryItem& s, uint32_t size) { return s.size < size; });
    // Starts of the entry's size are taken while they have its type: the first of another type
    // ends the look.
    const uint64_t offset = uint64_t(spc) * e.firstCluster;
    for (; it != starts.end() && it->size == e.size && it->type == e.type; ++it)
      if (it->lba > offset) votes.Add(e.hit, it->lba - offset);
  }
  return !votes.empty();
}

void CastDirLinkVotes(const std::vector<ExfatDirHitInfo>& hits, size_t first, size_t last, uint32_t spc,
                      ExfatVoteTable& votes) {
  if (spc == 0) return;
  const size_t end = std::min(last + 1, hits.size());
  for (size_t b = first; b < end; ++b) {
    const ExfatDirHitInfo& hb = hits[b];
    const uint32_t used = std::min(ExfatHitEntriesUsed(hb), kLinkEntries);
    for (uint32_t e = 0; e < used; ++e) {
      const ExfatDirHitEntry& x = hb.entries[e];
      if (x.kind != kDirEntryKind) continue;
      const uint64_t offset = uint64_t(spc) * x.firstCluster;
      const uint32_t entryTime = x.createTime;
      for (size_t k = b + 1; k <= b + kLinkReach && k < end; ++k) {
        const ExfatDirHitInfo& hk = hits[k];
        const uint64_t lk = hk.lba, lb = hb.lba;
        if (hk.kind != 2 || lk == lb) continue;
        const uint64_t apart = lk > lb ? lk - lb : lb - lk;
        if (apart % spc != 0 || hk.earliestTime < entryTime || lk <= offset) continue;
        votes.Add(uint32_t(b - first), lk - offset);
      }
    }
  }
}

void SplitVotesIntoRanges(const std::vector<std::pair<uint32_t, uint64_t>>& choices, uint32_t hitCount, uint32_t spc,
                          uint64_t bestZeroLba, std::vector<ExfatGeometryRange>& ranges) {
  const size_t first = ranges.size();
  const uint64_t clusterSpan = 2ull * spc;
  if (choices.size() >= 3) {
    uint64_t current = 0;
    bool haveCurrent = false;
    for (size_t i = 0; i < choices.size(); ++i) {
      const auto [hit, lba] = choices[i];
      if (haveCurrent && lba == current) {
        ranges.back().last = hit;
      } else if (i + 2 < choices.size() && choices[i + 1].second == lba && choices[i + 2].second == lba) {
        ranges.push_back(ExfatGeometryRange{ranges.size() == first ? 0 : hit, hit, spc, lba + clusterSpan});
        current = lba;
        haveCurrent = true;
      }
    }
  }
  if (ranges.size() > first) {
    ranges.back().last = hitCount - 1;
    return;
  }
  ranges.push_back(ExfatGeometryRange{0, hitCount - 1, spc, bestZeroLba + clusterSpan});
}

bool VoteExfatGeometry(uint32_t hitCount, uint32_t spc, const std::vector<ExfatGeometryVote>& all,
                       std::vector<ExfatGeometryRange>& ranges) {
  if (hitCount == 0 || spc == 0 || all.empty()) return false;
  // Each run keeps the votes with its largest count.
  std::vector<ExfatGeometryVote> votes = all;
  std::stable_sort(votes.begin(), votes.end(), [](const ExfatGeometryVote& a, const ExfatGeometryVote& b) {
    return a.hit != b.hit ? a.hit < b.hit : a.count > b.count;
  });
  std::vector<ExfatGeometryVote> kept;
  uint32_t best = 0;
  for (size_t i = 0; i < votes.size(); ++i) {
    if (i == 0 || votes[i].hit != votes[i - 1].hit) best = votes[i].count;
    if (votes[i].count == best) kept.push_back(votes[i]);
  }
  // The kept counts summed per start, the five largest sums (first seen first among equals).
  std::vector<std::pair<uint64_t, uint64_t>> sums;
  std::map<uint64_t, size_t> at;
  for (const ExfatGeometryVote& v : kept) {
    auto [it, fresh] = at.try_emplace(v.zeroLba, sums.size());
    if (fresh) sums.emplace_back(v.zeroLba, 0);
    sums[it->second].second += v.count;
  }
  std::stable_sort(sums.begin(), sums.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (sums.size() > kBestStarts) sums.resize(kBestStarts);
  // Each run chooses the best of the five among its own kept votes.
  std::vector<std::pair<uint32_t, uint64_t>> choices;
  for (size_t i = 0; i < kept.size();) {
    size_t j = i;
    while (j < kept.size() && kept[j].hit == kept[i].hit) ++j;
    for (const auto& s : sums) {
      bool has = false;
      for (size_t k = i; k < j && !has; ++k) has = kept[k].zeroLba == s.first;
      if (has) {
        if (kept[i].hit < hitCount) choices.emplace_back(kept[i].hit, s.first);
        break;
      }
    }
    i = j;
  }
  SplitVotesIntoRanges(choices, hitCount, spc, sums.front().first, ranges);
  return true;
}

bool RebuildExfatGroup(const std::vector<ExfatDirHitInfo>& hits, const std::vector<DirSizeGroup>& groups,
                       const std::vector<ExfatGeometryItem>& starts, std::vector<ExfatGeometryRange>& ranges) {
  if (starts.empty()) return false;
  for (const DirSizeGroup& g : groups) {
    if (g.first >= hits.size() || g.last < g.first || g.spc == 0) continue;
    const size_t last = std::min<size_t>(g.last, hits.size() - 1);
    const uint32_t count = uint32_t(last - g.first + 1);
    std::vector<ExfatGeometryItem> entries;
    ListExfatFileEntries(hits, g.first, last, entries);
    ExfatVoteTable votes;
    std::vector<ExfatGeometryRange> made;
    if (entries.empty() || !CastExfatGeometryVotes(entries, starts, g.spc, votes)) {
      votes = ExfatVoteTable();
      CastDirLinkVotes(hits, g.first, last, g.spc, votes);
    }
    VoteExfatGeometry(count, g.spc, votes.votes(), made);
    for (ExfatGeometryRange& r : made) {
      r.first += g.first;
      r.last += g.first;
      ranges.push_back(r);
    }
  }
  return !ranges.empty();
}

void AdjustGeometryRanges(const std::vector<ExfatDirHitInfo>& hits, std::vector<ExfatGeometryRange>& ranges) {
  if (ranges.empty() || hits.empty()) return;
  ranges.front().first = 0;
  ranges.back().last = uint32_t(hits.size() - 1);
  for (size_t i = 0; i + 1 < ranges.size(); ++i) {
    ExfatGeometryRange& r = ranges[i];
    ExfatGeometryRange& n = ranges[i + 1];
    if (n.first == 0) continue;
    const uint32_t oldLast = r.last;
    r.last = n.first - 1;
    // A run of the gap that lies above the next volume's heap may be the next volume's: it
    // goes into both.
    for (uint64_t k = uint64_t(oldLast) + 1; k < n.first && k < hits.size(); ++k) {
      if (uint64_t(hits[k].lba) > n.heapStart) {
        n.first = uint32_t(k);
        break;
      }
    }
  }
}
