// Thumbnails of JPEG photos of 3 to 12 megapixels, one thread: the preview worker's path
// (decoded scaled in the DCT for the 118 x 118 box, area-averaged, encoded) against a plain full
// decode plus the same resample and encoding with the same libraries. Prints thumbnails per
// second of this thread's processor time for each (per core, whatever else the machine runs),
// their ratio (target >= 4) and the peak resident memory of each pass.
// KESTREL_THUMB_BENCH_PHOTOS sets how many thumbnails a pass makes (default 1000); the photos
// are a few distinct ones made at start, with gradients and grain so they decode like photos.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/codec/imagecodec.h"
#include "base/heap.h"
#include "core/preview/previewworker.h"

namespace {

struct Photo {
  std::vector<uint8_t> jpeg;
  uint32_t width, height;
};

std::vector<Photo>& Photos() {
  static std::vector<Photo> photos;
  return photos;
}

uint32_t PhotoCount() {
  const char* v = getenv("KESTREL_THUMB_BENCH_PHOTOS");
  const long n = v ? strtol(v, nullptr, 10) : 0;
  return n > 0 ? uint32_t(n) : 1000;
}

void MakePhotos() {
  const uint32_t sizes[][2] = {{2000, 1500}, {2592, 1944}, {3264, 2448}, {4000, 3000},
                               {2048, 1536}, {3000, 2000}, {3456, 2304}, {4032, 3024}};
  uint32_t seed = 12345;
  for (const auto& s : sizes) {
    ImageCodec img;
    if (img.Create(s[0], s[1], 24) != ImageStatus::kOk) continue;
    for (uint32_t y = 0; y < s[1]; ++y) {
      uint8_t* p = img.GetRow(y);
      for (uint32_t x = 0; x < s[0]; ++x, p += 3) {
        seed = seed * 1103515245u + 12345u;
        const int grain = int((seed >> 16) & 31) - 16;
        p[0] = uint8_t(std::clamp(int(x * 255 / s[0]) + grain, 0, 255));
        p[1] = uint8_t(std::clamp(int(y * 255 / s[1]) + grain, 0, 255));
        p[2] = uint8_t(std::clamp(int((x + y) * 127 / (s[0] + s[1]) + 64) + grain, 0, 255));
      }
    }
    Photo photo{{}, s[0], s[1]};
    if (img.EncodeJpeg(photo.jpeg, 90)) Photos().push_back(std::move(photo));
  }
}

uint64_t PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return strtoull(line.c_str() + 6, nullptr, 10);
  return 0;
}
// The kernel forgets the peak so the next pass measures its own.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Result {
  double perSecond = 0;
  uint64_t peakKb = 0;
};
Result g_scaled, g_full;

bool ScaledThumbnail(const Photo& p) {
  PreviewRequest q;
  q.type = 46;
  q.size = p.jpeg.size();
  uint8_t* jpeg = nullptr;
  uint32_t length = 0;
  if (!MakeImageThumbnail(q, p.jpeg.data(), jpeg, length)) return false;
  FreeMem(jpeg);
  return true;
}

bool FullThumbnail(const Photo& p) {
  ImageCodec img;
  if (!img.DecodeFromMemory(p.jpeg.data(), uint32_t(p.jpeg.size()), kImageJpeg)) return false;
  uint32_t w = 0, h = 0;
  FitIntoBox(img.GetWidth(), img.GetHeight(), kThumbnailBox, w, h);
  if (!img.Resample(w, h)) return false;
  uint8_t* jpeg = nullptr;
  uint32_t length = 0;
  if (!EncodeThumbnailImage(img, jpeg, length)) return false;
  FreeMem(jpeg);
  return true;
}

void Pass(benchmark::State& state, bool (*make)(const Photo&), Result& out) {
  const uint32_t count = PhotoCount();
  for (auto _ : state) {
    ResetPeakRss();
    const double t0 = ThreadSeconds();
    for (uint32_t i = 0; i < count; ++i)
      if (!make(Photos()[i % Photos().size()])) state.SkipWithError("thumbnail failed");
    const double secs = ThreadSeconds() - t0;
    out.perSecond = std::max(out.perSecond, count / secs);
    out.peakKb = std::max(out.peakKb, PeakRssKb());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * count);
}

void BM_ThumbnailScaledDecode(benchmark::State& state) { Pass(state, &ScaledThumbnail, g_scaled); }
void BM_ThumbnailFullDecode(benchmark::State& state) { Pass(state, &FullThumbnail, g_full); }

BENCHMARK(BM_ThumbnailScaledDecode)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ThumbnailFullDecode)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  MakePhotos();
  if (Photos().empty()) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_scaled.perSecond > 0 && g_full.perSecond > 0) {
    std::printf("thumbnails per second on one core: scaled decode %.1f, full decode %.1f: ratio %.2f (target >= 4)\n",
                g_scaled.perSecond, g_full.perSecond, g_scaled.perSecond / g_full.perSecond);
    std::printf("peak resident memory: scaled decode %.0f MiB, full decode %.0f MiB\n", g_scaled.peakKb / 1024.0,
                g_full.peakKb / 1024.0);
  }
  return 0;
}
