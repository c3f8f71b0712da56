#include "app/machineid.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Trim(const std::string& text, long offset = 4) {
  // The serial text sits at an offset inside a zero-terminated descriptor.
  std::string descriptor(size_t(offset), '\x01');
  descriptor += text;
  descriptor += '\0';
  return TrimSerial(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size(), offset);
}

TEST(MachineId, TrimSerialDecodesSwapsAndTrims) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"4a4b4c4d", "KJML"},          // hexadecimal, swapped pairwise
      {"4a4b4c", "KJ"},              // an odd count loses its last character
      {"4A4B4C4D", "KJML"},          // digits in either case
      {"WX YZ", "XWY"},              // no hexadecimal reading: taken as it stands
      {"2020574435", "DW"},          // "  WD5": swapped to "  DW", the odd '5' lost, trimmed
      {"  4a4b", ""},                // white space counts as '0': the byte 00 ends the text at once
      {"4a01", "a410"},              // an unprintable formed byte abandons hex: raw, swapped
      {"ab\x07", ""},                // an unprintable raw character gives nothing
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Trim(c.in), c.out);
  }
  const uint8_t d[] = {'4', 'a', '4', 'b', 0};
  EXPECT_EQ(TrimSerial(d, sizeof(d), 0), "");
  EXPECT_EQ(TrimSerial(d, sizeof(d), -3), "");
  EXPECT_EQ(TrimSerial(d, sizeof(d), 5), "");
  EXPECT_EQ(TrimSerial(nullptr, 10, 1), "");
  // A text without its terminator stops at the descriptor's end.
  const uint8_t open[] = {0, 'W', 'X', 'Y', 'Z'};
  EXPECT_EQ(TrimSerial(open, sizeof(open), 1), "XWZY");
  // A serial longer than the 1008-byte decoding buffer is read no further than it.
  std::string huge(5000, 'A');
  EXPECT_EQ(Trim(huge), std::string(1006, 'A'));
}

TEST(MachineId, IdentifierIsCutAndHasNoBlanks) {
  const CString cpu(u"BFEBFBFF000906EA");
  EXPECT_EQ(ComposeMachineId(cpu, u""), CString(u"BFEBFBFF000906EA-_-"));
  EXPECT_EQ(ComposeMachineId(cpu, u"WD 12 34"), CString(u"BFEBFBFF000906EA-_-WD-12-34"));
  CString longSerial(u'S', 50);
  CString id = ComposeMachineId(cpu, longSerial);
  EXPECT_EQ(id.GetLength(), 63);
  EXPECT_EQ(id, cpu + u"-_-" + CString(u'S', 44));
  // An oversized processor part is cut to 45 and leaves 15 for the disk.
  EXPECT_EQ(ComposeMachineId(CString(u'C', 50), longSerial), CString(u'C', 45) + u"-_-" + CString(u'S', 15));
}

TEST(MachineId, ProcessorPartAndTheWholeIdentifier) {
  CString cpu;
  GetCpuIdText(cpu);
  ASSERT_EQ(cpu.GetLength(), 16);
  for (char16_t c : cpu.View()) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
  CString id;
  EXPECT_TRUE(GetMachineId(id));
  EXPECT_EQ(id.Left(19), cpu + u"-_-");
  EXPECT_LE(id.GetLength(), 63);
  EXPECT_LT(id.Find(u' '), 0);
}

TEST(MachineId, DiskSerialComesFromSysfsThenUdev) {
  char tmpl[] = "/tmp/kestrel-sysfs-XXXXXX";
  std::string root = mkdtemp(tmpl);
  SystemDisk disk;
  disk.sysfsPath = root + "/block/sda";
  disk.name = "sda";
  disk.major = 8;
  disk.minor = 0;
  ASSERT_EQ(system(("mkdir -p " + disk.sysfsPath + "/device " + root + "/udev").c_str()), 0);
  CString serial;
  EXPECT_FALSE(GetDiskSerial(disk, serial, root + "/udev"));

  std::ofstream(root + "/udev/b8:0") << "S:disk/by-id/x\nE:ID_SERIAL=Disk_Z\nE:ID_SERIAL_SHORT=Z1 X\t\nE:ID_BUS=ata\n";
  EXPECT_TRUE(GetDiskSerial(disk, serial, root + "/udev"));
  EXPECT_EQ(serial, CString(u"Z1 X"));

  std::ofstream(disk.sysfsPath + "/device/serial") << "  S3Z9NB0K\x01" "123  \n";
  EXPECT_TRUE(GetDiskSerial(disk, serial, root + "/udev"));
  EXPECT_EQ(serial, CString(u"S3Z9NB0K123"));
  ASSERT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
}

TEST(MachineId, OsTextHasThreeNumbersEndingIn64) {
  EXPECT_EQ(FormatOsVerText("6.1.0-18-amd64"), CString(u"6.1.64"));
  EXPECT_EQ(FormatOsVerText("5.15.133.1-microsoft-standard-WSL2"), CString(u"5.15.64"));
  EXPECT_EQ(FormatOsVerText("4"), CString(u"4.0.64"));
  EXPECT_EQ(FormatOsVerText(nullptr), CString(u"0.0.64"));
  CString os;
  GetOsVerText(os);
  EXPECT_EQ(os.Right(3), CString(u".64"));
}

}  // namespace
