// The preview window: the hex dump's exact text, the choice of view, the whole journey from a
// view's request through the worker's read to the pane for pictures, text and documents (with
// and without their text), the file-facts view in both editions, data that come too late or
// for another item, relayout only on a change of category, the waiting animation, buffers all
// freed, and screenshots.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/codec/tests/pictures.h"
#include "base/heap_testing.h"
#include "base/imagedraw/imagedraw.h"
#include "base/packedtime.h"
#include "base/sizetext.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "results/previewwnd.h"
#include "results/tests/resultstestenv.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace fs = std::filesystem;

namespace results_test {
namespace {

std::u16string Expand(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST(HexDump, ExactText) {
  CString out = u"untouched";
  EXPECT_FALSE(FormatHexDump(out, nullptr, 10));
  const uint8_t one[] = {0x41};
  EXPECT_FALSE(FormatHexDump(out, one, 0));
  EXPECT_EQ(out, CString(u"untouched"));

  const std::string header = std::string("Offset  0  1  2  3  4  5  6  7   8  9  A  B  C  D  E  F") +
                             std::string(76 - 55, ' ') + "\r\n";
  std::vector<uint8_t> bytes(20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(0x30 + i);
  bytes[3] = 0x00;
  bytes[18] = 0x7F;
  ASSERT_TRUE(FormatHexDump(out, bytes.data(), 20));
  const std::string line0 = "000000 30 31 32 00 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F     012.456789:;<=>?\r\n";
  const std::string line1 = "000010 40 41 7F 43" + std::string(60 - 18, ' ') + "@A.C" + std::string(12, ' ');
  EXPECT_EQ(out, CString(Expand(header + line0 + line1)));

  const struct {
    uint32_t count;
    int lines;
  } cases[] = {{1, 1}, {16, 1}, {17, 2}, {16384, 1024}, {16385, 1024}, {100000, 1024}};
  std::vector<uint8_t> many(100000, 0x41);
  for (const auto& c : cases) {
    ASSERT_TRUE(FormatHexDump(out, many.data(), c.count));
    // 78 characters a line, the last without its CR LF.
    EXPECT_EQ(out.GetLength(), 78 * (c.lines + 1) - 2) << c.count;
    EXPECT_NE(out.Right(2), CString(u"\r\n")) << c.count;
    EXPECT_EQ(out.Mid(78 * c.lines, 6), FormatCString(u"%06X", 16 * (c.lines - 1))) << c.count;
  }
  ASSERT_TRUE(FormatHexDump(out, many.data(), 17));
  EXPECT_EQ(out.Mid(156, 6), CString(u"000010"));
  EXPECT_EQ(out.Mid(156 + 7, 2), CString(u"41"));
  EXPECT_EQ(out.Mid(156 + 10, 2), CString(u"  "));
  EXPECT_EQ(out.Mid(156 + 60, 16), CString(u"A               "));
}

TEST(PreviewView, ChosenByCategory) {
  LoadResultsTestSettings();
  const struct {
    uint32_t code;
    PreviewKind kind;
  } cases[] = {
      {44, PreviewKind::kPicture}, {45, PreviewKind::kPicture}, {46, PreviewKind::kPicture},
      {47, PreviewKind::kPicture}, {48, PreviewKind::kPicture}, {76, PreviewKind::kPicture},
      {85, PreviewKind::kPicture}, {132, PreviewKind::kPicture}, {162, PreviewKind::kPicture},
      {36, PreviewKind::kText},    {37, PreviewKind::kText},    {61, PreviewKind::kText},
      {89, PreviewKind::kText},    {161, PreviewKind::kText},   {163, PreviewKind::kText},
      {165, PreviewKind::kText},   {171, PreviewKind::kText},   {151, PreviewKind::kFacts},
      {54, PreviewKind::kFacts},   {234, PreviewKind::kFacts},  {172, PreviewKind::kFacts},
      {0xFFFFFFFF, PreviewKind::kFacts},
  };
  for (const auto& c : cases) EXPECT_EQ(PreviewViewOf(c.code), c.kind) << c.code;
}

std::vector<CString>& Boxes() {
  static std::vector<CString> b;
  return b;
}
bool RecordBox(const CString& text, const CString&, const CString&) {
  Boxes().push_back(text);
  return true;
}

// The preview window over a list whose carved-file volume lies in a scratch image, served by
// the real worker's steps on the test thread.
class PreviewWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    LoadResultsTestSettings();
    ASSERT_TRUE(LoadSkinArt());
    Boxes().clear();
    SetMessageBoxHandler(&RecordBox);
    // Timers fire only when a test moves the clock: the animation counts exactly the ticks sent.
    UseVirtualMessageClock(true);
    path_ = (fs::temp_directory_path() / ("kestrel_previewwnd_" + std::to_string(getpid()) + ".img")).string();
    image_.assign(2 << 20, 0);
    VolumeContext& v = m_.list.slots[kSlot];
    ResetVolumeContext(v);
    v.type = kVolTypeFindFile;
    CreateRootAndLostFolders(v);
    m_.list.slotCount = kSlot + 1;
    heapBefore_ = GetHeapUsageTotal();
    dlg_ = CreatePreviewWindow(m_.list, m_.service);
    ASSERT_NE(dlg_, nullptr);
    dlg_->m_pumpMs = 0;
  }
  void TearDown() override {
    DestroyPreviewWindow();
    PumpAll();
    UseVirtualMessageClock(false);
    SetMessageBoxHandler(nullptr);
    ResetVolumeContext(ScanTarget());
    fs::remove(path_);
  }
  // The bytes at the sector, a record for them, and the image on disk.
  void AddFile(uint32_t id, uint64_t lba, const std::vector<uint8_t>& bytes, uint8_t type, const char16_t* name) {
    std::copy(bytes.begin(), bytes.end(), image_.begin() + std::ptrdiff_t(lba * 512));
    m_.Add(Row{id, kRootId, name, false, type, bytes.size(), lba});
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(image_.data()), std::streamsize(image_.size()));
    ScanTarget().devicePath = CString(Expand(path_).c_str());
    ScanTarget().sectorCount = image_.size() / 512;
  }
  // Serves what waits: the open preview reaches the window by its message, on this thread.
  void Serve() {
    PreviewRequest q;
    while (m_.service.TakeRequest(q)) m_.service.ServeRequest(q);
    PumpAll();
  }
  CString TextView() {
    CString t;
    dlg_->m_pane.m_text.GetWindowText(t);
    return t;
  }
  CString ViewButton() {
    CString t;
    dlg_->m_pane.m_btnView.GetWindowText(t);
    return t;
  }
  CString Facts(const char16_t* name, uint64_t size) {
    return CString(u"Name: ") + name + u"\r\nCreated: " + PackedTimeToText(0) + u"\r\nModified: " + PackedTimeToText(0) +
           u"\r\nSize: " + FormatByteSize(size) + u"\r\n";
  }
  bool Visible(CWnd& w) { return ::IsWindowVisible(w.m_hWnd) != FALSE; }

  ListHolder m_;
  CPreviewDlg* dlg_ = nullptr;
  std::string path_;
  std::vector<uint8_t> image_;
  uint64_t heapBefore_ = 0;
};

TEST_F(PreviewWindow, PictureFromRequestToPane) {
  const std::vector<uint8_t> jpg = SolidJpeg(400, 300, 200, 30, 30);
  AddFile(20, 16, jpg, 46, u"photo.jpg");
  ASSERT_TRUE(PreviewItem(kSlot, 20));
  // Waiting: the facts, the animation's timer, the pane hidden until the data come.
  EXPECT_TRUE(Visible(*dlg_));
  EXPECT_FALSE(Visible(dlg_->m_pane));
  EXPECT_EQ(dlg_->m_dataArrived, 0);
  EXPECT_EQ(dlg_->m_rows[1].m_text, CString(u"Name: photo.jpg"));
  ASSERT_EQ(m_.service.WaitingRequests().size(), 1u);
  EXPECT_EQ(m_.service.WaitingRequests()[0].kind, kPreviewOpen);
  Serve();
  EXPECT_EQ(dlg_->m_dataArrived, 1);
  EXPECT_TRUE(Visible(dlg_->m_pane));
  CPicWnd& pic = dlg_->m_pane.m_picture;
  EXPECT_TRUE(Visible(pic));
  EXPECT_FALSE(Visible(dlg_->m_pane.m_text));
  ASSERT_TRUE(pic.m_image.IsValid());
  EXPECT_EQ(pic.m_image.GetWidth(), 400u);
  EXPECT_EQ(pic.m_lastDecoder, 2);  // a photo type goes to its own decoder
  EXPECT_EQ(pic.m_caption, CString(u"Recover it below\r\n") + Facts(u"photo.jpg", jpg.size()));
  EXPECT_EQ(ViewButton(), CString(u"Picture"));
  EXPECT_EQ(dlg_->m_pane.m_headLength, jpg.size());
  // Hex and back.
  dlg_->m_pane.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PANE_HEX, BN_CLICKED), 0);
  EXPECT_TRUE(Visible(dlg_->m_pane.m_text));
  EXPECT_FALSE(Visible(pic));
  EXPECT_EQ(TextView().Left(6), CString(u"Offset"));
  EXPECT_EQ(TextView().Mid(78, 20), CString(u"000000 FF D8 FF E0 0"));
  EXPECT_EQ(dlg_->m_pane.m_text.m_topJoined, 1);
  dlg_->m_pane.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PANE_VIEW, BN_CLICKED), 0);
  EXPECT_TRUE(Visible(pic));
  EXPECT_FALSE(Visible(dlg_->m_pane.m_text));
  // Painted: the picture (400 x 300) fitted into the view.
  PumpAll();
  RECT rc{};
  pic.GetClientRect(&rc);
  const RECT at = FitPictureRect(400, 300, rc.right, rc.bottom);
  EXPECT_TRUE(Near(GetWindowPixel(pic.m_hWnd, (at.left + at.right) / 2, at.bottom - 20), RGB(200, 30, 30), 40));
  const std::string shot = std::string(KESTREL_RESULTS_SHOT_DIR) + "/preview_picture.png";
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, shot));
}

TEST_F(PreviewWindow, PngGoesThroughTheStreamDecoderFirst) {
  const std::vector<uint8_t> png = LoadPicture("quad.png");
  ASSERT_FALSE(png.empty());
  AddFile(20, 16, png, 44, u"quad.png");
  ASSERT_TRUE(PreviewItem(kSlot, 20));
  Serve();
  EXPECT_TRUE(dlg_->m_pane.m_picture.m_image.IsValid());
  EXPECT_EQ(dlg_->m_pane.m_picture.m_lastDecoder, 1);
}

TEST_F(PreviewWindow, TextAndDocumentsWithAndWithoutTheirText) {
  const std::string notes = "Shopping list\r\nmilk\r\nbread";
  AddFile(20, 16, std::vector<uint8_t>(notes.begin(), notes.end()), 161, u"notes.txt");
  // A text file whose first byte is NUL decodes to no text at all.
  AddFile(21, 32, std::vector<uint8_t>{0, 'a', 'b'}, 161, u"empty.txt");
  // A large document without a detail text arrives as a hex dump with no text.
  std::vector<uint8_t> doc(130 * 1024, 0x11);
  const uint8_t ole[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(ole), std::end(ole), doc.begin());
  AddFile(22, 64, doc, 36, u"report.doc");
  const struct {
    uint32_t id;
    const char16_t* name;
    uint64_t size;
    std::u16string body;
  } cases[] = {
      {20, u"notes.txt", notes.size(), Expand(notes)},
      {21, u"empty.txt", 3, u""},
      {22, u"report.doc", doc.size(), u""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(PreviewItem(kSlot, c.id));
    Serve();
    EXPECT_TRUE(Visible(dlg_->m_pane.m_text)) << c.id;
    EXPECT_FALSE(Visible(dlg_->m_pane.m_picture)) << c.id;
    EXPECT_EQ(TextView(), Facts(c.name, c.size) + u"Recover it below\r\n\r\n" + c.body.c_str()) << c.id;
    EXPECT_EQ(ViewButton(), CString(u"Text"));
    EXPECT_EQ(dlg_->m_pane.m_text.m_topJoined, 2);
  }
  // The document's bytes are still there as hex.
  dlg_->m_pane.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PANE_HEX, BN_CLICKED), 0);
  EXPECT_EQ(TextView().Mid(78, 18), CString(u"000000 D0 CF 11 E0"));
  EXPECT_EQ(TextView().GetLength(), 78 * 1025 - 2);
  const std::string shot = std::string(KESTREL_RESULTS_SHOT_DIR) + "/preview_hex.png";
  PumpAll();
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, shot));
}

TEST_F(PreviewWindow, OtherFilesShowTheirFactsAndTheEditionsNote) {
  const std::vector<uint8_t> mp3{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
  AddFile(20, 16, mp3, 54, u"song.mp3");
  for (const char16_t* brand : {u"Tesmur", u"Virelmo"}) {
    LoadResultsTestSettings(brand);
    ASSERT_TRUE(PreviewItem(kSlot, 20));
    Serve();
    const CString note = CString(brand) == CString(u"Virelmo") ? CString() : CString(u"Recover it to see it");
    EXPECT_EQ(TextView(), Facts(u"song.mp3", mp3.size()) + note + u"\r\n");
    EXPECT_EQ(dlg_->m_pane.m_code, uint32_t(kPreviewTextCode));
    EXPECT_EQ(ViewButton(), CString(u"Text"));
  }
}

TEST_F(PreviewWindow, LateDataAreDroppedAndEveryBufferIsFreed) {
  const std::string a = "first file", b = "second file";
  AddFile(20, 16, std::vector<uint8_t>(a.begin(), a.end()), 161, u"a.txt");
  AddFile(21, 32, std::vector<uint8_t>(b.begin(), b.end()), 161, u"b.txt");
  heapBefore_ = GetHeapUsageTotal();
  // The user starts another preview while the first one's data are on their way: they belong
  // to an item no longer shown.
  ASSERT_TRUE(PreviewItem(kSlot, 20));
  PreviewRequest first;
  ASSERT_TRUE(m_.service.TakeRequest(first));
  ASSERT_TRUE(PreviewItem(kSlot, 21));
  m_.service.ServeRequest(first);
  EXPECT_EQ(dlg_->m_dataArrived, 0);
  EXPECT_FALSE(Visible(dlg_->m_pane));
  Serve();
  EXPECT_EQ(dlg_->m_dataArrived, 1);
  EXPECT_TRUE(TextView().Find(u"second file") >= 0);
  EXPECT_EQ(TextView().Find(u"first file"), -1);
  // Closed while waiting: the data arrive to a hidden window and are freed unshown.
  ASSERT_TRUE(PreviewItem(kSlot, 20));
  dlg_->SendMessage(WM_CLOSE);
  EXPECT_FALSE(Visible(*dlg_));
  Serve();
  EXPECT_TRUE(TextView().Find(u"second file") >= 0);
  // A buffer that claims more than it holds is freed unread.
  auto* bad = static_cast<uint8_t*>(AllocMem(12, 1));
  bad[0] = 161;
  bad[5] = 0xFF;
  ASSERT_TRUE(PreviewItem(kSlot, 21));
  dlg_->SendMessage(WM_PREVIEW_DATA, WPARAM(bad), 0);
  EXPECT_EQ(dlg_->m_dataArrived, 0);
  m_.service.ClearPreviewQueue();
  // Only the pane's copies of the shown preview are left.
  dlg_->m_pane.FreeCopies();
  EXPECT_EQ(GetHeapUsageTotal(), heapBefore_);
}

TEST_F(PreviewWindow, RelayoutOnlyWhenTheCategoryChanges) {
  const std::string t = "words";
  AddFile(20, 16, std::vector<uint8_t>(t.begin(), t.end()), 161, u"a.txt");
  AddFile(21, 32, std::vector<uint8_t>(t.begin(), t.end()), 161, u"b.txt");
  AddFile(22, 48, SolidJpeg(16, 16, 0, 0, 0), 46, u"c.jpg");
  const int start = dlg_->m_pane.m_layouts;
  const struct {
    uint32_t id;
    int layouts;
  } steps[] = {{20, 1}, {21, 1}, {22, 2}, {22, 2}, {20, 3}};
  for (const auto& s : steps) {
    ASSERT_TRUE(PreviewItem(kSlot, s.id));
    Serve();
    EXPECT_EQ(dlg_->m_pane.m_layouts - start, s.layouts) << s.id;
  }
}

TEST_F(PreviewWindow, NoRecordAndWaitingAnimation) {
  EXPECT_FALSE(PreviewItem(kSlot, 999));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], CString(u"Right-click a file to preview"));
  EXPECT_FALSE(Visible(*dlg_));

  const std::string t = "x";
  AddFile(20, 16, std::vector<uint8_t>(t.begin(), t.end()), 161, u"a.txt");
  ASSERT_TRUE(PreviewItem(kSlot, 20));
  PumpAll();
  RECT rc{};
  dlg_->GetClientRect(&rc);
  const int x = dlg_->m_animX;
  EXPECT_EQ(x, (rc.right - 48) / 2);
  // Each tick draws the next of the eight frames, at the same place.
  const int first = dlg_->m_frame;
  for (int tick = 1; tick <= 8; ++tick) {
    dlg_->SendMessage(WM_TIMER, kPreviewAnimTimer, 0);
    PumpAll();
    EXPECT_EQ(dlg_->m_frame, (first + tick) % 8);
  }
  EXPECT_EQ(dlg_->m_animX, x);
  EXPECT_EQ(GetWindowPixel(dlg_->m_hWnd, 10, rc.bottom - 10), RGB(255, 255, 255));
  const std::string shot = std::string(KESTREL_RESULTS_SHOT_DIR) + "/preview_waiting.png";
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, shot));
  // Timer 1 ticks every 200 ms while waiting, and stops once the data are shown.
  const int before = dlg_->m_frame;
  AdvanceVirtualMessageClock(200);
  PumpAll();
  EXPECT_EQ(dlg_->m_frame, (before + 1) % 8);
  Serve();
  EXPECT_EQ(dlg_->m_dataArrived, 1);
  const int shown = dlg_->m_frame;
  AdvanceVirtualMessageClock(1000);
  PumpAll();
  EXPECT_LE(dlg_->m_frame - shown, 1);

}

TEST(PictureView, FitInTheView) {
  const struct {
    int w, h, W, H;
    RECT at;
  } cases[] = {
      {4000, 3000, 800, 500, {66, 0, 732, 500}},
      {100, 50, 800, 500, {350, 225, 450, 275}},
      {800, 500, 800, 500, {0, 0, 800, 500}},
      {900, 100, 800, 500, {0, 205, 800, 293}},
      {100, 900, 800, 500, {372, 0, 427, 500}},
      {0, 50, 800, 500, {0, 0, 0, 0}},
      {50, 0, 800, 500, {0, 0, 0, 0}},
      {50, 50, 0, 500, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const RECT r = FitPictureRect(c.w, c.h, c.W, c.H);
    EXPECT_EQ(r.left, c.at.left) << c.w << "x" << c.h;
    EXPECT_EQ(r.top, c.at.top) << c.w << "x" << c.h;
    EXPECT_EQ(r.right, c.at.right) << c.w << "x" << c.h;
    EXPECT_EQ(r.bottom, c.at.bottom) << c.w << "x" << c.h;
  }
}

}  // namespace
}  // namespace results_test
