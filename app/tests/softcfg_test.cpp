#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/basecfg.h"
#include "app/resarchive.h"
#include "app/settings.h"
#include "app/skinhooks.h"
#include "app/softcfg.h"
#include "app/tests/recoverydat_fixture.h"
#include "platform/fileio.h"

namespace fs = std::filesystem;

namespace {

std::vector<DWORD> g_sleeps;
void RecordSleep(DWORD ms) { g_sleeps.push_back(ms); }

std::vector<uint8_t> g_skinArchive;
void RecordSkinArchive(const uint8_t* bytes, uint32_t length) { g_skinArchive.assign(bytes, bytes + length); }

const char kVerCfg[] =
    "// edition\n"
    "Default-Key: 101\n"
    "Default-Web: http://127.0.0.1/  // the local help pages\n"
    "Default-MovFragRecovery: 1\n"
    "Default-VideoSample02: 1\n"
    "Pro-VideoSample02: 0\n";
const char kLang[] = "Retry: Try again\nExit: Quit\n";

// Each test starts with empty tables, clear flags, a fresh program folder and a sleep that
// only records.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LangTable().Clear();
    BaseCfgTable().Clear();
    SoftCfgTable().Clear();
    LangLoaded = false;
    SoftCfgLoaded = false;
    VideoFragOptions = {};
    g_sleeps.clear();
    g_skinArchive.clear();
    SetCfgRetrySleep(&RecordSleep);
    SetSkinImageTableLoader(&RecordSkinArchive);
    dir_ = MakeTestProgramDir("startup");
    SetProgramDirOverride(dir_);
  }
  void TearDown() override {
    SetProgramDirOverride(CString());
    SetCfgRetrySleep(nullptr);
    SetSkinImageTableLoader(nullptr);
    std::error_code ec;
    fs::remove_all(HostPath(dir_), ec);
  }
  void WriteText(const char16_t* name, const std::string& bytes) {
    std::ofstream(HostPath(dir_ + name), std::ios::binary) << bytes;
  }
  CString dir_;
};

TEST_F(StartupTest, InitSoftCfgLoadsEverything) {
  ASSERT_TRUE(WriteTestSettings(dir_, "Tesmur", "Pro", kVerCfg, kLang));
  CString err = u"untouched";
  ASSERT_TRUE(InitSoftCfg(err)) << err.ToUtf8();
  EXPECT_EQ(err, CString(u"untouched"));
  EXPECT_TRUE(LangLoaded);
  EXPECT_TRUE(SoftCfgLoaded);
  EXPECT_EQ(GetBaseCfg(u"Brand"), CString(u"Tesmur"));
  EXPECT_EQ(GetSoftCfgKey(), 101);
  EXPECT_EQ(GetSoftCfg(u"Web"), CString(u"http://127.0.0.1/"));
  EXPECT_EQ(GetLangStr(u"retry"), CString(u"Try again"));
  EXPECT_EQ(VideoFragOptions.MovFragRecovery, 1u);
  EXPECT_EQ(VideoFragOptions.VideoSample02, 0u);  // the version's entry wins
  // The missing optional "Owner" cost one retry pause and no failure.
  EXPECT_EQ(g_sleeps, std::vector<DWORD>{1000});
  // The skin hook saw the whole archive, unscrambled.
  ASSERT_GT(g_skinArchive.size(), 4u);
  EXPECT_EQ(std::string(g_skinArchive.begin(), g_skinArchive.begin() + 2), "PK");
}

TEST_F(StartupTest, EachFailureNamesItsStep) {
  struct Case {
    const char* name;
    std::string base;                        // empty: no Base.dat
    std::vector<ZipSourceEntry> archive;     // empty: no Recovery.dat
    const char16_t* error;
    size_t sleeps;
  };
  const std::string fullBase = "[Setting]\nBrand=Tesmur\nVersion=Pro\nlanguage=English\nOwner=me\n";
  const ZipSourceEntry ver = TextEntry("Tesmur/VerCfg.txt", kVerCfg);
  const ZipSourceEntry lang = TextEntry("Lang/English.txt", kLang);
  const Case cases[] = {
      {"no Base.dat", "", {ver, lang}, u"ReadBaseCfg err 1", 1},
      {"no Version", "[Setting]\nBrand=Tesmur\nlanguage=English\n", {ver, lang}, u"ReadBaseCfg err 2", 1},
      {"no language", "[Setting]\nBrand=Tesmur\nVersion=Pro\n", {ver, lang}, u"ReadBaseCfg err 3", 1},
      {"other section", "[Other]\nBrand=Tesmur\n", {ver, lang}, u"ReadBaseCfg err 1", 1},
      {"no Recovery.dat", fullBase, {}, u"GetSoftCfgFromFile err 1", 0},
      {"no edition entry", fullBase, {TextEntry("Andovel/VerCfg.txt", kVerCfg), lang}, u"GetSoftCfgFromFile err 4", 0},
      {"edition only comments", fullBase, {TextEntry("Tesmur/VerCfg.txt", "// nothing\n\n"), lang},
       u"GetSoftCfgFromFile err 4", 0},
      {"no language entry", fullBase, {ver, TextEntry("Lang/German.txt", kLang)}, u"GetSoftCfgFromFile err 5", 0},
      {"no Key", fullBase, {TextEntry("Tesmur/VerCfg.txt", "Default-Web: x\n"), lang}, u"InitSoftCfg err Key", 0},
      {"empty Key for the version", fullBase, {TextEntry("Tesmur/VerCfg.txt", "Default-Key: 1\nPro-Key:\n"), lang},
       u"InitSoftCfg err Key", 0},
  };
  for (const Case& c : cases) {
    SetUp();
    if (!c.base.empty()) WriteText(u"Base.dat", c.base);
    if (!c.archive.empty()) {
      ASSERT_TRUE(WriteRecoveryDat(dir_, c.archive)) << c.name;
    }
    CString err;
    EXPECT_FALSE(InitSoftCfg(err)) << c.name;
    EXPECT_EQ(err, CString(c.error)) << c.name;
    EXPECT_EQ(g_sleeps.size(), c.sleeps) << c.name;
    EXPECT_TRUE(g_skinArchive.empty()) << c.name;
    TearDown();
  }
}

TEST_F(StartupTest, EmptyOrScrambledWronglyArchiveFails) {
  WriteText(u"Base.dat", "[Setting]\nBrand=Tesmur\nVersion=Pro\nlanguage=English\nOwner=me\n");
  WriteText(u"Recovery.dat", "");
  CString err;
  EXPECT_FALSE(InitSoftCfg(err));
  EXPECT_EQ(err, CString(u"GetSoftCfgFromFile err 1"));
  // An archive that was never scrambled reads as garbage: no edition configuration.
  std::vector<uint8_t> plain = BuildRecoveryDat({TextEntry("Tesmur/VerCfg.txt", kVerCfg)});
  UnscrambleArchive(plain.data(), plain.size());
  WriteText(u"Recovery.dat", std::string(plain.begin(), plain.end()));
  EXPECT_FALSE(InitSoftCfg(err));
  EXPECT_EQ(err, CString(u"GetSoftCfgFromFile err 4"));
}

TEST_F(StartupTest, BaseValueIsReadAgainAfterThePause) {
  // The file gains its "Version" while the reader pauses, as when an installer finishes
  // writing it: the second read sees it.
  WriteText(u"Base.dat", "[Setting]\nBrand=Tesmur\nlanguage=English\n");
  static CString s_dir;
  s_dir = dir_;
  SetCfgRetrySleep([](DWORD ms) {
    g_sleeps.push_back(ms);
    std::ofstream(HostPath(s_dir + u"Base.dat"), std::ios::binary)
        << "[Setting]\nBrand=Tesmur\nVersion=Pro\nlanguage=English\n";
  });
  CString err;
  ASSERT_TRUE(ReadBaseCfg(err));
  EXPECT_EQ(GetBaseCfg(u"Version"), CString(u"Pro"));
  EXPECT_EQ(GetBaseCfg(u"Owner"), CString());
  // One pause for "Version", one for the missing "Owner".
  EXPECT_EQ(g_sleeps, (std::vector<DWORD>{1000, 1000}));
}

TEST_F(StartupTest, LanguageFileWithAndWithoutByteOrderMark) {
  WriteText(u"Base.dat", "[Setting]\nBrand=Tesmur\nVersion=Pro\nlanguage=English\nOwner=me\n");
  ASSERT_TRUE(WriteRecoveryDat(dir_, {TextEntry("Tesmur/VerCfg.txt", kVerCfg, false),
                                      TextEntry("Lang/English.txt", "Retry: a\nExit: b\n", false)}));
  CString err;
  ASSERT_TRUE(InitSoftCfg(err)) << err.ToUtf8();
  // Without a byte-order mark the first character is lost all the same.
  EXPECT_EQ(GetLangStr(u"Retry"), CString());
  EXPECT_EQ(GetLangStr(u"etry"), CString(u"a"));
  EXPECT_EQ(GetLangStr(u"Exit"), CString(u"b"));
  EXPECT_EQ(GetSoftCfgKey(), 101);  // the edition's first line is a comment, cut either way
}

TEST(BaseCfg, ReadIniValueRules) {
  const CString dir = MakeTestProgramDir("ini");
  const CString path = dir + u"test.ini";
  auto write = [&](const std::string& bytes) { std::ofstream(HostPath(path), std::ios::binary) << bytes; };

  write("; comment\r\n[other]\r\nBrand=Wrong\r\n[ SETTING ]\r\n  brand =  \"Tesmur\"  \r\nVersion='Pro'\r\n"
        "Empty=\r\nQuote=\"open\r\n" "Long=" + std::string(300, 'x') + "\r\n[next]\r\nVersion=Later\r\n");
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"Brand"), CString(u"Tesmur"));
  EXPECT_EQ(ReadIniValue(path, u"setting", u"VERSION"), CString(u"Pro"));
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"Empty"), CString());
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"Quote"), CString(u"\"open"));
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"Long").GetLength(), 259);
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"Owner"), CString());
  EXPECT_EQ(ReadIniValue(path, u"Missing", u"Brand"), CString());
  EXPECT_EQ(ReadIniValue(dir + u"none.ini", u"Setting", u"Brand"), CString());

  // UTF-16LE with its byte-order mark, and UTF-8 with its mark.
  write(Utf8ToUtf16LeFile("[Setting]\nlanguage=Fran\xC3\xA7" "ais\n", true));
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"language"), CString(u"Fran\u00E7ais"));
  write("\xEF\xBB\xBF[Setting]\nlanguage=English\n");
  EXPECT_EQ(ReadIniValue(path, u"Setting", u"language"), CString(u"English"));
  fs::remove_all(HostPath(dir));
}

#ifdef KESTREL_TEST_BIN_DIR
// The program folder the build lays out: its "Base.dat" and "Recovery.dat" start the program,
// the English table covers the keys the program uses, and no address leaves the machine.
TEST_F(StartupTest, ShippedResourcesLoad) {
  SetProgramDirOverride(FromHostPath(KESTREL_TEST_BIN_DIR));
  CString err;
  ASSERT_TRUE(InitSoftCfg(err)) << err.ToUtf8();
  EXPECT_TRUE(g_sleeps.empty());  // every value is there: no pause at start
  for (const char16_t* key : {u"AllocMemFailed", u"CloseOtherProgram", u"Retry", u"Exit", u"FileLost"})
    EXPECT_FALSE(GetLangStr(key).IsEmpty()) << CString(key).ToUtf8();
  EXPECT_EQ(GetSoftCfgKey() % 100, 1);
  EXPECT_EQ(VideoFragOptions.MovFragRecovery, 0u);
  EXPECT_EQ(VideoFragOptions.MtsFragRecovery, 0u);
  EXPECT_TRUE(IsSoftCfgOn(u"ParseFileSys"));
  EXPECT_TRUE(IsSoftCfgOn(u"ClassifyFile"));
  EXPECT_TRUE(IsSoftCfgOn(u"ShowAllFile"));
  for (const CString& key : SoftCfgKeys()) {
    const CString v = GetSoftCfg(key);
    EXPECT_EQ(v.Find(u"://127.0.0.1"), v.Find(u"://")) << key.ToUtf8() << " " << v.ToUtf8();
    EXPECT_LT(v.Find(u"www."), 0) << key.ToUtf8() << " " << v.ToUtf8();
  }
  EXPECT_EQ(GetSoftCfg(u"WebParam"), CString());
  EXPECT_EQ(GetSoftCfg(u"NeedUpdate"), CString());
  EXPECT_EQ(GetSoftCfg(u"MustUpdate"), CString());
  SetProgramDirOverride(dir_);
}
#endif

}  // namespace
