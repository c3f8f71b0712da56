// The texts inside documents and archives held whole in memory: the words of Word and Excel
// binary documents and of office XML packages, the member lists of zip and RAR archives, and
// the document properties (authors and times). The preview shows them as a document's details,
// and carved documents are named after them.
//
// The bytes are a file found on a damaged disk: every position is checked against the end of
// the bytes given, every walk is bounded, and a reader gives up (false, or a shorter text)
// instead of reading past the end. Texts are capped where they are made.
#pragma once

#include <cstdint>
#include <string>

#include <minizip/unzip.h>

#include "core/carvedname.h"
#include "platform/cstring.h"

// A document's people and times, the times as local "YYYY-MM-DD hh:mm:ss".
struct DocumentProperties {
  CString author;      // the creator
  CString created;
  CString lastAuthor;  // who saved it last
  CString saved;       // the last save or modification
};

// The longest detail text in characters, and the longest listing in bytes (two per character).
constexpr uint32_t kDetailTextChars = 0x4000;
constexpr uint32_t kListingBytes = 0x4000;
// The first bytes of an XML part that are searched for text.
constexpr uint32_t kXmlPartBytes = 0x28000;

// The detail text of a file of the given type (Word 36, XML packages 37, 38, 89, zip 61, RAR
// 62, Excel 87) as a guarded-heap block of UTF-16 units with a terminating zero, which the
// caller frees with FreeMem; bytes is its length without the zero. 0 with no block for other
// types, files below 1024 bytes, and files without text.
int GetDocumentDetailText(uint32_t typeId, const uint8_t* data, uint32_t size, char16_t*& text, uint32_t& bytes);

// The body text of a Word binary document: its pieces (at most 32 KiB of characters), control
// characters as blanks, paragraph ends as CR LF.
bool ExtractWordText(const uint8_t* file, uint64_t size, CString& text);
// The characters of the piece table in the table stream, read from the WordDocument stream.
bool ReadWordPieceText(const uint8_t* wordDoc, uint64_t wordSize, const uint8_t* table, uint64_t tableSize,
                       std::u16string& text);
// Control characters other than tab, LF and CR become blanks, every run of CRs one CR, and
// every CR then CR LF.
CString CleanWordText(const std::u16string& raw);

// The text runs (two bytes or more between '>' and '<') of the main part of a Word (37), Excel
// (38) or PowerPoint (89) XML package, at most 0x4000 characters.
bool ExtractOoxmlText(uint32_t typeId, const uint8_t* zip, uint64_t size, CString& text);
// The bytes of one part of a zip package: at most kXmlPartBytes of it, inflated no further. For
// "ppt/slides/slide1.xml" the slides 0 to 127 in order, joined while they stay below 0x4000
// bytes in all.
bool ExtractPptxText(const uint8_t* zip, uint64_t size, const char* part, std::string& bytes);
// Walks the records of a zip archive from its start to its end record; false when a record is
// unknown, cut or leaves the bytes.
bool CheckZipRecords(const uint8_t* zip, uint64_t size);

// Sheet names and the cells' shared strings of an Excel binary workbook, separated by " | ";
// the walk stops once the text is longer than limit characters.
bool ExtractExcelText(const uint8_t* file, uint64_t size, CString& text, uint32_t limit);
// The same over the workbook stream itself.
bool WalkBiffSubstreams(const uint8_t* stream, uint64_t size, CString& text, uint32_t limit);

// One line per member: compression ratio, date, name, under the "ZipDetail" heading.
bool ListZipEntries(unzFile zip, CString& text);
// The same for the file blocks of a RAR (version 4) archive, cut to kListingBytes.
bool ListRarEntries(const uint8_t* data, uint64_t size, CString& text);

// Author (4), last author (8), creation (12) and last save (13) from a "SummaryInformation"
// property set; false only for an empty stream.
bool ParseSummaryInformation(const uint8_t* stream, uint64_t size, DocumentProperties& props);
// Creator, last modifier and the two times of "docProps/core.xml"; true when the part was read.
bool ParseOoxmlCoreProperties(const uint8_t* zip, uint64_t size, DocumentProperties& props);

// The metadata block a carved document is named after (person, excerpt, date), or null.
CarvedFileMetadata* ReadDocumentMetadata(uint32_t typeId, const uint8_t* head, uint64_t bytes);

// Plugs the readers into the carving (document names) and the preview worker (detail texts,
// archive listings).
void InstallDocumentTextReaders();
