// The FAT16/FAT32 parser: a volume's live and deleted directory entries become FileRecords of
// its VolumeContext, with long names, times and sizes; plus the set-up of a FAT partition's
// context found on a disk, its label and the FAT load the deep scan uses.
//
// Directories are walked with an explicit work list (depth-first, in entry order), so a deep or
// hostile tree cannot exhaust the stack; every directory cluster is read once per scan
// (KnownFatLbaList), which also ends cluster loops and directories that contain themselves.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsefat/fatrelocate.h"

// Parses the whole volume (type 10 or 11) into the context's record table. False when the
// edition value "ParseFileSys" is not "1", the device cannot be opened, the sectors-per-cluster
// byte is 0, or a stop was requested right after the FAT load; true otherwise, also after a
// later stop (what was found stays).
bool ParseFatVolume(std::atomic<uint32_t>* state, VolumeContext& ctx);
// Loads the first FAT (else the second, else sector by sector) into the context's FAT buffer.
void LoadFatTable(std::atomic<uint32_t>* state, DiskReader& reader, VolumeContext& ctx);
// Reads the first FAT (at most 0x40000 sectors) into a new guarded-heap buffer of length + 4
// bytes for the deep scan; false with no buffer and length 0 when the device or read fails.
bool LoadFatForScan(const VolumeContext& ctx, uint8_t*& buffer, uint32_t& length);
// Fills the context of a FAT partition found at firstLba on the source's device. Always true.
bool SetupFatVolume(const VolumeContext& source, DiskReader& reader, const uint8_t* boot, uint64_t firstLba,
                    uint64_t largestSectorCount, VolumeContext& out);
// The label from the first root-directory entry; true when one was found.
bool ReadFatVolumeLabel(DiskReader& reader, VolumeContext& ctx);

// Walks the directory at startCluster (0: the root) and everything below it. False when a stop
// was requested or the start directory gave no bytes.
bool WalkFatDirectory(std::atomic<uint32_t>* state, DiskReader& reader, FatClusterHitMap& map, VolumeContext& ctx,
                      uint32_t startCluster, uint32_t parentId, uint32_t link, std::vector<uint64_t>& dirLbas);
// Reads a directory's cluster chain into the buffer (at most 256 clusters); returns the number
// of clusters placed there.
uint32_t ReadFatDirectoryClusters(std::atomic<uint32_t>* state, DiskReader& reader, VolumeContext& ctx,
                                  uint8_t* buffer, uint64_t bufferBytes, uint32_t startCluster,
                                  std::vector<uint64_t>& dirLbas);
// Stores the entries of one directory's bytes as records under parentId.
void ParseFatDirEntries(VolumeContext& ctx, const uint8_t* bytes, uint32_t length, uint32_t parentId, uint32_t link);
// Reads the long-name run at byte offset pos: the name and the number of entries it covers.
// True only when the run is complete and the short entry behind it carries its checksum.
bool ReadLfnRun(const uint8_t* bytes, uint32_t length, uint32_t pos, std::u16string& name, uint32_t& count);
// Stores one entry as a record; returns its id or 0.
uint32_t AddFatEntryRecord(VolumeContext& ctx, const std::u16string& name, uint32_t parentId, const uint8_t* entry,
                           uint32_t link);
void ComputeFatVolumeTimeBounds(VolumeContext& ctx);
