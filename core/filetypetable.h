// The file-type table: the one vocabulary of type ids in the program.
//
// Every type id stored in a hit, a carve candidate or a found file's type byte indexes the 177
// type rows here. The same one-byte id space carries the sector kind codes 200 … 234, which
// have display names in SectorKindNames but no row. The table is built once at start-up and
// then only read, except for the category check states and the type enabled flags that the
// file-type settings page changes before a scan starts.
//
// The table lives in core/ because the record model types every added file by its extension
// and the carved-file view builds its category and type folders from it; the deep scan reads
// it through the same header.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/cstring.h"

constexpr int kFileCategoryCount = 13;   // ids 0 … 12, of which 6 … 12 are real
constexpr int kFileTypeCount = 177;      // type ids 0 … 176
constexpr int kSectorKindNameCount = 233;
constexpr int kFirstFileType = 36;       // the first row that a setting reaches
constexpr int kFirstFileCategory = 6;
constexpr int kLastFileCategory = 12;

// Type ids and sector kind codes with a meaning of their own.
constexpr uint8_t kTypeWordGroup = 172;
constexpr uint8_t kTypeExcelGroup = 173;
constexpr uint8_t kTypePptGroup = 174;
constexpr uint8_t kKindRiff = 147;            // RIFF container, typed later by end detection
constexpr uint8_t kKindQuickTimeAlias = 150;  // handled like the QuickTime types 67 … 72
constexpr uint8_t kKindMp4Ftyp = 200;
constexpr uint8_t kKindMp4Moov = 201;
constexpr uint8_t kKindMp4Mdat = 202;
constexpr uint8_t kKindVideoSampleChain = 203;
constexpr uint8_t kKindVideoSampleLen = 204;
constexpr uint8_t kKindVideoSample02 = 205;
constexpr uint8_t kKindVideoSample001 = 206;
constexpr uint8_t kKindMtsStart = 207;
constexpr uint8_t kKindMtsFragment = 208;
constexpr uint8_t kKindMbr = 221;
constexpr uint8_t kKindEbr = 222;
constexpr uint8_t kKindNtfsBoot = 223;
constexpr uint8_t kKindMftRecord = 224;
constexpr uint8_t kKindIndexRecord = 225;
constexpr uint8_t kKindFat16Boot = 226;
constexpr uint8_t kKindFat32Boot = 227;
constexpr uint8_t kKindFat32Table = 228;
constexpr uint8_t kKindFatDirEntries = 229;
constexpr uint8_t kKindExfatBoot = 230;
constexpr uint8_t kKindExfatDirEntries = 231;
constexpr uint8_t kKindGptHeader = 232;
constexpr uint8_t kTypeNone = 234;

struct FileCategoryRow {
  int32_t id = 0;
  CString name;
  int32_t checkState = 1;        // the settings page's check box
  std::vector<int32_t> typeIds;  // in the order the types were set
};

struct FileTypeRow {
  int32_t category = 0;  // 6 … 12 for a set row; 0 for a placeholder
  int32_t id = 0;        // the row's index for a set row; 0 for a placeholder
  CString description;
  CString mainExt;       // without a dot
  CString extList;       // ";"-separated, without dots
  int32_t reserved = 0;
  int32_t enabled = 1;   // the settings page toggles it
};

struct FileTypeTableData {
  std::vector<FileCategoryRow> categories;  // indexed by category id
  std::vector<FileTypeRow> types;           // indexed by type id
  std::vector<int32_t> photoTypeList;       // the ids set with category 7, in build order
  std::vector<int32_t> videoTypeList;       // the ids set with category 10, in build order
};

// The process-wide table (empty until InitFileTypeTables).
FileTypeTableData& FileTypeTable();
// Display names by type id or sector kind code, 0 … 232.
std::array<CString, kSectorKindNameCount>& SectorKindNames();
// The display name of any code: "***" for codes beyond the array (233 and up).
CString GetSectorKindName(unsigned code);

// Builds the table and SectorKindNames once per process (later calls do nothing). Reads the
// language texts, so the settings are loaded first. Always true.
bool InitFileTypeTables();
// The build itself: placeholders, category names and the 127 type settings in their order.
void BuildFileTypeTable();
void SetFileCategoryName(int32_t categoryId, const CString& name);
// extList null or empty: the main extension alone.
void SetFileTypeRow(int32_t categoryId, int32_t typeId, const CString& mainExt, const char16_t* extList,
                    const CString& description);

// Copies of the rows: categories 6 … 12 (all 13 when all != 0); types 36 … 176, 141 rows with
// the placeholders (all 177 when all != 0).
void CopyFileCategories(std::vector<FileCategoryRow>& out, int all);
void CopyFileTypes(std::vector<FileTypeRow>& out, int all);
void FreeFileCategoryRows(std::vector<FileCategoryRow>& rows);
void FreeFileTypeRows(std::vector<FileTypeRow>& rows);

// The type id of a file name's extension (the text after the last '.', compared with the
// main extensions of the rows 36 … 176 ignoring ASCII case, first row wins); 234 for a null or
// empty name, a name without '.', a name whose only '.' is its first character, or no match.
// The placeholder rows take part with "XXX" and id 0.
uint8_t GetTypeIdByExtension(const char16_t* name);
inline uint8_t GetTypeIdByExtension(const CString& name) { return GetTypeIdByExtension(name.GetString()); }

bool IsPhotoType(int32_t typeId);
bool IsVideoType(int32_t typeId);
// The type filter of the narrow editions and the video modes: every id passes unless a video
// fragment mode is on or the edition number ("Key" mod 100) is 5 or 6; then only photo and
// video ids pass.
bool IsPhotoOrVideoType(int32_t typeId);
// True with the minimum plausible size in bytes of a file of this type; false with 0.
bool GetTypeMinimumSize(int32_t typeId, uint32_t& minSize);
