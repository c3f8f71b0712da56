// What the fuzz targets share: the engine set up once without a window (settings, texts, the
// data-extent providers), the process-wide scan registries emptied between inputs, and a disk
// image held in memory that the storage layer serves like an image file.
//
// An image input is sparse, so a few kilobytes can describe a volume of any size:
//   u32 sector count of the image (little-endian), then runs of
//   u32 first LBA, u16 sector count, that many 512-byte sectors (a short last run is padded
//   with zeros).
// Sectors no run names read as zeros; a later run wins over an earlier one. fuzz/makeseeds.py
// writes real volumes in this form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/diskreader.h"
#include "core/volumecontext.h"

// Settings, language texts and extent providers, once per process; the time zone is UTC.
void FuzzEngineInit();

// Empties what parses and scans leave behind in process-wide lists (known MFT extents, FAT
// and exFAT directory LBAs, index LBAs, the free-space map), so one input never sees another's.
void FuzzResetScanState();

// Makes the sparse image the device "fuzz:image" and the ScanTarget (an image file of its
// sector count). False for an input too short to hold the sector count.
bool FuzzLoadImage(const uint8_t* data, size_t size);
// The same for flat bytes: sector n is bytes 512n … 512n + 511, the last one zero-padded.
void FuzzLoadFlatImage(const uint8_t* data, size_t size);
// Opens the loaded image through the sector reader as the program opens an image file.
bool FuzzOpenImage(DiskReader& reader);

// Reads every byte of every item of a parsed volume through the item-read path the preview
// and copy-out use, and frees the volume's records. Bounded: at most maxBytes per item.
void FuzzReadAllItems(VolumeContext& vol, uint64_t maxBytes);

// Recognises the file system at LBA 0 of the loaded image and, when it is one of types, sets the
// volume up, parses it and reads every item (FuzzReadAllItems, 256 KiB each at most).
void FuzzParseImageVolume(std::initializer_list<uint32_t> types);

// Copies up to n bytes of the input into a zero-filled buffer of exactly n bytes, so a target
// that needs a fixed-size record can take any input.
std::vector<uint8_t> FuzzFixedBytes(const uint8_t* data, size_t size, size_t n);
