// Shared by kscan's volume commands: the image as scan target, its volume recognised and parsed,
// and one item's data read as the program reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

// Installs the data-extent providers, sets the time zone to UTC (packed times then print as the
// UTC the comparisons use), makes the image the ScanTarget and opens it; prints the reason and
// returns false when it cannot be opened.
bool KscanOpenImageTarget(const char* command, const std::string& image, DiskReader& reader);
// The value of "--first-lba N" in args (0 without it); given tells whether it was there.
uint64_t KscanFirstLba(const std::vector<std::string>& args, bool* given = nullptr);
// Recognises the NTFS, FAT or exFAT volume at firstLba, sets it up and parses it into vol;
// prints the reason and returns false on failure (vol then holds nothing to free).
bool KscanParseVolumeAt(const char* command, DiskReader& reader, uint64_t firstLba, VolumeContext& vol);
// "IMAGE [--first-lba N]": the two steps above.
bool KscanOpenVolume(const char* command, const std::vector<std::string>& args, VolumeContext& vol);
// Feeds the item's data, in pieces, to sink; false when fewer bytes than its size came back.
bool KscanReadItem(VolumeContext& vol, uint32_t id, void (*sink)(const uint8_t*, uint64_t, void*), void* ctx);
// The SHA-256 of the item's data as the program reads it; "" when it cannot be read in full.
std::string KscanItemSha256(VolumeContext& vol, uint32_t id);
// "/a/b" from the parent ids up to the root; bounded against loops.
std::string KscanItemPath(const VolumeContext& vol, const FileRecord* rec);
// "YYYY-MM-DD hh:mm:ss" of a packed time; "" for 0.
std::string KscanPackedTime(uint32_t packed);
// "kscan fs": parses the volume (or every volume of a partitioned image) and prints its items;
// with a split mode the volumes SplitVolumeByDeletion publishes for that mode instead.
int KscanListVolumes(const char* command, const std::vector<std::string>& args, uint32_t splitMode);
