// The carved-file view of a finished deep scan ("FindFile"), and the files known only from NTFS
// index records: matched by size with carved files, then given to an NTFS volume of the
// results or to a volume "OtherFile" of their own, in lost folders named by their parent.
//
// Everything here works on volumes of the end stage's result list, before they are published,
// on the consumer thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"

// Every file hit (kind up to 176) whose end detection neither waits (3) nor refused it (6)
// becomes a carved file of the volume, in list order, with its document metadata.
void AddCarvedFilesFromHits(VolumeContext& view, const std::vector<SectorHit>& hits);

// A complete hit (status 5) that lies wholly inside an earlier complete hit of the same kind,
// in whole sectors, is a part of it (a thumbnail inside a photo): it is removed from the list.
// hits are in LBA order.
void DropNestedHits(std::vector<SectorHit>& hits);

// (data start LBA, type) of a file of a parsed volume.
struct KnownFileStart {
  uint64_t lba;
  uint8_t type;
  bool operator<(const KnownFileStart& o) const { return lba != o.lba ? lba < o.lba : type < o.type; }
};
// The data starts of every file of the volumes (the carved-file view aside), sorted; false
// with nothing gathered when they hold fewer than 12 or more than 16,000,000 record ids in all.
bool CollectKnownFileStarts(std::vector<VolumeContext>& volumes, std::vector<KnownFileStart>& out);
// Gives status 6 to every file hit with the LBA and the type of a known start; the number of
// hits changed.
uint32_t MarkKnownFileHits(std::vector<SectorHit>& hits, const std::vector<KnownFileStart>& starts);

// A new carved-file view of the device: named by the language text "FindFile", type 14, its
// root and lost-files folder, ids below 233 kept for the category and type folders.
VolumeContext MakeFindFileView(const CString& devicePath);
// The carved files of the hits into the view, then its type folders tidied.
void FillFindFileView(VolumeContext& view, const std::vector<SectorHit>& hits);
// A type folder (36-176) without children disappears; a category folder (6-12) left without
// any child in use is marked not in use.
void RefreshTypeFolderNames(VolumeContext& view);
// The end stage's first result: nested hits dropped, the view built and appended, and the
// files known only from index records matched with its carved files.
void BuildFindFileView(const CString& devicePath, std::vector<SectorHit>& hits, std::vector<VolumeContext>& result);

// Index-only files of a type (office documents by their group folder) take the LBA of the
// first carved file of the same size in the view's folder of that type, each carved file once;
// the files without a match are forgotten.
void MatchIndexFilesToHits(VolumeContext& view);

// Directories "Dir%08u" for each parent record number under the lost-files folder, not in use
// (one already there is used again), each holding its files: not in use, one explicit extent
// of their LBA and size. The names pass to the volume, those of entries that could not be
// stored are freed; entries is emptied.
void BuildLostFolders(VolumeContext& volume, std::vector<FileRecord>& entries);
// The files known only from index records that remain: into the first NTFS volume of the
// result holding deleted files, else the first NTFS volume, else a new volume "OtherFile"
// appended to the result. The list of them is emptied.
void AddOtherFileFolder(std::vector<VolumeContext>& result, const CString& devicePath);
