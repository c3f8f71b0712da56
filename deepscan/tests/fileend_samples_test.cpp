// The end detection over real files made by Debian's tools (tests/fixtures/carvesamples, made
// by make_samples.sh there): each is found at its exact size and type with its details, also
// when it starts in the last sector of a block and is decided only once the next block came.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/heap.h"
#include "core/carvedname.h"
#include "deepscan/fileend.h"
#include "deepscan/tests/carvedetails.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kBlockSectors = 16384;
constexpr uint64_t kBlockBytes = kBlockSectors * 512;

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
Bytes Sample(const char* name) { return ReadFile(std::string(KESTREL_CARVE_SAMPLES) + "/" + name); }

// The file at the start of a block at LBA 0x10000 (or of room more bytes), zeros behind it.
Found DetectWhole(int32_t type, const Bytes& file, size_t room = 0) {
  Bytes buffer(std::max<size_t>(kBlockBytes, (file.size() + room + 511) / 512 * 512), 0);
  std::memcpy(buffer.data(), file.data(), file.size());
  CarveCandidate c;
  c.typeId = type;
  c.startLba = 0x10000;
  return Take(c, DetectFileEnd(c, 0x10000, buffer.data(), buffer.size()));
}

// The file starting in the last sector of block 2: its first look at that block alone asks
// for the next one, and the retry over both blocks (as the pending window hands them over)
// decides it.
Found DetectAcrossBlocks(int32_t type, const Bytes& file) {
  static Bytes two;
  two.assign(2 * kBlockBytes, 0);
  const uint64_t blockLba = 2 * kBlockSectors;
  const uint64_t start = blockLba + kBlockSectors - 1;
  std::memcpy(two.data() + (kBlockBytes - 512), file.data(), std::min<size_t>(file.size(), kBlockBytes + 512));
  CarveCandidate c;
  c.typeId = type;
  c.startLba = start;
  const int32_t first = DetectFileEnd(c, blockLba, two.data(), kBlockBytes);
  EXPECT_EQ(first, kEndNeedsMore);
  EXPECT_GE(c.firstNeededLba, start);
  EXPECT_LE(c.endNeededLba, blockLba + 2 * kBlockSectors);
  return Take(c, DetectFileEnd(c, blockLba, two.data(), two.size()));
}

struct SampleCase {
  const char* file;
  int32_t type;
  size_t room;  // bytes the handler needs behind the start
  int32_t status;
  int32_t refined;
  std::u16string person, other, excerpt, date;
};

TEST(CarveSamples, FoundAtTheirSizeTypeAndDetails) {
  const SampleCase cases[] = {
      {"photo_plain.jpg", 46, 0, kEndKnown, 46, u"", u"", u"", u""},
      // The thumbnail's own end marker inside APP1 does not end the picture.
      {"photo_exif.jpg", 46, 0, kEndKnown, 46, u"Canon", u"Canon EOS 5D Mark II", u"", u"2021:06:15"},
      // A TIFF of less than 2 MiB is no camera RAW file (decided once 88 MiB are at hand).
      {"camera_small.tif", 51, 0x5800000, kEndNotValid, 51, u"", u"", u"", u""},
      {"stream.flv", 64, 0, kEndKnown, 64, u"", u"", u"", u""},
      {"stream.rm", 66, 0, kEndKnown, 66, u"", u"", u"", u""},
      // ffmpeg writes no index chunk: nothing confirms the data chunk's end.
      {"stream_noindex.rm", 66, 0, kEndNotValid, 66, u"", u"", u"", u""},
      // ID3v2.3 with a UTF-16 artist and an 8-bit title, and an APE and an ID3v1 tag behind
      // the frames.
      {"song_tagged.mp3", 54, 0, kEndKnown, 54, u"Åsa Kestrel", u"", u"Morning Tune", u""},
      {"song_v4.mp3", 54, 0, kEndKnown, 54, u"Ridge Band", u"", u"Café Nocturne", u""},
      {"drawing_r15.dwg", 75, 0, kEndKnown, 75, u"", u"", u"", u""},
  };
  for (const SampleCase& k : cases) {
    SCOPED_TRACE(k.file);
    const Bytes file = Sample(k.file);
    ASSERT_GT(file.size(), 1000u);
    // A RAW candidate wants more than two blocks: it is not tried across one edge here.
    for (int across = 0; across < (k.room ? 1 : 2); ++across) {
      SCOPED_TRACE(across ? "across a block edge" : "inside one buffer");
      const Found f = across ? DetectAcrossBlocks(k.type, file) : DetectWhole(k.type, file, k.room);
      EXPECT_EQ(f.status, k.status);
      EXPECT_EQ(f.type, k.refined);
      if (k.status == kEndKnown) {
        EXPECT_EQ(f.size, file.size());
      }
      EXPECT_EQ(f.person, k.person);
      EXPECT_EQ(f.other, k.other);
      EXPECT_EQ(f.excerpt, k.excerpt);
      EXPECT_EQ(f.date, k.date);
    }
  }
}

// ffmpeg's program stream carries no end code: the walk cannot tell its last packet from
// chance, so that packet is left out. With the end code a conforming stream ends with, the
// stream is found whole.
TEST(CarveSamples, ProgramStreamWithAndWithoutEndCode) {
  Bytes vob = Sample("stream.vob");
  ASSERT_GT(vob.size(), 4096u);
  for (int across = 0; across < 2; ++across) {
    const Found cut = across ? DetectAcrossBlocks(82, vob) : DetectWhole(82, vob);
    ASSERT_EQ(cut.status, kEndKnown);
    EXPECT_LT(cut.size, vob.size());
    EXPECT_GE(cut.size + 2048, vob.size());
    EXPECT_EQ(0, std::memcmp(vob.data() + cut.size, "\x00\x00\x01", 3));
  }
  const size_t length = vob.size();
  vob.insert(vob.end(), {0x00, 0x00, 0x01, 0xB9});
  for (int across = 0; across < 2; ++across) {
    const Found whole = across ? DetectAcrossBlocks(82, vob) : DetectWhole(82, vob);
    EXPECT_EQ(whole.status, kEndKnown);
    EXPECT_EQ(whole.size, length + 4);
  }
}

// TIFF-based RAW files of 2 MiB and more are built at test time (imagemagick writes the
// uncompressed pictures, exiftool the camera's tags), in both byte orders.
TEST(CarveSamples, BigTiffIsCarvedAsRawOfItsMaker) {
  if (std::system("command -v convert >/dev/null 2>&1 && command -v exiftool >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "imagemagick or exiftool missing";
  const std::string dir = std::string(KESTREL_FIXTURE_DIR) + "/carve_tiff";
  std::system(("mkdir -p " + dir).c_str());
  struct Case {
    const char* endian;
    const char* make;
    int32_t type;
  } cases[] = {{"LSB", "NIKON CORPORATION", 92}, {"MSB", "Canon", 49}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.endian);
    const std::string path = dir + "/big_" + k.endian + ".tif";
    const std::string cmd = "convert -size 1000x1000 gradient:white-navy -endian " + std::string(k.endian) +
                            " -compress none '" + path + "' && exiftool -q -overwrite_original '-Make=" + k.make +
                            "' '-Model=Test Body 7' '-DateTimeOriginal=2022:11:12 13:14:15' '" + path + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const Bytes file = ReadFile(path);
    ASSERT_GT(file.size(), 0x200000u);
    // The window holds 88 MiB from the start of the file before it is read.
    const Found f = DetectWhole(51, file, 0x5800000);
    EXPECT_EQ(f.status, kEndKnown);
    EXPECT_EQ(f.size, file.size());
    EXPECT_EQ(f.type, k.type);
    EXPECT_EQ(f.person, std::u16string(k.make, k.make + std::strlen(k.make)));
    EXPECT_EQ(f.other, u"Test Body 7");
    EXPECT_EQ(f.date, u"2022:11:12");
    // At the end of the input the same file is decided with the data present.
    Bytes buffer((file.size() + 511) / 512 * 512, 0);
    std::memcpy(buffer.data(), file.data(), file.size());
    CarveCandidate c;
    c.typeId = 51;
    c.startLba = 1000;
    ASSERT_EQ(DetectFileEnd(c, 1000, buffer.data(), buffer.size()), kEndNeedsMore);
    const Found atEnd = Take(c, DetectFileEndAtInputEnd(c, 1000, buffer.data(), buffer.size(),
                                                         1000 + buffer.size() / 512));
    EXPECT_EQ(atEnd.status, kEndKnown);
    EXPECT_EQ(atEnd.size, file.size());
    EXPECT_EQ(atEnd.type, k.type);
  }
}

}  // namespace
