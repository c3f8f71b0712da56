#include "app/skinhooks.h"

#include <atomic>

namespace {
std::atomic<SkinImageTableLoader> g_imageLoader{nullptr};
std::atomic<SkinFontsInitializer> g_fontsInit{nullptr};
}  // namespace

void SetSkinImageTableLoader(SkinImageTableLoader loader) { g_imageLoader = loader; }

void LoadSkinImageTableHook(const uint8_t* archive, uint32_t length) {
  if (SkinImageTableLoader f = g_imageLoader.load()) f(archive, length);
}

void SetSkinFontsInitializer(SkinFontsInitializer init) { g_fontsInit = init; }

void InitSkinFontsHook() {
  if (SkinFontsInitializer f = g_fontsInit.load()) f();
}
