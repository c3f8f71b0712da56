#include "deepscan/fileend.h"

int32_t CopyCandidateWindow(CarveCandidate& c, uint64_t, const uint8_t*, uint64_t, uint8_t*) {
  c.status = kEndNotValid;
  return kEndNotValid;
}

int32_t DetectFileEnd(CarveCandidate& c, uint64_t, const uint8_t*, uint64_t) {
  c.status = kEndNotDetected;
  return kEndNotDetected;
}
