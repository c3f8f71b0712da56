// Shared by kscan's volume commands: the image as scan target and its NTFS volume parsed, and
// one item's data read as the program reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/volumecontext.h"

// Parses "IMAGE [--first-lba N]" and the NTFS volume there into vol; prints the reason and
// returns false on failure (vol then holds nothing to free).
bool KscanOpenNtfsVolume(const char* command, const std::vector<std::string>& args, VolumeContext& vol);
// Feeds the item's data, in pieces, to sink; false when fewer bytes than its size came back.
bool KscanReadItem(VolumeContext& vol, uint32_t id, void (*sink)(const uint8_t*, uint64_t, void*), void* ctx);
