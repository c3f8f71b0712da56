// The program's own resources by id: bitmaps (BMP file bytes) and icons (PNG or BMP file
// bytes), registered once at start-up by the code that embeds them and read by the loaders
// below. The resource module is the program itself, so the instance argument is ignored.
#pragma once

#include <cstdint>
#include <span>

#include "platform/paint/gditypes.h"

constexpr UINT RT_BITMAP = 2;
constexpr UINT RT_GROUP_ICON = 14;

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;

// An integer resource id in the place of a name, as MAKEINTRESOURCE gives it.
inline const char16_t* ResourceIdName(uintptr_t id) { return reinterpret_cast<const char16_t*>(id); }
// The id behind such a name; 0 for a real name (named resources do not exist here).
inline UINT ResourceIdOf(const char16_t* name) {
  const auto v = reinterpret_cast<uintptr_t>(name);
  return v != 0 && v <= 0xFFFF ? UINT(v) : 0;
}

// Keeps a copy of the bytes under (type, id), replacing an earlier entry. Any thread.
void RegisterResource(UINT type, UINT id, std::span<const uint8_t> bytes);
// Removes every registered resource (tests).
void ClearResources();
// The registered bytes, valid until the entry is replaced or cleared; empty when absent.
std::span<const uint8_t> FindResourceBytes(UINT type, UINT id);

// A screen-compatible bitmap of a bitmap resource; null when absent or not a BMP.
HBITMAP LoadBitmapW(void* instance, const char16_t* name);
// An icon of an icon resource (PNG with alpha, or BMP without); null when absent or bad.
HICON LoadIconW(void* instance, const char16_t* name);
// IMAGE_BITMAP or IMAGE_ICON by id; the size arguments are ignored (icons are drawn at the
// size their caller asks of DrawIconEx).
HANDLE LoadImageW(void* instance, const char16_t* name, UINT type, int cx, int cy, UINT flags);
