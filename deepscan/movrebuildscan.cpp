// The MP4/MOV rebuild over the hits of a finished video-mode scan: the lists from the hit store,
// the match of every moov, the records and the published "VideoFile" volume.
#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "base/log.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/movrebuild.h"
#include "deepscan/mtsrebuild.h"
#include "deepscan/videohits.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"
#include "scanbase/videodetail.h"

namespace {

// The candidate kinds in the order the lists are tried, and their slot in MovHitLists.
constexpr uint8_t kTryKinds[4] = {kKindVideoSampleChain, kKindVideoSample001, kKindVideoSample02, kKindVideoSampleLen};
size_t CandidateSlot(uint8_t kind) { return size_t(kind - kKindVideoSampleChain); }

bool IsCandidateHit(const SectorHit& h, uint8_t kind) {
  if (h.kind != kind || !h.detail) return false;
  return kind != kKindVideoSampleChain || h.endStatus == kHitEndFound;
}

uint32_t CountRecords(const VolumeContext& volume) {
  uint32_t n = 0;
  for (uint32_t id = 1; id < volume.idLimit && id < kRecordIdEnd; ++id)
    if (GetFileRecord(volume, id)) ++n;
  return n;
}

uint64_t DeviceSectors() {
  const VolumeContext& target = ScanTarget();
  return target.deviceSectors != 0 ? target.deviceSectors : TargetEndLba(target);
}

}  // namespace

bool FlattenCandidateTables(const std::vector<SectorHit>& hits, uint8_t kind, MovCandidates& out) {
  out.positions.clear();
  for (const SectorHit& h : hits) {
    if (!IsCandidateHit(h, kind)) continue;
    const uint64_t base = uint64_t(h.lba) * 512;
    for (const ChunkTable* t : ChunkTablesOf(static_cast<const ChunkTableList*>(h.detail))) {
      if (!t) continue;
      const uint32_t* e = ChunkTableEntries(t);
      for (uint32_t i = 0; i < t->count; ++i) out.positions.push_back(base + e[i]);
    }
  }
  std::sort(out.positions.begin(), out.positions.end());
  out.positions.erase(std::unique(out.positions.begin(), out.positions.end()), out.positions.end());
  out.found = out.positions;
  out.Reindex();
  return !out.positions.empty();
}

MovHitLists SortMoovHits(const std::vector<SectorHit>& hits) {
  MovHitLists lists;
  for (const SectorHit& h : hits) {
    if (h.kind == kKindMp4Ftyp) {
      lists.ftyps.push_back({h.lba, uint32_t(h.size)});
    } else if (h.kind == kKindMp4Moov && h.endStatus == kHitEndFound && h.detail) {
      const auto* info = static_cast<const MoovInfo*>(h.detail);
      MovMoovHit m;
      m.lba = h.lba;
      m.position = info->position;
      m.size = info->boxSize;
      m.createTime = info->createTime;
      for (const ChunkTable* t : ChunkTablesOf(info->tables))
        if (t) m.offsets.insert(m.offsets.end(), ChunkTableEntries(t), ChunkTableEntries(t) + t->count);
      lists.moovs.push_back(std::move(m));
    } else if (h.kind == kKindMp4Mdat && h.detail) {
      const auto* info = static_cast<const MdatInfo*>(h.detail);
      // The sample offsets are 32-bit, so is the box size they are compared with.
      lists.mdats.push_back({h.lba, info->position, info->size & 0xFFFFFFFFu});
    } else {
      continue;
    }
    LogVideoHit(h);
  }
  WriteLog(u"------------------------------------------------------------------------ \n");
  for (const uint8_t kind : kTryKinds) FlattenCandidateTables(hits, kind, lists.candidates[CandidateSlot(kind)]);
  return lists;
}

uint32_t MatchMoovsToCandidates(MovHitLists& lists, VolumeContext& volume, uint64_t deviceSectors,
                                int32_t editionMode) {
  bool any = false;
  for (const MovCandidates& c : lists.candidates) any = any || !c.positions.empty();
  if (!any) return 0;
  ScanProgress progress = MakeScanProgress(kProgressVideoRebuild);
  progress.count.total = uint32_t(lists.moovs.size());
  SortMoovsByLastSample(lists.moovs);

  uint32_t added = 0;
  std::vector<uint64_t> anch;
  for (size_t m = 0; m < lists.moovs.size(); ++m) {
    const MovMoovHit& M = lists.moovs[m];
    const std::vector<uint32_t>& offs = M.offsets;
    WriteLogFmt(u"Match moov: %u   0x%x   LastSampleFileOffset(MB): %u", unsigned(m), unsigned(M.lba),
                unsigned((offs.empty() ? 0u : offs.back()) >> 20));
    progress.count.done = uint32_t(m);
    PostScanProgress(progress);

    MovCandidates* taken = nullptr;
    for (const uint8_t kind : kTryKinds) {
      MovCandidates& c = lists.candidates[CandidateSlot(kind)];
      if (c.positions.size() < offs.size() / 2) continue;
      if (AnchorTrackChunks(offs, c, anch) && AcceptTrackAnchors(offs, anch)) {
        taken = &c;
        break;
      }
    }
    if (!taken || offs.empty()) continue;
    FillAnchorGaps(offs, *taken, anch);

    WriteLog(u"Moov Mdat match!");
    size_t f = 0, t = 0;
    if (!FindMdatForMoov(lists.ftyps, lists.mdats, M, offs[0], anch[0], editionMode, f, t)) continue;
    // Only a video that is made takes its positions: a moov whose head is gone leaves them to
    // the moov they belong to.
    RemoveUsedCandidates(*taken, anch);
    const std::vector<VideoFragment> fragments =
        BuildFragmentList(lists.ftyps[f], M, lists.mdats[t], offs, anch, editionMode);
    if (!ValidVideoFragments(fragments, deviceSectors)) {
      WriteLogFmt(u"Video of moov 0x%I64x dropped: a fragment is empty or lies outside the device", uint64_t(M.lba));
      continue;
    }
    FileRecord rec;
    MakeRebuiltVideoRecord(rec, fragments, M);
    EnsureCategoryFolder(volume, kRebuiltVideoType);
    if (AddFileRecord(volume, rec, 1) == 0) {
      FreeFileRecord(rec);
    } else {
      ++added;
    }
  }
  return added;
}

uint32_t MatchMoovToMdat(VolumeContext& volume) {
  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  MovHitLists lists = SortMoovHits(hits);
  MatchMoovsToCandidates(lists, volume, DeviceSectors(), GetSoftCfgKey() % 100);
  return CountRecords(volume);
}

uint32_t FinishRebuiltVideos(VolumeContext& volume) {
  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  const auto& types = FileTypeTable().types;
  for (const SectorHit& h : hits) {
    if (!IsPhotoType(h.kind) || h.endStatus == kHitNotValid) continue;
    FileRecord rec;
    std::memset(static_cast<void*>(&rec), 0, sizeof rec);
    rec.parent = rec.typeId = h.kind;
    rec.lba = h.lba;
    rec.size = h.size;
    rec.flags = kRecInUse;
    const CString ext = h.kind < types.size() ? types[h.kind].mainExt : CString();
    const CString name(FormatW(u"0x%I64x.%s", uint64_t(h.lba), ext));
    SetRecordName(rec, name.GetString());
    EnsureCategoryFolder(volume, h.kind);
    if (AddFileRecord(volume, rec, 1) == 0) FreeFileRecord(rec);
  }
  return CountRecords(volume);
}

bool RebuildMovFiles(std::atomic<uint32_t>*, std::vector<VolumeContext>& volumes) {
  PostProgressText(GetLangStr(u"ReassemVideo"), GetLangStr(u"HandFoundInfo"), CString());
  VolumeContext volume = MakeVideoFileView(ScanTarget().devicePath);
  MatchMoovToMdat(volume);
  if (FinishRebuiltVideos(volume) == 0) return false;
  volumes.push_back(volume);
  return true;
}
