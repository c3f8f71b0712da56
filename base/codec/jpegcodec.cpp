// JPEG through libjpeg(-turbo): decoding (scaled in the DCT for pictures shown small) and
// encoding into a growing memory buffer. The library's fatal errors jump back here through
// setjmp/longjmp and become a failed decode; its warnings (damaged or cut-short scan data,
// which it fills with grey) are silent, so a partly overwritten photo still shows what is left.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "base/codec/codecinternal.h"

namespace {

// A progressive file may declare any number of scans, each a pass over every coefficient; real
// encoders use about ten. Past this many the file is treated as hostile.
constexpr int kMaxScans = 500;

struct ErrorJump {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  auto* e = reinterpret_cast<ErrorJump*>(info->err);
  longjmp(e->jump, 1);
}

void Silent(j_common_ptr) {}

void LimitScans(j_common_ptr info) {
  if (!info->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(info);
  if (d->input_scan_number > kMaxScans) JumpOnError(info);
}

void SetUpErrors(ErrorJump& err) {
  jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JumpOnError;
  err.mgr.output_message = Silent;
}

// Adobe files store CMYK inverted; others as plain ink amounts.
void CmykRow(const uint8_t* s, uint8_t* d, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x, s += 4, d += 3) {
    const unsigned c = inverted ? s[0] : 255u - s[0], m = inverted ? s[1] : 255u - s[1],
                   y = inverted ? s[2] : 255u - s[2], k = inverted ? s[3] : 255u - s[3];
    d[0] = uint8_t(y * k / 255);
    d[1] = uint8_t(m * k / 255);
    d[2] = uint8_t(c * k / 255);
  }
}

// The decoding proper. Every object that lives across the setjmp is plain data owned by the
// caller, so the jump skips no destructor.
ImageStatus DecodeJpegInto(ImageCodec& img, Bytes data, const DecodeBox& box, jpeg_decompress_struct& cinfo,
                           ErrorJump& err, uint8_t*& cmyk) {
  volatile ImageStatus status = ImageStatus::kCorrupt;
  if (setjmp(err.jump)) {
    // A picture whose rows were already coming keeps them: the rest stays as decoded so far.
    return status == ImageStatus::kOk ? ImageStatus::kOk : ImageStatus::kCorrupt;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = long(kMaxDecoderMemory);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(cinfo.image_width, cinfo.image_height)) return ImageStatus::kTooLarge;

  const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  const bool fourInks = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = grey ? JCS_GRAYSCALE : fourInks ? JCS_CMYK : JCS_EXT_BGR;
  cinfo.scale_num = 1;
  cinfo.scale_denom = ShrinkForBox(cinfo.image_width, cinfo.image_height, box);
  if (cinfo.scale_denom > 1) {
    // Fast enough for pictures that are made smaller at once anyway.
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
  }
  jpeg_calc_output_dimensions(&cinfo);
  const ImageStatus made = img.Create(cinfo.output_width, cinfo.output_height, grey ? 8 : 24);
  if (made != ImageStatus::kOk) return made;
  if (fourInks) {
    cmyk = static_cast<uint8_t*>(std::malloc(size_t(cinfo.output_width) * 4));
    if (!cmyk) return ImageStatus::kNoMemory;
  }
  jpeg_start_decompress(&cinfo);
  status = ImageStatus::kOk;
  const bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    const uint32_t y = cinfo.output_scanline;
    JSAMPROW row = fourInks ? cmyk : img.GetRow(y);
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    if (fourInks) CmykRow(cmyk, img.GetRow(y), cinfo.output_width, inverted);
  }
  jpeg_finish_decompress(&cinfo);
  return ImageStatus::kOk;
}

}  // namespace

ImageStatus DecodeJpeg(ImageCodec& img, Bytes data, const DecodeBox& box) {
  if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) return ImageStatus::kCorrupt;
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorJump err;
  SetUpErrors(err);
  jpeg_progress_mgr progress{};
  progress.progress_monitor = LimitScans;
  cinfo.err = &err.mgr;
  cinfo.progress = &progress;
  uint8_t* cmyk = nullptr;
  const ImageStatus s = DecodeJpegInto(img, data, box, cinfo, err, cmyk);
  std::free(cmyk);
  jpeg_destroy_decompress(&cinfo);
  return s;
}

namespace {

bool EncodeInto(const ImageCodec& img, int quality, jpeg_compress_struct& cinfo, ErrorJump& err, unsigned char*& buf,
                unsigned long& len) {
  if (setjmp(err.jump)) return false;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buf, &len);
  const bool grey = img.GetBpp() == 8;
  cinfo.image_width = img.GetWidth();
  cinfo.image_height = img.GetHeight();
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(img.GetRow(cinfo.next_scanline));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

bool ImageCodec::EncodeJpeg(std::vector<uint8_t>& out, int quality) const {
  out.clear();
  // An 8-bit picture is written as greyscale only when its palette is the grey ramp.
  if (!IsValid() || (bpp_ == 8 && !IsGreyRamp())) return false;
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorJump err;
  SetUpErrors(err);
  cinfo.err = &err.mgr;
  unsigned char* buf = nullptr;
  unsigned long len = 0;
  const bool ok = EncodeInto(*this, quality, cinfo, err, buf, len);
  jpeg_destroy_compress(&cinfo);
  if (ok && buf && len) out.assign(buf, buf + len);
  std::free(buf);
  return ok && !out.empty();
}
