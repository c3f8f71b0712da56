// Small QuickTime box trees for the tests: boxes, the media headers, and whole tracks with
// their sample tables.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace qtb {

using Bytes = std::vector<uint8_t>;

inline Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes Be64(uint64_t v) {
  Bytes b = Be32(uint32_t(v >> 32));
  const Bytes lo = Be32(uint32_t(v));
  b.insert(b.end(), lo.begin(), lo.end());
  return b;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Text(const char* t) { return Bytes(t, t + std::strlen(t)); }

// A box with its 32-bit size; sizeOverride replaces the size field (a box that lies).
inline Bytes Box(const char* type, const Bytes& payload, int64_t sizeOverride = -1) {
  const uint32_t size = sizeOverride >= 0 ? uint32_t(sizeOverride) : uint32_t(8 + payload.size());
  return Cat({Be32(size), Text(type), payload});
}
// A box in the 64-bit form: size field 1, the 64-bit size after the type.
inline Bytes Box64(const char* type, uint64_t size, const Bytes& payload) {
  return Cat({Be32(1), Text(type), Be64(size), payload});
}
// A full box: version and flags before the payload.
inline Bytes FullBox(const char* type, uint8_t version, const Bytes& payload) {
  return Box(type, Cat({Bytes{version, 0, 0, 0}, payload}));
}

inline Bytes Mvhd(uint32_t created, uint32_t scale, uint32_t duration, uint8_t version = 0) {
  return FullBox("mvhd", version, Cat({Be32(created), Be32(created), Be32(scale), Be32(duration), Bytes(80)}));
}
inline Bytes Mdhd(uint32_t created, uint32_t scale, uint32_t duration) {
  return FullBox("mdhd", 0, Cat({Be32(created), Be32(created), Be32(scale), Be32(duration), Bytes(4)}));
}
inline Bytes Hdlr(const char* handler, const char* component = "mhlr") {
  return FullBox("hdlr", 0, Cat({Text(component), Text(handler), Bytes(12), Bytes{0}}));
}
inline Bytes Stsc(const std::vector<std::pair<uint32_t, uint32_t>>& runs) {
  Bytes body = Be32(uint32_t(runs.size()));
  for (const auto& [first, perChunk] : runs) body = Cat({body, Be32(first), Be32(perChunk), Be32(1)});
  return FullBox("stsc", 0, body);
}
inline Bytes Stsz(const std::vector<uint32_t>& sizes) {
  Bytes body = Cat({Be32(0), Be32(uint32_t(sizes.size()))});
  for (uint32_t s : sizes) body = Cat({body, Be32(s)});
  return FullBox("stsz", 0, body);
}
inline Bytes StszUniform(uint32_t size, uint32_t count) { return FullBox("stsz", 0, Cat({Be32(size), Be32(count)})); }
inline Bytes Stco(const std::vector<uint32_t>& offsets) {
  Bytes body = Be32(uint32_t(offsets.size()));
  for (uint32_t o : offsets) body = Cat({body, Be32(o)});
  return FullBox("stco", 0, body);
}
inline Bytes Co64(const std::vector<uint64_t>& offsets) {
  Bytes body = Be32(uint32_t(offsets.size()));
  for (uint64_t o : offsets) body = Cat({body, Be64(o)});
  return FullBox("co64", 0, body);
}

// trak → mdia → (mdhd, hdlr, minf → stbl → the given sample tables).
inline Bytes Trak(const char* handler, const Bytes& tables, uint32_t created = 0, uint32_t scale = 1000,
                  uint32_t duration = 5000) {
  const Bytes stbl = Box("stbl", Cat({FullBox("stsd", 0, Be32(0)), tables}));
  const Bytes minf = Box("minf", Cat({Box("vmhd", Bytes(12)), stbl}));
  return Box("trak", Box("mdia", Cat({Mdhd(created, scale, duration), Hdlr(handler), minf})));
}
inline Bytes Moov(const Bytes& children) { return Box("moov", children); }

// A video track of n samples of the given size, one chunk per sample at base + i * step.
inline Bytes SimpleVideoTrak(uint32_t n, uint32_t base = 4096, uint32_t step = 10000, uint32_t size = 9000) {
  std::vector<uint32_t> offsets, sizes;
  for (uint32_t i = 0; i < n; ++i) {
    offsets.push_back(base + i * step);
    sizes.push_back(size);
  }
  return Trak("vide", Cat({Stsc({{1, 1}}), Stsz(sizes), Stco(offsets)}));
}

}  // namespace qtb
