#include "scanbase/sectorfillmap.h"

#include "base/heap.h"

SectorFillMapT& SectorFillMap() {
  static auto& m = *new SectorFillMapT;
  return m;
}

bool WantsSectorFillMap(uint64_t sectors) { return sectors >= kFillMapMinSectors && sectors < kFillMapEndSectors; }

bool AllocSectorFillMap(uint64_t firstLba, uint64_t sectors) {
  FreeSectorFillMap();
  if (!WantsSectorFillMap(sectors)) return false;
  SectorFillMapT& m = SectorFillMap();
  m.owned = static_cast<uint8_t*>(AllocMem(sectors, 31));
  m.map = m.owned;
  m.firstLba = firstLba;
  m.count = sectors;
  return true;
}

void FreeSectorFillMap() {
  SectorFillMapT& m = SectorFillMap();
  if (m.owned != nullptr) FreeMem(m.owned);
  // A map a test installed (not owned) is only forgotten.
  m = SectorFillMapT{};
}

uint8_t ComputeSectorFill(const uint8_t* sector) {
  uint32_t zeroWords = 0;
  for (int i = 255; i >= 0; --i) {
    if (sector[2 * i] != 0 || sector[2 * i + 1] != 0) break;
    ++zeroWords;
  }
  if (zeroWords == 256) return 0;
  if (zeroWords == 0) return 255;
  return uint8_t(256 - zeroWords);
}

void SetSectorFill(uint64_t lba, uint8_t value) {
  SectorFillMapT& m = SectorFillMap();
  if (m.owned == nullptr || lba < m.firstLba || lba - m.firstLba >= m.count) return;
  m.owned[lba - m.firstLba] = value;
}
