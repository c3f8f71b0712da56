// A zip archive held in memory, opened with the ZIP reader through the memory-file functions,
// and capped reads of its members. Internal to the document readers.
#pragma once

#include <cstdint>
#include <string>

#include <minizip/unzip.h>

#include "app/resarchive.h"

class ZipFromMemory {
 public:
  ZipFromMemory(const uint8_t* data, uint64_t size);
  ~ZipFromMemory();
  ZipFromMemory(const ZipFromMemory&) = delete;
  ZipFromMemory& operator=(const ZipFromMemory&) = delete;
  // False for bytes the reader cannot open (no end record, or more than 4 GiB).
  bool Open();
  unzFile Handle() const { return zip_; }

 private:
  MemFile file_{};
  zlib_filefunc_def funcs_{};
  bool fits_ = false;
  unzFile zip_ = nullptr;
};

enum class ZipMemberRead { kWhole, kCut, kFailed };
// Inflates the current member into out, at most cap bytes: kWhole when it ended below cap,
// kCut when cap bytes were read (more may follow), kFailed when it could not be opened or
// its data were damaged before anything was read. Damaged data after some bytes keeps those
// bytes (kCut).
ZipMemberRead ReadZipMemberPrefix(unzFile zip, uint64_t cap, std::string& out);
