// The state of one file being carved, and the result codes of its end detection.
//
// A candidate lives on the consumer's stack while the block that opened it is examined; one
// that needs later blocks is copied into the pending list (pendingwindow.h). It is an
// in-memory record only, never written to a file.
#pragma once

#include <cstdint>

// Results of DetectFileEnd, also kept in the candidate's status.
enum : int32_t {
  kEndNotDetected = 0,  // no end detection for the type: sized by the distance to the next hit
  kEndCopied = 1,       // CopyCandidateWindow only: the wanted bytes were copied
  kEndNeedsMore = 3,    // more data needed: firstNeededLba .. endNeededLba is missing
  kEndKnown = 5,        // the size field holds the file's length in bytes
  kEndNotValid = 6,     // not a valid file of the type
};

// The most bytes one step may ask for: the whole window of 12 blocks.
constexpr uint32_t kMaxWantedBytes = 0x6000000;
// A needed range may start at most this many sectors past the data at hand, and a pending
// range may span at most this many sectors.
constexpr uint64_t kMaxNeededSectors = 0x8000000;

struct CarveCandidate {
  int32_t typeId = 0;       // the matcher's type; a handler may refine it (RIFF and others)
  int32_t status = 0;       // the last result of DetectFileEnd
  uint64_t startLba = 0;    // sector at which the file starts
  uint64_t size = 0;        // bytes, set with status 5
  uint32_t unused = 0;
  uint64_t currentOffset = 0;  // byte offset from the file start where a walk stands
  uint32_t wanted = 0;         // bytes the next step copies from currentOffset
  uint64_t firstNeededLba = 0; // missing range while the status is 3
  uint64_t endNeededLba = 0;   // the LBA of the byte just after the wanted bytes
  uint8_t handlerState[44] = {};  // positions, counters and flags of the format handlers
  void* details = nullptr;     // format details, owned by the candidate until a hit takes them
};
