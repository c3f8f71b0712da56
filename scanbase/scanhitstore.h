// The deep scan's findings: the SectorHits of every 16384-sector block of the device, kept in
// one list per block (in LBA order) from the scan's start until the next scan starts or the
// program ends, so the end stages and the scan-state writer can use them after the scan.
//
// Writers: the start thread before the consumer starts, then the consumer thread (and the end
// stages, which run on it). Every change takes the hit-list lock exclusively. Readers on the
// consumer thread need no lock; a reader on any other thread (the scan-state writer while the
// consumer still empties the ring) either takes a snapshot through the collectors, which copy
// under the shared lock, or holds a HitListsReadGuard for as long as it reads hits and the
// details they point to.
//
// Also here: the signature matcher that types a sector on demand for the parsers.
#pragma once

#include <cstdint>
#include <shared_mutex>
#include <span>
#include <vector>

#include "core/sectorhit.h"
#include "core/stopword.h"
#include "scanbase/hitdetail.h"
#include "scanbase/mallocator.h"
#include "scanbase/sectorfillmap.h"

constexpr uint32_t kHitBlockShift = 14;  // block index = LBA >> 14

// The block count of a device: (sectors + 16383) / 16384.
uint64_t DeviceBlockCount(uint64_t deviceSectors);

using HitList = std::vector<SectorHit, Mallocator<SectorHit, 67>>;
using HitListArray = std::vector<HitList, Mallocator<HitList, 475>>;

// One entry per block of the device; an empty entry has no list. Consumer thread, or under the
// lock below.
HitListArray& BlockHitLists();
std::shared_mutex& BlockHitListsLock();
// Holds the shared lock: the lists and every detail they own stay as they are meanwhile. Not for
// the consumer thread, which needs no lock and would wait on itself when it stores or drops.
class HitListsReadGuard {
 public:
  HitListsReadGuard() : lock_(BlockHitListsLock()) {}
 private:
  std::shared_lock<std::shared_mutex> lock_;
};

// Frees every list with its hits' details, then makes one empty entry per block of the
// ScanTarget's device. A device of 0 blocks cannot be scanned: "DevSizeErr" is shown and the
// process ends through the fatal stop (code 1, "Dev size failed!"). Also installs the MFT-hit
// drop that the NTFS parser calls.
void AllocBlockHitLists();
// The same for a given block count (0 gives no entries); no question, no stop.
void AllocBlockHitListsFor(uint64_t blocks);
// Frees every hit's details, every list and the array; the block count becomes 0.
void FreeBlockHitLists();
uint64_t BlockHitListCount();

// The block's entry becomes a list holding copies of the hits in their order (ignored for a
// block at or beyond the block count). Details of a list it replaces that the new hits do not
// carry over are freed.
void StoreBlockHits(uint64_t blockLba, std::span<const SectorHit> hits);
// Cuts LBA-ordered hits into runs of one block and stores each run. The state is read before
// each hit: at 2 (stop) the run gathered so far is stored and the result is false.
bool StoreHitsByBlock(StopWord state, std::span<const SectorHit> hits);
// The same with any stop test, asked before each hit.
using HitStoreStopTest = bool (*)(void* context);
bool StoreHitsByBlockUntil(std::span<const SectorHit> hits, HitStoreStopTest stop, void* context);
// Appends one hit to the list of its block, growing the array as needed (for code that builds
// lists without a scan, such as tests). Hits beyond 2^34 blocks are not kept.
void StoreBlockHit(const SectorHit& hit);
// Empties every list without freeing details: for callers that own the details themselves.
void ClearBlockHitLists();

// Appends copies of the hits (borrowing their details), block by block in list order: with
// metadataOnly just kinds above 219; with inTarget just hits whose LBA lies in the ScanTarget.
void CollectHitsToVector(std::vector<SectorHit>& out, bool metadataOnly, bool inTarget);
// out is emptied and refilled with every kind.
void CollectAllHits(std::vector<SectorHit>& out, bool inTarget = false);
// The NTFS, FAT16, FAT32 and exFAT boot-sector hits (223, 226, 227, 230) inside the target.
void CollectBootHitsInTarget(std::vector<SectorHit>& out);
// The hit of the given kind that starts exactly at the LBA, or null (consumer thread).
const SectorHit* FindHitAt(uint64_t lba, uint8_t kind);

// Rebuilds the lists of the blocks of [first, first + count) without their MFT-record hits
// (224) in that range, freeing their details; a block left empty has no list. The NTFS
// parser reaches it through DropMftHitsInRange once a volume's MFT extents are known.
void DropMftHitsInBlockLists(uint64_t first, uint64_t count);
// One merge walk: the hits of kinds 224, 225, 229 and 231 (ordered by LBA) whose LBA is in the
// list become 234 (cancelled). The hits are collector copies: no detail is freed.
void DropHitsAtKnownLbas(std::span<SectorHit> hits, std::span<const uint64_t> lbas);
// After the file systems were parsed: drops the index records of known index allocations, the
// MFT records inside known MFT extents (every second sector) and the known exFAT directories.
void DropHitsOfParsedMfts(std::span<SectorHit> hits);

// Types one 512-byte sector: true with the file type id (0 … 176) of a file header that starts
// in it, false with 234 when none does. The program installs the deep scan's matcher at start
// (InitSectorSignatureMatcher); a test may install its own. Without one (null) every sector
// answers false with 234.
using SectorSignatureMatcher = bool (*)(const uint8_t* sector, uint32_t& typeId, uint64_t lba);
void SetSectorSignatureMatcher(SectorSignatureMatcher matcher);
bool MatchSectorSignatureForParser(const uint8_t* sector, uint32_t& typeId, uint64_t lba);
