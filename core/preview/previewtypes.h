// The file types the preview treats alike, and their picture formats.
#pragma once

#include <cstdint>

// Codes of the preview buffers that are no file type: a hex dump and text.
constexpr uint8_t kPreviewHexCode = 151;
constexpr uint8_t kPreviewTextCode = 161;
// The code of a thumbnail (a JPEG), which is the JPEG type id.
constexpr uint8_t kPreviewJpegCode = 46;
// An untyped file named like text is previewed as this type.
constexpr uint8_t kPreviewTextType = 165;

// PNG, GIF, JPEG, PSD, BMP, WMF, ANI, EMF, ICO and every photo type.
bool IsPreviewPictureType(uint32_t typeId);
// DOC, DOCX, XLSX, XLS and PPTX: thumbnails show their detail text.
bool IsPreviewDocumentType(uint32_t typeId);
// HTML, TXT, XML and the source and script types: previewed as decoded text.
bool IsPreviewTextType(uint32_t typeId);
// The picture format of a file type (see ImageFormat); 0 for the types without one.
uint32_t CategoryToImageType(uint32_t typeId);
