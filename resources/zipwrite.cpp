#include "resources/zipwrite.h"

#include <cstring>

#include <minizip/zip.h>

#include "platform/textconv.h"

namespace {

// A growing byte vector seen as a file by minizip's writer.
struct GrowFile {
  std::vector<uint8_t>* bytes;
  size_t pos;
};

voidpf GrowOpen(voidpf, const char* name, int) {
  GrowFile* f = reinterpret_cast<GrowFile*>(const_cast<char*>(name));
  f->pos = 0;
  return f;
}

uLong GrowRead(voidpf, voidpf stream, void* buf, uLong size) {
  GrowFile* f = static_cast<GrowFile*>(stream);
  if (f->pos >= f->bytes->size()) return 0;
  const uLong n = std::min<uLong>(size, uLong(f->bytes->size() - f->pos));
  memcpy(buf, f->bytes->data() + f->pos, n);
  f->pos += n;
  return n;
}

uLong GrowWrite(voidpf, voidpf stream, const void* buf, uLong size) {
  GrowFile* f = static_cast<GrowFile*>(stream);
  if (f->pos + size > f->bytes->size()) f->bytes->resize(f->pos + size);
  memcpy(f->bytes->data() + f->pos, buf, size);
  f->pos += size;
  return size;
}

long GrowTell(voidpf, voidpf stream) { return long(static_cast<GrowFile*>(stream)->pos); }

long GrowSeek(voidpf, voidpf stream, uLong offset, int origin) {
  GrowFile* f = static_cast<GrowFile*>(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      f->pos = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      f->pos += offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_END:
      f->pos = f->bytes->size() + offset;
      return 0;
  }
  return -1;
}

int GrowClose(voidpf, voidpf) { return 0; }
int GrowError(voidpf, voidpf) { return 0; }

}  // namespace

bool BuildZipInMemory(const std::vector<ZipSourceEntry>& entries, std::vector<uint8_t>& out) {
  out.clear();
  GrowFile file{&out, 0};
  zlib_filefunc_def funcs = {GrowOpen, GrowRead, GrowWrite, GrowTell, GrowSeek, GrowClose, GrowError, nullptr};
  zipFile zip = zipOpen2(reinterpret_cast<const char*>(&file), APPEND_STATUS_CREATE, nullptr, &funcs);
  if (!zip) return false;
  bool ok = true;
  for (const ZipSourceEntry& e : entries) {
    zip_fileinfo info = {};
    if (zipOpenNewFileInZip(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION) != ZIP_OK) {
      ok = false;
      break;
    }
    if (!e.bytes.empty() && zipWriteInFileInZip(zip, e.bytes.data(), unsigned(e.bytes.size())) != ZIP_OK) ok = false;
    if (zipCloseFileInZip(zip) != ZIP_OK) ok = false;
    if (!ok) break;
  }
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok;
}

std::string Utf8ToUtf16LeFile(std::string_view utf8, bool withBom) {
  std::string normalized;
  normalized.reserve(utf8.size() + 64);
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;  // CR LF is written below
    if (utf8[i] == '\n') normalized += '\r';
    normalized += utf8[i];
  }
  std::u16string text = Utf8ToUtf16(normalized);
  if (withBom) text.insert(text.begin(), u'\uFEFF');
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out += char(c & 0xFF);
    out += char(c >> 8);
  }
  return out;
}
