#include "deepscan/pendingwindow.h"

std::list<CarveCandidate>& PendingCandidateList() {
  static auto& list = *new std::list<CarveCandidate>();
  return list;
}

CarveWindowT& CarveWindow() {
  static auto& w = *new CarveWindowT();
  return w;
}

void BeginPendingWindow() {}
void EndPendingWindow() {}
bool AddPendingCandidate(const CarveCandidate&) { return false; }
void AdvancePendingWindow(const uint8_t*, uint64_t) {}
void RetryPendingCandidates(const uint8_t*, uint64_t) {}
