#include "scanbase/scanprogress.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>

#include "app/settings.h"
#include "base/packedtime.h"
#include "core/diskreader.h"
#include "platform/sync.h"

std::atomic<int64_t> ScanStartTime{0};
std::atomic<uint32_t> ScanPausedSeconds{0};
std::atomic<uint64_t> BaseDoneSectors{0};
RemainTimeState RemainTimeEstimate;

namespace {

// The mailbox keeps its kind word apart as well, so a poster can test for a full slot without
// the lock and without racing the copy.
struct Mailbox {
  std::mutex lock;
  std::atomic<uint32_t> kind{0};
  std::atomic<uint64_t> offered{0};
  ScanProgress rec{};
};
Mailbox& TheMailbox() {
  static Mailbox& m = *new Mailbox();
  return m;
}

int64_t DefaultNowSeconds() {
  static const int64_t wallAtStart = int64_t(std::time(nullptr));
  static const auto monoAtStart = std::chrono::steady_clock::now();
  auto since = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - monoAtStart);
  return wallAtStart + int64_t(since.count());
}
uint32_t DefaultTick() { return GetTickCount(); }

std::atomic<int64_t (*)()> g_now{nullptr};
std::atomic<uint32_t (*)()> g_tick{nullptr};

// Metadata kinds in the order of the eight counts of a kind-2 record.
int MetaIndexOf(uint8_t kind) {
  switch (kind) {
    case 222: return 0;
    case 223: return 1;
    case 226:
    case 227: return 2;
    case 230: return 3;
    case 224: return 4;
    case 229: return 5;
    case 225: return 6;
    case 231: return 7;
    default: return -1;
  }
}

bool BlockHandledOrBeyond(const ScanProgressSource& src, uint64_t blockStart) {
  uint64_t block = blockStart / kScanBlockSectors;
  return block >= src.blockCount || src.blockStates == nullptr || src.blockStates[block] == 2;
}

}  // namespace

ScanProgress MakeScanProgress(uint32_t kind) {
  ScanProgress r;
  std::memset(&r, 0, sizeof r);
  r.kind = kind;
  return r;
}

void SetProgressText(ScanProgress& rec, size_t byteOffset, size_t units, std::u16string_view text) {
  if (units == 0 || byteOffset > sizeof(ScanProgress) || units > (sizeof(ScanProgress) - byteOffset) / 2) return;
  size_t n = std::min(text.size(), units - 1);
  uint8_t* p = reinterpret_cast<uint8_t*>(&rec) + byteOffset;
  std::memset(p, 0, units * 2);
  std::memcpy(p, text.data(), n * 2);
}

std::u16string GetProgressText(const ScanProgress& rec, size_t byteOffset, size_t units) {
  std::u16string s;
  if (byteOffset > sizeof(ScanProgress) || units > (sizeof(ScanProgress) - byteOffset) / 2) return s;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&rec) + byteOffset;
  for (size_t i = 0; i < units; ++i) {
    char16_t c;
    std::memcpy(&c, p + 2 * i, 2);
    if (c == 0) break;
    s += c;
  }
  return s;
}

uint64_t ScanProgressPostsOffered() { return TheMailbox().offered.load(); }

void PostScanProgress(const ScanProgress& rec) {
  Mailbox& m = TheMailbox();
  m.offered.fetch_add(1, std::memory_order_relaxed);
  if (m.kind.load(std::memory_order_acquire) != 0) return;
  std::lock_guard<std::mutex> g(m.lock);
  std::memcpy(&m.rec, &rec, sizeof rec);
  m.kind.store(rec.kind, std::memory_order_release);
}

void PostProgressText(const CString& heading, const CString& line1, const CString& line2) {
  ScanProgress r = MakeScanProgress(kProgressText);
  SetProgressText(r, offsetof(ScanProgress, text.heading), 64, heading.View());
  SetProgressText(r, offsetof(ScanProgress, text.line1), 128, line1.View());
  if (!line2.IsEmpty()) SetProgressText(r, offsetof(ScanProgress, text.line2), 128, line2.View());
  PostScanProgress(r);
}

bool TakeScanProgress(ScanProgress& out) {
  Mailbox& m = TheMailbox();
  std::lock_guard<std::mutex> g(m.lock);
  if (m.rec.kind == 0) return false;
  std::memcpy(&out, &m.rec, sizeof out);
  m.rec.kind = 0;
  m.kind.store(0, std::memory_order_release);
  return true;
}

void EmptyScanProgressMailbox() {
  Mailbox& m = TheMailbox();
  std::lock_guard<std::mutex> g(m.lock);
  std::memset(&m.rec, 0, sizeof m.rec);
  m.kind.store(0, std::memory_order_release);
}

ScanProgress& ParseProgress() {
  static ScanProgress& r = *new ScanProgress(MakeScanProgress(kProgressParse));
  return r;
}

void ResetParseProgress() { ParseProgress() = MakeScanProgress(kProgressParse); }

void SetScanClock(const ScanClock& clock) {
  g_now.store(clock.nowSeconds);
  g_tick.store(clock.tickMs);
}

int64_t ScanClockNow() {
  auto f = g_now.load();
  return f != nullptr ? f() : DefaultNowSeconds();
}

uint32_t ScanClockTick() {
  auto f = g_tick.load();
  return f != nullptr ? f() : DefaultTick();
}

bool FormatScanRateText(uint64_t done, uint64_t total, CString& text) {
  // Net time: a clock that went back, or a pause total above the elapsed time, means no time
  // has passed, rather than a wrapped count of about 136 years.
  int64_t diff = ScanClockNow() - ScanStartTime.load();
  uint64_t gross = diff > 0 ? uint64_t(diff) : 0;
  uint64_t paused = ScanPausedSeconds.load();
  uint64_t net = gross > paused ? gross - paused : 0;
  uint32_t elapsed = net > UINT32_MAX ? UINT32_MAX : uint32_t(net);
  if (elapsed == 0) return false;
  text += GetLangStr(u"ElapsedTime") + u": " + FormatDuration(elapsed) + u"     ";
  uint64_t base = BaseDoneSectors.load();
  if (elapsed > 60 && done > base) {
    uint64_t moved = done - base;
    if (moved / elapsed != 0) FormatRemainTimeText(done, total, elapsed, text);
    uint64_t mbps = (moved / 2048) / elapsed;
    uint32_t mb = mbps > UINT32_MAX ? UINT32_MAX : uint32_t(mbps);
    text.AppendFormat(u"%s: %u(MB)/%s", GetLangStr(u"Rate"), mb, GetLangStr(u"Sec"));
    uint64_t gbPerMin = (uint64_t(mb) * 60) / 1024;
    if (gbPerMin > 2) text.AppendFormat(u"  %u(GB)/%s", uint32_t(gbPerMin), GetLangStr(u"Min"));
  }
  uint64_t reads = BlockReads.load();
  if (reads != 0) {
    uint64_t failed = std::min<uint64_t>(BlockReadFailures.load(), reads);
    uint32_t success = uint32_t((reads - failed) * 100 / reads);
    text.AppendFormat(u"   %s: %u%%", GetLangStr(u"ReadSuccessRate"), success);
  }
  return true;
}

uint32_t SmoothRemainTime(uint32_t estimate) {
  RemainTimeState& st = RemainTimeEstimate;
  uint32_t now = ScanClockTick();
  uint32_t shown = st.shownSeconds;
  uint32_t band = uint32_t(uint64_t(shown) * 110 / 100);
  if (shown < estimate && estimate < band) {
    if (now - st.tick > 2000) {
      st.tick = now;
      if (st.shownSeconds != 0) --st.shownSeconds;
    }
  } else {
    st.shownSeconds = estimate;
    st.tick = now;
  }
  return st.shownSeconds;
}

void FormatRemainTimeText(uint64_t done, uint64_t total, uint32_t elapsed, CString& text) {
  uint64_t base = BaseDoneSectors.load();
  uint64_t rate = (elapsed != 0 && done > base) ? (done - base) / elapsed : 0;
  uint64_t remaining = (total < done || rate == 0) ? 0 : (total - done) / rate;
  uint32_t rem = uint32_t(remaining);
  double fraction = (total != 0 && done < total) ? double(done) / double(total) : 1.0;
  // An early estimate is shortened by up to 30 %, a late one not at all.
  uint32_t estimate = uint32_t(double(rem) * 0.3 * fraction + double(rem) * 0.7);
  uint32_t shown = SmoothRemainTime(estimate);
  text += GetLangStr(u"RemainTime") + u": " + FormatDuration(shown) + u"     ";
}

void InitScanProgress(const ScanProgressSource& src, ScanProgress& rec) {
  uint64_t total = 0, done = 0;
  if (src.operation == 2 || src.operation == 5) {
    total = uint64_t(src.queuedBlocks.size()) * kScanBlockSectors;
    for (uint64_t start : src.queuedBlocks) {
      bool outside = start < src.rangeFirstBlock || start > src.rangeLastBlock;
      if (outside || BlockHandledOrBeyond(src, start)) done += kScanBlockSectors;
    }
  } else {
    total = src.targetSectors;
    if (src.rangeFirstBlock <= src.rangeLastBlock) {
      for (uint64_t start = src.rangeFirstBlock;; start += kScanBlockSectors) {
        if (BlockHandledOrBeyond(src, start)) done += kScanBlockSectors;
        if (src.rangeLastBlock - start < kScanBlockSectors) break;
      }
    }
  }
  rec.scan.sectorsTotal = total;
  rec.scan.sectorsDone = done;
  BaseDoneSectors.store(done);

  uint32_t n = uint32_t(std::min<size_t>(src.hits.size(), UINT32_MAX));
  uint64_t hitEnd = src.rangeLastBlock + kScanBlockSectors;
  for (uint32_t i = 0; i < n; ++i) {
    if (i % 787 == 0) {
      CString line = FormatCString(u"%s: %u / %u", GetLangStr(u"SectorInfo"), i, n);
      PostProgressText(GetLangStr(u"ProcessSectorInfo"), line, CString());
    }
    const ProgressHit& h = src.hits[i];
    if (h.lba < src.rangeFirstBlock || h.lba > hitEnd) continue;
    if (h.kind <= 176) {
      rec.scan.filesFound = rec.scan.filesFound + 1;
    } else if (int k = MetaIndexOf(h.kind); k >= 0) {
      uint32_t c;
      std::memcpy(&c, reinterpret_cast<uint8_t*>(&rec) + offsetof(ScanProgress, scan.metaCounts) + 4 * k, 4);
      ++c;
      std::memcpy(reinterpret_cast<uint8_t*>(&rec) + offsetof(ScanProgress, scan.metaCounts) + 4 * k, &c, 4);
    }
  }
}
