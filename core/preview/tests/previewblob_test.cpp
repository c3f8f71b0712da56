// Preview buffers byte for byte, preview texts and the type tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/codec/imagecodec.h"
#include "base/heap.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtext.h"
#include "core/preview/previewtypes.h"
#include "platform/textconv.h"

namespace {

std::vector<uint8_t> Take(uint8_t* blob) {
  std::vector<uint8_t> out(blob, blob + GetMemSize(blob));
  FreeMem(blob);
  return out;
}

std::vector<uint8_t> Le16(std::u16string_view s) {
  std::vector<uint8_t> out;
  for (char16_t c : s) {
    out.push_back(uint8_t(c));
    out.push_back(uint8_t(c >> 8));
  }
  return out;
}

TEST(PreviewBlob, LayoutByteForByte) {
  struct Case {
    const char* what;
    uint8_t code;
    std::vector<uint8_t> head;
    std::u16string text;
    std::vector<uint8_t> want;
  };
  std::vector<Case> cases = {
      {"head only", 46, {0xFF, 0xD8, 0xFF}, u"", {46, 3, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xD8, 0xFF, 0, 0}},
      {"nothing", 151, {}, u"", {151, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"text only", 161, {}, u"Hi", {161, 0, 0, 0, 0, 6, 0, 0, 0, 'H', 0, 'i', 0, 0, 0}},
      {"head and text", 161, {7}, u"A", {161, 1, 0, 0, 0, 4, 0, 0, 0, 7, 'A', 0, 0, 0}},
  };
  // Leading line breaks and blanks go from texts of 10 or more characters; the extra length
  // keeps the text's count and what follows the moved text is zero.
  {
    std::vector<uint8_t> want = {161, 0, 0, 0, 0, 34, 0, 0, 0};  // 16 characters: 32 bytes + 2
    const std::vector<uint8_t> body = Le16(u"Hello world!");
    want.insert(want.end(), body.begin(), body.end());
    want.resize(9 + 34, 0);
    cases.push_back({"stripped", 161, {}, u"\r\n\r\nHello world!", want});
  }
  // Shorter texts keep them.
  {
    std::vector<uint8_t> want = {161, 0, 0, 0, 0, 12, 0, 0, 0};
    const std::vector<uint8_t> body = Le16(u"\r\n ab");
    want.insert(want.end(), body.begin(), body.end());
    want.resize(9 + 12, 0);
    cases.push_back({"short kept", 161, {}, u"\r\n ab", want});
  }
  // At most all but two characters go.
  {
    std::vector<uint8_t> want = {161, 0, 0, 0, 0, 22, 0, 0, 0};
    const std::vector<uint8_t> body = Le16(u"  ");
    want.insert(want.end(), body.begin(), body.end());
    want.resize(9 + 22, 0);
    cases.push_back({"all blanks", 161, {}, std::u16string(10, u' '), want});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Take(PackPreviewBlobWithText(c.code, c.head.empty() ? nullptr : c.head.data(), uint32_t(c.head.size()),
                                           CString(c.text))),
              c.want);
  }
}

TEST(PreviewBlob, TextIsCappedAndReadBackChecked) {
  const CString longText(std::u16string(20000, u'x'));
  std::vector<uint8_t> blob = Take(PackPreviewBlobWithText(161, nullptr, 0, longText));
  EXPECT_EQ(blob.size(), 16384u + 11);
  EXPECT_EQ(blob[5] | (blob[6] << 8), 16384 + 2);
  PreviewBlobView view;
  ASSERT_TRUE(ReadPreviewBlob(blob.data(), uint32_t(blob.size()), view));
  EXPECT_EQ(view.code, 161);
  EXPECT_EQ(view.text.GetLength(), 8192);
  EXPECT_TRUE(view.head.empty());
  // Lengths that run past the block are refused.
  blob[1] = 1;
  EXPECT_FALSE(ReadPreviewBlob(blob.data(), uint32_t(blob.size()), view));
  EXPECT_FALSE(ReadPreviewBlob(blob.data(), 8, view));
  EXPECT_FALSE(ReadPreviewBlob(nullptr, 100, view));
}

struct AnsiPage {
  std::string old = GetAnsiCodePage();
  explicit AnsiPage(const char* page) { SetAnsiCodePage(page); }
  ~AnsiPage() { SetAnsiCodePage(old); }
};

TEST(PreviewText, EncodingsAndBounds) {
  AnsiPage page("CP1252");
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"UTF-8 mark", {0xEF, 0xBB, 0xBF, 'a', 0xC3, 0xA9}, u"a\u00E9"},
      {"UTF-16LE mark", {0xFF, 0xFE, 'h', 0, 'i', 0, 0, 0, 'x', 0}, u"hi"},
      {"UTF-16BE mark, pairs swapped", {0xFE, 0xFF, 0, 'h', 0x04, 0x10}, u"h\u0410"},
      {"plain UTF-8", {'c', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, u"c\u00E9\u20AC"},
      {"four-byte UTF-8", {'a', 0xF0, 0x9F, 0x98, 0x80}, u"a\U0001F600"},
      {"cut-off UTF-8 still UTF-8", {'a', 0xE2, 0x82}, u"a\uFFFD"},
      {"not UTF-8: code page", {'c', 0xE9, 't', 0xE9}, u"c\u00E9t\u00E9"},
      {"a zero ends the text", {'a', 'b', 0, 'c'}, u"ab"},
      {"empty", {}, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecodePreviewText(c.bytes.data(), uint32_t(c.bytes.size())).Str(), c.text);
  }
  // The UTF-8 test looks at the whole file, the text only at its start.
  std::vector<uint8_t> big(200000, 'a');
  big.back() = 0xE9;
  CString t = DecodePreviewText(big.data(), uint32_t(big.size()));
  EXPECT_GE(t.GetLength(), 8192);
  EXPECT_LT(t.GetLength(), 200000);
  // Bytes up to the first zero, bounded by the length when there is none.
  const uint8_t noZero[] = {'x', 'y', 'z'};
  EXPECT_EQ(AnsiPreviewText(noZero, 2).Str(), u"xy");
}

TEST(PreviewText, TextExtensions) {
  for (const char16_t* yes : {u"a.txt", u"B.JSON", u"c.Cpp", u"x.tar.log", u"dir.d/readme.ini", u"w.wxml"})
    EXPECT_TRUE(IsTextExtension(yes)) << CString(yes).ToUtf8();
  for (const char16_t* no : {u"a.text", u"json", u".txt", u"a.tx", u"a.txt.gz", u"a.", static_cast<const char16_t*>(nullptr)})
    EXPECT_FALSE(IsTextExtension(no));
}

TEST(PreviewTypes, PictureFormatsOfFileTypes) {
  struct Case {
    uint32_t type, format;
  };
  const Case cases[] = {{48, kImageBmp}, {45, kImageGif}, {46, kImageJpeg}, {44, kImagePng}, {162, kImageIco},
                        {51, kImageTiff}, {76, kImageMetafile}, {132, kImageMetafile}, {47, kImagePsd},
                        {144, kImageRaw}, {49, kImageRaw}, {104, kImageRaw}, {75, kImageUnknown},
                        {85, kImageUnknown}, {234, kImageUnknown}};
  for (const Case& c : cases) EXPECT_EQ(CategoryToImageType(c.type), c.format) << c.type;
}

}  // namespace
