// The "VideoFile" view the video rebuilds publish into, with the rebuilt videos of one record
// type and their data extents, for the rebuild tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/settings.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "deepscan/mtsrebuild.h"

template <uint8_t kVideoType>
struct VideoVolumeOf {
  VolumeContext v;
  VideoVolumeOf() {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
    InitFileTypeTables();
    v = MakeVideoFileView(CString(u"image"));
  }
  ~VideoVolumeOf() { FreeAllFileRecords(v); }
  // The rebuilt videos: file records of the video type below their folder.
  std::vector<FileRecord*> Videos() {
    std::vector<FileRecord*> out;
    for (uint32_t id = kTypeViewFirstFileId; id < v.idLimit; ++id)
      if (FileRecord* r = GetFileRecord(v, id); r && r->typeId == kVideoType && !(r->flags & kRecDirectory))
        out.push_back(r);
    return out;
  }
  std::vector<DataExtent> Extents(FileRecord* r) {
    DataExtentList e;
    EXPECT_EQ(FormatByteRanges(*r, e), 1);
    return std::vector<DataExtent>(e.begin(), e.end());
  }
};
