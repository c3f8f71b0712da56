#include "parsefilesystem/parsefat/fatknownlba.h"

std::set<uint64_t>& KnownFatLbaList() {
  static auto& list = *new std::set<uint64_t>;
  return list;
}

void AddKnownFatLba(uint64_t lba) { KnownFatLbaList().insert(lba); }

bool TestKnownFatLba(uint64_t lba, bool insert) {
  auto& list = KnownFatLbaList();
  if (list.count(lba)) return true;
  if (insert) list.insert(lba);
  return false;
}

void ClearKnownFatLbaList() { KnownFatLbaList().clear(); }
