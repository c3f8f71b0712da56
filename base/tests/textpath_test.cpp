#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/bits.h"
#include "base/heap.h"
#include "base/pathutil.h"
#include "base/textutil.h"
#include "platform/fileio.h"
#include "platform/textconv.h"

namespace fs = std::filesystem;

namespace {

CString TempDir(const char* name) {
  fs::path p = fs::temp_directory_path() / (std::string("kestrel_base_") + name + "_" + std::to_string(getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  return FromHostPath(p.string());
}

TEST(TextUtil, Conversions) {
  EXPECT_EQ(Utf8ToCString("gr\xC3\xBC\xC3\x9F"), CString(u"gr\u00FC\u00DF"));
  EXPECT_EQ(Utf8ToCString(nullptr), CString());
  EXPECT_EQ(AnsiToCString("abc"), CString(u"abc"));

  const char buf[] = {'a', 'b', 'c', 0, 'x', 'y', 'z'};  // the last text has no NUL
  EXPECT_EQ(AnsiInBufToCString(buf, sizeof(buf), buf, 10), CString(u"abc"));
  EXPECT_EQ(AnsiInBufToCString(buf, sizeof(buf), buf, 2), CString(u"ab"));
  // Runs to the end of the buffer and stops there, never past it.
  EXPECT_EQ(AnsiInBufToCString(buf, sizeof(buf), buf + 4, 10), CString(u"xyz"));
  EXPECT_EQ(AnsiInBufToCString(buf, sizeof(buf), buf + sizeof(buf), 10), CString());
  EXPECT_EQ(AnsiInBufToCString(buf + 1, sizeof(buf) - 1, buf, 10), CString());
  EXPECT_EQ(AnsiInBufToCString(buf, sizeof(buf), nullptr, 10), CString());
}

TEST(TextUtil, SplitReplaceTrimColon) {
  CString before = u"old", after = u"old";
  EXPECT_FALSE(SplitAtStar(u"", before, after));
  EXPECT_EQ(before, CString(u"old"));
  ASSERT_TRUE(SplitAtStar(u"*.jpg", before, after));
  EXPECT_EQ(before, CString(u"*.jpg"));
  EXPECT_EQ(after, CString());
  ASSERT_TRUE(SplitAtStar(u"photo*5", before, after));
  EXPECT_EQ(before, CString(u"photo"));
  EXPECT_EQ(after, CString(u"5"));

  const struct {
    const char16_t* text;
    const char16_t* search;
    const char16_t* repl;
    bool rescan;
    const char16_t* result;
  } replace[] = {
      {u"aaaa", u"aa", u"a", false, u"aa"},
      {u"aaaa", u"aa", u"a", true, u"a"},      // replacements are examined again
      {u"a b  c", u"  ", u" ", true, u"a b c"},
      {u"abc", u"b", u"bb", true, u"abbc"},    // would never end: falls back to one pass
      {u"abc", u"", u"x", true, u"abc"},
      {u"x.y.z", u".", u"\\", false, u"x\\y\\z"},
  };
  for (const auto& c : replace) {
    CString s = c.text;
    ReplaceAll(s, c.search, c.repl, c.rescan);
    EXPECT_EQ(s, CString(c.result)) << CString(c.text).ToUtf8();
  }

  CString t = u" \t a b \t";
  TrimBlanks(t);
  EXPECT_EQ(t, CString(u"a b"));
  CString c = u"C:\\a:b";
  ColonToBlank(c);
  EXPECT_EQ(c, CString(u"C:\\a b"));
  CString c2 = u":x:";
  ColonToBlank(c2);
  EXPECT_EQ(c2, CString(u" x "));
}

TEST(TextUtil, CompareNoCaseN) {
  const struct {
    const char16_t* a;
    const char16_t* b;
    size_t n;
    int result;
  } cases[] = {
      {u"ABC", u"abd", 3, -1}, {u"ABC", u"abc", 3, 0}, {u"abc", u"ABD", 3, -1}, {u"abd", u"ABC", 3, 1},
      {u"Zz", u"a_", 1, 1},    // 'Z' faces 'a': compared as 'z'
      {u"Z", u"_", 1, -1},     // not a letter pair: code units
      {u"ab\0x", u"ab\0y", 4, -1},  // no early stop at the NUL
      {u"abc", u"abd", 2, 0},  {u"a", u"b", 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareNoCaseN(c.a, c.b, c.n), c.result) << CString(c.a).ToUtf8();
  EXPECT_TRUE(IsSameNoCase(u"Straße", u"STRAßE"));
  EXPECT_FALSE(IsSameNoCase(u"ab", u"abc"));
}

TEST(TextUtil, CopiesIntoBuffers) {
  char16_t buf[4] = {u'q', u'q', u'q', u'q'};
  CopyToWBuf(buf, 0, u"abc");  // n = 0 copies nothing rather than underflowing
  EXPECT_EQ(buf[0], u'q');
  CopyToWBuf(buf, 4, u"");
  EXPECT_EQ(buf[0], u'q');
  CopyToWBuf(buf, 4, u"abcdef");
  EXPECT_EQ(CString(buf), CString(u"abc"));
  CopyToWBuf(buf, 1, u"xyz");
  EXPECT_EQ(buf[0], 0);

  char16_t* dup = nullptr;
  EXPECT_FALSE(DupCStringToMem(u"", dup));
  EXPECT_EQ(dup, nullptr);
  ASSERT_TRUE(DupCStringToMem(u"first", dup));
  ASSERT_TRUE(DupCStringToMem(u"second", dup));  // frees the first copy
  EXPECT_EQ(CString(dup), CString(u"second"));
  EXPECT_EQ(GetMemSize(dup), 14u);
  FreeMem(dup);
}

TEST(PathUtil, GetFileExtLower) {
  const struct {
    const char16_t* path;
    bool ok;
    const char16_t* ext;
  } cases[] = {
      {u"C:\\dir\\File.JPG", true, u"jpg"}, {u"C:\\a.b\\c", false, u""}, {u".x", false, u""},
      {u"x", false, u""},                   {u"a.", true, u""},          {u"/home/u/a.Tar.GZ", true, u"gz"},
      {u"\\.x", true, u"x"},  // a separator at index 0 does not count
      {u"dir.d/file", false, u""},
  };
  for (const auto& c : cases) {
    CString ext = u"stale";
    EXPECT_EQ(GetFileExtLower(c.path, ext), c.ok) << CString(c.path).ToUtf8();
    EXPECT_EQ(ext, CString(c.ext)) << CString(c.path).ToUtf8();
  }
  CString ext = u"stale";
  EXPECT_FALSE(GetFileExtLower(nullptr, ext));
  EXPECT_EQ(ext, CString());
}

TEST(PathUtil, FixIllegalName) {
  auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  CString p = u"C:\\out\\a:b?.txt";
  ASSERT_TRUE(FixIllegalName(p));
  ASSERT_EQ(p.GetLength(), 15);
  EXPECT_EQ(p.Left(8), CString(u"C:\\out\\a"));
  EXPECT_TRUE(isDigit(p[8]));
  EXPECT_EQ(p[9], u'b');
  EXPECT_TRUE(isDigit(p[10]));
  EXPECT_EQ(p.Mid(11), CString(u".txt"));

  const struct {
    const char16_t* in;
    bool ok;
    const char16_t* out;
  } cases[] = {
      {u"C:\\a:b\\c", true, u"C:\\a:b\\c"},  // higher folders stay as they are
      {u"C:\\out\\", true, u"C:\\out"},       // the trailing separator goes
      {u"abc", false, u"abc"},
      {u"abcd", false, u"abcd"},              // no separator
      {u"\\abcd", false, u"\\abcd"},          // the separator must stand beyond index 1
      {u"a\\bcd", false, u"a\\bcd"},
      {u"C:\\abc", true, u"C:\\abc"},
      {u"/tmp/ok name.txt", true, u"/tmp/ok name.txt"},
      {u"/tmp/\u4E2D\u6587", true, u"/tmp/\u4E2D\u6587"},  // CJK ideographs are kept
  };
  for (const auto& c : cases) {
    CString s = c.in;
    EXPECT_EQ(FixIllegalName(s), c.ok) << CString(c.in).ToUtf8();
    EXPECT_EQ(s, CString(c.out)) << CString(c.in).ToUtf8();
  }
  // Accented, control and other non-ASCII characters each become one digit.
  CString s = u"/tmp/\u00E9\x01|\u0416";
  ASSERT_TRUE(FixIllegalName(s));
  ASSERT_EQ(s.GetLength(), 9);
  for (int i = 5; i < 9; ++i) EXPECT_TRUE(isDigit(s[i])) << i;
}

TEST(PathUtil, CopyLegalName) {
  const char16_t name[] = u"a*b:c\\d<e>f?g/h|i\"j\x01k-rest";
  char16_t* out = nullptr;
  ASSERT_TRUE(CopyLegalName(out, name, 22));
  EXPECT_EQ(CString(out), CString(u"a_b_c_d_e_f_g_h_i_j_k-"));
  FreeMem(out);
  ASSERT_TRUE(CopyLegalName(out, nullptr, 5));
  EXPECT_EQ(CString(out), CString());
  FreeMem(out);
}

TEST(PathUtil, RepairNameComponentKeepsJoinsInsideTheFolder) {
  const char16_t withNul[] = {u'a', 0, u'b'};
  const struct {
    CString in;
    const char16_t* out;
    bool changed;
  } cases[] = {
      {CString(u""), u"_", true},       {CString(u"."), u"_", true},
      {CString(u".."), u"_", true},     {CString(u"../etc"), u".._etc", true},
      {CString(u"a\\b/c"), u"a_b_c", true}, {CString(withNul, 3), u"a_b", true},
      {CString(u"...x"), u"...x", false}, {CString(u"Photo.JPG"), u"Photo.JPG", false},
  };
  for (const auto& c : cases) {
    CString name = c.in;
    EXPECT_EQ(RepairNameComponent(name), c.changed) << Utf16ToUtf8(std::u16string_view(c.in.GetString(), size_t(c.in.GetLength())));
    EXPECT_EQ(name, c.out) << Utf16ToUtf8(std::u16string_view(c.in.GetString(), size_t(c.in.GetLength())));
  }
}

TEST(PathUtil, SplitPath) {
  const struct {
    const char16_t* path;
    bool ok;
    std::vector<CString> parts;
  } cases[] = {
      {u"C:\\a\\b", true, {u"a", u"b"}},
      {u"C:\\", false, {}},
      {u"C:\\ab\\", false, {u"ab"}},
      {u"  C:\\a\\\\b\t", true, {u"a", u"b"}},
      {u"/home/user/f.txt", true, {u"home", u"user", u"f.txt"}},
      {u"C:a", false, {}},
      {u"C:ab", true, {u"ab"}},
      {u"", false, {}},
  };
  for (const auto& c : cases) {
    std::vector<CString> parts;
    EXPECT_EQ(SplitPath(c.path, parts), c.ok) << CString(c.path).ToUtf8();
    EXPECT_EQ(parts, c.parts) << CString(c.path).ToUtf8();
  }
}

TEST(PathUtil, JoinExeDirExistsAndCreate) {
  EXPECT_EQ(JoinPath(u"C:\\dir", u"f"), CString(u"C:\\dir/f"));
  EXPECT_EQ(JoinPath(u"C:\\dir/", u"f"), CString(u"C:\\dir/f"));
  EXPECT_EQ(JoinPath(u"C:\\dir\\", u"f"), CString(u"C:\\dir\\f"));
  EXPECT_EQ(JoinPath(u"", u"f"), CString(u"f"));

  const CString exe = GetExeDir();
  ASSERT_FALSE(exe.IsEmpty());
  EXPECT_EQ(exe[exe.GetLength() - 1], u'/');
  EXPECT_TRUE(FileExists(exe));

  const CString dir = TempDir("create");
  EXPECT_TRUE(FileExists(dir));
  EXPECT_FALSE(FileExists(dir + u"/missing"));
  EXPECT_FALSE(FileExists(u""));
  CString plain = dir + u"/plain";
  EXPECT_TRUE(CreateDirFixed(plain));
  EXPECT_TRUE(CreateDirFixed(plain));  // exists already
  EXPECT_EQ(plain, dir + u"/plain");
  // A name the file system refuses is repaired: a separator is the one character Linux refuses
  // inside a name, but a missing parent folder cannot be repaired.
  CString deep = dir + u"/no/such";
  EXPECT_FALSE(CreateDirFixed(deep));
  fs::remove_all(HostPath(dir));
}

TEST(Bits, PopCountAndPowerOfTwo) {
  const uint8_t b[] = {0xFF, 0x01, 0x80, 0x00};
  EXPECT_EQ(PopCountBytes(b, sizeof(b)), 10u);
  EXPECT_EQ(PopCountBytes(nullptr, 4), 0u);
  EXPECT_EQ(PopCountBytes(b, 0), 0u);
  for (uint32_t v : {1u, 2u, 4u, 8u, 16u, 32u, 64u, 128u, 0x104u}) EXPECT_TRUE(IsPowerOfTwoByte(v)) << v;
  for (uint32_t v : {0u, 3u, 6u, 255u, 256u, 0x300u}) EXPECT_FALSE(IsPowerOfTwoByte(v)) << v;
}

}  // namespace
