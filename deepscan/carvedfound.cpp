#include "deepscan/carvedfound.h"

// FIXME: the carving consumer replaces this with the live publication of carved files.
void OnCarvedFileFound(const CarveCandidate&) {}
