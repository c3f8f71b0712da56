// Shared by the split and Recycle Bin tests: language texts with the Recycle Bin folder's
// name, synthetic volumes built from rows, and the paths a volume's tree shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/filetree.h"
#include "core/recordtable.h"
#include "core/tests/coretestenv.h"
#include "core/tests/recordfixture.h"
#include "platform/textconv.h"

inline void LoadSplitTestSettings() {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n",
                      CString(std::u16string(kCoreTestLang) + u"RecycleBin: Recycle Bin\r\n"));
  InitFileTypeTables();
}

constexpr uint16_t kDirDeleted = kRecDirectory;
constexpr uint16_t kFileInUse = kRecInUse;
constexpr uint16_t kFileDeleted = 0;

// A volume of the given type with root and lost folder, the rows stored and the tree linked
// (without the repair, which the hook would run).
inline void BuildVolume(VolumeContext& v, uint32_t type, std::initializer_list<RecordRow> rows) {
  ResetVolumeContext(v);
  v.type = type;
  CreateRootAndLostFolders(v);
  AddRows(v, rows);
  LinkFileTree(v, 0);
}

// "a/b" for every record reachable from the root, with " [D]" for a deleted entry and "/" after
// a directory; sorted. Walks the child lists, so it sees what a browsing user sees.
inline std::vector<std::string> TreePaths(const VolumeContext& v) {
  std::vector<std::string> out;
  struct Item {
    uint32_t id;
    std::string path;
  };
  std::vector<Item> stack{{kRootId, ""}};
  while (!stack.empty() && out.size() < 100000) {
    Item it = stack.back();
    stack.pop_back();
    const FileRecord* r = GetFileRecord(v, it.id, 0);
    if (!r) continue;
    for (uint32_t c : ChildList(r)) {
      const FileRecord* child = GetFileRecord(v, c, 0);
      if (!child || c == kRootId) continue;
      const bool dir = child->flags & kRecDirectory;
      const std::string p = it.path + Utf16ToUtf8(std::u16string(child->name)) + (dir ? "/" : "");
      out.push_back(p + ((child->flags & kRecInUse) ? "" : " [D]"));
      if (dir) stack.push_back({c, p});
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

using Paths = std::vector<std::string>;
