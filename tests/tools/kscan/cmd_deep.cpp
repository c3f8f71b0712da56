// "kscan deep IMAGE [--op N] [--mode normal|video|mts]": the whole deep scan of an image as the
// program runs it, end stage included, and everything its results hold.
//
// "kscan save IMAGE STATEFILE [...]" runs the same scan and saves its state at the end, as the
// end-of-scan offer does (accepted, whatever the scan's length); with --stop-after-blocks N the
// scan is stopped once N blocks were read and the state of the stopped scan is saved; "kscan load IMAGE STATEFILE
// [...]" starts the scan from that saved state instead of an empty one. Both print what
// "kscan deep" prints, so a saved and loaded scan can be compared with an uninterrupted one;
// the load refuses (exit 1, a JSON error line) a state file that does not load.
//
// The image is shown to the engine as the only disk of the machine, with a lettered drive for
// each partition its partition tables name whose file system is recognised (a bare volume image
// is one drive over the whole image), as a system would mount them. The scan's target is the
// disk, or the drive of a bare volume. --op sets the recovery operation (default 1, deep
// recovery); --mode switches the MP4/MOV or MTS fragment mode on.
//
// Output, one JSON object per line, in a fixed order so that two runs over the same image print
// the same bytes (times in UTC, no paths of the machine):
//   {"slot":S,"type":T,"fs":"NTFS","first_lba":N,"sectors":N,"label":"...","found":"table",
//    "split":"existing","files":N}
//   {"slot":S,"path":"/dir/name","size":N,"dir":false,"deleted":false,"ctime":"...",
//    "mtime":"...","sha256":"..."}
//   {"volumes":N,"items":N,"state":3,"finishing":1,"finished":1}
// A volume line is followed by its items, sorted by path. "found" is how the scan came to the
// volume: "table" (the drive list), "table-hit" (a partition table found by the scan),
// "boot-hit" (a boot sector found by the scan), "rebuilt", "index" (files known only from
// index records) or "signature" (the carved files, slot 3). "split" is "existing", "deleted"
// or "none". sha256 is of the data read through the item's extents, "" for a folder or data
// that cannot be read in full. The summary's state is the scan state word at the end (3: the
// reading and the end stage completed); the time taken goes to stderr.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/devicelists.h"
#include "core/diskreader.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscansettings.h"
#include "deepscan/devicediscovery.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/liveresults.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scansaveoffer.h"
#include "deepscan/scanstatesave.h"
#include "platform/hooks.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "platform/textconv.h"
#include "platform/wndcore.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscancarve.h"
#include "tests/tools/kscan/kscanvolume.h"

namespace {

namespace fs = std::filesystem;

struct Window {
  uint64_t offset = 0, length = 0;
};

// The drives a system would mount: every recognised partition of the tables, or the whole
// image when it is a bare volume. bare is set for the latter.
std::vector<Window> MountedWindows(const CString& image, bool& bare) {
  std::vector<Window> out;
  bare = false;
  DiskReader reader;
  if (!OpenDeviceByPath(image, reader, 1)) return out;
  uint8_t boot[512] = {};
  const uint64_t sectors = reader.sizeBytes / kSectorBytes;
  if (reader.ReadSectors(boot, 0, 1) && ProbeBootSector(boot) != 0) {
    bare = true;
    out.push_back({0, sectors * kSectorBytes});
    return out;
  }
  reader.Close();
  VolumeContext disk;
  disk.devicePath = image;
  disk.targetKind = kTargetDisk;
  disk.sectorCount = disk.deviceSectors = sectors;
  std::vector<VolumeContext> areas(1, disk), found;
  areas[0].targetKind = kTargetArea;
  if (!FindDiskPartitions(disk, areas, found)) return out;
  // A system mounts the whole partition its table entry gives, which may be larger than the
  // volume inside it (the walk reports the volume's own size).
  std::map<uint64_t, uint64_t> entrySectors;
  if (OpenDeviceByPath(image, reader, 1) && reader.ReadSectors(boot, 0, 1)) {
    for (int i = 0; i < 4; ++i) {
      const uint8_t* e = boot + 446 + 16 * i;
      const uint32_t start = uint32_t(e[8] | e[9] << 8 | e[10] << 16 | uint32_t(e[11]) << 24);
      const uint32_t count = uint32_t(e[12] | e[13] << 8 | e[14] << 16 | uint32_t(e[15]) << 24);
      if (count != 0) entrySectors[start] = count;
    }
  }
  for (const VolumeContext& v : found) {
    if (v.targetKind == kTargetArea || FsNameOfType(v.type)[0] == 0) continue;
    const auto it = entrySectors.find(v.firstLba);
    const uint64_t length = it != entrySectors.end() ? std::max<uint64_t>(it->second, v.sectorCount) : v.sectorCount;
    out.push_back({v.firstLba * kSectorBytes, length * kSectorBytes});
  }
  return out;
}

// Writes the machine description into dir and points the engine at it.
bool DescribeMachine(const std::string& dir, const std::string& image, const std::vector<Window>& drives) {
  std::ofstream f(dir + "/machine.json");
  f << "{\"disks\":[{\"image\":\"" << KscanJsonText(image) << "\",\"model\":\"Kscan Image\",\"bus\":\"sata\"}],"
    << "\"drives\":[";
  char letter = 'E';
  for (size_t i = 0; i < drives.size() && letter <= 'Z'; ++i, ++letter) {
    f << (i ? "," : "") << "{\"letter\":\"" << letter << "\",\"image\":\"" << KscanJsonText(image)
      << "\",\"offset\":" << drives[i].offset << ",\"length\":" << drives[i].length << "}";
  }
  f << "]}\n";
  f.close();
  if (!f) return false;
  return setenv("KESTREL_MACHINE", (dir + "/machine.json").c_str(), 1) == 0;
}

const char* FsText(uint32_t type) {
  switch (type) {
    case kVolTypeNtfs: return "NTFS";
    case kVolTypeFat16: return "FAT16";
    case kVolTypeFat32:
    case kVolTypeFat32Rebuilt: return "FAT32";
    case kVolTypeExfat:
    case kVolTypeExfatRebuilt: return "exFAT";
    case kVolTypeFindFile: return "carved";
    default: return "";
  }
}

const char* FoundText(uint32_t foundBy) {
  switch (foundBy) {
    case kFoundByTable: return "table";
    case kFoundByTableHit: return "table-hit";
    case kFoundByBootHit: return "boot-hit";
    case kFoundByRebuild: return "rebuilt";
    case kFoundByIndexRecords: return "index";
    case kFoundBySignature: return "signature";
    default: return "";
  }
}

const char* SplitText(uint32_t split) {
  return split == kSplitExisting ? "existing" : split == kSplitDeleted ? "deleted" : "none";
}

// Prints one slot and its items; returns the number of items.
size_t PrintSlot(uint32_t slot, VolumeContext& v) {
  char head[160];
  snprintf(head, sizeof head, "{\"slot\":%u,", slot);
  std::vector<std::string> items;
  for (uint32_t id = 1; id < v.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(v, id, 0);
    if (rec == nullptr || id == kRootId) continue;
    const bool dir = (rec->flags & kRecDirectory) != 0;
    char line[256];
    snprintf(line, sizeof line, "\",\"size\":%llu,\"dir\":%s,\"deleted\":%s,\"ctime\":\"%s\",\"mtime\":\"%s\",\"sha256\":\"",
             (unsigned long long)rec->size, dir ? "true" : "false", (rec->flags & kRecInUse) ? "false" : "true",
             KscanPackedTime(rec->ctime).c_str(), KscanPackedTime(rec->mtime).c_str());
    items.push_back(std::string(head) + "\"path\":\"" + KscanJsonText(KscanItemPath(v, rec)) + line +
                    (dir ? std::string() : KscanItemSha256(v, id)) + "\"}");
  }
  std::sort(items.begin(), items.end());
  printf("%s\"type\":%u,\"fs\":\"%s\",\"first_lba\":%llu,\"sectors\":%llu,\"label\":\"%s\",\"found\":\"%s\","
         "\"split\":\"%s\",\"files\":%u}\n",
         head, v.type, FsText(v.type), (unsigned long long)v.firstLba, (unsigned long long)v.sectorCount,
         KscanJsonText(v.label.ToUtf8()).c_str(), FoundText(v.foundBy), SplitText(v.splitKind), v.fileCount);
  for (const std::string& line : items) printf("%s\n", line.c_str());
  return items.size();
}

enum class StateStep { kNone, kSave, kLoad };

// The scan-state file of "save" and "load", and what became of it.
CString g_statePath;
int g_stateDone = 0;  // save: 1 written, -1 failed; load: 1 loaded, -1 refused

bool SaveStateHere() {
  g_stateDone = WriteCurrentScanState(g_statePath) ? 1 : -1;
  return g_stateDone == 1;
}

int LoadStateHere(std::atomic<uint32_t>* state) {
  g_stateDone = LoadDiskScanDataCore(state, g_statePath) ? 1 : -1;
  return g_stateDone;
}

// Stops the scan once this many blocks were read (checked before every read).
uint32_t g_stopAfterBlocks = 0;
uint32_t g_readsAtStart = 0;
DWORD StopAfterBlocks(DWORD timeoutMs, DWORD) {
  if (BlockReads.load() - g_readsAtStart >= g_stopAfterBlocks) ScanRunState.store(kScanStopped);
  return timeoutMs;
}

// The save offer is accepted; every other question gets the scripted answer.
bool AcceptSaveOffer(const CString& text, const CString&, const CString&) {
  if (text == GetLangStr(u"IfSaveScanData")) return true;
  fprintf(stderr, "kscan: question answered %s: %s\n", KscanAnswerYes() ? "yes" : "no", text.ToUtf8().c_str());
  return KscanAnswerYes();
}

int RunDeepWith(const char* command, StateStep step, const std::vector<std::string>& args) {
  std::string image, statePath;
  uint32_t op = 1;
  std::string mode = "normal";
  bool extra = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--op" && i + 1 < args.size()) op = uint32_t(strtoul(args[++i].c_str(), nullptr, 0));
    else if (args[i] == "--stop-after-blocks" && step == StateStep::kSave && i + 1 < args.size())
      g_stopAfterBlocks = uint32_t(strtoul(args[++i].c_str(), nullptr, 0));
    else if (args[i] == "--mode" && i + 1 < args.size()) mode = args[++i];
    else if (image.empty()) image = args[i];
    else if (step != StateStep::kNone && statePath.empty()) statePath = args[i];
    else extra = true;
  }
  if (image.empty() || extra || (step != StateStep::kNone && statePath.empty()) ||
      (mode != "normal" && mode != "video" && mode != "mts")) {
    fprintf(stderr, "usage: kscan %s IMAGE%s [--op N] [--mode normal|video|mts]%s\n", command,
            step != StateStep::kNone ? " STATEFILE" : "", step == StateStep::kSave ? " [--stop-after-blocks N]" : "");
    return 2;
  }
  std::error_code ec;
  const std::string path = fs::absolute(image, ec).string();
  DiskReader probe;
  if (!KscanOpenImageTarget("deep", path, probe)) return 1;
  probe.Close();

  bool bare = false;
  const std::vector<Window> drives = MountedWindows(CString(Utf8ToUtf16(path)), bare);
  char dirTemplate[] = "/tmp/kscan-deep-XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (dir == nullptr || !DescribeMachine(dir, path, drives)) {
    fprintf(stderr, "kscan deep: cannot describe the machine\n");
    return 1;
  }
  SetDiscoveryDiskDelay(0);
  std::atomic<uint32_t> job{0};
  GetAllPartInfoThread(&job);
  // The description is read afresh at every open: it stays until the scan is over.
  struct RemoveAtEnd {
    std::string dir;
    ~RemoveAtEnd() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } removeAtEnd{dir};
  const std::vector<VolumeContext> disks = CopyDiskList(), driveList = CopyDriveList();
  VolumeContext target;
  bool chosen = false;
  for (const VolumeContext& d : bare ? driveList : disks) {
    if (chosen || (bare && d.driveLetter != u'E') || (!bare && d.diskNumber != 0)) continue;
    target = d;
    chosen = true;
  }
  if (!chosen) {
    printf("{\"error\":\"no disk\",\"path\":\"%s\"}\n", KscanJsonText(path).c_str());
    return 1;
  }
  target.operation = op;
  ScanTarget() = target;
  AskScanSettings.store(0);
  PrepareDeepScanSettings();
  MovFragmentMode = mode == "video" ? 1 : 0;
  MtsFragmentMode = mode == "mts" ? 1 : 0;

  InstallCarvingConsumer();
  InstallScanResults();
  SetScanFinishingPauseMs(1);
  if (step != StateStep::kNone) {
    const std::string abs = fs::absolute(statePath, ec).string();
    g_statePath = CString(Utf8ToUtf16(abs));
  }
  if (step == StateStep::kSave) {
    SetScanSaveOfferMinimum(0, 0);
    SetScanStateSaver(&SaveStateHere);
    SetMessageBoxHandler(&AcceptSaveOffer);
  } else if (step == StateStep::kLoad) {
    SetScanStateLoadHook(&LoadStateHere);
  }
  const uint32_t readsBefore = BlockReads.load();
  if (g_stopAfterBlocks != 0) {
    g_readsAtStart = readsBefore;
    SetReadTimeoutHook(&StopAfterBlocks);
  }
  const double seconds = KscanRunScan(&KscanMainProc, u"KscanDeepMain");
  fprintf(stderr, "kscan %s: %.3f s, %u blocks read\n", command, seconds, BlockReads.load() - readsBefore);
  if (step != StateStep::kNone && g_stateDone != 1) {
    printf("{\"error\":\"%s\",\"path\":\"%s\"}\n", step == StateStep::kSave ? "state not saved" : "state not loaded",
           KscanJsonText(g_statePath.ToUtf8()).c_str());
    ClearVolumeList(AppVolumeList());
    FreeBlockHitLists();
    return 1;
  }

  VolumeList& list = AppVolumeList();
  size_t volumes = 0, items = 0;
  {
    VolumeListReadGuard guard(list);
    for (uint32_t s = kFindFileSlot; s < list.slotCount; ++s) {
      items += PrintSlot(s, list.slots[s]);
      ++volumes;
    }
  }
  printf("{\"volumes\":%zu,\"items\":%zu,\"state\":%u,\"finishing\":%u,\"finished\":%u}\n", volumes, items,
         ScanRunState.load(), KscanMessagesHeard().finishing, KscanMessagesHeard().finished);
  ClearVolumeList(list);
  FreeBlockHitLists();
  // A scan stopped on purpose succeeded when its state was saved.
  if (g_stopAfterBlocks != 0) return 0;
  return ScanRunState.load() == kScanInputDone ? 0 : 1;
}

int RunDeep(const std::vector<std::string>& args) { return RunDeepWith("deep", StateStep::kNone, args); }
int RunSave(const std::vector<std::string>& args) { return RunDeepWith("save", StateStep::kSave, args); }
int RunLoad(const std::vector<std::string>& args) { return RunDeepWith("load", StateStep::kLoad, args); }

KscanCommand reg("deep", "deep IMAGE [--op N] [--mode normal|video|mts]", &RunDeep);
KscanCommand regSave("save", "save IMAGE STATEFILE [--op N] [--mode normal|video|mts] [--stop-after-blocks N]",
                      &RunSave);
KscanCommand regLoad("load", "load IMAGE STATEFILE [--op N] [--mode normal|video|mts]", &RunLoad);

}  // namespace
