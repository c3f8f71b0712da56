#include "app/onlinecfg.h"

#include <atomic>

#include "app/curlhttp.h"
#include "app/settings.h"
#include "app/weblink.h"
#include "base/log.h"
#include "base/textutil.h"
#include "platform/hooks.h"
#include "platform/sync.h"

std::mutex OnlineCfgLock;
UpdateNoticeInfo UpdateNotice;
std::vector<LinkEntry> LinkList;

namespace {

constexpr int kDownloadTries = 5;
constexpr DWORD kRetryWaitMs = 1000;
constexpr uint32_t kDownloadTimeoutMs = 30000;
// The configuration is a few lines; a server that sends more is not sending it.
constexpr size_t kMaxBodyBytes = 1 << 20;
// Redirects are followed as a browser would, within reason.
constexpr long kMaxRedirects = 10;

std::atomic<void (*)(DWORD)> g_sleep{nullptr};
std::atomic<uint32_t> g_timeoutMs{0};

class OnlineCfgQuery : public CCurlHttpQuery {
 public:
  using CCurlHttpQuery::CCurlHttpQuery;

  bool OnBeforePerform() override {
    return curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK;
  }
  size_t OnWrite(const char* data, size_t size, size_t count) override {
    if (GetResponseBody().size() + size * count > kMaxBodyBytes) return 0;
    return CCurlHttpQuery::OnWrite(data, size, count);
  }
};

}  // namespace

UpdateNoticeInfo GetUpdateNoticeCopy() {
  std::lock_guard<std::mutex> g(OnlineCfgLock);
  return UpdateNotice;
}

std::vector<LinkEntry> GetLinkListCopy() {
  std::lock_guard<std::mutex> g(OnlineCfgLock);
  return LinkList;
}

bool HttpGetText(const CString& address, CString& text) {
  text.Empty();
  if (address.IsEmpty()) return false;
  OnlineCfgQuery query(address.ToAnsi());
  const uint32_t timeout = g_timeoutMs.load() ? g_timeoutMs.load() : kDownloadTimeoutMs;
  query.SetTimeouts(timeout, timeout);
  if (!query.Run()) {
    WriteLog(CString(u"Online configuration download failed: ") + query.GetErrorText());
    return false;
  }
  if (query.GetResponseCode() != 200) {
    WriteLogFmt(u"Online configuration download answered %d", int(query.GetResponseCode()));
    return false;
  }
  // Decoded only once the whole body is here: a read that ends inside a code unit cannot
  // shift the rest of the text.
  text = DecodeOnlineCfgBody(query.GetResponseBody());
  return !text.IsEmpty();
}

CString DecodeOnlineCfgBody(std::string_view body) {
  std::u16string units;
  units.reserve(body.size() / 2);
  for (size_t i = 2; i + 1 < body.size(); i += 2) {
    const char16_t u = char16_t(uint8_t(body[i]) | (uint8_t(body[i + 1]) << 8));
    if (u == 0) break;
    units += u;
  }
  return CString(std::move(units));
}

void RefreshOnlineCfg() {
  const CString address = GetSoftCfg(u"WebParam");
  // An edition without an address has nothing to fetch; five empty tries would only wait.
  if (address.IsEmpty()) return;
  CString text;
  for (int i = 0; i < kDownloadTries; ++i) {
    if (HttpGetText(address, text)) break;
    if (auto fn = g_sleep.load()) fn(kRetryWaitMs);
    else Sleep(kRetryWaitMs);
  }
  if (!text.IsEmpty()) ApplyOnlineCfg(text, GetBaseCfg(u"Version"));
}

void ApplyOnlineCfg(const CString& text, const CString& version) {
  ParseOnlineCfgText(text, version);
  LoadLinkList();
  CString message, link;
  if (ParseUpdateNotice(GetSoftCfg(u"MustUpdate"), message, link)) SetUpdateNotice(3, message, link);
  else if (ParseUpdateNotice(GetSoftCfg(u"NeedUpdate"), message, link)) SetUpdateNotice(2, message, link);
}

void ParseOnlineCfgText(const CString& text, const CString& version) {
  const std::vector<CString>& keys = SoftCfgKeys();
  for (const CString& paragraph : SplitParagraphs(text)) {
    for (const CString& key : keys) {
      if (SetSoftCfgEntry(paragraph, version, key)) break;
    }
  }
}

std::vector<CString> SplitParagraphs(const CString& text) {
  std::vector<CString> paragraphs;
  std::u16string_view rest = text.View();
  for (;;) {
    const size_t open = rest.find(u"<p>");
    if (open == std::u16string_view::npos) break;
    rest.remove_prefix(open + 3);
    const size_t close = rest.find(u"</p>");
    if (close == std::u16string_view::npos) break;
    paragraphs.emplace_back(rest.substr(0, close));
    rest.remove_prefix(close + 4);
  }
  return paragraphs;
}

void LoadLinkList() {
  for (int i = 1; i <= 5; ++i) {
    const CString value = GetSoftCfg(FormatCString(u"link%d:", i));
    CString text, address;
    if (value.IsEmpty() || !SplitAtStar(value, text, address)) continue;
    std::lock_guard<std::mutex> g(OnlineCfgLock);
    LinkList.push_back({text, address});
  }
}

bool ParseUpdateNotice(const CString& value, CString& message, CString& link) {
  message.Empty();
  link.Empty();
  const int star = value.Find(u'*');
  if (star < 1) return false;
  // Digits only: a stray sign or text must never turn into a huge build number that forces
  // every user to update.
  uint64_t build = 0;
  for (int i = 0; i < star; ++i) {
    const char16_t c = value[i];
    if (c < u'0' || c > u'9') return false;
    if (build <= kProgramBuild) build = build * 10 + uint64_t(c - u'0');
  }
  if (build <= kProgramBuild) return false;
  CString msg, lnk;
  if (!SplitAtStar(value.Mid(star + 1), msg, lnk) || msg.IsEmpty() || lnk.IsEmpty()) return false;
  message = msg;
  link = lnk;
  return true;
}

void SetUpdateNotice(uint32_t level, const CString& message, const CString& link) {
  std::lock_guard<std::mutex> g(OnlineCfgLock);
  if (UpdateNotice.level >= level) return;
  UpdateNotice.level = level;
  UpdateNotice.message = message;
  UpdateNotice.link = link;
}

void ShowUpdateNotice() {
  const UpdateNoticeInfo notice = GetUpdateNoticeCopy();
  if (notice.level == 0 || notice.message.IsEmpty()) return;
  ShowMessageBox(notice.message);
  if (!notice.link.IsEmpty()) OpenWebAddress(notice.link);
  if (notice.level == 3) ExitOnException(1, u"Must update!");
}

void SetOnlineCfgTimingForTest(void (*sleepFn)(DWORD), uint32_t timeoutMs) {
  g_sleep = sleepFn;
  g_timeoutMs = timeoutMs;
}

void ClearOnlineCfgForTest() {
  std::lock_guard<std::mutex> g(OnlineCfgLock);
  UpdateNotice = UpdateNoticeInfo();
  LinkList.clear();
}
