// The metadata sectors the carving consumer keeps for the rebuilds at the end of a scan:
// partition tables and boot sectors (a copy of the sector), MFT records and FAT directory
// sectors (a summary from the parsers), NTFS index records (the parent directory number) and
// GPT headers (whose partition starts are queued for early reading).
//
// Sectors come from the disk: every offset and length inside them is checked against the
// record and the block before it is read, and the update-sequence fix-ups work on a copy,
// never on the block, which carving reads afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

// The summaries the parsers make of a found MFT record (the fixed-up 1024 bytes) and of a FAT
// directory sector. A parser returns false to refuse the sector (no hit is kept); on true
// *detail is a guarded-heap block the hit owns, or null. Without an installed parser the hit
// is kept without a summary.
// FIXME: the FAT parser installs its directory-sector summary here once it exists.
using FoundMftRecordParser = bool (*)(const uint8_t* record, uint64_t lba, void** detail);
using FatDirSectorSummarizer = bool (*)(const uint8_t* sector, uint64_t lba, void** detail);
void SetFoundMftRecordParser(FoundMftRecordParser parser);
void SetFatDirSectorSummarizer(FatDirSectorSummarizer summarizer);

// Reads a record of the device again when it is split over two blocks; tests replace it.
// False when the device cannot be opened or read (the hit is then dropped).
using MftRecordRereader = bool (*)(const VolumeContext& target, uint64_t lba, uint8_t* record1024);
void SetMftRecordRereader(MftRecordRereader reader);

// Keeps one classified sector as a hit of kind k, appended to hits; sector is sector i of a
// block whose data ends at blockEnd. Always 1 (a refused sector simply leaves no hit).
int KeepMetadataHit(const VolumeContext& target, std::vector<SectorHit>& hits, uint32_t i, const uint8_t* sector,
                    const uint8_t* blockEnd, uint64_t lba, uint32_t k);

// The MFT record at record (1024 bytes, a copy the caller owns) with the update-sequence
// words put back at the end of both sectors; false when the array does not fit the record.
bool FixupMftRecordCopy(uint8_t* record);

// The parent directory number (low 32 bits of the reference) of the first named entry of the
// index record at record, whose readable bytes run to limit. False when the walk meets the
// end, a last entry, an empty entry or leaves the readable bytes first.
bool FindIndexRecordParent(const uint8_t* record, const uint8_t* limit, uint32_t* parent);

// Reads the 16 GPT entries of sectors 2 to 5 of the target's device and queues the block of
// every non-empty entry's first LBA (QueuePriorityBlock filters by probe reading and range).
void QueueGptPartitionStarts(const VolumeContext& target);
