// The consumer of the MP4/MOV fragment mode: instead of carving files by their signatures it
// collects, block by block, what the fragment rebuild needs (scanbase/videodetail.h says what
// each hit carries):
//
//   - photos (JPEG, TIFF-like raw) at sector starts, carved with their normal end detection;
//   - "ftyp" (200), "moov" (201) and "mdat" (202) boxes at any byte offset; every moov is parsed
//     at once (or when the blocks it spans have arrived) into the sample offsets of its first
//     video track;
//   - positions where video samples may start: per block one candidate of chains of
//     length-prefixed samples (203), searched once the 32 MiB from the block's start were read,
//     and three byte patterns (204, 205, 206), each behind its edition switch.
//
// When the input has been read to its end, the same thread runs the rebuild (installed through
// SetVideoRebuild) between WM_SCAN_FINISHING and WM_SCAN_FINISHED and publishes what it made.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "platform/thread.h"
#include "scanbase/scanprogress.h"

// The scan's consumer when the edition's MP4/MOV fragment mode is on, with the MP4/MOV fragment
// rebuild at its end. The program calls it once at start; kscan and tests too.
void InstallVideoScanConsumer();

// The rebuild of videos from the hits after the input ended; true with the volumes to publish.
// InstallVideoScanConsumer installs the MP4/MOV rebuild; tests may put another in its place.
using VideoRebuild = bool (*)(std::atomic<uint32_t>* state, std::vector<VolumeContext>& volumes);
void SetVideoRebuild(VideoRebuild rebuild);

// The thread procedure; param is the std::atomic<uint32_t>* of the scan state.
UINT VideoFragmentScanHandThread(LPVOID param);

// One block (kScanBlockBytes with its trailer, examined in place): its hits are stored, its
// pending candidates advanced, its progress posted. Returns 1.
int ScanVideoBlock(const uint8_t* block, ScanProgress& progress);

// Byte offsets of a block that are tested: the tests may read 15 bytes on, into the trailer.
constexpr uint32_t kVideoScanOffsets = 0x7FFFFD;
// An "ftyp" box counts only at a sector start with a size from 1 to this.
constexpr uint32_t kMaxFtypBox = 510;
// A "moov" box is parsed only below this size.
constexpr uint32_t kMoovBoxLimit = 0x2000000;
// Each of the three pattern lists keeps at most this many offsets of one block: the patterns
// (00 00 00 20/24/28, 00 00 00 02, 00 00 01) are common in binary data and would otherwise
// grow the hit lists without bound. A block that reaches the cap is logged.
constexpr uint32_t kSampleOffsetsPerBlock = 0x10000;

// Tests one offset of the block for an ftyp, moov or mdat box and appends its hit.
void MatchQtAtomAt(uint64_t base, const uint8_t* block, uint32_t offset, std::vector<SectorHit>& hits,
                   ScanProgress& progress);
// Turns the offset lists of kinds 204, 205 and 206 (lists[0..2]) into one hit each.
void AddSampleCandidateHits(uint64_t base, std::vector<SectorHit>& hits, const std::vector<uint32_t> (&lists)[3]);
