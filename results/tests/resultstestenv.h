// Shared by the thumbnail-list and preview-window tests: settings and language texts, a
// VolumeList with one scanned volume built from rows, thumbnails put straight into a preview
// cache, and pictures made with the project's own encoder.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "app/settings.h"
#include "base/codec/imagecodec.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtypes.h"
#include "core/preview/previewworker.h"
#include "core/recordtable.h"
#include "core/volumelist.h"

namespace results_test {

constexpr uint32_t kSlot = 4;

inline const char16_t kLang[] =
    u"Files: Files\r\nShowDetail: Details\r\nRecover: Recover\r\nOpen: Open\r\nPreview: Preview\r\n"
    u"Rename: Rename\r\nRightClickToRecover: Right-click a file to recover\r\n"
    u"RightClickToOpen: Right-click a file to open\r\nRightClickToRename: Right-click a file to rename\r\n"
    u"RightClickToPreview: Right-click a file to preview\r\nOpenFileFailed: Opening failed\r\n"
    u"RenameOK: Renamed\r\nRenameFailed: Not renamed\r\nFileBigName: Name\r\nFileBigSize: Size\r\n"
    u"CreateBigTime: Created\r\nFixBigTime: Modified\r\nBrowseHex: Hex\r\nBrowseImg: Picture\r\n"
    u"BrowseText: Text\r\nClose: Close\r\nClickRightRecoverButton: Recover it on the right\r\n"
    u"ClickBelowRecoverButton: Recover it below\r\nMustClickRecoverButton: Recover it to see it\r\n"
    u"PreparePreview: Preparing the preview\r\nOK: OK\r\nMessage: Message\r\n";

inline void LoadResultsTestSettings(const CString& brand = u"Tesmur") {
  LoadSettingsForTest(brand, u"Pro", u"Default-Key: 101\r\n", kLang);
  InitFileTypeTables();
}

struct Row {
  uint32_t id;
  uint32_t parent;
  const char16_t* name;
  bool dir = false;
  uint8_t type = 234;
  uint64_t size = 1000;
  uint64_t lba = 0;
};

// A list (on the heap: it is large) with a scanned volume in slot 4, cleared at the end.
struct ListHolder {
  std::unique_ptr<VolumeList> owned = std::make_unique<VolumeList>();
  VolumeList& list = *owned;
  PreviewService service{list};

  ListHolder() { list.mode = kModeByPath; }
  ~ListHolder() {
    service.ClearPreviewCache();
    ClearVolumeList(list);
  }
  void Build(std::initializer_list<Row> rows) { Build(std::vector<Row>(rows)); }
  void Build(const std::vector<Row>& rows) {
    VolumeContext& v = list.slots[kSlot];
    ResetVolumeContext(v);
    v.type = kVolTypeNtfs;
    v.label = u"Data";
    CreateRootAndLostFolders(v);
    for (const Row& r : rows) Add(r);
    list.slotCount = kSlot + 1;
  }
  void Add(const Row& row) {
    FileRecord r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.id = row.id;
    r.parent = row.parent;
    r.flags = uint16_t(kRecInUse | (row.dir ? kRecDirectory : 0));
    r.typeId = row.dir ? 234 : row.type;
    r.size = row.dir ? 0 : row.size;
    r.lba = row.lba ? row.lba : 1000 + row.id;
    SetRecordName(r, row.name);
    ASSERT_EQ(AddFileRecord(list.slots[kSlot], r, 1), row.id);
  }
  FileRecord& Rec(uint32_t id) { return *GetItemRecord(list, kSlot, id); }
  // Makes the record's thumbnail ready with the blob as the worker would have left it.
  void PutThumbnail(uint32_t id, uint8_t* blob) {
    FileRecord& r = Rec(id);
    PreviewRequest q;
    q.lba = r.lba;
    q.size = r.size;
    q.type = r.typeId;
    service.StorePreviewCache(q, blob);
    SetRecordFlags(r, kRecPreviewReady);
  }
};

// A picture of one colour (RGB) made with the project's own JPEG encoder.
inline std::vector<uint8_t> SolidJpeg(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
  ImageCodec img;
  EXPECT_EQ(img.Create(w, h, 24), ImageStatus::kOk);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = img.GetRow(y) + 3 * x;
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  std::vector<uint8_t> jpeg;
  EXPECT_TRUE(img.EncodeJpeg(jpeg));
  return jpeg;
}

inline bool Near(COLORREF a, COLORREF b, int tol = 24) {
  auto d = [](int x, int y) { return x > y ? x - y : y - x; };
  return d(GetRValue(a), GetRValue(b)) <= tol && d(GetGValue(a), GetGValue(b)) <= tol &&
         d(GetBValue(a), GetBValue(b)) <= tol;
}

}  // namespace results_test
