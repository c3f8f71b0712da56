// The rebuild of MTS videos after an MTS scan: the fragment hits (kinds 207 and 208) are chained
// by their continuity counters into files, published in a carved-file volume named by the
// language text "VideoFile".
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "deepscan/mtspackets.h"

// Chains of at most this many bytes are discarded.
constexpr uint64_t kMinMtsFileBytes = 0x100000;
// The carved type (and its folder) of a rebuilt MTS video.
constexpr uint8_t kMtsFileType = 88;

// An empty carved-file volume of the video rebuilds: type 14, name and label "VideoFile", root
// and lost folders, files from id 233 on.
VolumeContext MakeVideoFileView(const CString& devicePath);

// True when fragment b continues fragment a: for each tracked PID the counter after a's last one
// is b's first one. A PID that appears in neither is not compared, but at least one PID must be
// present in both; a PID that b lacks while a has it breaks the chain.
bool MtsFragmentFollows(const MtsFragmentInfo& a, const MtsFragmentInfo& b);

// A fragment that can be read: it ends after its start and within the device.
bool IsValidMtsFragment(const MtsFragmentInfo& f, uint64_t deviceSectors);

// Fills rec (which then owns its name and blob) for the chain in file order: one (start LBA,
// sector count) pair per fragment, the size of the sectors less the first fragment's phase, the
// phase in the files-below field, name "0x%I64X.mts" of the first start LBA. False for an empty
// chain.
bool MakeMtsFileRecord(FileRecord& rec, const std::vector<MtsFragmentInfo>& chain);

// Chains the fragments in their order and adds each chain over 1 MiB to the volume (a lone
// fragment too: a single unfragmented video). A chain holding a fragment that is not valid on
// a device of deviceSectors sectors is logged and dropped.
void ChainMtsFragments(std::vector<MtsFragmentInfo> fragments, VolumeContext& volume, uint64_t deviceSectors);

// The MTS fragment hits of every block list, in block order; hits without a detail are skipped.
std::vector<MtsFragmentInfo> CollectMtsFragments();

// The whole rebuild: the volume (with or without files) is appended to volumes; true.
bool RebuildMtsFiles(std::vector<VolumeContext>& volumes);

// One log line of a fragment: its start, phase and first counters, its end, last good bytes and
// last counters.
void LogMtsFragment(const MtsFragmentInfo& f);
