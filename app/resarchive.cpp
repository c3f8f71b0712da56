#include "app/resarchive.h"

#include <cstring>

#include "base/heap.h"

void UnscrambleArchive(uint8_t* bytes, size_t length) {
  if (!bytes) return;
  for (size_t i = 0; i + 1 < length; i += 2) {
    bytes[i] ^= uint8_t(kArchiveScrambleWord & 0xFF);
    bytes[i + 1] ^= uint8_t(kArchiveScrambleWord >> 8);
  }
}

namespace {

MemFile* AsMemFile(voidpf stream) { return static_cast<MemFile*>(stream); }

int MemFileClose(voidpf, voidpf) { return 0; }
int MemFileError(voidpf, voidpf) { return 0; }

}  // namespace

voidpf MemFileOpen(voidpf, const char* name, int) {
  // The ZIP reader passes our MemFile through its file-name argument.
  MemFile* f = reinterpret_cast<MemFile*>(const_cast<char*>(name));
  if (!f || f->size == 0 || !f->data) return nullptr;
  f->pos = 0;
  return f;
}

uLong MemFileRead(voidpf, voidpf stream, void* buf, uLong size) {
  MemFile* f = AsMemFile(stream);
  if (!f || !f->data || !buf || f->pos >= f->size) return 0;
  const uLong n = size < uLong(f->size - f->pos) ? size : uLong(f->size - f->pos);
  memcpy(buf, f->data + f->pos, n);
  f->pos += uint32_t(n);
  return n;
}

uLong MemFileWrite(voidpf, voidpf stream, const void* buf, uLong size) {
  MemFile* f = AsMemFile(stream);
  if (!f || !f->data || !buf || f->pos >= f->size) return 0;
  const uLong n = size < uLong(f->size - f->pos) ? size : uLong(f->size - f->pos);
  memcpy(f->data + f->pos, buf, n);
  f->pos += uint32_t(n);
  return n;
}

long MemFileTell(voidpf, voidpf stream) {
  MemFile* f = AsMemFile(stream);
  if (!f || !f->data) return -1;
  return long(f->pos);
}

long MemFileSeek(voidpf, voidpf stream, uLong offset, int origin) {
  MemFile* f = AsMemFile(stream);
  if (!f || !f->data) return -1;
  uint64_t pos;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      pos = offset;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      pos = uint64_t(f->pos) + offset;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      // Counts back from the end (size - offset) where a file seek would add. The ZIP reader's
      // offset is unsigned and only ever 0 for this origin, so both agree in every real call.
      if (offset > f->size) return -1;
      pos = uint64_t(f->size) - offset;
      break;
    default:
      return -1;
  }
  // A position past the end reads nothing; one beyond 32 bits cannot be held.
  if (pos > 0xFFFFFFFFull) return -1;
  f->pos = uint32_t(pos);
  return 0;
}

void FillMemFileFuncs(zlib_filefunc_def* table) {
  table->zopen_file = MemFileOpen;
  table->zread_file = MemFileRead;
  table->zwrite_file = MemFileWrite;
  table->ztell_file = MemFileTell;
  table->zseek_file = MemFileSeek;
  table->zclose_file = MemFileClose;
  table->zerror_file = MemFileError;
  table->opaque = nullptr;
}

bool ReadZipEntryToMemory(MemFile* file, zlib_filefunc_def* funcs, const CString& name, uint8_t*& out,
                          uint32_t& length) {
  out = nullptr;
  length = 0;
  if (!file || !funcs || name.IsEmpty()) return false;
  unzFile zip = unzOpen2(reinterpret_cast<const char*>(file), funcs);
  if (!zip) return false;
  bool ok = false;
  const std::string ansiName = name.ToAnsi();
  unz_file_info info;
  // Case sensitivity 2: names compare without regard to case.
  if (unzLocateFile(zip, ansiName.c_str(), 2) == UNZ_OK &&
      unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
      info.uncompressed_size >= 1 && info.uncompressed_size <= kMaxArchiveEntry &&
      unzOpenCurrentFile(zip) == UNZ_OK) {
    const uint32_t size = uint32_t(info.uncompressed_size);
    uint8_t* buf = static_cast<uint8_t*>(AllocMem(size, 60));
    uint32_t got = 0;
    while (got < size) {
      const int n = unzReadCurrentFile(zip, buf + got, size - got);
      if (n <= 0) break;
      got += uint32_t(n);
    }
    // Closing checks the CRC once the whole entry was read: a damaged entry is a failed read.
    const int closed = unzCloseCurrentFile(zip);
    if (got == size && closed == UNZ_OK) {
      out = buf;
      length = size;
      ok = true;
    } else {
      FreeMem(buf);
    }
  }
  unzClose(zip);
  return ok;
}
