#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/jsonutil.h"
#include "app/md5.h"
#include "app/strutil.h"
#include "platform/fileio.h"

namespace fs = std::filesystem;

namespace {

TEST(Json, WriteIsCompactSortedUtf8) {
  CjJsonCpp empty;
  std::string out;
  empty.Write(out);
  EXPECT_EQ(out, "null");

  CjJsonCpp j;
  j.Texts[u"zeta"] = u"last";
  j.Texts[u"name"] = u"K\u00E4se \u4E2D";
  j.TextArrays[u"list"] = {u"a", u"b"};
  j.Objects[u"nested"].Texts[u"x"] = u"1";
  j.Objects[u"hollow"];  // a nested object without members is null
  CjJsonCpp item;
  item.Texts[u"id"] = u"7";
  j.ObjectArrays[u"items"] = {item, CjJsonCpp()};
  j.Write(out);
  EXPECT_EQ(out,
            "{\"hollow\":null,\"items\":[{\"id\":\"7\"},null],\"list\":[\"a\",\"b\"],"
            "\"name\":\"K\xC3\xA4se \xE4\xB8\xAD\",\"nested\":{\"x\":\"1\"},\"zeta\":\"last\"}");
}

TEST(Json, ReaderParsesAndReportsErrors) {
  CJsonCppReader r;
  EXPECT_TRUE(r.Init());
  Json::Value v;
  std::string errors;
  ASSERT_TRUE(r.Parse("{\"a\": [1, 2], \"b\": \"t\"}", v, errors));
  EXPECT_EQ(v["a"][1].asInt(), 2);
  EXPECT_EQ(v["b"].asString(), "t");
  EXPECT_TRUE(r.Reset());
  EXPECT_FALSE(r.Parse("{\"a\": ", v, errors));
  EXPECT_FALSE(errors.empty());
}

TEST(StrUtil, UrlEncodeAndDecode) {
  const struct {
    std::string in;
    bool keep;
    std::string out;
  } enc[] = {
      {"a b+c", false, "a%20b%2Bc"},
      {"\xE4", false, "%E4"},
      {"A-z_0.9*~", false, "A-z_0.9*%7E"},
      {"http://h/p?x=1&y=%2F@", true, "http://h/p?x=1&y=%2F%40"},
      {"http://h/p?x=1", false, "http%3A%2F%2Fh%2Fp%3Fx%3D1"},
      {"%2", true, "%252"},  // not a whole escape
      {"%zz", true, "%25zz"},
  };
  for (const auto& c : enc) EXPECT_EQ(UrlEncode(c.in, c.keep), c.out) << c.in;

  const struct {
    std::string in;
    std::string out;
  } dec[] = {
      {"%41", "%41"},  // an escaped letter stays escaped
      {"%20", " "},
      {"a+b", "a b"},
      {"%2B", "+"},    // an escaped plus is a plus, not a blank
      {"%2b%2F%40", "+%2F%40"},
      {"%E4%", "\xE4%"},
      {"%G1", "%G1"},
      {"", ""},
  };
  for (const auto& c : dec) EXPECT_EQ(UrlDecode(c.in), c.out) << c.in;
}

TEST(StrUtil, QueryUtf8AndConversions) {
  EXPECT_EQ(BuildQueryString({}), "");
  EXPECT_EQ(BuildQueryString({{"b", "2"}, {"a", "1"}}), "a=1&b=2");
  EXPECT_EQ(BuildQueryString({{"k", "v w"}}), "k=v w");

  const struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"", false},         {"plain ascii", false}, {"K\xC3\xA4se", true},  {"end\xE4", false},
      {"\xE4\xB8\xAD", true}, {"\x80", false},     {"\xFE", false},        {"\xC3\x28", false},
      {"\xF8\x88\x80\x80\x80", true},  // five-byte forms count as well-formed here
  };
  for (const auto& c : cases) EXPECT_EQ(IsUtf8Text(c.text), c.utf8) << c.text;

  EXPECT_EQ(Utf8ToWide("K\xC3\xA4se"), CString(u"K\u00E4se"));
  EXPECT_EQ(WideToUtf8(u"K\u00E4se"), "K\xC3\xA4se");
  EXPECT_EQ(AnsiToWide("abc"), CString(u"abc"));
  EXPECT_EQ(AnsiToUtf8("abc"), "abc");
  EXPECT_EQ(ExceptionTextToWide("bad option"), CString(u"bad option"));
  EXPECT_EQ(ExceptionTextToWide(nullptr), CString());
}

TEST(StrUtil, Md5RfcVectors) {
  const struct {
    const char* in;
    const char* hex;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5HexUpper(c.in), c.hex) << c.in;
  EXPECT_EQ(Md5HexUpper(nullptr), "D41D8CD98F00B204E9800998ECF8427E");
  // 55, 56 and 64 bytes: the padding spills into a second block at 56.
  EXPECT_EQ(Md5HexUpper(std::string(56, 'a').c_str()), "3B0C8AC703F828B04C6C197006D17218");
  EXPECT_EQ(Md5HexUpper(std::string(64, 'a').c_str()), "014842D480B571495A4A0363793F7367");
}

TEST(StrUtil, NonceAndTrim) {
  std::set<std::u16string> seen;
  std::set<char16_t> chars;
  for (int i = 0; i < 50; ++i) {
    const CString n = MakeNonce32();
    ASSERT_EQ(n.GetLength(), 32);
    for (int k = 0; k < 32; ++k) {
      const char16_t c = n[k];
      EXPECT_TRUE((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) << int(c);
      chars.insert(c);
    }
    seen.insert(n.Str());
  }
  // Calls within one second differ: the generator is not reseeded from the clock per call.
  EXPECT_EQ(seen.size(), 50u);
  EXPECT_GT(chars.size(), 40u);

  EXPECT_EQ(TrimChars(u"--a-b--", u"-"), CString(u"a-b"));
  EXPECT_EQ(TrimWhite(u"abc \n"), CString(u"abc"));  // a mixture is trimmed whole
  EXPECT_EQ(TrimWhite(u"\r\n\t x y \t\r\n"), CString(u"x y"));
  EXPECT_EQ(TrimWhite(u" \t "), CString());
}

TEST(StrUtil, CreateDirRecursive) {
  const fs::path root = fs::temp_directory_path() / ("kestrel_mkdirs_" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  const CString base = FromHostPath(root.string());

  EXPECT_EQ(CreateDirRecursive(u""), 22);
  EXPECT_EQ(CreateDirRecursive(base), 0);
  // An absolute path with missing parents, with both separators and a trailing one.
  EXPECT_EQ(CreateDirRecursive(base + u"/a\\b/c/"), 0);
  EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "c"));
  EXPECT_EQ(CreateDirRecursive(base + u"/a/b/c"), 0);
  // A file in the way cannot become a folder.
  { std::ofstream(root / "file") << "x"; }
  EXPECT_EQ(CreateDirRecursive(base + u"/file"), -1);
  EXPECT_EQ(CreateDirRecursive(base + u"/file/sub"), -1);
  fs::remove_all(root);
}

}  // namespace
