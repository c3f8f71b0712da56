// Names and records of the files the deep scan carves out of raw sectors: start LBA in
// hexadecimal with the type's extension, preceded for documents, photos and MP3 files by texts
// from the file's own metadata, and their place in the carved-file view "FindFile".
#pragma once

#include <cstdint>

#include "core/volumecontext.h"
#include "platform/cstring.h"

// Four NUL-terminated UTF-16 slots: person (32), second text (32), excerpt (64), date (12).
#pragma pack(push, 1)
struct CarvedFileMetadata {
  char16_t person[32];
  char16_t other[32];
  char16_t excerpt[64];
  char16_t date[12];
};
#pragma pack(pop)
static_assert(sizeof(CarvedFileMetadata) == 280);

constexpr uint8_t kTypeExe = 74;
constexpr uint8_t kTypeQuickTimeMov = 67;

// True for doc, docx, xlsx, xls, pptx, ppt, mp3 and every photo type.
bool HasDocumentMetadata(uint32_t typeId);
// A new guarded-heap block (free it with FreeMem), or null when all four texts are empty once
// blanks and tabs are trimmed. An empty person takes the second text; the date keeps its first
// 10 characters.
CarvedFileMetadata* PackDocumentMetadata(const CString& person, const CString& other, const CString& excerpt,
                                         const CString& date);
// Replaces every character a file name cannot hold (and every one above 126 outside the CJK
// ideographs U+4E00 … U+9FA5) with '_'.
CString SanitizeCarvedNameText(const CString& text);
// 1 with the name; 0 for the executable type, which is never named or added.
int MakeCarvedFileName(uint32_t typeId, uint64_t startLba, const CarvedFileMetadata* meta, CString& name);

// The document-text and property readers belong to the deep scan's format handlers. Until
// they install this, carved documents get no metadata. The hook returns a new block or null.
using OleSummaryReader = CarvedFileMetadata* (*)(uint32_t typeId, const uint8_t* head, uint64_t bytes);
void SetOleSummaryReader(OleSummaryReader reader);
// The metadata block of a carved document from its head bytes, or null.
CarvedFileMetadata* ReadOleSummaryMetadata(uint32_t typeId, const uint8_t* head, uint64_t bytes);

// Adds one carved file to the carved-file view (office types into the shared Word, Excel and
// PowerPoint folders). Nothing for a type id of 177 or more, the executable type, or a MOV at
// the same LBA as the MOV before it. 1 when a record was added.
int AddCarvedFileRecord(VolumeContext& view, uint64_t startLba, uint64_t size, uint32_t typeId,
                        const CarvedFileMetadata* meta);
// Forgets the last MOV start (a new scan begins).
void ResetCarvedMovMemory();
