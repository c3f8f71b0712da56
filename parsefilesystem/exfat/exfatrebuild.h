// Lost exFAT directories and volumes rebuilt from the directory-run hits a deep scan keeps.
//
// The runs' summaries are copied first and bounded (they may come from a saved scan); a run's
// sectors are read again from the device, never more than the largest exFAT directory, and
// parsed only when they still look like directory entries. Every directory read here enters
// KnownExfatDirLbas, so no directory is parsed twice and no run feeds two steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "parsefilesystem/exfat/exfatdirhitinfo.h"
#include "scanbase/scanprogress.h"

// The largest directory exFAT allows (256 MiB) in sectors: no run is read beyond it.
constexpr uint32_t kExfatMaxDirSectors = (256u << 20) / 512;

// The end-of-scan rebuild: directory runs (kind 231) inside parsed exFAT volumes become their
// lost directories, the rest rebuilt exFAT volumes appended to volumes. progress is the end
// stage's kind-1 record, counted into and posted. hits are every hit of the scan in LBA order.
// False when parsing is off or no directory hit is left to rebuild. Stops when the state word
// becomes 2.
bool RebuildExfatFromDirHits(std::atomic<uint32_t>* state, ScanProgress& progress, DiskReader& reader,
                             const std::vector<SectorHit>& hits, std::vector<VolumeContext>& volumes);

// The steps, in the order the rebuild takes them.

// A bounded copy of the summary of every directory run whose LBA no parse has read; true when
// at least one was copied.
bool CollectExfatDirHits(const std::vector<SectorHit>& hits, std::vector<ExfatDirHitInfo>& out);
// The runs that fit the parsed volume (in its heap, on a cluster boundary, clusters within its
// count, times within its bounds) move from hits to out; true when any did.
bool SelectDirHitsOfVolume(std::vector<ExfatDirHitInfo>& hits, const VolumeContext& vol, bool upperTimeBound,
                           std::vector<ExfatDirHitInfo>& out);
void AddLostDirsToExfatVolumes(std::atomic<uint32_t>* state, DiskReader& reader, std::vector<ExfatDirHitInfo>& hits,
                               std::vector<VolumeContext>& volumes);
// Reads the run once and stores its entries under parentId; false when stopped, empty or
// already known.
bool ParseExfatDirHit(VolumeContext& vol, std::atomic<uint32_t>* state, DiskReader& reader, uint64_t lba,
                      uint32_t sectors, uint32_t parentId);
void RebuildExfatFromVotes(std::atomic<uint32_t>* state, DiskReader& reader, std::vector<ExfatDirHitInfo>& hits,
                           std::vector<VolumeContext>& volumes);
// A volume of type 16 over the runs with the voted heap start and cluster size.
void BuildExfatVolumeFromVote(std::atomic<uint32_t>* state, DiskReader& reader, const std::vector<ExfatDirHitInfo>& hits,
                              uint64_t heapStart, uint32_t spc, std::vector<VolumeContext>& volumes);
void RebuildExfatFromKnownGeometry(std::atomic<uint32_t>* state, DiskReader& reader,
                                   std::vector<ExfatDirHitInfo>& hits, std::vector<VolumeContext>& volumes);
bool SelectDirHitsForGeometry(std::vector<ExfatDirHitInfo>& hits, const VolumeContext& vol,
                              std::vector<ExfatDirHitInfo>& out);
void RemoveSelectedDirHits(std::vector<ExfatDirHitInfo>& hits, const std::vector<ExfatDirHitInfo>& selected);
