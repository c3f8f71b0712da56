// "kscan carve [--metadata] [--mode normal|video|mts] IMAGE": the whole deep scan of an image,
// headless (see kscancarve.h). Every carved file of the hit lists is printed as one JSON line:
//   {"lba", "size", "type", "kind", "status", "name", "sha256"}
// Files whose end the scan found (status 5) carry their exact size and the SHA-256 of those
// bytes. Files without end detection are sized by the distance to the next file hit (or the
// image end), as the results show them, and marked "sized":"next-hit". With --metadata the kept
// metadata sectors follow ({"lba", "kind", "type", "meta":true}, index records with "parent").
// A summary line ends the output.
//
// "--mode video" scans in the MP4/MOV fragment mode instead (photos are carved, the rest is
// gathered for the video rebuild), with "--video-switches LIST" (size, 20, 02, 01, all, none;
// all by default) and "--edition-mode N". Its video hits follow the carved files, one line each:
//   {"video", "kind", "lba", "status", ...} with, for a parsed moov, its "position", box "size",
//   "duration", "created", "name" and sample "offsets"; for an mdat its "position" and "size";
//   for sample positions (203-206) the "tables" and the sorted device byte "positions".
// The rebuild runs at the end of the scan; each rebuilt video follows the hits as one line (as
// for "--mode mts" below), and the summary line starts with "videohits" and "rebuilt".
//
// "--mode mts" scans in the MTS fragment mode: the packet tracker records the fragments, the
// rebuild chains them into videos, and each rebuilt video is printed with its fragments, size
// and the SHA-256 of its bytes read through the fragments (see kscanvideo.h); the summary line
// starts with "rebuilt".
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/carvedname.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/sha256evp.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscancarve.h"
#include "tests/tools/kscan/kscanvideo.h"

namespace {

// The SHA-256 of size bytes from the LBA; "" when a read fails.
std::string HashRange(DiskReader& reader, uint64_t lba, uint64_t size) {
  std::vector<uint8_t> buf(1 << 20);
  EvpSha256 sha;
  for (uint64_t done = 0; done < size;) {
    const uint64_t take = std::min<uint64_t>(buf.size(), size - done);
    const uint32_t sectors = uint32_t((take + kSectorBytes - 1) / kSectorBytes);
    if (!reader.ReadSectors(buf.data(), lba + done / kSectorBytes, sectors)) return std::string();
    sha.Update(buf.data(), size_t(take));
    done += take;
  }
  return sha.HexDigest();
}

int RunCarve(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool metadata = false, video = false, mts = false;
  KscanVideoOptions videoOptions;
  if (!KscanTakeVideoOptions(args, videoOptions)) return 2;
  for (size_t i = 0; i < args.size();) {
    if (args[i] == "--metadata") {
      metadata = true;
    } else if (args[i] == "--mode" && i + 1 < args.size() &&
               (args[i + 1] == "normal" || args[i + 1] == "video" || args[i + 1] == "mts")) {
      video = args[i + 1] == "video";
      mts = args[i + 1] == "mts";
      args.erase(args.begin() + long(i));
    } else {
      ++i;
      continue;
    }
    args.erase(args.begin() + long(i));
  }
  if (args.size() != 1) {
    fprintf(stderr, "usage: kscan carve [--metadata] [--mode normal|video|mts] [--video-switches LIST] [--edition-mode N] IMAGE\n");
    return 2;
  }
  if (video) KscanUseVideoMode(videoOptions);
  if (mts) KscanUseMtsMode();
  KscanCarveRun run;
  if (!KscanRunCarve(args[0], run)) return 1;

  uint32_t exact = 0;
  for (const KscanCarvedFile& f : run.files) {
    const SectorHit& h = f.hit;
    const uint64_t lba = h.lba;
    const uint64_t room = (run.sectors - std::min<uint64_t>(lba, run.sectors)) * kSectorBytes;
    const uint64_t hashed = std::min(f.size, room);
    CString name;
    // Documents, photos and MP3 files carry their details, which name them.
    MakeCarvedFileName(h.kind, lba, HasDocumentMetadata(h.kind) ? static_cast<const CarvedFileMetadata*>(h.detail) : nullptr,
                       name);
    const std::string sha = (f.endKnown || hashed <= (64u << 20)) ? HashRange(run.reader, lba, hashed) : std::string();
    if (f.endKnown) ++exact;
    printf("{\"lba\":%llu,\"size\":%llu,\"type\":\"%s\",\"kind\":%u,\"status\":%u,\"name\":\"%s\",\"sha256\":\"%s\"%s}\n",
           (unsigned long long)lba, (unsigned long long)f.size, GetSectorKindName(h.kind).ToUtf8().c_str(), h.kind,
           h.endStatus, name.ToUtf8().c_str(), sha.c_str(), f.endKnown ? "" : ",\"sized\":\"next-hit\"");
  }
  if (metadata) {
    // The metadata sectors kept for the rebuilds; an index record carries its parent directory.
    for (const SectorHit& h : run.hits) {
      if (h.kind < 221 || h.kind > 232) continue;
      const uint64_t lba = h.lba;
      printf("{\"lba\":%llu,\"kind\":%u,\"type\":\"%s\",\"meta\":true", (unsigned long long)lba, h.kind,
             GetSectorKindName(h.kind).ToUtf8().c_str());
      if (h.kind == 225) printf(",\"parent\":%llu", (unsigned long long)reinterpret_cast<uintptr_t>(h.detail));
      printf("}\n");
    }
  }
  const size_t videoHits = video ? KscanPrintVideoHits(run.hits) : 0;
  const size_t rebuilt = mts || video ? KscanPrintRebuiltVideos(run.reader) : 0;
  const double bytes = double(run.sectors) * kSectorBytes;
  if (video) printf("{\"videohits\":%zu,\"rebuilt\":%zu,", videoHits, rebuilt);
  else if (mts) printf("{\"rebuilt\":%zu,", rebuilt);
  else printf("{");
  printf("\"files\":%zu,\"ended\":%u,\"hits\":%zu,\"state\":%u,\"finishing\":%u,\"finished\":%u,"
         "\"seconds\":%.3f,\"mbps\":%.1f}\n",
         run.files.size(), exact, run.hits.size(), ScanRunState.load(), run.finishing, run.finished, run.seconds,
         run.seconds > 0 ? bytes / run.seconds / 1e6 : 0.0);
  KscanEndCarve();
  // The rebuild published its volume into the application's list.
  if (mts || video) ClearVolumeList(AppVolumeList());
  return ScanRunState.load() == kScanInputDone ? 0 : 1;
}

KscanCommand reg("carve", "carve [--metadata] [--mode normal|video|mts] [--video-switches LIST] [--edition-mode N] IMAGE",
                 &RunCarve);

}  // namespace
