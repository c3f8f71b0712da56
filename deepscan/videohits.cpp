#include "deepscan/videohits.h"

#include <cstring>

#include "app/settings.h"
#include "base/log.h"
#include "base/packedtime.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "scanbase/videodetail.h"

namespace {

constexpr uint8_t kMovType = 67;

bool MakeRecord(const SectorHit& h, FileRecord& rec) {
  std::memset(static_cast<void*>(&rec), 0, sizeof rec);
  CString name;
  if (h.kind == kKindMp4Moov) {
    const auto* info = static_cast<const MoovInfo*>(h.detail);
    if (!info) return false;
    rec.typeId = kMovType;
    rec.size = LastSampleOffset(h);
    rec.ctime = rec.mtime = info->createTime;
    name = FormatVideoFileName(h.lba, info->createTime);
  } else {
    rec.typeId = h.kind;
    rec.size = h.size;
    const auto& types = FileTypeTable().types;
    const CString ext = h.kind < types.size() ? types[h.kind].mainExt : CString();
    name = CString(FormatW(u"0x%I64x.%s", uint64_t(h.lba), ext));
  }
  rec.parent = rec.typeId;
  rec.lba = h.lba;
  rec.flags = kRecInUse;
  SetRecordName(rec, name.GetString());
  return true;
}

}  // namespace

CString GetVideoExtension() {
  const CString local = GetSoftCfg(u"LocalName");
  const std::u16string_view text(local.GetString(), size_t(local.GetLength()));
  return text.size() > 1 && text.find(u"MP4", 1) != std::u16string_view::npos ? CString(u"mp4") : CString(u"mov");
}

CString FormatVideoFileName(uint64_t value, uint32_t t) {
  return CString(FormatW(u"%04d-%02d-%02d_%02d%02d_%X.%s", int((t >> 26) + 1980), int((t >> 22) & 15), int((t >> 17) & 31),
                         int((t >> 12) & 31), int((t >> 6) & 63), unsigned(value & 0xFFFF), GetVideoExtension()));
}

uint32_t LastSampleOffset(const SectorHit& h) {
  const auto* info = static_cast<const MoovInfo*>(h.detail);
  if (h.kind != kKindMp4Moov || !info) return 0;
  const auto tables = ChunkTablesOf(info->tables);
  if (tables.empty() || !tables.back() || tables.back()->count == 0) return 0;
  return ChunkTableEntries(tables.back())[tables.back()->count - 1];
}

void LogVideoHit(const SectorHit& h) {
  const uint64_t lba = h.lba, size = h.size;
  switch (h.kind) {
    case kKindMp4Ftyp:
      WriteLogFmt(u"VIDEO_FTYP  lba: 0x%I64x  size(B): 0x%I64x ", lba, size);
      break;
    case kKindMp4Moov:
      if (h.endStatus == kHitEndFound && h.detail) {
        const auto* info = static_cast<const MoovInfo*>(h.detail);
        const uint64_t position = info->position;
        WriteLogFmt(u"VIDEO_MOOV  CreateTime: %s  \nVideoTime(sec): %u  lba: 0x%I64x  SectorOffset: 0x%x  size(B): 0x%x "
                    u"  LastSampleFileOffset(MB): %u",
                    PackedTimeToText(info->createTime), unsigned(info->durationSeconds), lba, unsigned(position % 512),
                    unsigned(info->boxSize), unsigned(LastSampleOffset(h) >> 20));
      } else {
        WriteLogFmt(u"VIDEO_MOOV  lba: 0x%I64x  valid failed!", lba);
      }
      break;
    case kKindMp4Mdat:
      if (const auto* info = static_cast<const MdatInfo*>(h.detail)) {
        const uint64_t position = info->position, boxSize = info->size;
        WriteLogFmt(u"VIDEO_MDAT  lba: 0x%I64x  SectorOffset: 0x%x  size(MB): %u ", lba, unsigned(position % 512),
                    unsigned(boxSize >> 20));
      }
      break;
    default:
      break;
  }
}

void ShowVideoModeHits(const std::vector<SectorHit>& hits) {
  VolumeList& list = AppVolumeList();
  bool added = false, first = false;
  {
    VolumeListWriteGuard guard(list);
    if (list.slotCount <= kFindFileSlot) return;
    VolumeContext& find = list.slots[kFindFileSlot];
    const uint32_t before = find.fileCount;
    for (const SectorHit& h : hits) {
      if (h.endStatus != kHitEndFound || (h.kind != kKindMp4Moov && !IsPhotoType(h.kind))) continue;
      FileRecord rec;
      if (!MakeRecord(h, rec)) continue;
      EnsureCategoryFolder(find, rec.typeId);
      if (AddFileRecord(find, rec, 1) == 0) FreeFileRecord(rec);
    }
    added = find.fileCount > before;
    first = added && before == 0;
  }
  // The windows hear of it after the lock is released, so they may read the list meanwhile.
  if (!added) return;
  NotifyVolumeListeners(list, nullptr, WM_VIEW_FILESADDED, 0, 0);
  if (first && list.mainWindow && IsWindow(list.mainWindow)) SendMessageW(list.mainWindow, WM_RESULTS_READY, 0, 0);
}
