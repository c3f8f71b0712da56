#include "app/curlhttp.h"

#include <mutex>

#include "app/strutil.h"
#include "base/log.h"

namespace {

std::mutex g_globalInitLock;
bool g_globalInitDone = false;

size_t WriteThunk(char* data, size_t size, size_t count, void* self) {
  return static_cast<CCurlHttpBase*>(self)->OnWrite(data, size, count);
}

int DebugThunk(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  return static_cast<CCurlHttpBase*>(self)->OnDebug(type, data, size);
}

}  // namespace

CCurlHttpBase::CCurlHttpBase(const std::string& address) {
  Reset();
  baseUrl_ = address;
  caFile_.clear();
  connectTimeoutMs_ = 30000;
  totalTimeoutMs_ = 30000;
  verbose_ = false;
}

CCurlHttpBase::~CCurlHttpBase() { Cleanup(false); }

void CCurlHttpBase::Reset() {
  {
    std::lock_guard<std::mutex> g(g_globalInitLock);
    // A failed set-up is tried again by the next object.
    if (!g_globalInitDone && curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) g_globalInitDone = true;
  }
  Cleanup(false);
  connectTimeoutMs_ = 0;
  totalTimeoutMs_ = 0;
  verbose_ = false;
  busy_ = false;
  done_ = false;
  inProgress_.exchange(0);
  code_ = CURLE_OK;
  status_ = 0;
}

bool CCurlHttpBase::Run() {
  inProgress_.exchange(1);
  const bool ok = Perform();
  inProgress_.exchange(0);
  return ok;
}

bool CCurlHttpBase::Perform() {
  if (busy_) {
    // A second transfer on an object that is still transferring would reuse its handle from
    // inside its own callback; it is refused rather than reported as done.
    SetErrorText(u"Error: busy, a transfer of this object is still running");
    return false;
  }
  if (!Prepare()) return false;
  if (!SetOptions() || !OnPrepared() || !OnBeforePerform()) return false;
  busy_ = true;
  const CURLcode code = curl_easy_perform(curl_);
  long status = 0;
  if (curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) status_ = status;
  const bool after = OnPerformed(code);
  busy_ = false;
  if (code != CURLE_OK) {
    SetCurlError(code);
    return false;
  }
  if (!after) return false;
  done_ = true;
  return true;
}

bool CCurlHttpBase::Prepare() {
  ResetRequest();
  return initCurl() && SetDefaultHeaders();
}

bool CCurlHttpBase::Cleanup(bool keep) {
  if (!keep) {
    FreeHeaders();
    if (curl_) curl_easy_cleanup(curl_);
    curl_ = nullptr;
  }
  return true;
}

void CCurlHttpBase::SetCurlError(CURLcode code) {
  SetCurlCode(code);
  CString text = AnsiToWide(curl_easy_strerror(code));
  if (!errorText_.IsEmpty()) text = errorText_ + u"\r\n" + text;
  SetErrorText(text);
}

std::string CCurlHttpBase::EncodedUrl() const {
  std::string url = UrlDecode(requestUrl_.empty() ? baseUrl_ : requestUrl_);
  if (!IsUtf8Text(url)) url = AnsiToUtf8(url);
  return UrlEncode(url, true);
}

bool CCurlHttpBase::SetOptions() {
  const std::string url = EncodedUrl();
  auto set = [this](CURLcode code) {
    if (code == CURLE_OK) return true;
    SetCurlError(code);
    return false;
  };
  if (!set(curl_easy_setopt(curl_, CURLOPT_PROXY, proxy_.empty() ? nullptr : proxy_.c_str()))) return false;
  if (verbose_) {
    if (!set(curl_easy_setopt(curl_, CURLOPT_VERBOSE, 1L)) ||
        !set(curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, &DebugThunk)) ||
        !set(curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, this)))
      return false;
  } else {
    if (!set(curl_easy_setopt(curl_, CURLOPT_VERBOSE, 0L)) ||
        !set(curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, nullptr)) ||
        !set(curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, nullptr)))
      return false;
  }
  if (!set(curl_easy_setopt(curl_, CURLOPT_URL, url.c_str()))) return false;
  // Addresses come from configuration and downloads: nothing but the web is spoken, so a
  // tampered address or redirect cannot reach a local file or another protocol.
  if (!set(curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "http,https")) ||
      !set(curl_easy_setopt(curl_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https")))
    return false;
  if (!set(curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L))) return false;
  if (!set(curl_easy_setopt(curl_, CURLOPT_READFUNCTION, nullptr)) ||
      !set(curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &WriteThunk)) ||
      !set(curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this)))
    return false;
  // Without a CA file the system's store decides; a transfer whose peer cannot be verified
  // fails instead of quietly trusting anyone.
  if (!set(curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 1L)) ||
      !set(curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 2L)))
    return false;
  if (!caFile_.empty() && !set(curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile_.c_str()))) return false;
  if (!set(curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L))) return false;
  if (connectTimeoutMs_ && !set(curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, long(connectTimeoutMs_))))
    return false;
  if (totalTimeoutMs_ && !set(curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, long(totalTimeoutMs_)))) return false;
  if (headers_ && !set(curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_))) return false;
  return true;
}

void CCurlHttpBase::FreeHeaders() {
  if (headers_) curl_slist_free_all(headers_);
  headers_ = nullptr;
}

bool CCurlHttpBase::AddHeader(const std::string& line) {
  curl_slist* list = curl_slist_append(headers_, line.c_str());
  if (!list) return false;
  headers_ = list;
  return true;
}

void CCurlHttpBase::ResetRequest() {
  ClearErrorText();
  response_.clear();
  busy_ = false;
  done_ = false;
  code_ = CURLE_OK;
  status_ = 0;
}

bool CCurlHttpBase::initCurl() {
  if (!curl_) curl_ = curl_easy_init();
  if (!curl_) {
    SetErrorText(u"Error:无法初始化curl,CCurlHttpBase::initCurl");
    return false;
  }
  return true;
}

bool CCurlHttpBase::SetDefaultHeaders() {
  if (headers_) return true;
  return AddHeader("Connection: keep-alive") && AddHeader("Cache-Control: no-cache");
}

int CCurlHttpBase::OnDebug(curl_infotype type, const char* data, size_t size) {
  WriteLog(FormatCString(u"Type:%d,%s", int(type), AnsiToWide(std::string_view(data, size))));
  return 0;
}

size_t CCurlHttpBase::OnWrite(const char* data, size_t size, size_t count) {
  // An empty piece is an empty body, not a failure.
  const size_t n = size * count;
  if (n) response_.append(data, n);
  return n;
}
