// A guard for walks over parent ids read from a disk: stops on a revisited id and after
// kMaxTreeDepth steps, so a cycle or an endless chain in damaged metadata ends the walk.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "core/filerecord.h"

class ChainGuard {
 public:
  // True the first time an id is seen, while the walk is within its step bound.
  bool Visit(uint32_t id) {
    if (steps_++ >= kMaxTreeDepth) return false;
    // Short chains (the usual case) are checked in a small list; long ones switch to a set.
    if (!useSet_) {
      for (uint32_t v : recent_)
        if (v == id) return false;
      recent_.push_back(id);
      if (recent_.size() > kListLimit) {
        seen_.insert(recent_.begin(), recent_.end());
        useSet_ = true;
      }
      return true;
    }
    return seen_.insert(id).second;
  }

 private:
  static constexpr size_t kListLimit = 32;
  uint32_t steps_ = 0;
  bool useSet_ = false;
  std::vector<uint32_t> recent_;
  std::unordered_set<uint32_t> seen_;
};
