// The program's own resources by id: bitmaps (BMP file bytes), icons (an icon file of one or
// more PNG pictures of different sizes, or a single PNG or BMP) and strings, registered once at
// start-up by the code that embeds them and read by the loaders below. The resource module is
// the program itself, so the instance argument is ignored.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/paint/gditypes.h"

constexpr UINT RT_BITMAP = 2;
constexpr UINT RT_STRING = 6;
constexpr UINT RT_GROUP_ICON = 14;

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_SHARED = 0x8000;

// The system's large icon size, which LoadIconW and LR_DEFAULTSIZE ask for.
constexpr int kLargeIconSize = 32;

// An integer resource id in the place of a name, as MAKEINTRESOURCE gives it.
inline const char16_t* ResourceIdName(uintptr_t id) { return reinterpret_cast<const char16_t*>(id); }
// The id behind such a name; 0 for a real name (named resources do not exist here).
inline UINT ResourceIdOf(const char16_t* name) {
  const auto v = reinterpret_cast<uintptr_t>(name);
  return v != 0 && v <= 0xFFFF ? UINT(v) : 0;
}

// Keeps a copy of the bytes under (type, id), replacing an earlier entry. Any thread.
void RegisterResource(UINT type, UINT id, std::span<const uint8_t> bytes);
// Keeps the text as string resource `id`.
void RegisterStringResource(UINT id, std::u16string_view text);
// Removes every registered resource (tests).
void ClearResources();
// A copy of the registered bytes; empty when absent. Any thread.
std::vector<uint8_t> FindResourceBytes(UINT type, UINT id);

// A screen-compatible bitmap of a bitmap resource; null when absent or not a BMP.
HBITMAP LoadBitmapW(void* instance, const char16_t* name);
// The icon resource's picture nearest the large icon size, at its own size; null when absent
// or bad.
HICON LoadIconW(void* instance, const char16_t* name);
// IMAGE_BITMAP (the size arguments are ignored) or IMAGE_ICON by id. An icon comes at cx by cy
// pixels: the resource's picture of that size, else the nearest larger one scaled down, else
// the largest scaled up. A size of 0 takes the other one; both 0 give the large icon size with
// LR_DEFAULTSIZE and LoadIconW's picture without. LR_SHARED is accepted and ignored: every
// handle is the caller's own to destroy.
HANDLE LoadImageW(void* instance, const char16_t* name, UINT type, int cx, int cy, UINT flags);
// Copies string resource `id` into the buffer of `size` characters, cut to fit and ended by a
// zero; the number of characters copied, 0 when absent, empty or when nothing fits.
int LoadStringW(void* instance, UINT id, char16_t* buffer, int size);
