// A guard for downward walks over child ids: each id is entered at most once and the depth
// stays within kMaxTreeDepth, so a loop or a shared child left in the child lists by a repair
// cannot make a walk endless or exponential.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"

class WalkGuard {
 public:
  explicit WalkGuard(uint32_t idLimit) : seen_(idLimit < kRecordIdEnd ? idLimit : kRecordIdEnd, 0) {}
  // True the first time an id is entered at an allowed depth.
  bool Enter(uint32_t id, uint32_t depth) {
    if (depth >= kMaxTreeDepth || id >= seen_.size() || seen_[id]) return false;
    seen_[id] = 1;
    return true;
  }

 private:
  std::vector<uint8_t> seen_;
};
