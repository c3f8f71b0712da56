#include "app/reports.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "app/edition.h"
#include "app/machineid.h"
#include "app/runvalues.h"
#include "app/settings.h"
#include "base/heap.h"
#include "base/log.h"
#include "platform/hooks.h"
#include "platform/tcpclient.h"
#include "platform/textconv.h"
#include "platform/thread.h"

std::atomic<bool> ReportSentOnce{false};

namespace {

constexpr uint32_t kMaxReportTextBytes = 1024;
constexpr uint32_t kMaxMachineIdBytes = 64;
constexpr int kMaxReplyBytes = 100;

struct ServerOverride {
  std::mutex lock;
  std::string address;
  uint16_t port = 0;
};
ServerOverride& Override() {
  static ServerOverride& o = *new ServerOverride;
  return o;
}

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteHeader(uint8_t* p, uint32_t length, uint16_t kind) {
  memcpy(p, "RVK ", 4);
  PutU32(p + 4, length);
  PutU16(p + 8, kind);
}

// The server to use: the override (setter, then environment), else the edition's address.
void ChooseServer(std::string& address, uint16_t& port) {
  {
    ServerOverride& o = Override();
    std::lock_guard<std::mutex> g(o.lock);
    if (!o.address.empty()) {
      address = o.address;
      if (o.port) port = o.port;
      return;
    }
  }
  if (const char* env = getenv("KESTREL_REPORT_SERVER"); env && *env) {
    std::string text(env);
    size_t colon = text.find(':');
    address = text.substr(0, colon);
    if (colon != std::string::npos) {
      long p = strtol(text.c_str() + colon + 1, nullptr, 10);
      if (p > 0 && p <= 65535) port = uint16_t(p);
    }
    return;
  }
  address = IsOstrelBrand() ? kOstrelReportServerAddress : kReportServerAddress;
}

void LogConnectFailure(int error) {
  CString fmt = GetLangStr(u"ConectFailedCode");
  if (fmt.IsEmpty()) fmt = u"Report server connect failed: %d";
  WriteLog(CString(FormatW(fmt.View(), error)));
}

}  // namespace

std::string BuildReportText(const CString& text) {
  if (text.IsEmpty()) return std::string();
  std::string out = Utf16ToAnsi((text + u" --" + kProductVersion).View());
  // A double-byte character may be split at the cut, as the server has always received it.
  if (out.size() > kMaxReportTextBytes) out.resize(kMaxReportTextBytes);
  return out;
}

void BuildEventReportPacket(int32_t code, const CString& machineId, const CString& text, EventReportPacket& out) {
  uint8_t* p = reinterpret_cast<uint8_t*>(&out);
  memset(p, 0, sizeof(out));
  WriteHeader(p, uint32_t(sizeof(out)), kReportKindEvent);
  PutU32(p + offsetof(EventReportPacket, code), uint32_t(code));
  std::string id = Utf16ToAnsi(machineId.View());
  memcpy(p + offsetof(EventReportPacket, machineId), id.data(), std::min<size_t>(id.size(), kMaxMachineIdBytes));
  std::string t = BuildReportText(text);
  memcpy(p + offsetof(EventReportPacket, text), t.data(), std::min<size_t>(t.size(), kMaxReportTextBytes));
}

bool ReportGateAllows(const void* packet, uint32_t length) {
  if (!packet || length < 10) return false;
  const uint8_t* p = static_cast<const uint8_t*>(packet);
  const bool joined = IsImproveJoined();
  switch (p[8]) {
    case 0:
    case 2:
      return true;
    case 1: {
      if (length < 14) return joined;
      const int32_t code = int32_t(GetU32(p + 10));
      // The end-of-run report goes only in runs whose earlier report reached the server.
      if (code == 1 && !ReportSentOnce.load()) return false;
      if (joined) return true;
      switch (code) {
        case 0: case 1: case 3: case 12: case 18: case 19: case 27: return true;
        default: return false;
      }
    }
    default:
      return joined;
  }
}

bool SendPacket(const void* packet, uint32_t length, void* reply, int* replyCount, uint16_t port) {
  if (!packet || length < 8) return false;
  if (!ReportGateAllows(packet, length)) return false;
  std::string address;
  ChooseServer(address, port);
  if (!IsIpv4Text(address.c_str())) {
    ShowMessageBox(GetLangStr(u"ServerIpErr"), CString(), CString());
    return false;
  }
  int error = 0;
  int sock = TcpConnect(address.c_str(), port, kReportConnectTimeoutMs, &error);
  if (sock < 0) {
    LogConnectFailure(error);
    return false;
  }
  // The packet counts as delivered only when its last byte went out.
  bool sent = TcpSendAll(sock, packet, length, kReportIoTimeoutMs, &error);
  if (sent && reply) {
    int n = TcpReceiveOnce(sock, reply, kMaxReplyBytes, kReportIoTimeoutMs);
    if (replyCount) *replyCount = n;
  }
  TcpClose(sock);
  if (!sent) {
    LogConnectFailure(error);
    return false;
  }
  ReportSentOnce = true;
  return true;
}

void BuildAndSendEventReport(unsigned code, const CString& text, bool queued) {
  const CString machineId = GetAppMachineId();
  if (machineId.IsEmpty()) return;
  EventReportPacket packet;
  BuildEventReportPacket(int32_t(code), machineId, text, packet);
  if (queued) {
    // When the packet's own allocation fails, the heap reports that failure through here
    // again; that nested report is dropped instead of recursing until the stack runs out.
    static thread_local bool allocating = false;
    if (allocating) return;
    allocating = true;
    void* copy = AllocMem(sizeof(packet), 293);
    allocating = false;
    memcpy(copy, &packet, sizeof(packet));
    GetReportQueue().Push(copy, uint32_t(sizeof(packet)));
  } else {
    (void)SendPacket(&packet, uint32_t(sizeof(packet)), nullptr, nullptr, kReportPort);
  }
}

void InstallEventReportHandler() { SetEventReportHandler(&BuildAndSendEventReport); }

ReportQueue::ReportQueue() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

ReportQueue::~ReportQueue() {
  for (const Entry& e : entries_) FreeMem(e.packet);
  CloseHandle(event_);
}

void ReportQueue::Push(void* packet, uint32_t length) {
  {
    CSectionLock g(lock_);
    entries_.push_back(Entry{packet, length});
  }
  SetEvent(event_);
}

bool ReportQueue::Pop(void*& packet, uint32_t& length) {
  CSectionLock g(lock_);
  if (entries_.empty()) return false;
  packet = entries_.front().packet;
  length = entries_.front().length;
  entries_.pop_front();
  return true;
}

ReportQueue& GetReportQueue() {
  static ReportQueue& q = *new ReportQueue;
  return q;
}

void DrainReportQueue(ReportQueue& queue) {
  void* packet = nullptr;
  uint32_t length = 0;
  while (queue.Pop(packet, length)) {
    if (!packet) continue;
    if (length) (void)SendPacket(packet, length, nullptr, nullptr, kReportPort);
    FreeMem(packet);
  }
}

UINT ReportSenderThread(LPVOID) {
  ReportQueue& queue = GetReportQueue();
  for (;;) {
    WaitForSingleObject(queue.Event(), INFINITE);
    DrainReportQueue(queue);
  }
  return 0;
}

void StartReportSenderThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    HANDLE h = StartThread(&ReportSenderThread, nullptr);
    CloseHandle(h);
  });
}

void SetReportServerOverride(const std::string& ipv4, uint16_t port) {
  ServerOverride& o = Override();
  std::lock_guard<std::mutex> g(o.lock);
  o.address = ipv4;
  o.port = port;
}

void InitReportServices() {
  CString id;
  GetMachineId(id);
  SetAppMachineId(id);
  WriteLog(CString(u"Machine id: ") + GetAppMachineId());
  CString os;
  GetOsVerText(os);
  SetAppOsText(os);
  InstallEventReportHandler();
  StartReportSenderThread();
}
