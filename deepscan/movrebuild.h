// The rebuild of fragmented MP4/MOV videos after a video-mode scan. Every parsed moov lists the
// file offset of each sample of its video track; where the distances between a run of those
// offsets recur among the candidate sample positions found in the raw data, the samples are
// anchored on the disk. Runs of samples that keep the same distance to their file offsets are
// the video's fragments; the file's head (its "ftyp" with the moov or the mdat header) and end
// come from the box hits. Each rebuilt video becomes a carved file with an explicit list of
// (start LBA, sector count) fragments.
//
// All of it works on copies of the hits' details: a damaged saved scan can give any offsets,
// positions and sizes, so every fragment is checked against the device before a record is made.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"

struct MovFtypHit {
  uint64_t lba = 0;
  uint32_t size = 0;  // box bytes
};
struct MovMdatHit {
  uint64_t lba = 0;
  uint64_t position = 0;  // device byte position of the box
  uint64_t size = 0;      // box bytes, cut to 32 bits as the sample offsets are
};
struct MovMoovHit {
  uint64_t lba = 0;
  uint64_t position = 0;  // device byte position of the box
  uint32_t size = 0;
  uint32_t createTime = 0;         // packed time
  std::vector<uint32_t> offsets;   // file offsets of the samples, in table order
};

// Candidate sample positions of one kind: absolute device byte positions, ascending and unique,
// with the indexes of the positions at each offset inside a sector (kept in step by Reindex).
// All the positions found stay in found: those that a rebuilt video used are taken out of
// positions only, so later moovs search shorter lists but the evidence where a fragment starts
// stays whole.
struct MovCandidates {
  std::vector<uint64_t> positions;
  std::vector<uint64_t> found;
  std::vector<std::vector<uint32_t>> bySectorOffset;  // 512 lists of indexes into positions
  void Reindex();
};

// One piece of a rebuilt video, in file order.
struct VideoFragment {
  uint64_t start;   // LBA
  uint64_t count;   // sectors
  bool operator==(const VideoFragment&) const = default;
};
static_assert(sizeof(VideoFragment) == 16);

// The anchoring search gives up after this many failed attempts in a row; a walk along one
// placement after this many samples in a row that are not found.
constexpr uint32_t kMaxAnchorFailures = 50;
constexpr uint32_t kMaxWalkMisses = 15;
// A track is taken only when its first anchored sample is at most this one.
constexpr uint32_t kMaxFirstAnchored = 50;
// The edition mode (Key mod 100) whose cameras may put the moov apart from the data that follows.
constexpr int32_t kEditionLooseHead = 16;
// A rebuilt video's file type and category folder: QuickTime movie.
constexpr uint8_t kRebuiltVideoType = 67;

// anch[0 … n-1] = 0, then sample positions found for offs in P (0: not found). False when the
// search failed more than kMaxAnchorFailures times in a row; a track of 5 samples always fails,
// one of 6 or 7 returns true with nothing anchored.
bool AnchorTrackChunks(const std::vector<uint32_t>& offs, const MovCandidates& P, std::vector<uint64_t>& anch);
// Takes the anchors when at least n/4 samples were found and the first of them is at most
// kMaxFirstAnchored; then the samples before the first and after the last get that sample's
// placement.
bool AcceptTrackAnchors(const std::vector<uint32_t>& offs, std::vector<uint64_t>& anch);
// Places the samples still without a position. Where the placement changes between two
// anchored samples, the run of samples just before the later one that P found at the later
// placement takes it (the anchoring search steps over the first samples of a fragment); every
// other sample follows the one before it.
void FillAnchorGaps(const std::vector<uint32_t>& offs, const MovCandidates& P, std::vector<uint64_t>& anch);
// Removes every value of anch from the positions (and reindexes them).
void RemoveUsedCandidates(MovCandidates& P, const std::vector<uint64_t>& anch);
// Orders the moovs by their last sample offset, ascending (an exchange sort: position i is
// swapped with each later position whose value is strictly smaller).
void SortMoovsByLastSample(std::vector<MovMoovHit>& moovs);

// The ftyp and mdat of a moov whose first sample was anchored at p (a = its file offset):
// moov-first (ftyp and moov in one sector: the mdat right after the moov; in the loose-head
// edition mode any mdat less than 1 MiB before p), moov-last (ftyp and mdat in the sector where
// the file starts) or, failing both, the mdat whose size is closest above the last sample
// offset with an ftyp in its sector. Indexes into the lists; false when none fits.
bool FindMdatForMoov(const std::vector<MovFtypHit>& ftyps, const std::vector<MovMdatHit>& mdats, const MovMoovHit& M,
                     uint64_t a, uint64_t p, int32_t editionMode, size_t& ftypIndex, size_t& mdatIndex);
// The fragments of the video in file order. Each cut between two placements lies at the first
// sector boundary after the start of the last sample of the earlier placement; the file ends
// after its last box; a moov-last video whose moov lies apart from its data gets the moov's
// sectors as its last fragment.
std::vector<VideoFragment> BuildFragmentList(const MovFtypHit& F, const MovMoovHit& M, const MovMdatHit& T,
                                             const std::vector<uint32_t>& offs, const std::vector<uint64_t>& anch,
                                             int32_t editionMode);
// Every fragment holds sectors and lies within a device of deviceSectors sectors.
bool ValidVideoFragments(const std::vector<VideoFragment>& fragments, uint64_t deviceSectors);
// Fills rec (which then owns its name and blob): the fragments as (start LBA, sector count)
// pairs, their sectors as size, the moov's creation time, the video name of the first LBA.
void MakeRebuiltVideoRecord(FileRecord& rec, const std::vector<VideoFragment>& fragments, const MovMoovHit& M);

// What the rebuild reads of the scan's hits.
struct MovHitLists {
  std::vector<MovFtypHit> ftyps;
  std::vector<MovMoovHit> moovs;
  std::vector<MovMdatHit> mdats;
  MovCandidates candidates[4];  // kinds 203, 204, 205, 206
};
// Sorts the hits of every block into the lists (logging each box hit).
MovHitLists SortMoovHits(const std::vector<SectorHit>& hits);
// The positions of the candidate hits of one kind, absolute, ascending and unique; true when
// there is any.
bool FlattenCandidateTables(const std::vector<SectorHit>& hits, uint8_t kind, MovCandidates& out);

// Matches every moov of the lists and adds each rebuilt video to the volume; returns the number
// of videos added.
uint32_t MatchMoovsToCandidates(MovHitLists& lists, VolumeContext& volume, uint64_t deviceSectors,
                                int32_t editionMode);
// The whole match over the scan's hits; returns the number of records in the volume.
uint32_t MatchMoovToMdat(VolumeContext& volume);
// Adds the photos carved in video mode; returns the number of records in the volume.
uint32_t FinishRebuiltVideos(VolumeContext& volume);
// The rebuild after the input ended: the "VideoFile" volume is appended when it holds records.
bool RebuildMovFiles(std::atomic<uint32_t>* state, std::vector<VolumeContext>& volumes);
