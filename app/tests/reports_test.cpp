#include "app/reports.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/runvalues.h"
#include "app/settings.h"
#include "base/heap.h"
#include "base/heap_testing.h"
#include "loopback_listener.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/textconv.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char16_t kMachineId[] = u"0123456789ABCDEF-_-WD-1234";

Bytes ExpectedEvent(int32_t code, const std::string& id, const std::string& text) {
  Bytes b(1104, 0);
  memcpy(b.data(), "RVK ", 4);
  b[4] = 0x50, b[5] = 0x04;  // 1104
  b[8] = 0x01, b[9] = 0x01;  // 257
  for (int i = 0; i < 4; ++i) b[10 + i] = uint8_t(uint32_t(code) >> (8 * i));
  memcpy(b.data() + 14, id.data(), id.size());
  memcpy(b.data() + 79, text.data(), text.size());
  return b;
}

int32_t CodeOf(const Bytes& p) {
  return p.size() >= 14 ? int32_t(p[10] | p[11] << 8 | p[12] << 16 | uint32_t(p[13]) << 24) : -1;
}

CString g_messageText;
bool RecordMessage(const CString& text, const CString&, const CString&) {
  g_messageText = text;
  return false;
}

class ReportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"ServerIpErr: Bad server address\r\n");
    SetAppMachineId(kMachineId);
    SetImproveJoined(false);
    ReportSentOnce = false;
    SetReportServerOverride("127.0.0.1", listener_.Port());
    InstallEventReportHandler();
    char tmpl[] = "/tmp/kestrel-reports-XXXXXX";
    dir_ = mkdtemp(tmpl);
    SetProgramDirOverride(CString(dir_.c_str()));
  }
  void TearDown() override {
    SetEventReportHandler(nullptr);
    SetReportServerOverride("", 0);
    SetProgramDirOverride(CString());
    SetMessageBoxHandler(nullptr);
    SetAppMachineId(CString());
    SetImproveJoined(false);
    ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }
  std::string WriteDump(const std::string& name, size_t size) {
    std::string path = dir_ + "/" + name;
    std::ofstream f(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) f.put(char(i * 7 + 3));
    return path;
  }
  static bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
  }
  LoopbackListener listener_;
  std::string dir_;
};

TEST_F(ReportsTest, EventReportsAreByteExact) {
  const std::string id = "0123456789ABCDEF-_-WD-1234";
  SendEventReport(0, u"Hello", false);
  // An empty text stays empty: neither " --" nor the version.
  SendEventReport(18, u"", false);
  // A long text is cut to exactly 1024 bytes; the field's last byte stays zero.
  SendEventReport(3, CString(u'x', 2000), false);
  auto got = listener_.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], ExpectedEvent(0, id, "Hello --9.0.5"));
  EXPECT_EQ(got[1], ExpectedEvent(18, id, ""));
  EXPECT_EQ(got[2], ExpectedEvent(3, id, std::string(1024, 'x')));
  EXPECT_TRUE(ReportSentOnce.load());
}

TEST_F(ReportsTest, TextsAndIdentifierTravelInTheAnsiCodePageAndFitTheirFields) {
  ASSERT_TRUE(SetAnsiCodePage("CP1252"));
  SetAppMachineId(CString(u'M', 70));
  SendEventReport(12, u"caf\u00e9", false);
  SetAnsiCodePage("UTF-8");
  auto got = listener_.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], ExpectedEvent(12, std::string(64, 'M'), "caf\xe9 --9.0.5"));
}

TEST_F(ReportsTest, NothingLeavesWithoutAMachineIdentifier) {
  SetAppMachineId(CString());
  SendEventReport(0, u"start", false);
  SetAppMachineId(kMachineId);
  SendEventReport(12, u"sentinel", false);
  auto got = listener_.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(CodeOf(got[0]), 12);
}

void* NoMemory(uint64_t) { return nullptr; }

TEST_F(ReportsTest, AnAllocationFailureEndsTheProcessInsteadOfReportingItselfForever) {
  // The failure report needs a heap block of its own, which fails too.
  EXPECT_EXIT(
      {
        SetHeapAllocator(&NoMemory, nullptr);
        SendEventReport(12, u"queued", true);
      },
      ::testing::ExitedWithCode(1), "Alloc mem failed!");
}

TEST_F(ReportsTest, GateDecidesByKindCodeConsentAndAnEarlierDelivery) {
  struct Case {
    uint16_t kind;
    int32_t code;
    bool joined, sentOnce, leaves;
  } cases[] = {
      {257, 0, false, false, true},  {257, 3, false, false, true},   {257, 12, false, false, true},
      {257, 18, false, false, true}, {257, 19, false, false, true},  {257, 27, false, false, true},
      {257, 22, false, false, false}, {257, 28, false, true, false}, {257, 22, true, false, true},
      {257, 1, false, false, false}, {257, 1, true, false, false},   {257, 1, false, true, true},
      {258, 0, false, false, true},  {256, 22, false, false, true},  {259, 0, false, false, false},
      {259, 0, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << "/" << c.code << " joined " << c.joined << " sent " << c.sentOnce);
    SetImproveJoined(c.joined);
    ReportSentOnce = c.sentOnce;
    EventReportPacket p;
    BuildEventReportPacket(c.code, kMachineId, u"t", p);
    p.head.kind = c.kind;
    EXPECT_EQ(ReportGateAllows(&p, sizeof(p)), c.leaves);
  }
  uint8_t tiny[7] = {'R', 'V', 'K', ' ', 7, 0, 0};
  EXPECT_FALSE(SendPacket(tiny, sizeof(tiny), nullptr, nullptr, kReportPort));
}

TEST_F(ReportsTest, EndOfRunReportWaitsUntilAReportOfTheRunArrived) {
  // The start report finds no server: the run has delivered nothing yet.
  SetReportServerOverride("127.0.0.1", LoopbackListener::ClosedPort());
  SendEventReport(0, u"start", false);
  EXPECT_FALSE(ReportSentOnce.load());
  SetReportServerOverride("127.0.0.1", listener_.Port());
  SendEventReport(1, u"ID: 5 ", false);  // held back although the server is up now
  SendEventReport(0, u"again", false);
  SendEventReport(1, u"ID: 6 ", false);
  auto got = listener_.WaitFor(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(CodeOf(got[0]), 0);
  EXPECT_EQ(CodeOf(got[1]), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[1].data() + 79)), "ID: 6  --9.0.5");
}

TEST_F(ReportsTest, StartUpFillsTheIdentityAndRoutesReportsToTheSender) {
  SetAppMachineId(CString());
  SetEventReportHandler(nullptr);
  InitReportServices();
  const CString id = GetAppMachineId();
  EXPECT_EQ(id.Mid(16, 3), CString(u"-_-"));
  EXPECT_EQ(GetAppOsText().Right(3), CString(u".64"));
  SendEventReport(27, u"Need expert", true);
  auto got = listener_.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], ExpectedEvent(27, id.ToUtf8(), "Need expert --9.0.5"));
}

TEST_F(ReportsTest, TheSenderThreadDrainsTheQueueInOrderThroughTheGate) {
  StartReportSenderThread();
  for (unsigned code : {22u, 12u, 27u, 0u}) SendEventReport(code, FormatCString(u"q%u", code), true);
  auto got = listener_.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  // Without consent code 22 was dropped; the rest left in the order they were queued.
  EXPECT_EQ(CodeOf(got[0]), 12);
  EXPECT_EQ(CodeOf(got[1]), 27);
  EXPECT_EQ(CodeOf(got[2]), 0);
}

TEST_F(ReportsTest, ConsentIsReadWhenThePacketIsSent) {
  ReportQueue queue;
  auto push = [&](int32_t code) {
    EventReportPacket p;
    BuildEventReportPacket(code, kMachineId, u"q", p);
    void* copy = AllocMem(sizeof(p), 1);
    memcpy(copy, &p, sizeof(p));
    queue.Push(copy, sizeof(p));
  };
  push(22);  // queued without consent, given before the send
  SetImproveJoined(true);
  DrainReportQueue(queue);
  push(23);  // queued with consent, withdrawn before the send
  SetImproveJoined(false);
  DrainReportQueue(queue);
  SendEventReport(12, u"sentinel", false);
  auto got = listener_.WaitFor(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(CodeOf(got[0]), 22);
  EXPECT_EQ(CodeOf(got[1]), 12);
}

TEST_F(ReportsTest, AnUnparsableServerAddressIsShownAndTheReportDropped) {
  SetMessageBoxHandler(&RecordMessage);
  g_messageText.Empty();
  SetReportServerOverride("300.1.2.3", listener_.Port());
  EventReportPacket p;
  BuildEventReportPacket(0, kMachineId, u"x", p);
  EXPECT_FALSE(SendPacket(&p, sizeof(p), nullptr, nullptr, kReportPort));
  EXPECT_EQ(g_messageText, CString(u"Bad server address"));
  EXPECT_FALSE(ReportSentOnce.load());
}

TEST_F(ReportsTest, DumpUploadsAreByteExactAndTheFilesGo) {
  std::string big = WriteDump("big.dmp", 0x40000);
  std::string empty = WriteDump("empty.dmp", 0);
  std::string name70(66, 'n');
  name70 += ".dmp";
  std::string longName = WriteDump(name70, 10);
  std::string fits = WriteDump("fits.dmp", 0x3FFFF);

  EXPECT_FALSE(UploadDump(FromHostPath(big)));
  EXPECT_FALSE(UploadDump(FromHostPath(empty)));
  EXPECT_FALSE(Exists(big));
  EXPECT_FALSE(Exists(empty));
  EXPECT_TRUE(UploadDump(FromHostPath(longName)));
  EXPECT_TRUE(UploadDump(FromHostPath(fits)));
  EXPECT_FALSE(Exists(longName));
  EXPECT_FALSE(Exists(fits));

  auto got = listener_.WaitFor(2);
  ASSERT_EQ(got.size(), 2u);
  // The 70-byte name travels as its first 64 bytes, with no terminator.
  ASSERT_EQ(got[0].size(), 84u);
  EXPECT_EQ(Bytes(got[0].begin(), got[0].begin() + 10), (Bytes{'R', 'V', 'K', ' ', 84, 0, 0, 0, 0x02, 0x01}));
  EXPECT_EQ(std::string(got[0].begin() + 10, got[0].begin() + 74), name70.substr(0, 64));
  // 0x3FFFF bytes make a packet of 0x40049 bytes.
  const Bytes& f = got[1];
  ASSERT_EQ(f.size(), 0x40049u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 10), (Bytes{'R', 'V', 'K', ' ', 0x49, 0x00, 0x04, 0x00, 0x02, 0x01}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data() + 10)), "fits.dmp");
  EXPECT_TRUE(std::all_of(f.begin() + 18, f.begin() + 74, [](uint8_t b) { return b == 0; }));
  bool same = true;
  for (size_t i = 0; i < 0x3FFFF && same; ++i) same = f[74 + i] == uint8_t(i * 7 + 3);
  EXPECT_TRUE(same);
}

TEST_F(ReportsTest, ADumpThatCouldNotBeDeliveredIsDeletedAllTheSame) {
  SetReportServerOverride("127.0.0.1", LoopbackListener::ClosedPort());
  std::string path = WriteDump("lost.dmp", 1000);
  EXPECT_FALSE(UploadDump(FromHostPath(path)));
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(ReportSentOnce.load());
  // A file that cannot be opened stays for a later run.
  EXPECT_FALSE(UploadDump(FromHostPath(dir_ + "/missing.dmp")));
}

TEST_F(ReportsTest, OneLeftoverDumpIsUploadedPerRun) {
  WriteDump("a.dmp", 100);
  WriteDump("B.DMP", 200);
  WriteDump("c.txt", 300);
  mkdir((dir_ + "/d.dmp").c_str(), 0755);
  std::vector<CString> paths, names;
  FindDumpFiles(paths, names);
  ASSERT_EQ(paths.size(), 2u);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(paths[0], CString((dir_ + "/").c_str()) + names[0]);
  const std::string first = HostPath(paths[0]);
  const std::string second = HostPath(paths[1]);

  UploadFirstLeftoverDump();
  auto got = listener_.WaitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[0].data() + 10)), names[0].ToUtf8());
  EXPECT_FALSE(Exists(first));
  EXPECT_TRUE(Exists(second));
}

}  // namespace
