#include "tests/tools/kscan/kscanvideo.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "app/settings.h"
#include "base/packedtime.h"
#include "core/filetypetable.h"
#include "core/dataextents.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/mtsscan.h"
#include "deepscan/videohits.h"
#include "deepscan/videoscan.h"
#include "scanbase/videodetail.h"
#include "tests/fixtures/sha256evp.h"

namespace {

bool SetSwitches(const std::string& list, KscanVideoOptions& o) {
  o.chains = o.lengths = o.twos = o.ones = false;
  std::stringstream in(list);
  std::string name;
  while (std::getline(in, name, ',')) {
    if (name == "all") o.chains = o.lengths = o.twos = o.ones = true;
    else if (name == "size") o.chains = true;
    else if (name == "20") o.lengths = true;
    else if (name == "02") o.twos = true;
    else if (name == "01") o.ones = true;
    else if (name != "none" && !name.empty()) return false;
  }
  return true;
}

const char* VideoHitName(uint8_t kind) {
  static const char* const kNames[] = {"ftyp", "moov", "mdat", "chains", "lengths", "twos", "startcodes"};
  return kNames[kind - kKindMp4Ftyp];
}

void PrintPositions(const SectorHit& h) {
  const auto* list = static_cast<const ChunkTableList*>(h.detail);
  std::vector<uint64_t> all;
  for (const ChunkTable* t : ChunkTablesOf(list))
    for (uint32_t i = 0; i < t->count; ++i) all.push_back(uint64_t(h.lba) * 512 + ChunkTableEntries(t)[i]);
  std::sort(all.begin(), all.end());
  printf(",\"tables\":%zu,\"positions\":[", ChunkTablesOf(list).size());
  for (size_t i = 0; i < all.size(); ++i) printf("%s%llu", i ? "," : "", (unsigned long long)all[i]);
  printf("]");
}

}  // namespace

bool KscanTakeVideoOptions(std::vector<std::string>& args, KscanVideoOptions& o) {
  for (size_t i = 0; i < args.size();) {
    if (args[i] == "--video-switches" && i + 1 < args.size()) {
      if (!SetSwitches(args[i + 1], o)) {
        fprintf(stderr, "kscan: --video-switches takes a comma list of size, 20, 02, 01, all, none\n");
        return false;
      }
    } else if (args[i] == "--edition-mode" && i + 1 < args.size()) {
      o.editionMode = atoi(args[i + 1].c_str());
    } else {
      ++i;
      continue;
    }
    args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
  }
  return true;
}

void KscanUseVideoMode(const KscanVideoOptions& o) {
  if (o.editionMode >= 0) SoftCfgTable().Set(u"Default-Key:", CString(std::to_string(100 + o.editionMode)));
  VideoFragOptions.MovFragRecovery = 1;
  VideoFragOptions.MtsFragRecovery = 0;
  VideoFragOptions.VideoSampleSize = o.chains;
  VideoFragOptions.VideoSample20 = o.lengths;
  VideoFragOptions.VideoSample02 = o.twos;
  VideoFragOptions.VideoSample01 = o.ones;
  InstallVideoScanConsumer();
}

size_t KscanPrintVideoHits(const std::vector<SectorHit>& hits) {
  size_t n = 0;
  for (const SectorHit& h : hits) {
    if (h.kind < kKindMp4Ftyp || h.kind > kKindVideoSample001) continue;
    ++n;
    const unsigned long long lba = h.lba, size = h.size;
    printf("{\"video\":\"%s\",\"kind\":%u,\"lba\":%llu,\"status\":%u", VideoHitName(h.kind), h.kind,
           lba, h.endStatus);
    if (h.kind == kKindMp4Moov && h.endStatus == kHitEndFound && h.detail) {
      const auto* info = static_cast<const MoovInfo*>(h.detail);
      const unsigned long long position = info->position;
      printf(",\"position\":%llu,\"size\":%u,\"duration\":%u,\"created\":\"%s\",\"name\":\"%s\",\"offsets\":[", position,
             unsigned(info->boxSize), unsigned(info->durationSeconds),
             PackedTimeToText(info->createTime).ToUtf8().c_str(),
             FormatVideoFileName(h.lba, info->createTime).ToUtf8().c_str());
      const auto tables = ChunkTablesOf(info->tables);
      for (size_t t = 0; t < tables.size(); ++t)
        for (uint32_t i = 0; i < tables[t]->count; ++i)
          printf("%s%u", t || i ? "," : "", ChunkTableEntries(tables[t])[i]);
      printf("]");
    } else if (h.kind == kKindMp4Mdat && h.detail) {
      const auto* info = static_cast<const MdatInfo*>(h.detail);
      const unsigned long long position = info->position, boxSize = info->size;
      printf(",\"position\":%llu,\"size\":%llu", position, boxSize);
    } else if (h.kind >= kKindVideoSampleChain && h.endStatus == kHitEndFound && h.detail) {
      PrintPositions(h);
    } else {
      printf(",\"size\":%llu", size);
    }
    printf("}\n");
  }
  return n;
}

void KscanUseMtsMode() {
  VideoFragOptions.MovFragRecovery = 0;
  VideoFragOptions.MtsFragRecovery = 1;
  InstallMtsScanConsumer();
}

size_t KscanPrintRebuiltVideos(DiskReader& reader) {
  VolumeList& list = AppVolumeList();
  if (list.slotCount <= kFindFileSlot) return 0;
  VolumeContext& v = list.slots[kFindFileSlot];
  size_t n = 0;
  std::vector<uint8_t> buf(1 << 20);
  for (uint32_t id = 1; id < v.idLimit; ++id) {
    FileRecord* rec = GetFileRecord(v, id);
    if (!rec || (rec->flags & kRecDirectory) || !(rec->flags & kRecExtentList)) continue;
    DataExtentList extents;
    if (!FormatByteRanges(*rec, extents)) continue;
    const uint64_t size = rec->size;
    const int32_t phaseField = rec->filesBelow;
    const uint64_t phase = phaseField > 0 ? uint64_t(phaseField) : 0;
    EvpSha256 sha;
    uint64_t skip = phase, left = size;
    bool ok = true;
    printf("{\"rebuilt\":\"%s\",\"fragments\":[", CString(rec->name).ToUtf8().c_str());
    for (size_t i = 0; i < extents.size(); ++i) {
      const DataExtent& e = extents[i];
      printf("%s[%llu,%llu]", i ? "," : "", (unsigned long long)e.startLba, (unsigned long long)e.sectorCount);
      for (uint64_t done = 0; done < e.sectorCount && left > 0 && ok;) {
        const uint32_t sectors = uint32_t(std::min<uint64_t>(buf.size() / 512, e.sectorCount - done));
        ok = reader.ReadSectors(buf.data(), e.startLba + done, sectors);
        uint64_t from = std::min<uint64_t>(skip, uint64_t(sectors) * 512);
        skip -= from;
        const uint64_t take = std::min<uint64_t>(uint64_t(sectors) * 512 - from, left);
        if (ok) sha.Update(buf.data() + from, size_t(take));
        left -= take;
        done += sectors;
      }
    }
    printf("],\"size\":%llu,\"phase\":%llu,\"sha256\":\"%s\"}\n", (unsigned long long)size,
           (unsigned long long)phase, ok && left == 0 ? sha.HexDigest().c_str() : "");
    ++n;
  }
  return n;
}
