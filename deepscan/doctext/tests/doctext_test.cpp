// The document text readers over small documents built here: Word piece tables, office XML
// packages, Excel workbooks, zip and RAR listings and document properties, with the damaged
// and hostile cases each walk must survive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/doctext/tests/doctexttestenv.h"
#include "deepscan/doctext/zipmemory.h"
#include "deepscan/tests/carvedetails.h"
#include "deepscan/tests/officebuild.h"

namespace {

using namespace officebuild;

std::u16string U(const CString& s) { return s.Str(); }

class DocText : public ::testing::Test {
 protected:
  void SetUp() override { DocTextTestEnv(); }
};

// ---------------------------------------------------------------- Word

struct Piece {
  uint32_t from, to;  // character positions
  uint32_t fc;        // as stored: bit 30 for 8-bit characters at fc / 2
};

// A piece table (type byte, size, positions, descriptors) at offset `at` of a table stream.
Bytes PieceTable(const std::vector<Piece>& pieces, size_t at = 0) {
  Bytes t(at, 0);
  t.push_back(2);
  Add32(t, uint32_t(4 + 12 * pieces.size()));
  for (const Piece& p : pieces) Add32(t, p.from);
  Add32(t, pieces.empty() ? 0 : pieces.back().to);
  for (const Piece& p : pieces) {
    Add16(t, 0);
    Add32(t, p.fc);
    Add16(t, 0);
  }
  return t;
}

// A WordDocument stream: fcClx at 418, then the given bytes from 0x400 on.
Bytes WordDoc(uint32_t fcClx, const Bytes& body, size_t size = 0) {
  Bytes w(0x400, 0);
  Put32(w, 418, fcClx);
  w.insert(w.end(), body.begin(), body.end());
  if (size > w.size()) w.resize(size, 0);
  return w;
}

std::u16string PieceText(const Bytes& word, const Bytes& table) {
  std::u16string text;
  if (!ReadWordPieceText(word.data(), word.size(), table.data(), table.size(), text)) return u"<none>";
  return text;
}

constexpr uint32_t k8Bit = 0x40000000;

TEST_F(DocText, WordPieceTable) {
  Bytes utf16;
  for (char16_t c : std::u16string(u"Grüße")) Add16(utf16, c);
  const Bytes body = TextBytes("Hello world");  // at 0x400
  Bytes both = body;
  both.resize(0x100, 0);
  both.insert(both.end(), utf16.begin(), utf16.end());  // at 0x500
  const struct {
    const char* what;
    Bytes word, table;
    std::u16string text;
  } cases[] = {
      {"8-bit piece", WordDoc(0, body), PieceTable({{0, 5, k8Bit | 0x800}}), u"Hello"},
      {"UTF-16 piece", WordDoc(0, both), PieceTable({{0, 5, 0x500}}), u"Grüße"},
      {"pieces in order", WordDoc(0, both), PieceTable({{0, 5, k8Bit | 0x80C}, {5, 10, 0x500}}), u"worldGrüße"},
      {"table at an offset", WordDoc(37, body), PieceTable({{0, 11, k8Bit | 0x800}}, 37), u"Hello world"},
      {"a piece past the stream ends the text", WordDoc(0, body),
       PieceTable({{0, 5, k8Bit | 0x800}, {5, 105, k8Bit | 0x810}}), u"Hello"},
      {"a UTF-16 piece past the stream", WordDoc(0, body), PieceTable({{0, 200, 0x400}}), u"<none>"},
      {"positions running backwards", WordDoc(0, body), PieceTable({{0, 5, k8Bit | 0x800}, {5, 2, k8Bit | 0x800}}),
       u"Hello"},
      {"no pieces", WordDoc(0, body), PieceTable({}), u"<none>"},
      {"table beyond the stream", WordDoc(900, body), PieceTable({{0, 5, k8Bit | 0x800}}), u"<none>"},
      {"descriptors cut off", WordDoc(0, body),
       [] {
         Bytes t = PieceTable({{0, 5, k8Bit | 0x800}});
         t.resize(t.size() - 4);
         return t;
       }(),
       u"<none>"},
      {"word stream too short", Bytes(100, 0), PieceTable({{0, 5, k8Bit | 0x800}}), u"<none>"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(PieceText(k.word, k.table), k.text);
  }
}

TEST_F(DocText, WordTextIsCappedAndPiecesStopPast16KiB) {
  const Bytes body(40000, 'x');
  // One piece of 40000 characters: cut at 32 KiB of UTF-16.
  EXPECT_EQ(PieceText(WordDoc(0, body, 0x400 + 40000), PieceTable({{0, 40000, k8Bit | 0x800}})).size(), 16384u);
  // A piece that brings the text to 16 KiB or more is the last one.
  const std::u16string two =
      PieceText(WordDoc(0, body), PieceTable({{0, 8192, k8Bit | 0x800}, {8192, 8200, k8Bit | 0x800}}));
  EXPECT_EQ(two.size(), 8192u);
  const std::u16string under =
      PieceText(WordDoc(0, body), PieceTable({{0, 8191, k8Bit | 0x800}, {8191, 8199, k8Bit | 0x800}}));
  EXPECT_EQ(under.size(), 8199u);
}

TEST_F(DocText, CleanWordText) {
  const struct {
    std::u16string raw, clean;
  } cases[] = {
      {u"a\r\r\nb", u"a\r\n\nb"},     // the CR run collapses, then CR becomes CR LF
      {u"one\rtwo\r", u"one\r\ntwo\r\n"},
      {u"cell\x07" u"cell\x0B" u"tab\tend", u"cell cell tab\tend"},
      {u"\r\r\r", u"\r\n"},
      {u"a\r\nb\r", u"a\r\n\nb\r\n"},
  };
  for (const auto& k : cases) EXPECT_EQ(U(CleanWordText(k.raw)), k.clean);
}

Bytes WordFile(const std::string& text, const std::u16string& tableName = u"1Table") {
  const Bytes word = WordDoc(0, TextBytes(text));
  const Bytes table = PieceTable({{0, uint32_t(text.size()), k8Bit | 0x800}});
  return BuildCfb({{u"WordDocument", word}, {tableName, table}}).bytes;
}

TEST_F(DocText, ExtractWordText) {
  CString text;
  ASSERT_TRUE(ExtractWordText(WordFile("First\rSecond\r").data(), WordFile("First\rSecond\r").size(), text));
  EXPECT_EQ(U(text), u"First\r\nSecond\r\n");
  const Bytes old = WordFile("Older table", u"0Table");
  ASSERT_TRUE(ExtractWordText(old.data(), old.size(), text));
  EXPECT_EQ(U(text), u"Older table");
  const Bytes none = WordFile("No table", u"Data");
  EXPECT_FALSE(ExtractWordText(none.data(), none.size(), text));
  Bytes small = WordFile("Short");
  ASSERT_GE(small.size(), 1024u);
  EXPECT_FALSE(ExtractWordText(small.data(), 1023, text));
  small[0] = 0;
  EXPECT_FALSE(ExtractWordText(small.data(), small.size(), text));
}

// ---------------------------------------------------------------- office XML packages

// Packed parts, and a stored picture that brings the package over 512 bytes.
Bytes Package(std::vector<Member> members) {
  for (Member& m : members) m.deflate = true;
  members.push_back({"media/image1.bin", Filled(700, 9)});
  return BuildZip(members);
}

std::u16string OoxmlText(uint32_t type, const Bytes& zip) {
  CString text;
  return ExtractOoxmlText(type, zip.data(), zip.size(), text) ? U(text) : u"<none>";
}

std::string Slide(const std::string& words) {
  return "<?xml version=\"1.0\"?>\n<p:sld><a:t>" + words + "</a:t></p:sld>";
}

TEST_F(DocText, OoxmlTextRuns) {
  // A run of one byte is not taken.
  EXPECT_EQ(OoxmlText(38, Package({{"xl/sharedStrings.xml", TextBytes("<sst><si><t>a</t></si><si><t>bc</t></si></sst>")}})),
            u"bc");
  // Slides in their numbers' order, whatever the order of the members; slide 0 counts, a name
  // "%d" would not write does not.
  const Bytes deck = Package({{"ppt/slides/slide3.xml", TextBytes(Slide("third"))},
                              {"ppt/slides/slide10.xml", TextBytes(Slide("tenth"))},
                              {"ppt/slides/slide1.xml", TextBytes(Slide("first"))},
                              {"ppt/slides/slide01.xml", TextBytes(Slide("leading zero"))},
                              {"ppt/slides/slide0.xml", TextBytes(Slide("zeroth"))},
                              {"PPT/Slides/Slide2.XML", TextBytes(Slide("second"))}});
  EXPECT_EQ(OoxmlText(89, deck), u"zerothfirstsecondthirdtenth");
  // A slide that would bring the slides to 16 KiB is skipped; later ones are still taken.
  const Bytes big = Package({{"ppt/slides/slide1.xml", TextBytes(Slide("first"))},
                             {"ppt/slides/slide2.xml", TextBytes(Slide(std::string(16300, 'b')))},
                             {"ppt/slides/slide3.xml", TextBytes(Slide("third"))}});
  EXPECT_TRUE(OoxmlText(89, big) == u"firstthird");
  // UTF-8 runs, leading line breaks dropped, at most 0x4000 characters.
  EXPECT_EQ(OoxmlText(37, Package({{"word/document.xml", TextBytes("<w>\r\n\nCaf\xC3\xA9 au lait</w>")}})),
            u"Café au lait");
  const std::u16string longText = OoxmlText(37, Package({{"word/document.xml", TextBytes("<w>" + std::string(50000, 'q') + "</w>")}}));
  EXPECT_EQ(longText.size(), 0x4000u);
  // No main part, or no run in it.
  EXPECT_EQ(OoxmlText(37, Package({{"word/other.xml", TextBytes("<w>text</w>")}})), u"<none>");
  EXPECT_EQ(OoxmlText(37, Package({{"word/document.xml", TextBytes("<w><x/></w>")}})), u"<none>");
  EXPECT_EQ(OoxmlText(61, Package({{"word/document.xml", TextBytes("<w>text</w>")}})), u"<none>");
}

TEST_F(DocText, ZipRecordWalk) {
  const std::string pad(600, 'p');
  const Bytes plain = BuildZip({{"word/document.xml", TextBytes("<w>words</w>" + pad)}});
  EXPECT_TRUE(CheckZipRecords(plain.data(), plain.size()));
  // Streamed members (sizes in a descriptor behind the data) are walked to their descriptor.
  const Bytes streamed = BuildZip({{"word/document.xml", TextBytes("<w>words</w>" + pad), true, true},
                                   {"b.bin", Filled(3000, 2), false, true}});
  EXPECT_TRUE(CheckZipRecords(streamed.data(), streamed.size()));
  EXPECT_EQ(OoxmlText(37, streamed), u"words");
  const struct {
    const char* what;
    Bytes zip;
  } broken[] = {
      {"end record cut", Bytes(plain.begin(), plain.end() - 1)},
      {"central header cut", Bytes(plain.begin(), plain.begin() + (plain.size() - 22 - 46 + 20))},
      {"a member longer than the bytes", [&] {
         Bytes b = plain;
         Put32(b, 18, 0x7FFFFFFF);
         return b;
       }()},
      {"an unknown record", [&] {
         Bytes b = plain;
         b[2] = 9;
         return b;
       }()},
      {"a streamed member without its descriptor", [&] {
         Bytes b = streamed;
         for (size_t i = 0; i + 4 <= b.size(); ++i)
           if (b[i] == 'P' && b[i + 1] == 'K' && b[i + 2] == 7 && b[i + 3] == 8) b[i + 3] = 9;
         return b;
       }()},
  };
  for (const auto& k : broken) {
    SCOPED_TRACE(k.what);
    EXPECT_FALSE(CheckZipRecords(k.zip.data(), k.zip.size()));
    EXPECT_EQ(OoxmlText(37, k.zip), u"<none>");
  }
}

// A part that inflates to 16 MiB (a few kilobytes packed) is inflated no further than the
// bytes that are looked at.
TEST_F(DocText, PartsAreInflatedOnlyAsFarAsTheyAreRead) {
  std::string xml;
  xml.reserve(16 << 20);
  while (xml.size() < (16u << 20)) xml += "<w:t>ab</w:t>";
  const Bytes bomb = Package({{"word/document.xml", Bytes(xml.begin(), xml.end())}});
  ASSERT_LT(bomb.size(), 1u << 20);
  std::string bytes;
  ASSERT_TRUE(ExtractPptxText(bomb.data(), bomb.size(), "word/document.xml", bytes));
  EXPECT_EQ(bytes.size(), kXmlPartBytes);
  const std::u16string text = OoxmlText(37, bomb);
  EXPECT_EQ(text.size(), 0x4000u);
  EXPECT_EQ(text.substr(0, 6), u"ababab");
}

// ---------------------------------------------------------------- Excel

Bytes Biff(uint16_t id, const Bytes& data) {
  Bytes r;
  Add16(r, id);
  Add16(r, uint16_t(data.size()));
  r.insert(r.end(), data.begin(), data.end());
  return r;
}
Bytes Bof(uint16_t kind) {
  Bytes d;
  Add16(d, 0x0600);
  Add16(d, kind);
  d.resize(16, 0);
  return Biff(0x0809, d);
}
Bytes Sheet(const std::string& name) {
  Bytes d(6, 0);
  d.push_back(uint8_t(name.size()));
  d.push_back(0);
  AddText(d, name);
  return Biff(0x0085, d);
}
Bytes Label(uint32_t index) {
  Bytes d(6, 0);
  Add32(d, index);
  return Biff(0x00FD, d);
}
Bytes Sst(const std::vector<Bytes>& strings) {
  Bytes d;
  Add32(d, uint32_t(strings.size()));
  Add32(d, uint32_t(strings.size()));
  for (const Bytes& s : strings) d.insert(d.end(), s.begin(), s.end());
  return Biff(0x00FC, d);
}
Bytes Str8(const std::string& s) {
  Bytes b;
  Add16(b, uint16_t(s.size()));
  b.push_back(0);
  AddText(b, s);
  return b;
}
Bytes Cat(std::vector<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
const Bytes kEof = Biff(0x000A, {});

std::u16string BiffText(const Bytes& stream, uint32_t limit = 0x4000) {
  CString text;
  return WalkBiffSubstreams(stream.data(), stream.size(), text, limit) ? U(text) : u"<none>";
}

TEST_F(DocText, ExcelSheetsAndSharedStrings) {
  // A rich-text string with extension data: its runs and extension are stepped over.
  Bytes rich;
  Add16(rich, 4);
  rich.push_back(0x0D);  // UTF-16, extension, rich text
  Add16(rich, 1);
  Add32(rich, 3);
  for (char16_t c : std::u16string(u"Rich")) Add16(rich, c);
  Add32(rich, 0);
  rich.insert(rich.end(), {1, 2, 3});
  Bytes wideSheet(6, 0);
  wideSheet.insert(wideSheet.end(), {2, 1});
  for (char16_t c : std::u16string(u"Σ2")) Add16(wideSheet, c);
  const Bytes globals = Cat({Bof(5), Sheet("S1"), Sheet("S2"), Sst({Str8("X"), rich, Str8("")}), kEof});
  const struct {
    const char* what;
    Bytes stream;
    std::u16string text;
  } cases[] = {
      {"two sheets and one cell", Cat({Bof(5), Sheet("S1"), Sheet("S2"), Sst({Str8("X")}), kEof, Bof(16), Label(0), kEof}),
       u"S1 | S2 | X"},
      {"rich string, empty string, index beyond", Cat({globals, Bof(16), Label(1), Label(2), Label(7), kEof}),
       u"S1 | S2 | Rich | "},
      {"UTF-16 sheet name", Cat({Bof(5), Biff(0x0085, wideSheet), kEof}), u"Σ2"},
      {"chart sub-streams are skipped", Cat({globals, Bof(0x20), Label(0), kEof, Bof(16), Label(0), kEof}),
       u"S1 | S2 | X"},
      {"a string past its record ends the table", Cat({Bof(5), Sst({Str8("ok"), Bytes{9, 0, 0, 'n', 'o'}}), kEof, Bof(16),
                                                       Label(0), Label(1), kEof}),
       u"ok"},
      {"no BOF first", Cat({Sheet("S1"), kEof}), u"<none>"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(BiffText(k.stream), k.text);
  }
  // A sub-stream whose records run past the stream gives nothing; the earlier ones stay.
  Bytes cut = Cat({globals, Bof(16), Label(0), Biff(0x0203, Bytes(20, 0)), kEof});
  cut.resize(cut.size() - 10);
  EXPECT_EQ(BiffText(cut), u"S1 | S2");
  // The walk stops once the text is longer than the limit.
  Bytes many = Cat({globals, Bof(16)});
  for (int i = 0; i < 100; ++i) many = Cat({many, Label(0)});
  many = Cat({many, kEof});
  const std::u16string title = BiffText(many, 48);
  EXPECT_GT(title.size(), 48u);
  EXPECT_LT(title.size(), 56u);
}

TEST_F(DocText, ExtractExcelText) {
  const Bytes stream = Cat({Bof(5), Sheet("Budget"), Sst({Str8("Total")}), kEof, Bof(16), Label(0), kEof});
  const Bytes file = BuildCfb({{u"\x05SummaryInformation", Filled(200, 1)}, {u"Workbook", stream}}).bytes;
  CString text;
  ASSERT_TRUE(ExtractExcelText(file.data(), file.size(), text, 0x4000));
  EXPECT_EQ(U(text), u"Budget | Total");
  const Bytes other = BuildCfb({{u"WordDocument", stream}}).bytes;
  EXPECT_FALSE(ExtractExcelText(other.data(), other.size(), text, 0x4000));
}

// ---------------------------------------------------------------- listings

std::u16string ZipListing(const Bytes& zip) {
  ZipFromMemory z(zip.data(), zip.size());
  CString text;
  if (!z.Open() || !ListZipEntries(z.Handle(), text)) return u"<none>";
  return U(text);
}

TEST_F(DocText, ZipListingLines) {
  auto member = [](const char* name, int64_t packed, int64_t size) {
    Member m{name, Bytes(10, 'z')};
    m.centralPacked = packed;
    m.centralSize = size;
    return m;
  };
  const std::u16string listing = ZipListing(BuildZip({member("a.txt", 995, 1000), member("b.txt", 5, 1000),
                                                      member("c.txt", 50, 1000), member("d.txt", 1200, 1000),
                                                      member("empty", 0, 0), member("dir/", 0, 0)}));
  EXPECT_EQ(listing, u"Ratio   Modified           Name\r\n"
                     u"99%     2020-01-02 03:04   a.txt\r\n"
                     u"5%      2020-01-02 03:04   c.txt\r\n"
                     u"120%    2020-01-02 03:04   d.txt\r\n");
  EXPECT_EQ(ZipListing(Bytes(600, 0)), u"<none>");
}

Bytes RarFileBlock(const std::string& name, uint32_t packed, uint32_t size, uint16_t flags = 0) {
  Bytes b(7, 0);
  b[2] = 0x74;
  Put16(b, 3, uint16_t(flags | 0x8000));
  Add32(b, packed);
  Add32(b, size);
  b.push_back(2);
  Add32(b, 0);
  Add32(b, 0x50221880);  // 2020-01-02 03:04
  b.push_back(29);
  b.push_back(0x30);
  Add16(b, uint16_t(name.size()));
  Add32(b, 0x20);
  AddText(b, name);
  Put16(b, 5, uint16_t(b.size()));
  b.resize(b.size() + packed, 0x33);
  return b;
}
const Bytes kRarStart = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00, 0, 0, 0x73, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0};
const Bytes kRarEnd = {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};

std::u16string RarListing(const Bytes& rar) {
  CString text;
  return ListRarEntries(rar.data(), rar.size(), text) ? U(text) : u"<none>";
}

TEST_F(DocText, RarListingLines) {
  const std::u16string head = u"Ratio   Modified           Name\r\n";
  EXPECT_EQ(RarListing(Cat({kRarStart, RarFileBlock("a.txt", 50, 100), RarFileBlock("big.bin", 10, 100, 0x100),
                            RarFileBlock("zero", 0, 0), RarFileBlock(std::string(261, 'n'), 1, 1),
                            RarFileBlock("b.txt", 7, 1000), kRarEnd, RarFileBlock("after.end", 1, 1)})),
            head + u"50%     2020-01-02 03:04   a.txt\r\n0%      2020-01-02 03:04   b.txt\r\n");
  // A block of header size 0 would never move the walk on; an unknown block ends it.
  Bytes stuck = kRarStart;
  stuck.insert(stuck.end(), {0, 0, 0x74, 0, 0, 0, 0});
  stuck.resize(200, 0);
  EXPECT_EQ(RarListing(stuck), head);
  EXPECT_EQ(RarListing(Cat({kRarStart, Bytes{0, 0, 0x99, 0, 0, 7, 0}, RarFileBlock("x", 1, 1)})), head);
  // A listing is cut to 16 KiB.
  Bytes long_ = kRarStart;
  for (int i = 0; i < 400; ++i) long_ = Cat({long_, RarFileBlock("file" + std::to_string(i) + ".dat", 1, 1)});
  EXPECT_EQ(RarListing(long_).size(), 8192u);
}

// ---------------------------------------------------------------- properties

Bytes Summary(const std::vector<std::pair<uint32_t, Bytes>>& props) {
  Bytes values;
  const uint32_t head = uint32_t(8 + 8 * props.size());
  Bytes table;
  for (const auto& [id, value] : props) {
    Add32(table, id);
    Add32(table, head + uint32_t(values.size()));
    values.insert(values.end(), value.begin(), value.end());
  }
  Bytes s;
  Add16(s, 0xFFFE);
  Add16(s, 0);
  Add32(s, 0x00020006);
  s.resize(24, 0);
  Add32(s, 1);
  s.resize(44, 0x11);
  Add32(s, 48);
  Add32(s, head + uint32_t(values.size()));
  Add32(s, uint32_t(props.size()));
  s.insert(s.end(), table.begin(), table.end());
  s.insert(s.end(), values.begin(), values.end());
  return s;
}
Bytes Lpstr(const std::string& t) {
  Bytes v;
  Add32(v, 30);
  Add32(v, uint32_t(t.size() + 1));
  AddText(v, t);
  v.push_back(0);
  return v;
}
Bytes Lpwstr(const std::u16string& t) {
  Bytes v;
  Add32(v, 31);
  Add32(v, uint32_t(t.size() + 1));
  for (char16_t c : t) Add16(v, c);
  Add16(v, 0);
  return v;
}
Bytes FileTime(uint64_t unixSeconds) {
  Bytes v;
  Add32(v, 64);
  const uint64_t ft = (unixSeconds + 11644473600ull) * 10000000ull;
  Add32(v, uint32_t(ft));
  Add32(v, uint32_t(ft >> 32));
  return v;
}

TEST_F(DocText, SummaryInformation) {
  DocumentProperties p;
  const Bytes s = Summary({{2, Lpstr("a title")}, {4, Lpstr("Ann Author")}, {8, Lpwstr(u"Åke Editor")},
                           {12, FileTime(1614853230)}, {13, FileTime(1651820889)}});
  ASSERT_TRUE(ParseSummaryInformation(s.data(), s.size(), p));
  EXPECT_EQ(U(p.author), u"Ann Author");
  EXPECT_EQ(U(p.lastAuthor), u"Åke Editor");
  EXPECT_EQ(U(p.created), u"2021-03-04 10:20:30");
  EXPECT_EQ(U(p.saved), u"2022-05-06 07:08:09");
  // Times are shown in local time.
  setenv("TZ", "XST-3", 1);
  tzset();
  ASSERT_TRUE(ParseSummaryInformation(s.data(), s.size(), p));
  EXPECT_EQ(U(p.created), u"2021-03-04 13:20:30");
  setenv("TZ", "UTC", 1);
  tzset();

  // A value beyond the stream ends its section; a string of 0 or over 255 units is skipped; a
  // time of 0 was never set; other types are skipped.
  Bytes cut = Summary({{4, Lpstr("Kept")}, {8, Lpstr("Lost")}});
  cut.resize(cut.size() - 6);
  ASSERT_TRUE(ParseSummaryInformation(cut.data(), cut.size(), p));
  EXPECT_EQ(U(p.author), u"Kept");
  EXPECT_EQ(U(p.lastAuthor), u"");
  Bytes longText = Lpstr(std::string(300, 'L'));
  Bytes zeroTime = {64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes number = {3, 0, 0, 0, 7, 0, 0, 0};
  const Bytes odd = Summary({{4, longText}, {12, zeroTime}, {8, number}, {13, FileTime(0x7FFFFFFF)}});
  ASSERT_TRUE(ParseSummaryInformation(odd.data(), odd.size(), p));
  EXPECT_EQ(U(p.author), u"");
  EXPECT_EQ(U(p.created), u"");
  EXPECT_EQ(U(p.lastAuthor), u"");
  EXPECT_EQ(U(p.saved), u"2038-01-19 03:14:07");
  // Only an empty stream fails; one without sections has no values.
  EXPECT_FALSE(ParseSummaryInformation(s.data(), 0, p));
  Bytes none = s;
  Put32(none, 24, 0);
  EXPECT_TRUE(ParseSummaryInformation(none.data(), none.size(), p));
  EXPECT_EQ(U(p.author), u"");
  // A section count of 2^32 - 1 ends with the stream.
  Put32(none, 24, 0xFFFFFFFF);
  EXPECT_TRUE(ParseSummaryInformation(none.data(), none.size(), p));
}

TEST_F(DocText, CoreProperties) {
  const std::string core =
      "<?xml version=\"1.0\"?><cp:coreProperties><dcterms:created xsi:type=\"dcterms:W3CDTF\">2020-01-01T00:00:00Z"
      "</dcterms:created><dc:creator>Ann \xC3\x85sen</dc:creator><cp:lastModifiedBy>Bo</cp:lastModifiedBy>"
      "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">2021-03-04T22:30:05Z</dcterms:modified></cp:coreProperties>";
  const Bytes zip = Package({{"docProps/core.xml", TextBytes(core)}});
  DocumentProperties p;
  setenv("TZ", "XST-3", 1);
  tzset();
  ASSERT_TRUE(ParseOoxmlCoreProperties(zip.data(), zip.size(), p));
  EXPECT_EQ(U(p.author), u"Ann Åsen");
  EXPECT_EQ(U(p.lastAuthor), u"Bo");
  EXPECT_EQ(U(p.saved), u"2021-03-05 01:30:05");
  // Elements before the creator are not read.
  EXPECT_EQ(U(p.created), u"");
  const Bytes noCreator = Package({{"docProps/core.xml", TextBytes("<cp:coreProperties><cp:lastModifiedBy>Bo</cp:lastModifiedBy>")}});
  ASSERT_TRUE(ParseOoxmlCoreProperties(noCreator.data(), noCreator.size(), p));
  EXPECT_EQ(U(p.lastAuthor), u"");
  const Bytes noPart = Package({{"docProps/app.xml", TextBytes("<x/>")}});
  EXPECT_FALSE(ParseOoxmlCoreProperties(noPart.data(), noPart.size(), p));
}

// The summary stream is found by its own name even when the document summary (whose property
// numbers mean other things) comes first in the directory.
TEST_F(DocText, MetadataOfCompoundDocuments) {
  const std::string body = "Minutes: the sector map was rebuilt   twice over";
  const Bytes word = WordDoc(0, TextBytes(body));
  const Bytes table = PieceTable({{0, uint32_t(body.size()), k8Bit | 0x800}});
  const Bytes docSummary = Summary({{4, Lpstr("not an author")}, {8, Lpstr("nor this")}});
  const Bytes summary = Summary({{4, Lpstr("Ann")}, {12, FileTime(1614853230)}});
  const Bytes file = BuildCfb({{u"\x05" u"DocumentSummaryInformation", docSummary},
                               {u"WordDocument", word},
                               {u"\x05SummaryInformation", summary},
                               {u"1Table", table}})
                         .bytes;
  CarvedFileMetadata* m = ReadDocumentMetadata(36, file.data(), file.size());
  ASSERT_NE(m, nullptr);
  CarvedFileMetadata copy;
  std::memcpy(&copy, m, sizeof copy);
  FreeMem(m);
  EXPECT_EQ(Slot(copy.person, 32), u"Ann");
  EXPECT_EQ(Slot(copy.date, 12), u"2021-03-04");
  // Unsafe characters become '_', blank runs one blank, 48 characters at most.
  EXPECT_EQ(Slot(copy.excerpt, 64), u"Minutes_ the sector map was rebuilt twice over");
  // Types without metadata, and bytes that are no document.
  EXPECT_EQ(ReadDocumentMetadata(61, file.data(), file.size()), nullptr);
  EXPECT_EQ(ReadDocumentMetadata(96, file.data(), file.size()), nullptr);
  EXPECT_EQ(ReadDocumentMetadata(36, Filled(4096, 3).data(), 4096), nullptr);
}

TEST_F(DocText, DetailTextByType) {
  char16_t* text = nullptr;
  uint32_t bytes = 0;
  const Bytes file = WordFile("Body text\r");
  ASSERT_EQ(GetDocumentDetailText(36, file.data(), uint32_t(file.size()), text, bytes), 1);
  EXPECT_EQ(std::u16string(text, bytes / 2), u"Body text\r\n");
  EXPECT_EQ(text[bytes / 2], 0);
  FreeMem(text);
  for (uint32_t type : {90u, 96u, 46u, 0u, 255u}) {
    EXPECT_EQ(GetDocumentDetailText(type, file.data(), uint32_t(file.size()), text, bytes), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(bytes, 0u);
  }
  EXPECT_EQ(GetDocumentDetailText(36, file.data(), 1023, text, bytes), 0);
  EXPECT_EQ(GetDocumentDetailText(36, nullptr, 5000, text, bytes), 0);
}

}  // namespace
