// The report of a file whose end was found after its block had been handled.
#pragma once

#include "scanbase/carvecandidate.h"

// Called by the pending window for every candidate it resolves; the carving consumer adds the
// file to the results (only a candidate with status 5 is a file).
void OnCarvedFileFound(const CarveCandidate& c);
