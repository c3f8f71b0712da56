#include "deepscan/mp3frames.h"

#include <string>

#include "base/textutil.h"

namespace {

// Bitrates in kbit/s by version row and layer; index 15 is no bitrate and measures 0.
constexpr uint16_t kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2/2.5 layers II, III
};
constexpr uint32_t kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

bool ReadMp3FrameHeader(const uint8_t* h, uint32_t& length) {
  const uint32_t v = uint32_t(h[0]) | (uint32_t(h[1]) << 8) | (uint32_t(h[2]) << 16) | (uint32_t(h[3]) << 24);
  const uint32_t version = (v >> 11) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
  const uint32_t layer = (v >> 9) & 3;     // 3 layer I, 2 layer II, 1 layer III
  const uint32_t rateIndex = (v >> 18) & 3;
  const uint32_t bitrateIndex = (v >> 20) & 15;
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || version == 1 || layer == 0 || rateIndex == 3 || bitrateIndex == 0)
    return false;
  const bool mpeg1 = version == 3;
  const uint32_t row = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
  const uint32_t bitrate = kBitrates[row][bitrateIndex];
  const uint32_t rate = kSampleRates[mpeg1 ? 0 : (version == 2 ? 1 : 2)][rateIndex];
  const uint32_t padding = (v >> 17) & 1;
  uint32_t coefficient = 144, slot = 1;
  if (layer == 3) {
    coefficient = 12;
    slot = 4;
  } else if (layer == 1 && !mpeg1) {
    coefficient = 72;
  }
  length = (bitrate * 1000 * coefficient / rate + padding) * slot;
  return true;
}

bool DecodeId3Text(const uint8_t* data, uint64_t length, CString& text) {
  text = CString();
  if (length < 2 || length > 259) return false;
  const uint8_t* body = data + 1;
  const size_t n = size_t(length - 1);
  switch (data[0]) {
    case 0: {
      const char* s = reinterpret_cast<const char*>(body);
      text = AnsiInBufToCString(s, n, s, int(n));
      break;
    }
    case 1: {
      if (length <= 3 || body[0] != 0xFF || body[1] != 0xFE) break;
      std::u16string u;
      for (size_t i = 2; i + 1 < n; i += 2) {
        const char16_t ch = char16_t(body[i] | (body[i + 1] << 8));
        if (ch == 0) break;
        u.push_back(ch);
      }
      text = CString(u.c_str());
      break;
    }
    case 3: {
      std::string s(reinterpret_cast<const char*>(body), n);
      text = Utf8ToCString(s.c_str());  // ends at the first NUL
      break;
    }
    default: break;
  }
  return !text.IsEmpty();
}
