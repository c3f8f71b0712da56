// FLV, MPEG program stream, RealMedia and MP3 end rules over small built streams: where each
// walk ends, how many units it needs, and the ID3 texts and MPEG audio headers it reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/heap.h"
#include "core/carvedname.h"
#include "deepscan/fileend.h"
#include "deepscan/mp3frames.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kBlockSectors = 16384;

void Append(Bytes& b, std::initializer_list<uint8_t> v) { b.insert(b.end(), v); }
void AppendText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void Be16(Bytes& b, uint32_t v) { Append(b, {uint8_t(v >> 8), uint8_t(v)}); }
void Be24(Bytes& b, uint32_t v) { Append(b, {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); }
void Be32(Bytes& b, uint32_t v) { Append(b, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); }
void Fill(Bytes& b, size_t n, uint8_t v) { b.insert(b.end(), n, v); }

struct Result {
  int32_t status;
  uint64_t size;
};
// The stream at the start of one 8 MiB block, then `after`, then zeros.
Result InBlock(int32_t type, const Bytes& file, const Bytes& after = {}) {
  static Bytes block;
  block.assign(kBlockSectors * 512, 0);
  std::memcpy(block.data(), file.data(), file.size());
  if (!after.empty()) std::memcpy(block.data() + file.size(), after.data(), after.size());
  CarveCandidate c;
  c.typeId = type;
  c.startLba = 3 * kBlockSectors;
  const int32_t r = DetectFileEnd(c, c.startLba, block.data(), block.size());
  if (c.details) FreeMem(c.details);
  return {r, c.size};
}

// ---------------------------------------------------------------- FLV

// Header, then tags of the given types, each followed by its size (or by `wrongSizeAfter`'s
// tag with a wrong one).
Bytes Flv(const std::vector<uint8_t>& types, int wrongSizeAfter = -1, std::vector<size_t>* starts = nullptr,
          uint32_t lastExtra = 0) {
  Bytes f;
  AppendText(f, "FLV");
  Append(f, {0x01, 0x05});
  Be32(f, 9);
  Be32(f, 0);
  for (size_t i = 0; i < types.size(); ++i) {
    const uint32_t data = 100 + 37 * uint32_t(i) + (i + 1 == types.size() ? lastExtra : 0);
    if (starts) starts->push_back(f.size());
    f.push_back(types[i]);
    Be24(f, data);
    Fill(f, 7, 0);
    Fill(f, data, uint8_t(0x40 + i));
    Be32(f, int(i) == wrongSizeAfter ? 12345 : data + 11);
  }
  return f;
}

TEST(FlvEnd, TagWalk) {
  std::vector<size_t> starts;
  const Bytes five = Flv({18, 9, 8, 9, 8}, 2, &starts);
  const Bytes two = Flv({9, 8});
  struct Case {
    const char* what;
    Bytes file, after;
    int32_t status;
    uint64_t size;
  } cases[] = {
      {"the size after the third tag is wrong: the file ends where that tag began", five, {}, kEndKnown, starts[2]},
      {"one tag and zeros", Flv({9}), {}, kEndNotValid, 0},
      {"two tags and a byte that is no tag type", two, {0, 0, 0, 0, 0x33}, kEndKnown, two.size()},
      {"no FLV header", Bytes{'F', 'L', 'X', 1, 5, 0, 0, 0, 9}, {}, kEndNotValid, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = InBlock(64, k.file, k.after);
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.size, k.size);
  }
}

// ---------------------------------------------------------------- MPEG program stream

// A pack header with a system header, the first packet, then `packets` more packs each with a
// packet, then `tail`.
Bytes ProgramStream(int packets, const Bytes& tail = {}) {
  Bytes s{0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
  Append(s, {0x00, 0x00, 0x01, 0xBB});
  Be16(s, 12);
  Fill(s, 12, 0x80);
  Append(s, {0x00, 0x00, 0x01, 0xBF});
  Be16(s, 100);
  Fill(s, 100, 0x11);
  for (int i = 0; i < packets; ++i) {
    Append(s, {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8});
    Append(s, {0x00, 0x00, 0x01, uint8_t(i % 2 ? 0xC0 : 0xE0)});
    Be16(s, 700);
    Fill(s, 700, uint8_t(0x20 + i));
  }
  s.insert(s.end(), tail.begin(), tail.end());
  return s;
}

TEST(MpegPsEnd, PacketWalk) {
  const Bytes endCode{0x00, 0x00, 0x01, 0xB9};
  const Bytes ten = ProgramStream(10), eleven = ProgramStream(11);
  const Bytes tenWithEnd = ProgramStream(10, endCode), nineWithEnd = ProgramStream(9, endCode);
  struct Case {
    const char* what;
    Bytes file;
    int32_t status;
    uint64_t size;
  } cases[] = {
      {"ten packets and garbage", ten, kEndNotValid, 0},
      {"eleven: the last one is left out", eleven, kEndKnown, ten.size()},
      {"ten and the end code", tenWithEnd, kEndKnown, tenWithEnd.size()},
      {"nine and the end code", nineWithEnd, kEndNotValid, 0},
      // MPEG-1 packs are 12 bytes long: the walk reads them as MPEG-2 packs and refuses them.
      {"an MPEG-1 pack", [] {
         Bytes s{0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91};
         Append(s, {0x00, 0x00, 0x01, 0xBB, 0x00, 0x0C, 0x80, 0x1B, 0x91, 0x04, 0xE1, 0xFF, 0xE0, 0xE0, 0xE8, 0xC0,
                    0xC0, 0x20});
         const Bytes rest = ProgramStream(12);
         s.insert(s.end(), rest.begin() + 32, rest.end());
         return s;
       }(), kEndNotValid, 0},
      {"a system header too long for the first sector", [] {
         Bytes s = ProgramStream(12);
         s[18] = 0x02;
         return s;
       }(), kEndNotValid, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = InBlock(82, k.file, {0x12, 0x34});
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.size, k.size);
  }
}

// ---------------------------------------------------------------- RealMedia

Bytes Chunk(const char* id, uint32_t bodyBytes) {
  Bytes c;
  AppendText(c, id);
  Be32(c, 8 + bodyBytes);
  Fill(c, bodyBytes, 0x5C);
  return c;
}

TEST(RmEnd, ChunkWalk) {
  Bytes withIndex, withoutIndex;
  for (const char* id : {".RMF", "PROP", "MDPR", "DATA"}) {
    const Bytes c = Chunk(id, std::string(id) == "DATA" ? 5000 : 40);
    withIndex.insert(withIndex.end(), c.begin(), c.end());
  }
  withoutIndex = withIndex;
  const Bytes index = Chunk("INDX", 34);
  withIndex.insert(withIndex.end(), index.begin(), index.end());
  EXPECT_EQ(InBlock(66, withIndex).status, kEndKnown);
  EXPECT_EQ(InBlock(66, withIndex).size, withIndex.size());
  EXPECT_EQ(InBlock(66, withoutIndex).status, kEndNotValid);
}

// ---------------------------------------------------------------- MP3

Bytes Id3(const std::vector<std::pair<std::string, Bytes>>& frames, uint8_t version = 3) {
  Bytes body;
  for (const auto& [id, data] : frames) {
    AppendText(body, id);
    Be32(body, uint32_t(data.size()));
    Append(body, {0, 0});
    body.insert(body.end(), data.begin(), data.end());
  }
  Fill(body, 64, 0);
  const uint32_t n = uint32_t(body.size());
  Bytes t;
  AppendText(t, "ID3");
  Append(t, {version, 0, 0, uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F), uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)});
  t.insert(t.end(), body.begin(), body.end());
  return t;
}
Bytes Text(uint8_t encoding, const std::string& bytes) {
  Bytes b{encoding};
  AppendText(b, bytes);
  return b;
}
// MPEG-1 layer III, 128 kbit/s, 44.1 kHz frames of 417 bytes.
void Frames(Bytes& b, int n) {
  for (int i = 0; i < n; ++i) {
    Append(b, {0xFF, 0xFB, 0x90, 0x64});
    Fill(b, 413, uint8_t(i));
  }
}

TEST(Mp3End, FrameWalk) {
  Bytes eleven = Id3({{"TIT2", Text(0, "Tune")}});
  Frames(eleven, 11);
  Bytes ten = Id3({});
  Frames(ten, 10);
  Bytes tagged = Id3({});
  Frames(tagged, 9);
  // An APE tag with header and footer (24 bytes of items), then an ID3v1 tag.
  auto ape = [](Bytes& b, uint32_t flags) {
    AppendText(b, "APETAGEX");
    Append(b, {0xD0, 0x07, 0, 0, 56, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, uint8_t(flags >> 24)});
    Fill(b, 8, 0);
  };
  ape(tagged, 0xA0000000);
  Fill(tagged, 24, 0x61);
  ape(tagged, 0x80000000);
  AppendText(tagged, "TAG");
  Fill(tagged, 125, 0x20);
  Bytes noTag;
  Frames(noTag, 20);
  Bytes badSize = eleven;
  badSize[6] = 0x80;
  struct Case {
    const char* what;
    Bytes file;
    int32_t status;
    uint64_t size;
  } cases[] = {
      {"eleven frames", eleven, kEndKnown, eleven.size()},
      {"ten frames", ten, kEndNotValid, 0},
      {"frames, an APE tag and an ID3v1 tag", tagged, kEndKnown, tagged.size()},
      {"no ID3 tag", noTag, kEndNotValid, 0},
      {"an ID3 size byte of 0x80", badSize, kEndNotValid, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Result r = InBlock(54, k.file);
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.size, k.size);
  }
}

// Artist and title from the tag's text frames; a frame size that would wrap a 32-bit walk back
// onto the same frame ends the walk instead.
TEST(Mp3End, Id3Texts) {
  Bytes utf16{1, 0xFF, 0xFE};
  for (char16_t ch : std::u16string(u"Ærøskøbing")) Append(utf16, {uint8_t(ch), uint8_t(ch >> 8)});
  struct Case {
    const char* what;
    Bytes tag;
    std::u16string artist, title;
  } cases[] = {
      {"8-bit and UTF-16", Id3({{"TPE1", Text(0, "The Band")}, {"TIT2", utf16}}), u"The Band", u"Ærøskøbing"},
      {"UTF-8", Id3({{"TIT2", Text(3, "Caf\xC3\xA9")}}, 4), u"", u"Café"},
      {"a huge frame size stops the walk",
       [] {
         Bytes t = Id3({{"TPE1", Text(0, "First")}, {"TXXX", Bytes(20, 1)}, {"TIT2", Text(0, "Unread")}});
         const size_t txxx = 10 + 10 + 6;
         t[txxx + 4] = 0xFF, t[txxx + 5] = 0xFF, t[txxx + 6] = 0xFF, t[txxx + 7] = 0xF6;
         return t;
       }(),
       u"First", u""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Bytes file = k.tag;
    Frames(file, 12);
    static Bytes block;
    block.assign(kBlockSectors * 512, 0);
    std::memcpy(block.data(), file.data(), file.size());
    CarveCandidate c;
    c.typeId = 54;
    c.startLba = 0;
    ASSERT_EQ(DetectFileEnd(c, 0, block.data(), block.size()), kEndKnown);
    ASSERT_NE(c.details, nullptr);
    CarvedFileMetadata m;
    std::memcpy(&m, c.details, sizeof m);
    FreeMem(c.details);
    EXPECT_EQ(std::u16string(m.person), k.artist);
    EXPECT_EQ(std::u16string(m.excerpt), k.title);
  }
}

TEST(Mp3End, DecodeId3Text) {
  struct Case {
    const char* what;
    Bytes data;
    bool ok;
    std::u16string text;
  } cases[] = {
      {"8-bit", Text(0, "Tune\0"), true, u"Tune"},
      {"UTF-16 little-endian", {1, 0xFF, 0xFE, 'A', 0, 'b', 0}, true, u"Ab"},
      {"UTF-16 without a mark", {1, 'A', 0, 'b', 0}, false, u""},
      {"UTF-16 big-endian", {1, 0xFE, 0xFF, 0, 'A', 0, 'b'}, false, u""},
      {"UTF-16 of the mark alone", {1, 0xFF, 0xFE}, false, u""},
      {"UTF-8", Text(3, "\xC3\x85sa"), true, u"Åsa"},
      {"UTF-16 big-endian encoding 2", {2, 0, 'A'}, false, u""},
      {"one byte", {0}, false, u""},
      {"longer than 259 bytes", Text(0, std::string(259, 'x')), false, u""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    CString text;
    EXPECT_EQ(DecodeId3Text(k.data.data(), k.data.size(), text), k.ok);
    EXPECT_EQ(std::u16string(text.GetString()), k.text);
  }
}

TEST(Mp3End, FrameHeaders) {
  struct Case {
    uint8_t h[4];
    bool ok;
    uint32_t length;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, true, 417},  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz
      {{0xFF, 0xFB, 0x92, 0x64}, true, 418},  // the same with padding
      {{0xFF, 0xFD, 0x90, 0x64}, true, 522},  // layer II, 160 kbit/s
      {{0xFF, 0xFF, 0x90, 0x64}, true, 312},  // layer I, 288 kbit/s: 78 slots of 4 bytes
      {{0xFF, 0xF3, 0x90, 0x64}, true, 261},  // MPEG-2 layer III, 80 kbit/s, 22.05 kHz
      {{0xFF, 0xE3, 0x94, 0x64}, true, 480},  // MPEG-2.5 layer III, 80 kbit/s, 12 kHz
      {{0xFF, 0xFB, 0xF0, 0x64}, true, 0},    // bitrate index 15 measures nothing
      {{0xFF, 0xEB, 0x90, 0x64}, false, 0},   // reserved version
      {{0xFF, 0xF9, 0x90, 0x64}, false, 0},   // reserved layer
      {{0xFF, 0xFB, 0x9C, 0x64}, false, 0},   // reserved sampling rate
      {{0xFF, 0xFB, 0x00, 0x64}, false, 0},   // free bitrate
      {{0xFE, 0xFB, 0x90, 0x64}, false, 0},
      {{0xFF, 0x1B, 0x90, 0x64}, false, 0},
  };
  for (const Case& k : cases) {
    uint32_t length = 0;
    EXPECT_EQ(ReadMp3FrameHeader(k.h, length), k.ok) << std::hex << int(k.h[1]) << int(k.h[2]);
    if (k.ok) {
      EXPECT_EQ(length, k.length) << std::hex << int(k.h[1]) << int(k.h[2]);
    }
  }
}

// A stream whose last units lie near the end of the input: each unit wants 64 KiB behind it,
// which never comes; at the end of the input the walk goes on with what is there.
TEST(StreamEnds, DecidedAtTheEndOfTheInput) {
  Bytes mp3 = Id3({{"TPE1", Text(0, "Late")}});
  Frames(mp3, 40);
  // The last tag fills its sector, so nothing but the input's end follows it.
  const size_t flvLength = Flv({18, 9, 8, 9}).size();
  const Bytes flv = Flv({18, 9, 8, 9}, -1, nullptr, uint32_t((512 - flvLength % 512) % 512));
  const Bytes ps = ProgramStream(12, {0x00, 0x00, 0x01, 0xB9});
  struct Case {
    int32_t type;
    Bytes file;
  } cases[] = {{54, mp3}, {64, flv}, {82, ps}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.type);
    Bytes buffer((k.file.size() + 511) / 512 * 512, 0);
    std::memcpy(buffer.data(), k.file.data(), k.file.size());
    const uint64_t inputEnd = 500 + buffer.size() / 512;
    CarveCandidate c;
    c.typeId = k.type;
    c.startLba = 500;
    // The file ends exactly at the input's end, or inside its last sector.
    const int32_t first = DetectFileEnd(c, 500, buffer.data(), buffer.size());
    EXPECT_EQ(first, kEndNeedsMore);
    EXPECT_EQ(DetectFileEndAtInputEnd(c, 500, buffer.data(), buffer.size(), inputEnd), kEndKnown);
    EXPECT_EQ(c.size, k.file.size());
    if (c.details) FreeMem(c.details);
  }
}

}  // namespace
