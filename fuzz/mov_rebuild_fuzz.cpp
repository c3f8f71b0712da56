// The MP4/MOV fragment rebuild over hostile hits. Random lists rarely anchor anything, so the
// input first edits a valid track:
//   u8 samples (8 … 135), u8 edition flag (bit 0: loose-head mode), u16 device sectors (× 64),
//   4 × u16 piece starts (sample index, LBA of the piece), then (u16 sample, u8 what, u8 value)
//   edits that drop, move or add candidate positions, or change the head's box sizes.
// The rest of the input is then read as the stored tables of a saved scan (a moov's sample
// offsets and a chain hit's positions) and matched the same way. Every video made must have
// fragments that hold sectors and lie on the device.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "deepscan/movrebuild.h"
#include "deepscan/mtsrebuild.h"
#include "fuzz/fuzzimage.h"
#include "scanbase/videodetail.h"

namespace {

void CheckVolume(VolumeContext& volume, uint64_t deviceSectors) {
  for (uint32_t id = 1; id < volume.idLimit && id < kRecordIdEnd; ++id) {
    FileRecord* rec = GetFileRecord(volume, id);
    if (!rec || !(rec->flags & kRecExtentList)) continue;
    DataExtentList e;
    if (!FormatByteRanges(*rec, e)) abort();
    std::vector<VideoFragment> f;
    for (const DataExtent& x : e) f.push_back({x.startLba, x.sectorCount});
    if (!ValidVideoFragments(f, deviceSectors)) abort();
  }
}

uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  const std::vector<uint8_t> head = FuzzFixedBytes(data, size, 12);
  const uint32_t n = 8 + head[0] % 128;
  const int32_t edition = head[1] & 1 ? kEditionLooseHead : 1;
  const uint64_t deviceSectors = 64 * uint64_t(U16(&head[2]) + 1);

  // The track: samples of 9 000 … 40 000 bytes after a moov-last head (ftyp, mdat header).
  std::vector<uint32_t> offs;
  uint32_t at = 0x24, x = n;
  for (uint32_t i = 0; i < n; ++i) {
    offs.push_back(at);
    x = x * 1103515245u + 12345u;
    at += 9000 + (x >> 8) % 31000;
  }
  uint64_t pieceStart[4];
  uint32_t pieceFrom[4];
  for (int k = 0; k < 4; ++k) {
    pieceFrom[k] = k == 0 ? 0 : U16(&head[4 + 2 * k]) % n;
    pieceStart[k] = uint64_t(U16(&head[4 + 2 * k]) * 37 % 60000) * 512;
  }
  std::vector<uint64_t> anch(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint64_t start = pieceStart[0];
    for (int k = 1; k < 4; ++k)
      if (pieceFrom[k] <= i) start = pieceStart[k] > offs[pieceFrom[k]] ? pieceStart[k] - offs[pieceFrom[k]] : 0;
    anch[i] = start + offs[i];
  }
  MovHitLists lists;
  const uint64_t fileLba = pieceStart[0] / 512;
  lists.ftyps = {{fileLba, 0x14}};
  lists.mdats = {{fileLba, fileLba * 512 + 0x1C, at - 0x1C}};
  MovMoovHit M;
  M.position = anch.back() + 40000;
  M.lba = M.position / 512;
  M.size = 1500;
  M.offsets = offs;
  std::vector<uint64_t> positions(anch.begin() + 1, anch.end());
  for (size_t i = 12; i + 4 <= size && i < 12 + 4 * 256; i += 4) {
    const uint32_t s = U16(data + i) % n;
    const uint8_t v = data[i + 3];
    switch (data[i + 2] % 6) {
      case 0: positions.erase(std::remove(positions.begin(), positions.end(), anch[s]), positions.end()); break;
      case 1: positions.push_back(anch[s] + v); break;
      case 2: positions.push_back(anch[s] - v * 512u); break;
      case 3: lists.ftyps.push_back({M.lba, uint32_t(M.position % 512 + v % 3)}); break;
      case 4: M.size = M.size * 7 + v; break;
      case 5: lists.mdats.push_back({lists.mdats[0].lba + v % 2, lists.mdats[0].position + v, uint64_t(v) << 24}); break;
    }
  }
  lists.moovs = {M};
  MovCandidates& chains = lists.candidates[0];
  chains.positions = positions;
  std::sort(chains.positions.begin(), chains.positions.end());
  chains.positions.erase(std::unique(chains.positions.begin(), chains.positions.end()), chains.positions.end());
  chains.found = chains.positions;
  chains.Reindex();

  VolumeContext volume = MakeVideoFileView(CString(u"fuzz"));
  MatchMoovsToCandidates(lists, volume, deviceSectors, edition);
  CheckVolume(volume, deviceSectors);

  // The input's bytes as a saved scan's stored tables: the first list a moov's sample offsets,
  // the second a chain hit's positions.
  if (size > 12 + 4 * 256) {
    MemoryScanStateStream s(std::vector<uint8_t>(data + 12 + 4 * 256, data + size));
    ChunkTableList* moovTables = nullptr;
    ChunkTableList* chainTables = nullptr;
    if (LoadVideoChunkTables(s, moovTables) && LoadVideoChunkTables(s, chainTables)) {
      MoovInfo info{};
      info.position = M.position;
      info.boxSize = M.size;
      info.tables = moovTables;
      std::vector<SectorHit> hits = {
          {kKindMp4Ftyp, 0, fileLba, 0x14, nullptr},
          {kKindVideoSampleChain, kHitEndFound, fileLba, 0, chainTables},
          {kKindMp4Moov, kHitEndFound, M.lba, 0, &info},
      };
      MdatInfo mdat{lists.mdats[0].position, lists.mdats[0].size};
      hits.push_back({kKindMp4Mdat, kHitEndFound, fileLba, 0, &mdat});
      MovHitLists saved = SortMoovHits(hits);
      MatchMoovsToCandidates(saved, volume, deviceSectors, edition);
      CheckVolume(volume, deviceSectors);
    }
    FreeChunkTableList(moovTables);
    FreeChunkTableList(chainTables);
  }
  FreeAllFileRecords(volume);
  return 0;
}
