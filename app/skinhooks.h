// Hooks into the skin library, which sits above this layer. The start-up code calls them
// where the skin images and fonts are to be loaded; until the skin library installs its
// loaders they do nothing.
#pragma once

#include <cstdint>

// Receives the unscrambled resource archive (bytes, length) and keeps the brand's skin images
// in buffers of its own; the caller releases the archive afterwards.
using SkinImageTableLoader = void (*)(const uint8_t* archive, uint32_t length);
void SetSkinImageTableLoader(SkinImageTableLoader loader);
void LoadSkinImageTableHook(const uint8_t* archive, uint32_t length);

using SkinFontsInitializer = void (*)();
void SetSkinFontsInitializer(SkinFontsInitializer init);
void InitSkinFontsHook();
