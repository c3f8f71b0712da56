#include "scanbase/knowndirlbas.h"

#include <unordered_set>

std::vector<uint64_t>& KnownIndxLbas() {
  static auto& v = *new std::vector<uint64_t>;
  return v;
}

void ClearKnownIndxLbas() { KnownIndxLbas().clear(); }

std::vector<uint64_t>& KnownExfatDirLbas() {
  static auto& list = *new std::vector<uint64_t>;
  return list;
}

namespace {
std::unordered_set<uint64_t>& KnownExfatDirSet() {
  static auto& set = *new std::unordered_set<uint64_t>;
  return set;
}
}  // namespace

bool IsKnownExfatDirLba(uint64_t lba) {
  // The list may have been filled or emptied directly; keep the look-up set in step with it.
  auto& list = KnownExfatDirLbas();
  auto& set = KnownExfatDirSet();
  if (set.size() != list.size()) set = std::unordered_set<uint64_t>(list.begin(), list.end());
  return set.count(lba) != 0;
}

void AddKnownExfatDirLba(uint64_t lba) {
  if (IsKnownExfatDirLba(lba)) return;
  KnownExfatDirLbas().push_back(lba);
  KnownExfatDirSet().insert(lba);
}

void ClearKnownExfatDirLbas() {
  KnownExfatDirLbas().clear();
  KnownExfatDirSet().clear();
}
