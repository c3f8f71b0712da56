// The machine description: which physical disks and lettered drives the program sees.
//
// When the environment variable KESTREL_MACHINE names a JSON file, only what it lists exists:
//
//   { "disks":  [ { "image": "a.img", "model": "Fake Disk", "vendor": "ACME", "bus": "usb",
//                   "removable": true, "sector_size": 512, "offset": 0, "length": 0,
//                   "direct": false } ],
//     "drives": [ { "letter": "E", "image": "a.img", "offset": 1048576, "length": 67108864,
//                   "model": "...", "bus": "sata", "removable": false, "mount": "/mnt/e" } ] }
//
// Disk N is the N-th entry of "disks" (at most 64). "image" is an image file or a block device;
// relative paths are taken from the description's folder. "offset"/"length" cut a window out
// of it (length 0: to its end). "mount" is the folder whose file system answers the drive's
// free and total space. "direct" asks for O_DIRECT reads of an image file (block devices always
// use it). Without the variable, the real block devices of the machine are seen.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/storage.h"

struct MachineSource {
  std::string image;
  uint64_t offset = 0;
  uint64_t length = 0;  // 0: to the end of the image
  bool hasInfo = false;
  StorageDeviceInfo info;
  bool direct = false;
  std::string mount;
};

struct MachineDescription {
  std::vector<MachineSource> disks;
  std::map<char16_t, MachineSource> drives;  // by upper-case letter
};

// Parses a description text; baseDir resolves relative image paths. False with a reason.
bool ParseMachineDescription(const std::string& text, const std::string& baseDir,
                             MachineDescription* out, std::string* error);
// The description named by KESTREL_MACHINE, read afresh. False when the variable is not set.
// When it is set but the file cannot be read or parsed, *valid is false and the machine shows
// no disks or drives at all (never the real ones).
bool LoadMachineDescription(MachineDescription* out, bool* valid, std::string* error);

// Whether the description still lists the image as a disk or a drive: a device opened from it
// is taken away (pulled) when a later description no longer names its image. The file is
// parsed again only when it changed. True when no description is in force.
bool MachineStillListsImage(const std::string& image);

// Parses "\\.\PhysicalDriveN" (N in 0..63); false for anything else.
bool ParsePhysicalDrivePath(const CString& path, int* index);
// Parses "\\.\X:" (optionally with a trailing '\'); the letter comes back upper-cased.
bool ParseDriveLetterPath(const CString& path, char16_t* letter);
