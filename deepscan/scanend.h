// The end of a deep scan whose reading was complete: the hits of every block become the final
// results. The carved files (each open-ended one sized up to the next hit), the partitions the
// device names, the partitions and volumes proved by the partition tables and boot sectors the
// scan found (lost ones included), the volumes rebuilt from the metadata it kept, and the files
// known only from index records. The consumer publishes the list.
//
// Runs on the consumer thread between WM_SCAN_FINISHING and WM_SCAN_FINISHED. The device it
// opens is closed when it returns, whatever happened. A stop (state 2) ends it between its
// steps: what was complete stays in the list, a volume whose parse or rebuild the stop cut
// short is left out.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "scanbase/scanprogress.h"

// The whole stage. result is emptied and filled; true when it holds volumes to publish (they
// are then the caller's, who frees them when it does not publish).
bool DiskFileScanHandEnd(std::atomic<uint32_t>* state, std::vector<VolumeContext>& result);

// The hits inside the target, in LBA order (copies that borrow their details). In the
// deleted-files operations the target's last sector counts as inside, and with cluster-aligned
// starts on and an allocation map loaded a file hit must start on a cluster boundary.
void CollectEndStageHits(const VolumeContext& target, std::vector<SectorHit>& out);
// Drops what the settings exclude: metadata of the file systems switched off, and file hits of
// disabled types (36-176) when some type is disabled.
void FilterHitsBySettings(std::vector<SectorHit>& hits);

// Builds the result list from the sized hits on the target's device (see the file comment).
// False, with nothing in the list, when the device cannot be opened.
bool HandFileTagFinded(std::atomic<uint32_t>* state, const VolumeContext& target, ScanProgress& progress,
                       std::vector<SectorHit>& hits, std::vector<VolumeContext>& result);

// Partitions from the partition-table (221, 222) and boot-sector (223, 226, 227, 230) hits
// whose first LBA no partition has taken yet, appended to partitions.
void OrganizePartKeyInfo(DiskReader& reader, const std::vector<SectorHit>& hits,
                         std::vector<VolumeContext>& partitions);
// Drops partitions of file systems switched off and those starting outside the target (a
// target starting within the first 0x400000 sectors counts from 0).
void FilterPartitionsByFsOptions(const VolumeContext& target, std::vector<VolumeContext>& partitions);
// The partitions found from the hits, each parsed, followed by its deleted files' copy (unless
// "NoPickFile" is "1"); record hits inside the MFTs and exFAT directories now parsed are
// cancelled in hits.
void ParseFileSys(DiskReader& reader, std::atomic<uint32_t>* state, const VolumeContext& target,
                  std::vector<SectorHit>& hits, std::vector<VolumeContext>& partitions);
// Cancels (234, no detail) the MFT-record hits lying in an MFT extent of a parsed volume: the
// parse dropped the stored hits and freed the summaries these copies point to.
void ForgetHitsInParsedMfts(std::vector<SectorHit>& hits);

// From 9 volumes on, a volume with fewer than 3 named records not starting with "$" (ids from
// 2 up) is dropped and freed.
void DropNearlyEmptyVolumes(std::vector<VolumeContext>& result);
// A lost-files folder holding more than 300 directories is split into numbered subfolders.
void TidyLostFileFolders(std::vector<VolumeContext>& result);
