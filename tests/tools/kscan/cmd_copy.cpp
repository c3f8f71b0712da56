// "kscan copy IMAGE OUTDIR [--deleted|--all|--carved [--mode normal|video|mts]] [--first-lba N]
// [--error-choice K]":
// parses the volume of an image file, ticks its items (every item with --all, the default; only
// the deleted files with --deleted) and recovers them into OUTDIR through RecoverCheckedItems.
// With --carved the image is deep-scanned instead (as "kscan carve") and every carved file is
// ticked in the found-files slot, sized as the results size it. Either way the copy runs with
// the options dialog answered by OUTDIR and the default choices (read-error choice 1 unless
// --error-choice says otherwise). Prints one JSON line:
//   {"recovered":N,"bytes":N,"failed":N}
// (files recovered whole, bytes written, files that were not). The engine's messages go to
// stderr. Exit code 0 when the job ran and every file was recovered whole.
// "--carved --mode video|mts" scans in a video fragment mode instead (as "kscan carve --mode"):
// the files ticked are those of the volume the rebuild published, rebuilt videos copied through
// their fragments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/carvedname.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "core/filetree.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/copyoutscan.h"
#include "deepscan/progressdlg.h"
#include "platform/fileio.h"
#include "platform/textconv.h"
#include "scanbase/scanrun.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscancarve.h"
#include "tests/tools/kscan/kscanvideo.h"
#include "tests/tools/kscan/kscanvolume.h"

namespace {

RecoverOptions g_options;

// The scan library's dialog, mailbox, scan state and worker count serve the copy, as they do
// in the program; the options dialog answers with the command line's choices.
void BindScanServices() {
  CopyOutServices sv;
  BindCopyOutToScanServices(sv);
  sv.saveParamDlg = [](void*, uint32_t, uint64_t, RecoverOptions& o) {
    o = g_options;
    return true;
  };
  sv.supportSoftDlg = [](void*, const CString& text) { fprintf(stderr, "kscan copy: %s\n", text.ToUtf8().c_str()); };
  SetCopyOutServices(sv);
}

// Ticks every deleted file of the slot; RecoverCheckedItems then works out its folders.
void CheckDeletedFiles(VolumeList& list, uint32_t slot) {
  VolumeListReadGuard guard(list);
  const VolumeContext& v = list.slots[slot];
  for (uint32_t id = 1; id < v.idLimit; ++id) {
    FileRecord* rec = GetItemRecord(list, slot, id);
    if (rec && !(rec->flags & (kRecInUse | kRecDirectory))) SetCheckState(*rec, 1);
  }
}

// Runs the deep scan, puts every carved file into the found-files slot and ticks them all. In a
// video fragment mode the rebuild has published its volume into that slot: its files are ticked.
bool CarveAndCheck(const std::string& image, VolumeList& list, const std::string& mode) {
  if (mode == "video") KscanUseVideoMode(KscanVideoOptions());
  if (mode == "mts") KscanUseMtsMode();
  KscanCarveRun run;
  if (!KscanRunCarve(image, run)) return false;
  if (mode == "video" || mode == "mts") {
    KscanEndCarve();
    if (list.slotCount <= kFindFileSlot) return false;
    SetSubtreeCheck(list, kFindFileSlot, kRootId, 1);
    return true;
  }
  ResetVolumeList(list, nullptr, 0);
  AddFindFileSlot(list, 0);
  {
    VolumeListWriteGuard guard(list);
    if (list.slotCount <= kFindFileSlot) return false;
    for (const KscanCarvedFile& f : run.files)
      AddCarvedFileRecord(list.slots[kFindFileSlot], f.hit.lba, f.size, f.hit.kind, nullptr);
  }
  KscanEndCarve();
  SetSubtreeCheck(list, kFindFileSlot, kRootId, 1);
  return true;
}

int RunCopy(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    fprintf(stderr, "usage: kscan copy IMAGE OUTDIR [--deleted|--all|--carved [--mode normal|video|mts]] [--first-lba N] [--error-choice K]\n");
    return 2;
  }
  bool deletedOnly = false;
  bool carved = false;
  std::string mode = "normal";
  g_options.folder = CString(Utf8ToUtf16(args[1]));
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--deleted") deletedOnly = true;
    else if (args[i] == "--all") deletedOnly = false;
    else if (args[i] == "--carved") carved = true;
    else if (args[i] == "--mode" && i + 1 < args.size()) mode = args[++i];
    else if (args[i] == "--error-choice" && i + 1 < args.size()) g_options.errorChoice = uint32_t(strtoul(args[++i].c_str(), nullptr, 10));
  }
  VolumeList& list = AppVolumeList();
  if (carved) {
    if (mode != "normal" && mode != "video" && mode != "mts") {
      fprintf(stderr, "kscan copy: --mode takes normal, video or mts\n");
      return 2;
    }
    if (!CarveAndCheck(args[0], list, mode)) return 1;
  } else {
    VolumeContext vol;
    if (!KscanOpenVolume("copy", args, vol)) return 1;
    ResetVolumeList(list, nullptr, 0);
    AddScannedVolume(list, nullptr, vol, 0);
    const uint32_t slot = list.slotCount - 1;
    if (deletedOnly) CheckDeletedFiles(list, slot);
    else SetSubtreeCheck(list, slot, kRootId, 1);
  }
  ScanRunState = kScanStopped;
  BindScanServices();
  HeadlessProgressRunner::SetPollInterval(5);

  const int ran = RecoverCheckedItems(list, 0, 0);
  const CopyStatisticsValues st = GetCopyStatistics();
  printf("{\"recovered\":%u,\"bytes\":%llu,\"failed\":%u}\n", ran ? st.lastFiles : 0u,
         (unsigned long long)(ran ? st.lastBytes : 0), ran ? st.lastFailed : 0u);
  ClearVolumeList(list);
  return ran && st.lastFailed == 0 && st.lastResult == kJobResultOk ? 0 : 1;
}

KscanCommand reg("copy", "copy IMAGE OUTDIR [--deleted|--all|--carved [--mode normal|video|mts]] [--first-lba N] [--error-choice K]", &RunCopy);

}  // namespace
