#include "deepscan/carvedfound.h"

#include <vector>

#include "core/sectorhit.h"
#include "core/volumelist.h"

// A file whose end the pending window found goes into the "FindFile" slot at once. The
// results model filters by the edition's show-all switch, sends WM_VIEW_FILESADDED to the
// result windows and, for the first carved file of the scan, WM_RESULTS_READY to the main
// window, after its lock is released.
void OnCarvedFileFound(const CarveCandidate& c) {
  if (c.status != kEndKnown || c.typeId < 0 || c.typeId > 176) return;
  SectorHit h{};
  h.kind = uint8_t(c.typeId);
  h.endStatus = kHitEndFound;
  h.lba = c.startLba;
  h.size = c.size;
  h.detail = c.details;
  AddCarvedHitsToFindView(AppVolumeList(), std::vector<SectorHit>{h});
}
