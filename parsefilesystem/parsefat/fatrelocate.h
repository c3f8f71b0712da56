// Start-cluster relocation of deleted FAT32 entries. Deleting an entry may wipe the high 16
// bits of its start cluster, so a deleted entry whose start cluster has no high bits may belong
// to any 65,536-cluster bank. Each bank's free cluster with the same low bits is typed (from the
// deep scan's hits, else by reading its first sector) and the one matching the record's type is
// taken; files are checked against where their data would end, and failing that borrow the
// high bits of records written at about the same time.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

// One byte per cluster number: the type id or kind of the content that starts at the cluster's
// first sector; 0 unknown, 229 a directory start, 234 examined and nothing matched.
struct FatClusterHitMap {
  uint8_t* data = nullptr;  // guarded heap
  uint32_t length = 0;
};
constexpr uint32_t kMaxClusterHitMap = 0x4000000;
constexpr uint8_t kClusterKindNone = 234;

// Builds the map of a FAT32 volume (types 11 and 15) from the deep scan's hits inside the scan
// target; true when a map was made.
bool BuildFatClusterHitMap(FatClusterHitMap& map, const VolumeContext& ctx);
void FreeFatClusterHitMap(FatClusterHitMap& map);

bool NeedsStartClusterRelocation(const FileRecord* rec, bool deletedFiles);
// Relocates the deleted records with ids in [firstId, endId). With deletedFiles, deleted files
// are handled besides deleted directories and progress texts are posted.
void RelocateFat32StartClusters(FatClusterHitMap& map, std::atomic<uint32_t>* state, DiskReader& reader,
                                VolumeContext& ctx, uint32_t firstId, uint32_t endId, bool deletedFiles);
bool FindStartClusterBySignature(FatClusterHitMap& map, DiskReader& reader, VolumeContext& ctx, uint32_t id);
bool ChooseStartClusterCandidate(VolumeContext& ctx, const std::vector<uint32_t>& candidates, uint32_t id);

struct NeighbourCandidate {
  uint32_t timeDistance;
  uint32_t cluster;
};
bool CollectNeighbourRecords(const VolumeContext& ctx, uint32_t id, std::vector<NeighbourCandidate>& list);
void AddNeighbourCandidate(const VolumeContext& ctx, std::vector<NeighbourCandidate>& list, uint32_t timeDistance,
                           uint32_t recordCluster, uint32_t neighbourCluster);
bool FindStartClusterFromNeighbours(VolumeContext& ctx, uint32_t id);

// The tests of a file's end against the SectorFillMap: exact when the last sector's fill equals
// the file's tail; possible unless data lies behind the file's end.
bool IsFileTailExact(uint64_t startLba, uint64_t size);
bool IsFileTailPossible(uint64_t startLba, uint64_t size);
