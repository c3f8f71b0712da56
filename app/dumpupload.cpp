// Upload and removal of crash-dump files in the program folder.
#include <algorithm>
#include <cstring>

#include "app/reports.h"
#include "base/heap.h"
#include "base/pathutil.h"
#include "platform/fileio.h"
#include "platform/textconv.h"

void FindDumpFiles(std::vector<CString>& paths, std::vector<CString>& names) {
  paths.clear();
  names.clear();
  const CString dir = GetExeDir();
  if (dir.IsEmpty()) return;
  CFileFind find;
  // The extension in any letter case, as the folder listings of the original platform match.
  BOOL more = find.FindFile(dir + u"*.[dD][mM][pP]");
  while (more) {
    more = find.FindNextFile();
    if (find.IsDots() || find.IsDirectory()) continue;
    paths.push_back(find.GetFilePath());
    names.push_back(find.GetFileName());
  }
}

bool UploadDump(const CString& path) {
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyRead)) return false;
  const ULONGLONG size = file.GetLength();
  bool delivered = false;
  if (size > 0 && size < kMaxDumpUploadBytes) {
    const uint32_t length = uint32_t(sizeof(DumpUploadPacket) + size);
    uint8_t* packet = static_cast<uint8_t*>(AllocMem(length, 36));
    memcpy(packet, "RVK ", 4);
    for (int i = 0; i < 4; ++i) packet[4 + i] = uint8_t(length >> (8 * i));
    packet[8] = uint8_t(kReportKindDump & 0xFF);
    packet[9] = uint8_t(kReportKindDump >> 8);
    int slash = path.FindOneOf(u"\\/") < 0 ? -1 : std::max(path.ReverseFind(u'\\'), path.ReverseFind(u'/'));
    std::string name = Utf16ToAnsi(path.Mid(slash + 1).View());
    CopyToMemAt(packet, offsetof(DumpUploadPacket, name), name.data(),
                std::min<size_t>(name.size(), sizeof(DumpUploadPacket::name)), 41);
    // A file that shrank meanwhile is not sent with a tail of zeros.
    if (file.Read(packet + sizeof(DumpUploadPacket), UINT(size)) == UINT(size))
      delivered = SendPacket(packet, length, nullptr, nullptr, kReportPort);
    FreeMem(packet);
  }
  file.Close();
  // Deleted whether or not the upload reached the server: a dump is offered once.
  DeleteFileW(path);
  return delivered;
}

void UploadFirstLeftoverDump() {
  std::vector<CString> paths, names;
  FindDumpFiles(paths, names);
  if (!paths.empty()) (void)UploadDump(paths.front());
}
