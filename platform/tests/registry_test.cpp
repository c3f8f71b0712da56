#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel-reg-XXXXXX";
    root_ = mkdtemp(tmpl);
    SetRegistryRootOverride(CString(root_.c_str()));
  }
  void TearDown() override {
    SetRegistryRootOverride(CString());
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  static LONG SetText(HKEY key, const char16_t* name, std::u16string_view text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          DWORD(text.size() * 2));
  }
  static std::u16string QueryText(HKEY key, const char16_t* name, LONG* result = nullptr) {
    char16_t buf[64] = {};
    DWORD bytes = sizeof(buf);
    DWORD type = 0;
    LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes);
    if (result) *result = r;
    if (r != ERROR_SUCCESS) return u"<fail>";
    EXPECT_EQ(type, REG_SZ);
    return std::u16string(buf, bytes / 2);
  }
  std::string root_;
};

TEST_F(RegistryTest, KeysAreOpenedNeverCreated) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker\\Tool", 0, KEY_READ | KEY_WRITE, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  struct stat st;
  EXPECT_NE(stat((root_ + "/hkey_local_machine").c_str(), &st), 0) << "opening must not create anything";

  ASSERT_EQ(RegSetupCreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker\\Tool"), ERROR_SUCCESS);
  // Key names are case-insensitive.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\MAKER\\tool", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, PathsThatLeaveTheStoreAreRefused) {
  HKEY key = nullptr;
  for (const char16_t* bad : {u"SOFTWARE\\..\\..\\etc", u"SOFTWARE\\\\Tool", u"a/b", u"."}) {
    SCOPED_TRACE(CString(bad).ToUtf8());
    EXPECT_EQ(RegSetupCreateKey(HKEY_LOCAL_MACHINE, bad), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, bad, 0, KEY_READ, &key), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(uintptr_t(0x80000099)), u"SOFTWARE", 0, KEY_READ, &key),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, ValuesRoundTripByteForByte) {
  ASSERT_EQ(RegSetupCreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker\\Tool"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker\\Tool", 0, KEY_READ | KEY_WRITE, &key),
            ERROR_SUCCESS);
  // Written without a terminating zero, read back with exactly the bytes written.
  ASSERT_EQ(SetText(key, u"RunNum", u"5"), ERROR_SUCCESS);
  EXPECT_EQ(QueryText(key, u"RunNum"), u"5");
  // Texts that collide with the file's own syntax, and a value replaced in place.
  const std::u16string tricky = u"a=b\\c\nd\re\u00e9\u4e2d";
  ASSERT_EQ(SetText(key, u"Odd=Name", tricky), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, u"runnum", u"~"), ERROR_SUCCESS);
  EXPECT_EQ(QueryText(key, u"Odd=Name"), tricky);
  EXPECT_EQ(QueryText(key, u"RUNNUM"), u"~");
  std::ifstream f(root_ + "/hkey_local_machine/software/maker/tool/values.txt");
  std::stringstream all;
  all << f.rdbuf();
  EXPECT_EQ(all.str(), "RunNum=~\nOdd\\=Name=a\\=b\\\\c\\nd\\re\xc3\xa9\xe4\xb8\xad\n");

  // Size queries and a buffer too small.
  DWORD bytes = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Odd=Name", nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, tricky.size() * 2);
  BYTE small[4];
  bytes = sizeof(small);
  EXPECT_EQ(RegQueryValueExW(key, u"Odd=Name", nullptr, nullptr, small, &bytes), ERROR_MORE_DATA);
  EXPECT_EQ(bytes, tricky.size() * 2);
  LONG r = 0;
  QueryText(key, u"Missing", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
  // Only REG_SZ, only whole UTF-16 units.
  const BYTE three[3] = {'a', 0, 'b'};
  EXPECT_EQ(RegSetValueExW(key, u"X", 0, REG_SZ, three, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key, u"X", 0, 4, three, 2), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AReadOnlyHandleCannotWrite) {
  ASSERT_EQ(RegSetupCreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(SetText(key, u"A", u"1"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  EXPECT_EQ(SetText(key, u"A", u"1"), ERROR_INVALID_HANDLE);
}

}  // namespace
