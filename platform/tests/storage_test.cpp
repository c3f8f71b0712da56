#include "platform/storage.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/machine.h"

namespace {

// Byte i of the image holds (i * 7 + i / 4096) & 0xFF: any misplaced byte shows.
uint8_t PatternByte(uint64_t i) { return uint8_t((i * 7 + i / 4096) & 0xFF); }

class StorageDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char t[] = "/tmp/kestrel-storage-XXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    dir_ = t;
    std::vector<uint8_t> data(kImageBytes);
    for (uint64_t i = 0; i < data.size(); ++i) data[i] = PatternByte(i);
    std::ofstream(dir_ + "/disk.img", std::ios::binary).write(reinterpret_cast<char*>(data.data()), data.size());
    mkdir((dir_ + "/mnt").c_str(), 0755);
  }
  void TearDown() override {
    unsetenv("KESTREL_MACHINE");
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  void Describe(const std::string& json) {
    std::ofstream(dir_ + "/machine.json") << json;
    setenv("KESTREL_MACHINE", (dir_ + "/machine.json").c_str(), 1);
  }
  bool ReadsPattern(StorageHandle h, uint64_t offset, uint32_t count, uint64_t imageOffset) {
    std::vector<uint8_t> buf(count, 0xEE);
    DWORD err = 1;
    if (!StorageRead(h, buf.data(), offset, count, 4000, &err) || err != 0) return false;
    for (uint32_t i = 0; i < count; ++i)
      if (buf[i] != PatternByte(imageOffset + offset + i)) return false;
    return true;
  }

  static constexpr size_t kImageBytes = 3 * 1024 * 1024;
  std::string dir_;
};

TEST(StorageErrors, ErrnoMapsToTheCodesTheProgramTests) {
  struct Case {
    int err;
    bool vanished;
    DWORD code;
    bool gone;
  } cases[] = {
      {ENOENT, false, 2, true},      {ENODEV, false, 433, true},   {ENXIO, false, 433, true},
      {ENOMEDIUM, false, 433, true}, {EBADF, false, 1006, true},   {ESTALE, false, 1006, true},
      {EIO, false, 1117, false},     {EIO, true, 433, true},       {EACCES, false, 5, false},
      {EINVAL, false, 87, false},    {ENOSPC, false, 31, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapErrnoToWinError(c.err, c.vanished), c.code) << c.err;
    EXPECT_EQ(IsDeviceGoneError(c.code), c.gone) << c.err;
  }
  EXPECT_EQ(BusTypeFromName("USB"), kBusUsb);
  EXPECT_EQ(BusTypeFromName("nvme"), kBusNvme);
  EXPECT_EQ(BusTypeFromName("11"), 11u);
  EXPECT_EQ(BusTypeFromName("floppy"), 0u);
}

TEST(StoragePaths, ProgramDevicePaths) {
  int n = -1;
  char16_t l = 0;
  EXPECT_TRUE(ParsePhysicalDrivePath(u"\\\\.\\PhysicalDrive0", &n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(ParsePhysicalDrivePath(u"\\\\.\\PHYSICALDRIVE63", &n));
  EXPECT_EQ(n, 63);
  for (const char16_t* bad : {u"\\\\.\\PhysicalDrive64", u"\\\\.\\PhysicalDrive", u"\\\\.\\PhysicalDrive1x",
                              u"\\\\.\\PhysicalDrive123", u"PhysicalDrive1", u"\\\\.\\C:"})
    EXPECT_FALSE(ParsePhysicalDrivePath(bad, &n)) << CString(bad).ToUtf8();
  EXPECT_TRUE(ParseDriveLetterPath(u"\\\\.\\e:", &l));
  EXPECT_EQ(l, u'E');
  EXPECT_TRUE(ParseDriveLetterPath(u"\\\\.\\Z:\\", &l));
  for (const char16_t* bad : {u"\\\\.\\1:", u"\\\\.\\EE:", u"E:\\", u"\\\\.\\E:\\x", u"\\\\?\\E:"})
    EXPECT_FALSE(ParseDriveLetterPath(bad, &l)) << CString(bad).ToUtf8();
}

TEST(StorageMachine, DescriptionsThatAreRefused) {
  MachineDescription md;
  std::string err;
  std::string many = "{\"disks\": [";
  for (int i = 0; i < 65; ++i) many += std::string(i ? "," : "") + "{\"image\": \"x\"}";
  many += "]}";
  for (const std::string& text : {std::string("not json"), std::string("[1, 2]"), many,
                                  std::string(R"({"disks": [ {"image": "a", "offset": -1} ]})"),
                                  std::string(R"({"disks": [ {"image": "a", "sector_size": 520} ]})"),
                                  std::string(R"({"disks": [ {"image": "a", "offset": 18446744073709551615, "length": 2} ]})"),
                                  std::string(R"({"drives": [ {"image": "a"} ]})"),
                                  std::string(R"({"drives": [ {"letter": "EF", "image": "a"} ]})")}) {
    EXPECT_FALSE(ParseMachineDescription(text, "/base", &md, &err)) << text;
    EXPECT_FALSE(err.empty());
  }
  ASSERT_TRUE(ParseMachineDescription(R"({"disks": [ {"image": "a.img", "bus": "usb"}, {"image": "/abs.img"} ],
                                          "drives": [ {"letter": "d", "mount": "m"} ]})",
                                      "/base", &md, &err));
  ASSERT_EQ(md.disks.size(), 2u);
  EXPECT_EQ(md.disks[0].image, "/base/a.img");
  EXPECT_EQ(md.disks[0].info.busType, kBusUsb);
  EXPECT_TRUE(md.disks[0].hasInfo);
  EXPECT_EQ(md.disks[1].image, "/abs.img");
  EXPECT_FALSE(md.disks[1].hasInfo);
  EXPECT_EQ(md.drives.at(u'D').mount, "/base/m");
}

TEST_F(StorageDir, DescribedDisksDrivesAndWindows) {
  Describe(R"({ "disks": [ { "image": "disk.img", "model": "M", "vendor": "V", "bus": "usb", "removable": true },
                           { "image": "disk.img", "offset": 1048576, "length": 1048576 } ],
                "drives": [ { "letter": "E", "image": "disk.img", "offset": 4608, "length": 10000, "mount": "mnt" },
                            { "letter": "F", "mount": "mnt" } ] })");
  std::vector<StorageDiskEntry> disks = ListStorageDisks();
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].path, CString(u"\\\\.\\PhysicalDrive0"));
  EXPECT_EQ(disks[0].sizeBytes, kImageBytes);
  EXPECT_TRUE(disks[0].info.removable);
  EXPECT_EQ(disks[1].sizeBytes, 1048576u);

  DWORD err = 0;
  StorageHandle d1 = StorageOpen(u"\\\\.\\PhysicalDrive1", &err);
  ASSERT_TRUE(IsOpenStorageHandle(d1));
  EXPECT_TRUE(ReadsPattern(d1, 0, 4096, 1048576));
  uint64_t len = 0;
  EXPECT_TRUE(StorageDeviceOf(d1)->DiskLength(&len));
  EXPECT_EQ(len, 1048576u);
  StorageDeviceInfo info;
  EXPECT_FALSE(StorageDeviceOf(d1)->QueryInfo(&info));  // nothing described for it
  // Reading across the end of a window is cut there.
  std::vector<uint8_t> buf(8192);
  EXPECT_FALSE(StorageRead(d1, buf.data(), 1048576 - 4096, 8192, 4000, &err));
  EXPECT_EQ(err, ERROR_HANDLE_EOF);
  StorageClose(d1);

  // A drive window at an offset that is no multiple of 4096.
  StorageHandle e = StorageOpen(u"\\\\.\\E:", &err);
  ASSERT_TRUE(IsOpenStorageHandle(e));
  EXPECT_TRUE(ReadsPattern(e, 512, 9000, 4608));
  StorageClose(e);

  EXPECT_GT(StorageFreeBytes(u"E:\\Recovered"), 0u);
  uint64_t total = 0;
  EXPECT_TRUE(StorageDriveTotalBytes(u'F', &total));
  EXPECT_GT(total, 0u);
  EXPECT_EQ(StorageFreeBytes(u"G:\\"), 0u);

  for (const char16_t* absent : {u"\\\\.\\PhysicalDrive2", u"\\\\.\\F:", u"\\\\.\\G:"}) {
    EXPECT_EQ(StorageOpen(absent, &err), kInvalidStorageHandle);
    EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
  }
}

// A test pulls a described disk by renaming a description without it into place: reads of a
// handle opened before then fail as a vanished device does, and come back with the disk.
TEST_F(StorageDir, ADiskDroppedFromTheDescriptionIsPulled) {
  const std::string with = R"({ "disks": [ { "image": "disk.img", "model": "M" } ] })";
  Describe(with);
  DWORD err = 0;
  StorageHandle h = StorageOpen(u"\\\\.\\PhysicalDrive0", &err);
  ASSERT_TRUE(IsOpenStorageHandle(h));
  EXPECT_TRUE(ReadsPattern(h, 0, 4096, 0));
  auto replace = [&](const std::string& json) {
    std::ofstream(dir_ + "/machine.part") << json;
    ASSERT_EQ(rename((dir_ + "/machine.part").c_str(), (dir_ + "/machine.json").c_str()), 0);
  };
  replace(R"({ "disks": [] })");
  std::vector<uint8_t> buf(4096);
  err = 0;
  EXPECT_FALSE(StorageRead(h, buf.data(), 0, 4096, 4000, &err));
  EXPECT_TRUE(IsDeviceGoneError(err)) << err;
  EXPECT_FALSE(StorageDeviceOf(h)->StillPresent());
  EXPECT_EQ(StorageOpen(u"\\\\.\\PhysicalDrive0", &err), kInvalidStorageHandle);
  replace(with);
  EXPECT_TRUE(ReadsPattern(h, 4096, 4096, 0));
  StorageClose(h);
}

// The same reads of a described image past the page cache (through the helper threads) and
// through it (on the caller's thread, straight into the caller's buffer).
TEST_F(StorageDir, ReadsOfAnImageAtAnyOffsetDirectAndCached) {
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "direct" : "cached");
    Describe(std::string(R"({ "disks": [ { "image": "disk.img", "direct": )") + (direct ? "true" : "false") + " } ] }");
    DWORD err = 0;
    StorageHandle h = StorageOpen(u"\\\\.\\PhysicalDrive0", &err);
    ASSERT_TRUE(IsOpenStorageHandle(h));
    EXPECT_EQ(StorageDeviceOf(h)->ReadsOnCaller(), !direct);
    struct Case {
      uint64_t offset;
      uint32_t count;
    } cases[] = {{0, 512}, {512 * 3, 512 * 5}, {4096, 1048576}, {1, 3}, {kImageBytes - 512, 512}, {777, 2 * 1048576}};
    for (const Case& c : cases) EXPECT_TRUE(ReadsPattern(h, c.offset, c.count, 0)) << c.offset << "+" << c.count;
    // A read across the end keeps what lies before it and reports the end; nothing is written
    // behind the requested bytes.
    std::vector<uint8_t> buf(1024 + 64, 0xEE);
    EXPECT_FALSE(StorageRead(h, buf.data(), kImageBytes - 512, 1024, 4000, &err));
    EXPECT_EQ(err, ERROR_HANDLE_EOF);
    EXPECT_EQ(buf[511], PatternByte(kImageBytes - 1));
    for (size_t i = 1024; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << i;
    EXPECT_FALSE(StorageRead(h, buf.data(), kImageBytes, 512, 4000, &err));
    EXPECT_EQ(err, ERROR_HANDLE_EOF);
    EXPECT_TRUE(StorageRead(h, buf.data(), 0, 0, 4000, &err));
    StorageClose(h);
  }
  std::vector<uint8_t> buf(16);
  DWORD err = 0;
  EXPECT_FALSE(StorageRead(kInvalidStorageHandle, buf.data(), 0, 1, 4000, &err));
  EXPECT_EQ(err, ERROR_FILE_INVALID);
}

TEST_F(StorageDir, PlainFilesAndBrokenDescriptions) {
  DWORD err = 0;
  CString path = CString((dir_ + "/disk.img").c_str());
  StorageHandle h = StorageOpen(path, &err);
  ASSERT_TRUE(IsOpenStorageHandle(h));
  uint64_t size = 0;
  EXPECT_FALSE(StorageDeviceOf(h)->DiskLength(&size));
  EXPECT_TRUE(StorageDeviceOf(h)->FileSize(&size));
  EXPECT_EQ(size, kImageBytes);
  EXPECT_TRUE(ReadsPattern(h, 12345, 70000, 0));
  StorageClose(h);

  EXPECT_EQ(StorageOpen(CString((dir_ + "/none.img").c_str()), &err), kInvalidStorageHandle);
  EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StorageOpen(CString(dir_.c_str()), &err), kInvalidStorageHandle);
  EXPECT_EQ(err, ERROR_ACCESS_DENIED);
  // A folder that does not exist yet answers with its nearest existing ancestor.
  EXPECT_GT(StorageFreeBytes(CString((dir_ + "/out/not/yet").c_str())), 0u);

  // A broken description shows no disks at all, never the machine's real ones.
  Describe("{ broken");
  EXPECT_TRUE(ListStorageDisks().empty());
  EXPECT_EQ(StorageOpen(u"\\\\.\\PhysicalDrive0", &err), kInvalidStorageHandle);
  EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
}

}  // namespace
