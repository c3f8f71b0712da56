// Hand-built MFT records and boot sectors for the NTFS tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "parsefilesystem/parsentfs/ntfsrecord.h"

// A packed record member as a value: the test macros bind references, which a member of a
// record at an 83-byte stride must not have.
template <class T>
T Val(T v) {
  return v;
}

inline void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void Put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// FILETIME of 2021-03-06 05:06:07 UTC plus seconds.
inline uint64_t TestFileTime(int64_t plusSeconds = 0) {
  return uint64_t(1615007167 + 11644473600LL + plusSeconds) * 10000000ull;
}

struct RecordBuilder {
  uint8_t b[kMftRecordBytes] = {};
  uint32_t pos = 0x38;

  explicit RecordBuilder(uint32_t number, uint16_t flags = 1, uint32_t baseRecord = 0) {
    std::memcpy(b, "FILE", 4);
    Put16(b + 0x04, 0x30);
    Put16(b + 0x06, 3);
    Put16(b + 0x14, 0x38);
    Put16(b + 0x16, flags);
    Put32(b + 0x20, baseRecord);
    Put32(b + 0x2C, number);
    Put32(b + pos, 0xFFFFFFFF);
  }
  uint32_t Resident(uint32_t type, const std::vector<uint8_t>& value) {
    const uint32_t at = pos;
    const uint32_t len = (0x18 + uint32_t(value.size()) + 7) & ~7u;
    Put32(b + at, type);
    Put32(b + at + 4, len);
    Put32(b + at + 0x10, uint32_t(value.size()));
    Put16(b + at + 0x14, 0x18);
    std::memcpy(b + at + 0x18, value.data(), value.size());
    pos += len;
    Put32(b + pos, 0xFFFFFFFF);
    return at;
  }
  uint32_t NonResident(uint32_t type, uint64_t realSize, const std::vector<uint8_t>& runs) {
    const uint32_t at = pos;
    const uint32_t len = (0x40 + uint32_t(runs.size()) + 7) & ~7u;
    Put32(b + at, type);
    Put32(b + at + 4, len);
    b[at + 8] = 1;
    Put16(b + at + 0x20, 0x40);
    Put64(b + at + 0x30, realSize);
    std::memcpy(b + at + 0x40, runs.data(), runs.size());
    pos += len;
    Put32(b + pos, 0xFFFFFFFF);
    return at;
  }
  uint32_t StandardInfo(uint64_t created, uint64_t modified) {
    std::vector<uint8_t> v(48);
    Put64(v.data(), created);
    Put64(v.data() + 8, modified);
    return Resident(kAttrStandardInfo, v);
  }
  uint32_t FileName(uint32_t parent, const std::u16string& name, uint8_t nameSpace) {
    std::vector<uint8_t> v(0x42 + name.size() * 2);
    Put32(v.data(), parent);
    v[0x40] = uint8_t(name.size());
    v[0x41] = nameSpace;
    std::memcpy(v.data() + 0x42, name.data(), name.size() * 2);
    return Resident(kAttrFileName, v);
  }
};

// A boot sector as mkntfs writes it with -S 63 -H 255.
inline std::vector<uint8_t> TestBootSector(uint8_t spc = 8, uint64_t total = 131071, uint64_t mftLcn = 4,
                                           uint64_t mirrLcn = 8191) {
  std::vector<uint8_t> s(512);
  s[0] = 0xEB;
  s[1] = 0x52;
  s[2] = 0x90;
  std::memcpy(s.data() + 3, "NTFS    ", 8);
  Put16(s.data() + 0x0B, 512);
  s[0x0D] = spc;
  s[0x15] = 0xF8;
  Put16(s.data() + 0x18, 63);
  Put16(s.data() + 0x1A, 255);
  Put64(s.data() + 0x28, total);
  Put64(s.data() + 0x30, mftLcn);
  Put64(s.data() + 0x38, mirrLcn);
  s[0x40] = 0xF6;
  s[0x1FE] = 0x55;
  s[0x1FF] = 0xAA;
  return s;
}
