// Member listings of zip and RAR archives: compression ratio, date and name per member.
// Names are 8-bit text of the ANSI code page.
#include <algorithm>

#include "app/settings.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/fileendrules.h"
#include "platform/textconv.h"

namespace {

constexpr uint8_t kRarMark = 0x72, kRarMain = 0x73, kRarFile = 0x74, kRarSub = 0x7A, kRarEnd = 0x7B;
constexpr uint16_t kRarAddedSize = 0x8000, kRarLargeSizes = 0x100;
constexpr uint32_t kRarFileHead = 32, kRarMaxName = 260;
// A listing is cut to this many characters; more members are not listed.
constexpr uint32_t kListingChars = kListingBytes / 2;

CString Heading() { return GetLangStr(u"ZipDetail") + u"\r\n"; }

// "p%" padded so that the dates line up, the DOS date and time (local already), the name.
void AppendLine(CString& text, uint64_t percent, uint32_t dosDate, uint32_t dosTime, std::string_view name) {
  const char16_t* pad = percent < 10 ? u"      " : percent < 100 ? u"     " : u"    ";
  text.AppendFormat(u"%llu%%%s%04u-%02u-%02u %02u:%02u   ", (unsigned long long)percent, pad,
                    ((dosDate >> 9) & 0x7F) + 1980, (dosDate >> 5) & 0x0F, dosDate & 0x1F, (dosTime >> 11) & 0x1F,
                    (dosTime >> 5) & 0x3F);
  text += std::u16string_view(AnsiToUtf16(name));
  text += u"\r\n";
}

void ListRarEntriesBody(const uint8_t* block, uint64_t avail, CString& text) {
  if (avail < kRarFileHead) return;
  const uint16_t flags = FeLe16(block + 3);
  const uint32_t unpacked = FeLe32(block + 11);
  const uint16_t nameLength = FeLe16(block + 26);
  if ((flags & kRarLargeSizes) || unpacked == 0 || nameLength > kRarMaxName) return;
  if (nameLength > avail - kRarFileHead) return;
  const uint64_t percent = uint64_t(FeLe32(block + 7)) * 100 / unpacked;
  const uint32_t stamp = FeLe32(block + 20);
  std::string_view name(reinterpret_cast<const char*>(block + kRarFileHead), nameLength);
  name = name.substr(0, name.find('\0'));
  AppendLine(text, percent, stamp >> 16, stamp & 0xFFFF, name);
}

}  // namespace

bool ListZipEntries(unzFile zip, CString& text) {
  text.Empty();
  unz_global_info64 global;
  if (!zip || unzGetGlobalInfo64(zip, &global) != UNZ_OK) return false;
  text = Heading();
  for (int r = unzGoToFirstFile(zip); r == UNZ_OK && uint32_t(text.GetLength()) <= kListingChars;
       r = unzGoToNextFile(zip)) {
    unz_file_info64 info;
    char name[1024];
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    if (info.uncompressed_size == 0) continue;
    // A ratio of 0% (a member that packs below one hundredth) gets no line.
    const unsigned __int128 percent = (unsigned __int128)info.compressed_size * 100 / info.uncompressed_size;
    if (percent == 0) continue;
    std::string_view shown(name, std::min<size_t>(info.size_filename, sizeof name));
    shown = shown.substr(0, shown.find('\0'));
    AppendLine(text, uint64_t(percent > UINT64_MAX ? UINT64_MAX : percent), uint32_t(info.dosDate >> 16),
               uint32_t(info.dosDate & 0xFFFF), shown);
  }
  return true;
}

bool ListRarEntries(const uint8_t* data, uint64_t size, CString& text) {
  text = Heading();
  if (!data) return false;
  uint64_t at = 0;
  while (size - at >= 7 && uint32_t(text.GetLength()) <= kListingChars) {
    const uint8_t* block = data + at;
    const uint8_t type = block[2];
    const uint16_t flags = FeLe16(block + 3);
    const uint16_t headSize = FeLe16(block + 5);
    if (type != kRarMark && type != kRarMain && type != kRarFile && type != kRarSub && type != kRarEnd) break;
    if (type == kRarFile) ListRarEntriesBody(block, size - at, text);
    if (type == kRarEnd && headSize == 7) break;
    // A header shorter than its own fixed part would never move the walk on.
    if (headSize < 7) break;
    uint64_t next = at + headSize;
    if (flags & kRarAddedSize) {
      if (size - at < 11) break;
      next += FeLe32(block + 7);
    }
    if (next > size) break;
    at = next;
  }
  if (uint32_t(text.GetLength()) > kListingChars) text.Truncate(int(kListingChars));
  return true;
}
