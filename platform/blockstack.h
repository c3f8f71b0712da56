// How block devices stack on Linux: the sysfs entry of a device number, the devices a mapper or
// RAID device is built on, and the block device a mounted file system names as its source.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The resolved sysfs directory of a block device number; empty when it has none.
std::string SysfsBlockDir(dev_t dev);

// The sysfs directory and those of every device it is built on (the "slaves" of a mapper or
// RAID device, recursively), bounded in depth and count. Nothing for an empty directory.
void CollectUnderlyingBlockDirs(const std::string& sysDir, std::vector<std::string>& out);

// The block device a mounted file system names as its source, for file systems whose own
// device number is not a block device (btrfs and the like). False when the mount of fsDev is
// not listed or its source is no block device (tmpfs, overlay, a network share...).
bool MountSourceBlockDevice(dev_t fsDev, dev_t* blockDev);

// The sysfs directories of the block devices a folder's file system lives on: its own device
// (or, for file systems without a block device number, its mount source) and everything that
// device is built on. Empty when none can be found.
std::vector<std::string> FolderBlockDirs(dev_t folderDev);

// One sysfs device directory lies inside the other (a partition of its disk) or they are the same.
bool BlockDirsRelated(const std::string& a, const std::string& b);
