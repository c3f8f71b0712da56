// Who owns a SectorHit's detail, by kind, and its release.
//
// The detail field holds a pointer to guarded-heap data the hit owns, or for NTFS index records
// (225) the parent directory's record number, which is never freed. Hits in the block hit lists
// own their details; copies handed out by the collectors borrow them.
//
//   kind                                   detail
//   0 … 176  file types                    format details (a flat block, e.g. 280-byte metadata)
//   201, 202, 207, 208                     video details
//   203 … 206                              video details only with end status 5, else none
//   221 … 223, 226, 227, 230               a 512-byte copy of the sector
//   224                                    an MftHitInfo (its name and run list inside)
//   225                                    a number: not owned
//   228, 229, 231                          a table summary / FatDirHitInfo / ExfatDirHitInfo
//   200, 209 … 220, 232 … 255              none
//
// Details made of one guarded block are freed with FreeMem. A detail that owns further blocks is
// freed by its kind's releaser: the video chunk tables (videodetail.h) and the MFT-record summary
// (mfthitinfo.h) have theirs from the start.
#pragma once

#include <cstdint>

#include "core/sectorhit.h"

enum class HitDetailOwnership : uint8_t {
  kNone,    // nothing owned (the detail is ignored)
  kNumber,  // the detail is a number
  kBlock,   // a guarded-heap block (with the kind's releaser, when one is installed)
};
HitDetailOwnership HitDetailOwner(uint8_t kind, uint8_t endStatus);

// Frees everything the detail owns, including the detail block itself. Installed by the code
// that makes such details, before a scan starts.
using HitDetailReleaser = void (*)(void* detail);
void SetHitDetailReleaser(uint8_t kind, HitDetailReleaser releaser);

// Frees what the hit owns by the rule above and zeroes the whole hit. A null detail of a kind
// that must have one (FAT directory sectors) is logged, not freed.
void FreeSectorInfo(SectorHit& hit);
// Cancels a hit kept in the lists: its detail is released first (the kind that owned it is
// about to be forgotten), then the kind becomes 234 and the detail null.
void CancelHit(SectorHit& hit);
