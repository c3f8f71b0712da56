// The normal carving consumer: takes the blocks of a deep scan out of the ring in the order
// they were read and examines every 512-byte sector twice, once for the header of a file
// (whose end is then detected at once or later in the pending window) and once as a raw
// metadata sector kept for the rebuilds. It posts its progress after every block, marks every
// handled block, and at the end of the input offers to save the scan, closes the scan and runs
// the end stage between WM_SCAN_FINISHING and WM_SCAN_FINISHED.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "platform/thread.h"
#include "platform/wintypes.h"
#include "scanbase/scanprogress.h"

constexpr UINT WM_SCAN_FINISHING = 0x466;
constexpr UINT WM_SCAN_FINISHED = 0x467;

// Makes DiskFileScanHandThread the scan's carving consumer and lets carved files into the
// "FindFile" slot of the results. The program calls it once at start; kscan and tests too.
void InstallCarvingConsumer();

// The thread procedure; param is the std::atomic<uint32_t>* of the scan state.
UINT DiskFileScanHandThread(LPVOID param);

// One block (kScanBlockBytes with its trailer); false for a block whose read failed, which is
// neither handled nor counted.
bool HandScanBlock(std::atomic<uint32_t>* state, const VolumeContext& target, const uint8_t* block,
                   ScanProgress& progress);

// The per-sector work over one block's data: hits in sector order, and the count of MFT
// records kept.
void ScanBlockSectors(std::atomic<uint32_t>* state, ScanProgress& progress, const VolumeContext& target,
                      const uint8_t* data, uint64_t blockLba, std::vector<SectorHit>& hits, uint32_t& mftHits);

// Work the consumer hands to parts of the program that are not part of carving. Each is
// optional; a missing one is skipped. Set before a scan starts (the consumer reads them
// without a lock).
struct CarvingHooks {
  // The MFT-record groups of the block for the NTFS rebuild while scanning; called for every
  // block when files are shown while scanning and the rebuild from record groups is on.
  void (*mftHitGroups)(std::atomic<uint32_t>* state, uint64_t blockLba, uint32_t mftHits,
                       const std::vector<SectorHit>& hits) = nullptr;
  // Shows the block's carved files and partitions while scanning.
  void (*publishBlockHits)(std::atomic<uint32_t>* state, uint64_t blockLba, const std::vector<SectorHit>& hits) = nullptr;
  // A boot sector found while scanning may add its partition to the results.
  bool (*addPartitionFromBootHit)(std::atomic<uint32_t>* state, const uint8_t* sector, uint64_t lba,
                                  uint32_t kind) = nullptr;
  // With probe reading on: NTFS volume starts from the block's MFT records.
  void (*markNtfsStartsFromMftHits)(const std::vector<SectorHit>& hits) = nullptr;
  // The end stage; true when its found partitions are to be published.
  bool (*endStage)(std::atomic<uint32_t>* state, std::vector<VolumeContext>& partitions) = nullptr;
};
void SetCarvingHooks(const CarvingHooks& hooks);
const CarvingHooks& GetCarvingHooks();

// The pause between WM_SCAN_FINISHING and the end stage (500 ms); tests shorten it. 0 restores
// the default.
void SetScanFinishingPauseMs(uint32_t ms);
uint32_t GetScanFinishingPauseMs();

// What every consumer of a deep scan shares: the sector just past the target (its last sector's
// LBA + 1 on the device's LBA scale), and the set-up of the consumer's progress record (totals,
// and what a resumed scan has already handled and found).
uint64_t TargetEndLba(const VolumeContext& target);
void InitConsumerProgress(const VolumeContext& target, ScanProgress& progress);
