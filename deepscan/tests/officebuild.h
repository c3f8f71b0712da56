// Small compound files and zip archives built in memory for the office format tests, with the
// places a test patches to damage them.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace officebuild {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline void Add16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Add32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void AddText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

constexpr uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSect = 0xFFFFFFFD;

struct Stream {
  std::u16string name;
  Bytes data;
};

// A version 3 compound file: header, FAT sectors, directory, mini FAT, mini stream, then the
// streams of 4096 bytes or more, every sector in use. Streams sit below the root entry in the
// given order. Sector n lies at byte (n + 1) * 512.
struct Cfb {
  Bytes bytes;
  uint32_t fatSectors = 0;
  uint32_t dirStart = 0;      // sector
  uint32_t miniStreamStart = 0;
  uint32_t usedSectors = 0;
  size_t FatEntry(uint32_t n) const { return 512 + 4 * size_t(n); }  // with the FAT in sector 0 onwards
  size_t DirEntry(uint32_t i) const { return (size_t(dirStart) + 1) * 512 + 128 * size_t(i); }
};

inline Bytes DirEntryBytes(const std::u16string& name, uint8_t kind, uint32_t start, uint32_t size, uint32_t child,
                           uint32_t right) {
  Bytes e(128, 0);
  for (size_t i = 0; i < name.size() && i < 31; ++i) Put16(e, 2 * i, name[i]);
  Put16(e, 64, uint16_t((name.size() + 1) * 2));
  e[66] = kind;
  e[67] = 1;
  Put32(e, 68, kFree);
  Put32(e, 72, right);
  Put32(e, 76, child);
  Put32(e, 116, start);
  Put32(e, 120, size);
  return e;
}

inline Cfb BuildCfb(const std::vector<Stream>& streams) {
  Bytes mini;
  std::vector<uint32_t> miniFat;
  std::vector<std::pair<bool, uint32_t>> where;  // in the mini stream?, first sector
  std::vector<const Bytes*> big;
  for (const Stream& s : streams) {
    if (s.data.size() < 4096) {
      const uint32_t first = uint32_t(mini.size() / 64);
      const uint32_t count = uint32_t((s.data.size() + 63) / 64);
      for (uint32_t i = 0; i < count; ++i) miniFat.push_back(i + 1 < count ? first + i + 1 : kEnd);
      where.push_back({true, count ? first : kEnd});
      mini.insert(mini.end(), s.data.begin(), s.data.end());
      mini.resize((mini.size() + 63) / 64 * 64, 0);
    } else {
      where.push_back({false, 0});
      big.push_back(&s.data);
    }
  }
  const uint32_t dirSectors = uint32_t(((streams.size() + 1) * 128 + 511) / 512);
  const uint32_t miniFatSectors = uint32_t((miniFat.size() * 4 + 511) / 512);
  const uint32_t miniSectors = uint32_t((mini.size() + 511) / 512);
  uint32_t body = dirSectors + miniFatSectors + miniSectors;
  for (const Bytes* d : big) body += uint32_t((d->size() + 511) / 512);
  uint32_t fatSectors = 1;
  while (fatSectors * 128 < body + fatSectors) ++fatSectors;

  std::vector<uint32_t> fat(fatSectors, kFatSect);
  auto chain = [&fat](uint32_t count) {
    const uint32_t start = uint32_t(fat.size());
    for (uint32_t i = 0; i < count; ++i) fat.push_back(i + 1 < count ? start + i + 1 : kEnd);
    return count ? start : kEnd;
  };
  Cfb out;
  out.fatSectors = fatSectors;
  out.dirStart = chain(dirSectors);
  const uint32_t miniFatStart = chain(miniFatSectors);
  out.miniStreamStart = chain(miniSectors);
  std::vector<uint32_t> bigStarts;
  for (const Bytes* d : big) bigStarts.push_back(chain(uint32_t((d->size() + 511) / 512)));
  out.usedSectors = uint32_t(fat.size());
  fat.resize(size_t(fatSectors) * 128, kFree);

  Bytes dir = DirEntryBytes(u"Root Entry", 5, out.miniStreamStart, uint32_t(mini.size()), streams.empty() ? kFree : 1,
                            kFree);
  size_t b = 0;
  for (size_t i = 0; i < streams.size(); ++i) {
    const uint32_t start = where[i].first ? where[i].second : bigStarts[b++];
    const Bytes e = DirEntryBytes(streams[i].name, 2, start, uint32_t(streams[i].data.size()), kFree,
                                  i + 1 < streams.size() ? uint32_t(i + 2) : kFree);
    dir.insert(dir.end(), e.begin(), e.end());
  }

  Bytes& o = out.bytes;
  o.assign(512, 0);
  const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(o.data(), sig, 8);
  Put16(o, 24, 0x3E);
  Put16(o, 26, 3);
  Put16(o, 28, 0xFFFE);
  Put16(o, 30, 9);
  Put16(o, 32, 6);
  Put32(o, 44, fatSectors);
  Put32(o, 48, out.dirStart);
  Put32(o, 56, 4096);
  Put32(o, 60, miniFatSectors ? miniFatStart : kEnd);
  Put32(o, 64, miniFatSectors);
  Put32(o, 68, kEnd);
  Put32(o, 72, 0);
  for (uint32_t i = 0; i < 109; ++i) Put32(o, 76 + 4 * i, i < fatSectors ? i : kFree);
  for (uint32_t v : fat) Add32(o, v);
  auto addPadded = [&o](const Bytes& d) {
    o.insert(o.end(), d.begin(), d.end());
    o.resize((o.size() + 511) / 512 * 512, 0);
  };
  addPadded(dir);
  Bytes mf;
  for (uint32_t v : miniFat) Add32(mf, v);
  if (!mf.empty()) addPadded(mf);
  if (!mini.empty()) addPadded(mini);
  for (const Bytes* d : big) addPadded(*d);
  return out;
}

inline Bytes Filled(size_t n, uint8_t seed) {
  Bytes b(n);
  uint32_t s = seed * 2654435761u + 1;
  for (uint8_t& x : b) {
    s = s * 1103515245u + 12345u;
    x = uint8_t(s >> 16);
  }
  return b;
}

// A zip member: stored, or deflated; its sizes in the local header or in a data descriptor
// behind its data. The central sizes can be given apart (only listings read them).
struct Member {
  std::string name;
  Bytes data;
  bool deflate = false;
  bool descriptor = false;
  uint16_t dosDate = 0x5022;  // 2020-01-02
  uint16_t dosTime = 0x1880;  // 03:04:00
  int64_t centralPacked = -1, centralSize = -1;
};

inline Bytes Deflated(const Bytes& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, uLong(data.size())) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline Bytes BuildZip(const std::vector<Member>& members, const std::string& comment = "") {
  Bytes out, central;
  for (const Member& m : members) {
    const Bytes packed = m.deflate ? Deflated(m.data) : m.data;
    const uint32_t crc = uint32_t(crc32(0, m.data.data(), uInt(m.data.size())));
    const uint32_t offset = uint32_t(out.size());
    Add32(out, 0x04034B50);
    Add16(out, 20);
    Add16(out, m.descriptor ? 8 : 0);
    Add16(out, m.deflate ? 8 : 0);
    Add16(out, m.dosTime);
    Add16(out, m.dosDate);
    Add32(out, m.descriptor ? 0 : crc);
    Add32(out, m.descriptor ? 0 : uint32_t(packed.size()));
    Add32(out, m.descriptor ? 0 : uint32_t(m.data.size()));
    Add16(out, uint16_t(m.name.size()));
    Add16(out, 0);
    AddText(out, m.name);
    out.insert(out.end(), packed.begin(), packed.end());
    if (m.descriptor) {
      Add32(out, 0x08074B50);
      Add32(out, crc);
      Add32(out, uint32_t(packed.size()));
      Add32(out, uint32_t(m.data.size()));
    }
    Add32(central, 0x02014B50);
    Add16(central, 20);
    Add16(central, 20);
    Add16(central, m.descriptor ? 8 : 0);
    Add16(central, m.deflate ? 8 : 0);
    Add16(central, m.dosTime);
    Add16(central, m.dosDate);
    Add32(central, crc);
    Add32(central, uint32_t(m.centralPacked >= 0 ? m.centralPacked : int64_t(packed.size())));
    Add32(central, uint32_t(m.centralSize >= 0 ? m.centralSize : int64_t(m.data.size())));
    Add16(central, uint16_t(m.name.size()));
    Add16(central, 0);
    Add16(central, 0);
    Add16(central, 0);
    Add16(central, 0);
    Add32(central, 0);
    Add32(central, offset);
    AddText(central, m.name);
  }
  const uint32_t centralAt = uint32_t(out.size());
  out.insert(out.end(), central.begin(), central.end());
  Add32(out, 0x06054B50);
  Add16(out, 0);
  Add16(out, 0);
  Add16(out, uint16_t(members.size()));
  Add16(out, uint16_t(members.size()));
  Add32(out, uint32_t(central.size()));
  Add32(out, centralAt);
  Add16(out, uint16_t(comment.size()));
  AddText(out, comment);
  return out;
}

inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace officebuild
