#include "deepscan/doctext/zipmemory.h"

#include <algorithm>

ZipFromMemory::ZipFromMemory(const uint8_t* data, uint64_t size) {
  fits_ = data && size <= UINT32_MAX;
  file_ = MemFile{fits_ ? uint32_t(size) : 0, 0, const_cast<uint8_t*>(data)};
  FillMemFileFuncs(&funcs_);
}

ZipFromMemory::~ZipFromMemory() {
  if (zip_) unzClose(zip_);
}

bool ZipFromMemory::Open() {
  if (!fits_) return false;
  if (!zip_) zip_ = unzOpen2(reinterpret_cast<const char*>(&file_), &funcs_);
  return zip_ != nullptr;
}

ZipMemberRead ReadZipMemberPrefix(unzFile zip, uint64_t cap, std::string& out) {
  out.clear();
  if (!zip || unzOpenCurrentFile(zip) != UNZ_OK) return ZipMemberRead::kFailed;
  ZipMemberRead result = ZipMemberRead::kCut;
  char buf[16384];
  while (out.size() < cap) {
    const unsigned want = unsigned(std::min<uint64_t>(sizeof buf, cap - out.size()));
    const int n = unzReadCurrentFile(zip, buf, want);
    if (n == 0) {
      result = ZipMemberRead::kWhole;
      break;
    }
    if (n < 0) {
      result = out.empty() ? ZipMemberRead::kFailed : ZipMemberRead::kCut;
      break;
    }
    out.append(buf, size_t(n));
  }
  unzCloseCurrentFile(zip);
  return result;
}
