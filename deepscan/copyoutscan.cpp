#include "deepscan/copyoutscan.h"

#include <cstring>

#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "deepscan/progressdlg.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

// A copy's progress record has the mailbox's layout, so it is posted as it stands.
static_assert(sizeof(CopyProgress) == sizeof(ScanProgress));

void BindCopyOutToScanServices(CopyOutServices& sv) {
  sv.createProgressDlg = &CreateProgressDlg;
  sv.runProgressDlg = &RunProgressDlg;
  sv.postProgress = [](const CopyProgress& rec) {
    ScanProgress p;
    std::memcpy(static_cast<void*>(&p), &rec, sizeof p);
    PostScanProgress(p);
  };
  sv.scanRunState = [] { return ScanRunState.load(); };
  sv.pauseScan = &PauseScan;
  sv.resumeScan = &ResumeScan;
  sv.threadBegin = &OnThreadBegin;
  sv.threadEnd = &OnThreadEnd;
}
