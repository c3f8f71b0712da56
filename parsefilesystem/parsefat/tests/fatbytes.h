// Hand-built FAT bytes for the tests: directory entries, long-name entries, boot sectors, and
// small images written to temporary files.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "parsefilesystem/parsefat/fatformat.h"

using Entry = std::array<uint8_t, 32>;

inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// name11: 8 name bytes and 3 extension bytes, blank-padded.
inline Entry ShortEntry(const char* name11, uint8_t attr, uint32_t cluster, uint32_t size, uint16_t date = 0x5284,
                        uint16_t time = 0x5000) {
  Entry e{};
  std::memcpy(e.data(), name11, 11);
  e[11] = attr;
  Put16(&e[14], time);
  Put16(&e[16], date);
  Put16(&e[18], date);
  Put16(&e[20], cluster >> 16);
  Put16(&e[22], time);
  Put16(&e[24], date);
  Put16(&e[26], cluster & 0xFFFF);
  Put32(&e[28], size);
  return e;
}

// One long-name entry holding 13 characters of the text from index part * 13.
inline Entry LfnEntry(uint8_t seqByte, const std::u16string& text, uint32_t part, uint8_t checksum) {
  static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  Entry e{};
  e[0] = seqByte;
  e[11] = 0x0F;
  e[13] = checksum;
  for (int i = 0; i < 13; ++i) {
    const size_t at = part * 13 + size_t(i);
    const char16_t c = at < text.size() ? text[at] : at == text.size() ? u'\0' : u'\xFFFF';
    Put16(&e[kOffsets[i]], c);
  }
  return e;
}

// The long-name entries of a text for the short entry, in stored order.
inline std::vector<Entry> LfnRun(const std::u16string& text, const Entry& shortEntry) {
  const uint8_t sum = FatShortNameChecksum(shortEntry.data());
  const uint32_t parts = uint32_t((text.size() + 12) / 13);
  std::vector<Entry> run;
  for (uint32_t n = parts; n >= 1; --n) run.push_back(LfnEntry(uint8_t(n | (n == parts ? 0x40 : 0)), text, n - 1, sum));
  return run;
}

inline std::vector<uint8_t> Join(const std::vector<Entry>& entries) {
  std::vector<uint8_t> bytes;
  for (const Entry& e : entries) bytes.insert(bytes.end(), e.begin(), e.end());
  return bytes;
}

// A boot sector that passes the FAT16 predicate; tests change single fields.
inline std::array<uint8_t, 512> Fat16Boot() {
  std::array<uint8_t, 512> b{};
  b[0] = 0xEB;
  b[1] = 0x3C;
  b[2] = 0x90;
  Put16(&b[0x0B], 512);
  b[0x0D] = 4;
  Put16(&b[0x0E], 4);
  b[0x10] = 2;
  Put16(&b[0x11], 512);
  b[0x15] = 0xF8;
  Put16(&b[0x16], 100);
  Put16(&b[0x18], 63);
  Put16(&b[0x1A], 255);
  std::memcpy(&b[0x36], "FAT16   ", 8);
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

// A sparse image file in the temporary folder, written sector by sector.
class ImageFile {
 public:
  // Test processes may run at the same time: each gets its own file.
  ImageFile(const std::string& name, uint64_t sectors)
      : path_(std::string(testing::TempDir()) + std::to_string(getpid()) + "-" + name) {
    FILE* f = fopen(path_.c_str(), "wb");
    if (f) {
      fseek(f, long(sectors * 512 - 1), SEEK_SET);
      fputc(0, f);
      fclose(f);
    }
  }
  ~ImageFile() { remove(path_.c_str()); }
  void Write(uint64_t offset, const void* data, size_t n) {
    FILE* f = fopen(path_.c_str(), "r+b");
    if (!f) return;
    fseek(f, long(offset), SEEK_SET);
    fwrite(data, 1, n, f);
    fclose(f);
  }
  void WriteEntries(uint64_t lba, const std::vector<Entry>& entries) {
    const auto bytes = Join(entries);
    Write(lba * 512, bytes.data(), bytes.size());
  }
  void Put32At(uint64_t offset, uint32_t v) {
    uint8_t b[4];
    Put32(b, v);
    Write(offset, b, 4);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
