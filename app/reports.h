// Event reports and dump uploads for the report server.
//
// Every report is one small little-endian packet sent over its own TCP connection. Event
// reports are queued for ReportSenderThread or sent at once on the caller's thread; one gate
// decides at send time whether a packet may leave (most event reports need the user's consent
// to the improvement programme). Nothing is retried, awaited or kept on disk.
//
// Both server addresses are loopback. KESTREL_REPORT_SERVER ("a.b.c.d" or "a.b.c.d:port") or
// SetReportServerOverride points the sender elsewhere (tests use their own listener).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/sync.h"
#include "platform/wintypes.h"

#pragma pack(push, 1)
struct ReportPacketHeader {
  char magic[4];    // "RVK "
  uint32_t length;  // the whole packet, this header included
  uint16_t kind;    // kReportKindEvent or kReportKindDump
};
struct EventReportPacket {
  ReportPacketHeader head;
  int32_t code;
  char machineId[65];  // ANSI, zero-terminated, at most 64 bytes of text
  char text[1025];     // ANSI, zero-terminated, at most 1024 bytes of text
};
// Followed by the bytes of the dump file.
struct DumpUploadPacket {
  ReportPacketHeader head;
  char name[64];  // ANSI, zero-padded; a name of 64 bytes or more has no terminator
};
#pragma pack(pop)
static_assert(sizeof(ReportPacketHeader) == 10);
static_assert(sizeof(EventReportPacket) == 1104);
static_assert(offsetof(EventReportPacket, code) == 10);
static_assert(offsetof(EventReportPacket, machineId) == 14);
static_assert(offsetof(EventReportPacket, text) == 79);
static_assert(sizeof(DumpUploadPacket) == 74);

constexpr uint16_t kReportKindEvent = 257;
constexpr uint16_t kReportKindDump = 258;
constexpr uint16_t kReportPort = 7000;
constexpr char kReportServerAddress[] = "127.0.0.1";
constexpr char kOstrelReportServerAddress[] = "127.0.0.1";
constexpr char16_t kProductVersion[] = u"9.0.5";
// Dumps of this size or larger are deleted without upload.
constexpr uint64_t kMaxDumpUploadBytes = 0x40000;
// How long a connection attempt and each send may take before the packet is given up.
constexpr int kReportConnectTimeoutMs = 3000;
constexpr int kReportIoTimeoutMs = 5000;

// Set after the first packet of the run went out completely; never cleared.
extern std::atomic<bool> ReportSentOnce;

// The text followed by " --" and the product version, in the ANSI code page, at most 1024
// bytes; an empty text stays empty.
std::string BuildReportText(const CString& text);
// Fills a whole event report packet (every byte not in a field is zero).
void BuildEventReportPacket(int32_t code, const CString& machineId, const CString& text, EventReportPacket& out);
// The gate: whether the packet may leave now (consent, always-sent codes, code 1 only after a
// report of this run reached the server).
bool ReportGateAllows(const void* packet, uint32_t length);
// Applies the gate, connects to the report server and sends every byte. With a reply buffer
// one receive of at most 100 bytes follows; its byte count or -(error) goes to *replyCount.
// True only when the whole packet was sent.
bool SendPacket(const void* packet, uint32_t length, void* reply, int* replyCount, uint16_t port);

// Builds one event report and queues it or sends it at once. Does nothing while the machine
// identifier is empty. Installed as the handler of SendEventReport.
void BuildAndSendEventReport(unsigned code, const CString& text, bool queued);
void InstallEventReportHandler();

// The report queue: packets from the guarded heap, first in first out, one lock and one
// auto-reset event that wakes the sender.
class ReportQueue {
 public:
  ReportQueue();
  // Frees the packets still waiting.
  ~ReportQueue();
  ReportQueue(const ReportQueue&) = delete;
  ReportQueue& operator=(const ReportQueue&) = delete;
  // Takes the packet (allocated with AllocMem) and wakes the sender.
  void Push(void* packet, uint32_t length);
  // The oldest entry; false when the queue is empty.
  bool Pop(void*& packet, uint32_t& length);
  HANDLE Event() const { return event_; }

 private:
  struct Entry {
    void* packet;
    uint32_t length;
  };
  CCriticalSection lock_;
  std::deque<Entry> entries_;
  HANDLE event_;
};
ReportQueue& GetReportQueue();
// Sends and frees every queued packet in order, one attempt each.
void DrainReportQueue(ReportQueue& queue);
// The sender thread's procedure: waits for the queue's event and drains it, forever.
UINT ReportSenderThread(LPVOID);
// Starts ReportSenderThread once per process.
void StartReportSenderThread();

// Points the sender at another server; an empty address restores the default. Port 0 keeps
// the port the caller asks for.
void SetReportServerOverride(const std::string& ipv4, uint16_t port);

// The "*.dmp" files of the program folder (any letter case), in listing order.
void FindDumpFiles(std::vector<CString>& paths, std::vector<CString>& names);
// Uploads one dump and deletes it, sent or not. A file that cannot be opened stays; an empty
// file or one of kMaxDumpUploadBytes or more is deleted unsent. True when it was delivered.
bool UploadDump(const CString& path);
// The start-up's share: uploads (and deletes) the first leftover dump, if any.
void UploadFirstLeftoverDump();

// The start-up's share of the report services: machine identifier and OS text into the run
// values, the handler installed, the sender thread started.
void InitReportServices();
