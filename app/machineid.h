// The machine identifier that every event report carries and every dump name holds, and the
// OS version text of the start-up and last-run reports.
//
// Identifier: the processor part (CPUID leaf 1 as "%08X%08X", EDX then EAX), "-_-", and the
// serial number of the disk that holds the system (at most 44 characters; empty when it cannot
// be read, which is usual in containers); blanks become '-'; at most 63 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/cstring.h"

// Where the root file system lives: its whole disk's sysfs folder and device numbers.
struct SystemDisk {
  std::string sysfsPath;  // e.g. /sys/devices/.../block/sda
  std::string name;       // e.g. sda
  unsigned major = 0;
  unsigned minor = 0;
};

bool GetMachineId(CString& id);
void GetCpuIdText(CString& text);
// The disk under "/"; false on an overlay or any other root without a block device.
bool GetSystemDiskNumber(SystemDisk& disk);
// The disk's serial from sysfs ("device/serial"), else from the udev record
// (udevDataDir/bMAJ:MIN, "E:ID_SERIAL_SHORT="). Printable ASCII only, trimmed.
bool GetDiskSerial(const SystemDisk& disk, CString& serial, const std::string& udevDataDir = "/run/udev/data");
// The drive's own identify data (HDIO_GET_IDENTITY; needs root and an ATA disk).
bool GetDiskSerialFallback(const SystemDisk& disk, CString& serial);
// Decodes a storage descriptor's serial text at the offset: as hexadecimal pairs when it reads
// as such, else as it stands; swaps each pair of characters (an odd last one is lost) and
// trims white space. Reads at most 1007 characters. Empty for an offset of 0 or less or
// outside the descriptor.
std::string TrimSerial(const uint8_t* descriptor, size_t size, long offset);
// Processor part + "-_-" + disk part, cut as the identifier's rules say.
CString ComposeMachineId(const CString& cpuPart, const CString& diskPart);

// "%u.%u.64" of the kernel's major and minor version.
void GetOsVerText(CString& text);
CString FormatOsVerText(const char* kernelRelease);
