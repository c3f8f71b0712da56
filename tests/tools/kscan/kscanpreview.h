// Shared by "kscan thumb" and "kscan preview": the parsed volume of an image placed in the
// application's VolumeList, where the preview worker reads items as the program does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The slot the volume takes, the first of the scanned volumes.
constexpr uint32_t kKscanPreviewSlot = 4;

// "IMAGE [--first-lba N]": opens and parses the volume and puts it in the application's list.
bool KscanPreviewVolume(const char* command, const std::vector<std::string>& args);
// Frees the list's records.
void KscanPreviewDone();
