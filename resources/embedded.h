// The program's bitmaps, icons and strings, compiled into it (see resembed.cpp). Strings are
// UTF-8 bytes here and UTF-16 in the resource store.
#pragma once

#include <cstdint>
#include <span>

#include "platform/paint/resstore.h"

struct EmbeddedResource {
  UINT type;  // RT_BITMAP, RT_GROUP_ICON or RT_STRING
  UINT id;
  std::span<const uint8_t> bytes;
};

// Every embedded resource, bitmaps then icons then strings, each by rising id.
std::span<const EmbeddedResource> EmbeddedResources();

// Puts every embedded resource into the resource store (at start-up; tests call it too).
void RegisterEmbeddedResources();
