#include "base/wholefile.h"

#include "base/heap.h"

bool ReadWholeFile(const CString& path, uint8_t*& buffer, uint32_t& length) {
  length = 0;
  CFile f;
  if (!f.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) return false;
  const uint64_t size = f.GetLength();
  if (size > kMaxWholeFile) return false;
  if (size == 0) return true;
  uint8_t* data = static_cast<uint8_t*>(AllocMem(size, 31));
  uint64_t got = 0;
  while (got < size) {
    const UINT n = f.Read(data + got, UINT(size - got));
    if (n == 0) break;
    got += n;
  }
  if (got != size) {
    FreeMem(data);
    return false;
  }
  buffer = data;
  length = uint32_t(size);
  return true;
}

bool TryFileWrite(CFile& file, const void* bytes, uint32_t length) { return file.Write(bytes, length) != 0; }

bool WriteWholeFile(const CString& path, const void* bytes, uint32_t length) {
  CFile f;
  if (!f.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite | CFile::typeBinary)) return false;
  // The write's own outcome is the result: a full disk must not be reported as success.
  bool ok = true;
  if (bytes && length) ok = TryFileWrite(f, bytes, length);
  if (!f.Flush()) ok = false;
  f.Close();
  return ok;
}
