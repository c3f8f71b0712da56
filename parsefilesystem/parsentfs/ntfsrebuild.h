// Lost NTFS volumes rebuilt from the MFT-record and index-record hits a deep scan keeps: while
// it scans (from the groups of records of each closed run of blocks), at the start of a resumed
// scan from the hits loaded with its saved state, and at its end from all its hits. The
// records of a rebuilt volume come from the hits' summaries alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"
#include "scanbase/scanprogress.h"

// While scanning, runs of more than this many records become volumes.
constexpr size_t kScanTimeRunHits = 256;
// The first sector of an MFT placed where a volume's formatter usually puts it, and the
// cluster size that goes with it.
constexpr uint64_t kDefaultMftOffset = 0x600000;
constexpr uint32_t kDefaultRebuildClusterSectors = 8;

// The rebuilt volume of a run of record hits with the given start and cluster size, appended to
// out. Every record is counted into progress and the progress posted. withIndexFiles also adds
// the volume's time bounds and the files known only from index records (the end of a scan).
void BuildNtfsVolumeFromMftRun(ScanProgress& progress, const CString& devicePath, std::vector<VolumeContext>& out,
                               const std::vector<SectorHit>& run, uint64_t start, uint32_t sectorsPerCluster,
                               bool withIndexFiles = true);
// The scan-time build: the start from the formula for an MFT at its usual place (first LBA -
// 2 x record number - 0x600000) with 8 sectors per cluster. Nothing for a run whose start would
// fall below sector 0, or when the device cannot be opened.
void BuildNtfsVolumeFromMftHits(ScanProgress& progress, const CString& devicePath, std::vector<VolumeContext>& out,
                                const std::vector<SectorHit>& run);
// Every run of at least 256 hits as a scan-time volume; stops once out holds more than
// maxVolumes. True when out is not empty.
bool BuildNtfsVolumesFromMftHits(const CString& devicePath, std::vector<VolumeContext>& out,
                                 const std::vector<SectorHit>& hits, uint32_t maxVolumes);

// The scan-time rebuilds are held back as the VolumeList fills: with more than 10 slots used
// only runs of 1024 hits or more, with more than 20 only 10240 or more, from 50 none. slots
// counts the fixed slots too. The number of volumes that may still be built, 0 for none.
uint32_t ScanTimeRebuildRoom(uint32_t slots, size_t hits);

// Hands the volumes rebuilt while scanning to the results (the deep scan installs it); without
// one they are freed.
using RebuiltVolumeSink = void (*)(std::atomic<uint32_t>* state, VolumeContext& volume);
void SetRebuiltVolumeSink(RebuiltVolumeSink sink);
// The VolumeList's slots in use (the deep scan installs it); without one, 0.
using VolumeSlotCounter = uint32_t (*)();
void SetVolumeSlotCounter(VolumeSlotCounter counter);

// The hits of a closed run of blocks (or of a loaded scan) become volumes of the results,
// throttled by ScanTimeRebuildRoom.
void AddNtfsVolumesFromMftHits(std::atomic<uint32_t>* state, const std::vector<SectorHit>& hits);

// The end-of-scan rebuild: runs of MFT-record hits (kind 224) that no parsed volume explains
// become NTFS volumes appended to volumes (which is read for its count as well). hits are every
// hit of the scan in LBA order. The reader is open on the scanned device and stays with the
// caller. Nothing happens unless "ParseFileSys" is "1".
void RebuildNtfsFromFragments(DiskReader& reader, const CString& devicePath, std::vector<VolumeContext>& volumes,
                              const std::vector<SectorHit>& hits);
// The least run length the end-of-scan rebuild takes with this many volumes listed: 50 per
// volume, from 128 to 1024.
size_t EndRebuildRunThreshold(size_t volumes);

// At the start of a scan resumed from saved state: the loaded MFT-record hits outside every
// known MFT become volumes of the VolumeList.
void RebuildNtfsFromLoadedHits(std::atomic<uint32_t>* state);
