#include "core/filefilter.h"

#include "base/packedtime.h"
#include "base/textutil.h"
#include "core/itemquery.h"
#include "core/recordtable.h"
#include "core/walkguard.h"
#include "platform/wintime.h"

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// True when the word occurs in the name, ASCII letters compared without regard to case.
bool ContainsNoCase(std::u16string_view name, std::u16string_view word) {
  if (word.size() > name.size()) return false;
  for (size_t start = 0; start + word.size() <= name.size(); ++start) {
    size_t k = 0;
    while (k < word.size() && FoldAscii(name[start + k]) == FoldAscii(word[k])) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

bool IsVisibleFile(const FileRecord& r) { return (r.flags & kRecVisible) != 0; }

int MarkImpl(VolumeContext& v, uint32_t id, WalkGuard& guard, uint32_t depth) {
  FileRecord* r = GetFileRecord(v, id, 0);
  if (!r) return 0;
  if (!(r->flags & kRecDirectory)) return IsVisibleFile(*r) ? 1 : 0;
  int any = 0;
  for (uint32_t c : ChildIdList(r))
    if (c != kRootId && guard.Enter(c, depth + 1) && MarkImpl(v, c, guard, depth + 1)) any = 1;
  if (any) SetRecordFlags(*r, kRecVisible);
  else ClearRecordFlags(*r, kRecVisible);
  return any;
}

}  // namespace

uint32_t EndOfDayPacked(uint32_t year, uint32_t month, uint32_t day) { return PackTime(year, month, day, 23, 59, 59); }

FileFilterSettings MakeDefaultFileFilter(uint32_t year, uint32_t month, uint32_t day) {
  FileFilterSettings f;
  const uint32_t end = EndOfDayPacked(year, month, day);
  f.creationTo = end;
  f.modificationTo = end;
  f.accessTo = end;
  return f;
}

FileFilterSettings& FileFilter() {
  static auto& filter = *[] {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return new FileFilterSettings(MakeDefaultFileFilter(now.wYear, now.wMonth, now.wDay));
  }();
  return filter;
}

std::vector<CString>& FilterNameWords() {
  static auto& words = *new std::vector<CString>();
  return words;
}

void ParseFileFilterText() {
  std::vector<CString>& words = FilterNameWords();
  words.clear();
  CString text = FileFilter().keywords;
  text.Replace(u'*', u' ');
  text.Replace(u';', u' ');
  text.Replace(u'?', u' ');
  TrimBlanks(text);
  if (!text.IsEmpty()) SplitFilterWords(text, words);
}

int SplitFilterWords(const CString& text, std::vector<CString>& out) {
  std::u16string_view rest = text.View();
  size_t blank;
  while ((blank = rest.find(u' ')) != std::u16string_view::npos) {
    if (blank > 0) out.emplace_back(rest.substr(0, blank));
    rest.remove_prefix(blank + 1);
  }
  if (!rest.empty()) out.emplace_back(rest);
  return 1;
}

void MatchFileFilter(FileRecord* r) {
  if (!r || !r->name) return;
  ClearRecordFlags(*r, kRecVisible);
  if (r->flags & kRecDirectory) return;
  const FileFilterSettings& f = FileFilter();
  const uint64_t size = r->size;
  const uint32_t kib = uint32_t(size >> 10);
  if (kib < f.minSizeKiB || kib > f.maxSizeKiB) return;
  const CString name = RecordNameText(r);
  for (const CString& word : FilterNameWords())
    if (!ContainsNoCase(name.View(), word.View())) return;
  const uint32_t ctime = r->ctime;
  const uint32_t mtime = r->mtime;
  if (ctime != 0) {
    if (ctime < f.creationFrom || ctime > f.creationTo) return;
    if (mtime < f.modificationFrom || mtime > f.modificationTo) return;
  }
  SetRecordFlags(*r, kRecVisible);
}

int MarkVisibleDirectories(VolumeContext& v, uint32_t id) {
  WalkGuard guard(v.idLimit);
  guard.Enter(id, 0);
  return MarkImpl(v, id, guard, 0);
}
