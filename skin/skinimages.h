// The skin image table: every skin picture of the brand, read once at start-up from the
// resource archive ("<Brand>/<name>") and looked up by name afterwards, without regard to case.
// Filled on the user-interface thread before the first window; read-only after that.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/cstring.h"

// One image as the archive holds it (BMP or PNG bytes, unchanged); lives until the process ends.
struct SkinImageData {
  uint8_t* bytes;
  uint32_t length;
};

// (name lower-cased, image), in load order.
using SkinImageTableT = std::vector<std::pair<CString, SkinImageData*>>;
SkinImageTableT& SkinImageTable();

// The banner of the configured edition, then every name of SkinImageNames(), each from the
// brand's folder of the unscrambled archive. A missing or unreadable entry is skipped.
void LoadSkinImageTable(const uint8_t* archive, uint32_t length);
void AddSkinImageFromArchive(const uint8_t* archive, uint32_t length, const CString& name);
void AddSkinImagesFromArchive(const std::vector<CString>& names, const uint8_t* archive, uint32_t length);
// The image whose stored name equals the lower-cased name, or null.
const SkinImageData* FindSkinImage(const CString& name);
// The banner's name: "Banner/" + the base configuration value "Version" + ".bmp".
CString SkinBannerName();
// The names loaded after the banner, in load order.
const std::vector<CString>& SkinImageNames();

// Tests: adds an image from bytes (copied) under the name, and empties the table.
void AddSkinImageForTest(const CString& name, const std::vector<uint8_t>& bytes);
void ClearSkinImagesForTest();
