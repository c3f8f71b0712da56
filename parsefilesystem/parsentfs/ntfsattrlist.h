// Files whose attributes do not fit one MFT record. Their base record holds an attribute list
// ($ATTRIBUTE_LIST, in the record or in clusters of its own) naming the extension records that
// hold the rest: often the $FILE_NAME, and the $DATA attribute in pieces, each piece a run list
// for a range of virtual clusters (VCNs). The pieces are read from the MFT, checked to belong to
// the base record, and joined in VCN order into one extent list; a missing piece leaves an
// unreadable stretch at its place, so the file keeps its length and offsets but cannot be copied
// whole.
//
// Everything here reads hostile bytes: list entries, record numbers, VCN ranges and sizes are
// checked before use, and the number of records visited per file is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/dataextent.h"
#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

struct AttrListEntry {
  uint32_t type = 0;
  uint8_t nameLength = 0;
  uint64_t startVcn = 0;
  uint64_t record = 0;  // the low 48 bits of the file reference
};

// The entries of an attribute list's value, in order. An entry shorter than its fixed part or
// reaching past the list ends the walk.
std::vector<AttrListEntry> ParseAttributeListEntries(const uint8_t* list, uint32_t bytes);

// Reads MFT record number n through the MFT's extents and repairs it. False when no extent
// holds it, the read fails, or it is no "FILE" record carrying that number. lba receives the
// record's first sector.
bool ReadMftRecordByNumber(DiskReader& reader, const DataExtentList& mft, uint64_t n, uint8_t* record,
                           uint64_t* lba = nullptr);

// What a file's records hold of one attribute type, gathered through its attribute list.
struct ListedFile {
  bool haveName = false;
  int nameSpace = -1;
  std::u16string name;
  uint32_t parent = 0;
  uint16_t parentSequence = 0;
  uint64_t created = 0, modified = 0;  // FILETIMEs, 0 when not found
  bool haveData = false;
  bool resident = false;      // the data sits in the record at residentLba
  uint64_t residentLba = 0;
  uint64_t size = 0;          // real size of the unnamed $DATA attribute
  bool compressed = false;
  bool unsupported = false;   // compressed in units NTFS does not write
  DataExtentList extents;     // joined in VCN order; gaps and overlaps are unreadable
};

// Reads a record by number for the join; the default reads through fixed MFT extents.
using MftRecordSource = std::function<bool(uint64_t n, uint8_t* record, uint64_t* lba)>;

// Joins the attributes of the file whose repaired base record (number baseNumber, at baseLba)
// holds an attribute list. Extension records that do not name the base record as theirs are
// passed over. False when the base holds no readable list.
bool JoinAttributeList(DiskReader& reader, const VolumeContext& vol, const MftRecordSource& source,
                       const uint8_t* base, uint64_t baseNumber, uint64_t baseLba, ListedFile& out);
