#include "deepscan/mtsrebuild.h"

#include <cstring>

#include "app/settings.h"
#include "base/heap.h"
#include "base/log.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"

namespace {

constexpr unsigned kTagMtsExtents = 4113;

int32_t NextCounter(int32_t last) { return last < 0 ? 0 : (last + 1) & 15; }

// The chain starts at a fragment that begins a stream (counters 0 on the PAT, video and audio
// PIDs) when there is one, so the chain grows mostly forward.
size_t ChainStart(const std::vector<MtsFragmentInfo>& fragments) {
  for (size_t i = 0; i < fragments.size(); ++i) {
    const MtsFragmentInfo& f = fragments[i];
    if (f.startCounters[0] == 0 && f.startCounters[1] == 0 && f.startCounters[2] == 0) return i;
  }
  return 0;
}

}  // namespace

VolumeContext MakeVideoFileView(const CString& devicePath) {
  VolumeContext view;
  view.name = GetLangStr(u"VideoFile");
  view.label = view.name;
  view.type = kVolTypeFindFile;
  view.devicePath = devicePath;
  view.foundBy = kFoundBySignature;
  CreateRootAndLostFolders(view);
  if (view.idLimit < kTypeViewFirstFileId) view.idLimit = kTypeViewFirstFileId;
  return view;
}

bool MtsFragmentFollows(const MtsFragmentInfo& a, const MtsFragmentInfo& b) {
  int compared = 0;
  for (int k = 0; k < 4; ++k) {
    // A PID that neither fragment carries (a stream without subtitles) says nothing either way.
    if (a.lastCounters[k] < 0 && b.startCounters[k] < 0) continue;
    if (NextCounter(a.lastCounters[k]) != b.startCounters[k]) return false;
    ++compared;
  }
  return compared > 0;
}

bool IsValidMtsFragment(const MtsFragmentInfo& f, uint64_t deviceSectors) {
  return f.endLba > f.startLba && f.endLba <= deviceSectors;
}

bool MakeMtsFileRecord(FileRecord& rec, const std::vector<MtsFragmentInfo>& chain) {
  std::memset(static_cast<void*>(&rec), 0, sizeof rec);
  if (chain.empty()) return false;
  const uint32_t bytes = uint32_t(chain.size() * 16);
  rec.blob = static_cast<uint8_t*>(AllocMem(bytes, kTagMtsExtents));
  uint64_t sectors = 0;
  CString line(u"FileFrag(LBA,Size): ");
  for (size_t i = 0; i < chain.size(); ++i) {
    const uint64_t pair[2] = {chain[i].startLba, chain[i].endLba - chain[i].startLba};
    std::memcpy(rec.blob + i * 16, pair, 16);
    sectors += pair[1];
    line += FormatCString(u"[0x%llx,0x%llx]", (unsigned long long)chain[i].startLba,
                          (unsigned long long)chain[i].endLba);
  }
  WriteLog(line);
  const uint32_t phase = chain.front().phase;
  rec.blobLength = bytes;
  rec.parent = kMtsFileType;
  rec.typeId = kMtsFileType;
  rec.size = sectors * 512 - phase;
  rec.filesBelow = int32_t(phase);
  rec.flags = kRecInUse | kRecExtentList;
  const CString name = FormatCString(u"0x%llX.mts", (unsigned long long)chain.front().startLba);
  SetRecordName(rec, name.GetString());
  return true;
}

void ChainMtsFragments(std::vector<MtsFragmentInfo> hits, VolumeContext& volume, uint64_t deviceSectors) {
  while (!hits.empty()) {
    const size_t first = ChainStart(hits);
    std::vector<MtsFragmentInfo> chain{hits[first]};
    hits.erase(hits.begin() + long(first));
    for (bool placed = true; placed;) {
      placed = false;
      for (size_t i = 0; i < hits.size(); ++i) {
        if (MtsFragmentFollows(hits[i], chain.front())) {
          chain.insert(chain.begin(), hits[i]);
        } else if (MtsFragmentFollows(chain.back(), hits[i])) {
          chain.push_back(hits[i]);
        } else {
          continue;
        }
        hits.erase(hits.begin() + long(i));
        placed = true;
        break;
      }
    }

    bool valid = true;
    for (const MtsFragmentInfo& f : chain) valid = valid && IsValidMtsFragment(f, deviceSectors);
    if (!valid) {
      // A fragment read back from a damaged scan-state file, or one ending before it starts,
      // would send copy-out across the device: the video is not offered.
      WriteLogFmt(u"MTS video at 0x%I64X dropped: a fragment lies outside the device", uint64_t(chain.front().startLba));
    } else {
      FileRecord rec;
      if (MakeMtsFileRecord(rec, chain) && rec.size > kMinMtsFileBytes) {
        EnsureCategoryFolder(volume, kMtsFileType);
        if (AddFileRecord(volume, rec, 1) == 0) FreeFileRecord(rec);
      } else {
        FreeFileRecord(rec);
      }
    }
    for (const MtsFragmentInfo& f : chain) LogMtsFragment(f);
    WriteLog(u"------------------------------------------------------------------------ \n");
  }
}

std::vector<MtsFragmentInfo> CollectMtsFragments() {
  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  std::vector<MtsFragmentInfo> out;
  for (const SectorHit& h : hits) {
    if ((h.kind != kKindMtsStart && h.kind != kKindMtsFragment) || !h.detail) continue;
    MtsFragmentInfo f;
    std::memcpy(&f, h.detail, sizeof f);
    out.push_back(f);
  }
  return out;
}

bool RebuildMtsFiles(std::vector<VolumeContext>& volumes) {
  PostProgressText(GetLangStr(u"ReassemVideo"), GetLangStr(u"HandFoundInfo"), CString());
  const VolumeContext target = ScanTarget();
  VolumeContext volume = MakeVideoFileView(target.devicePath);
  const uint64_t deviceSectors = target.deviceSectors != 0 ? target.deviceSectors : TargetEndLba(target);
  ChainMtsFragments(CollectMtsFragments(), volume, deviceSectors);
  volumes.push_back(volume);
  return true;
}

void LogMtsFragment(const MtsFragmentInfo& f) {
  WriteLogFmt(u"lba: %llu   offset: %u     %d %d %d %d lba: %llu   offset: %u   %d %d %d %d",
              (unsigned long long)f.startLba, unsigned(f.phase), int(f.startCounters[0]), int(f.startCounters[1]),
              int(f.startCounters[2]), int(f.startCounters[3]), (unsigned long long)f.endLba, unsigned(f.goodBytes),
              int(f.lastCounters[0]), int(f.lastCounters[1]), int(f.lastCounters[2]), int(f.lastCounters[3]));
}
