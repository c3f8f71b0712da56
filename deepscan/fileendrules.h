// The end rules built into the detection core, one small file per format family, and the
// little-endian reads they share. Internal to deepscan.
#pragma once

#include <cstdint>
#include <cstring>

#include "scanbase/carvecandidate.h"

inline uint16_t FeLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t FeLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t FeLe64(const uint8_t* p) { return uint64_t(FeLe32(p)) | (uint64_t(FeLe32(p + 4)) << 32); }

inline uint16_t FeBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t FeBe24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
inline uint32_t FeBe32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// No end of input known: the data may go on past the buffer.
constexpr uint64_t kNoInputEnd = UINT64_MAX;

// The data a rule looks at: the buffer's first LBA, its bytes and its length; and, once the
// scan has read its whole input, the sector just past it.
struct FileEndBuffer {
  uint64_t lba;
  const uint8_t* data;
  uint64_t length;
  uint64_t inputEndLba = kNoInputEnd;
};

// Where the wanted bytes at the current offset lie in the buffer, read in place: 1 with view
// pointing at them and avail their count, else 3 (the missing range stored) or 6. Once the
// input has ended, a request that runs past its end is cut there (avail < wanted); nothing
// left before the end gives 3, which leaves the candidate undecided.
int32_t ViewWanted(CarveCandidate& c, const FileEndBuffer& b, uint32_t wanted, const uint8_t*& view,
                   uint32_t& avail);

// ViewWanted for a unit of n bytes that is always whole: past the end of the input it reads
// as zeros, from scratch (n bytes), which holds a copy then.
int32_t ViewUnit(CarveCandidate& c, const FileEndBuffer& b, uint32_t n, uint8_t* scratch, const uint8_t*& unit);

// Sets the wanted count and copies it from the current offset into dest; returns the copy's
// result (1, 3 or 6). Bytes past the end of the input read as zeros.
int32_t CopyWanted(CarveCandidate& c, const FileEndBuffer& b, uint32_t wanted, uint8_t* dest);

// The handler state of a format, loaded from the candidate and stored back when the handler
// returns, so that a pending candidate resumes at the unit where it stopped.
template <typename T>
class HandlerState {
 public:
  explicit HandlerState(CarveCandidate& c) : c_(c) {
    static_assert(sizeof(T) <= sizeof(c.handlerState));
    std::memcpy(&v_, c.handlerState, sizeof v_);
  }
  ~HandlerState() { std::memcpy(c_.handlerState, &v_, sizeof v_); }
  HandlerState(const HandlerState&) = delete;
  HandlerState& operator=(const HandlerState&) = delete;
  T* operator->() { return &v_; }

 private:
  CarveCandidate& c_;
  T v_{};
};

// Replaces the candidate's details (a guarded-heap block or null), freeing the old ones.
void ReplaceCandidateDetails(CarveCandidate& c, void* details);

int32_t DetectRarEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectBmpEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectChmEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectHlpEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectEpsEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectRiffEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectMkvEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectAsfEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectFat32TableEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectExfatDirRunEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectJpegEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectCameraRawEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectDwgEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectFlvEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectMpegPsEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectRmEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectMp3End(CarveCandidate& c, const FileEndBuffer& b);
int32_t WalkQtAtoms(CarveCandidate& c, const FileEndBuffer& b);
// Kind 201: the moov box at the candidate's offset parsed into a MoovInfo (its details).
int32_t ParseMoovAtom(CarveCandidate& c, const FileEndBuffer& b);
// Kind 203: the chains of length-prefixed samples that start in the first 16 MiB of the
// candidate's window (a ChunkTableList as its details).
int32_t FindSampleChains(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectOleEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectZipEnd(CarveCandidate& c, const FileEndBuffer& b);
