// A small reader of OLE compound files (version 3, 512-byte sectors) held in memory: the
// allocation table (FAT) and its sector list, the mini FAT, the directory and streams by name.
// The carving rule of compound files reads the FAT to find where a file ends and the directory
// to name its kind; the document text readers read the streams.
//
// Results of the reader's steps: 5 done, 3 the bytes end too early (more of the file may still
// come), 6 not a valid compound file. Every sector number, chain and count is checked against
// the bytes held before it is used, and no table is sized from an unchecked count: a chain
// longer than the bytes have sectors must loop, and is refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scanbase/carvecandidate.h"

constexpr uint8_t kOleSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kOleSectorBytes = 512;
constexpr uint32_t kOleMiniSectorBytes = 64;
constexpr uint32_t kOleDirEntryBytes = 128;
// Streams below this size live in the mini stream.
constexpr uint32_t kOleMiniStreamCutoff = 4096;
// The FAT sector list holds at most this many numbers, the FAT and the mini FAT at most
// kOleMaxEntries entries, a chain at most kOleMaxChain sectors.
constexpr uint32_t kOleMaxFatSectors = 1023999;
constexpr uint32_t kOleMaxEntries = 1024000;
constexpr uint32_t kOleMaxChain = 4095999;
// Sectors lie in the first 128 MiB of a file.
constexpr uint64_t kOleMaxSectorPos = 0x8000000;

bool HasOleSignature(const uint8_t* file, uint64_t size);

// The FAT sector numbers: the header's 109 (up to the first negative one), then those of the
// DIFAT chain. The chain is walked for at most the header's count of sectors, and refused (6)
// when it repeats a sector or a listed sector occurs twice.
int32_t OleReadFatSectorList(const uint8_t* file, uint64_t size, std::vector<uint32_t>& list);
// The FAT from the listed sectors; every entry is checked (a next sector beyond the table or
// one that two entries point at is refused).
int32_t OleReadFat(const uint8_t* file, uint64_t size, const std::vector<uint32_t>& list, std::vector<int32_t>& fat);
// Copies the listed sectors one after another into dest (sectors.size() * sectorSize bytes).
// 512-byte sectors are file sectors (sector n at byte (n + 1) * 512); 64-byte sectors are
// sectors of the mini stream given as src.
int32_t OleReadChain(const uint8_t* src, uint64_t srcSize, const std::vector<uint32_t>& sectors, uint32_t sectorSize,
                     uint8_t* dest);
// The sectors of the chain from first over the FAT, copied: at most limit sectors (0: no limit
// but the chain's own end). 5 or 6; on 6 out is empty.
int32_t OleReadDirectory(const uint8_t* file, uint64_t size, const std::vector<int32_t>& fat, uint32_t first,
                         uint32_t limit, std::vector<uint8_t>& out);
// True for the root entry: name length 22, name "Root Entry". entry holds 128 bytes.
bool OleCheckRootEntry(const uint8_t* entry);
// The name of a directory entry that counts: 1 to 31 units, its stored length matching, every
// unit 0x05 or printable ASCII. False for every other entry (unused, damaged or foreign names).
bool OleEntryName(const uint8_t* entry, std::u16string& name);

// Sets the candidate's type from the first entry of the directory whose name is one of the
// known document streams; 5, or 6 when the directory is unreadable or names none of them.
int32_t OleGetSubtype(const uint8_t* file, uint64_t size, const std::vector<int32_t>& fat, CarveCandidate& c);

struct OleTables {
  std::vector<uint32_t> fatSectors;
  std::vector<int32_t> fat;
  std::vector<int32_t> miniFat;
  std::vector<uint8_t> directory;
  std::vector<uint8_t> miniStream;
};
// Loads every table of a whole compound file; false (and the tables emptied) when one of them
// is missing or fails its checks.
bool OleLoadTables(const uint8_t* file, uint64_t size, OleTables& t);
// The first stream whose name contains the text, cut to the stream's stated size (a chain that
// ends early gives less). False when the directory has no root entry, no entry matches, or the
// stream's chain is damaged.
bool OleReadStreamByName(const uint8_t* file, uint64_t size, const OleTables& t, std::u16string_view name,
                         std::vector<uint8_t>& out);
