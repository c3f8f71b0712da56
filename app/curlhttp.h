// The HTTP client of the service layer: one libcurl easy handle, GET only, the response body
// collected in memory, every failure a false result with the library's error text
// (CUniteBase). Use: construct with the address, Run, then GetResponse or GetErrorText.
//
// Transfers verify the server's certificate and host name against the system's CA store, or
// against the CA file when one is set. Only http:// and https:// are spoken, also across
// redirects. The proxy is the environment's unless one is set.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "app/unitebase.h"

class CCurlHttpBase : public CUniteBase {
 public:
  explicit CCurlHttpBase(const std::string& address);
  ~CCurlHttpBase() override;

  void Reset() override;
  // Raises the in-progress flag for the duration of Perform.
  virtual bool Run();
  // One transfer. False when it failed, when the object is already transferring ("busy"), or
  // when a hook refused; the error text says which.
  virtual bool Perform();
  // Empties the last request's results, then makes the handle and the default headers.
  virtual bool Prepare();
  // With keep false the header list and the easy handle are freed. Always true.
  virtual bool Cleanup(bool keep);
  virtual bool SetOptions();
  // Hooks for derived classes; each returns true to go on.
  virtual bool OnPrepared() { return true; }
  virtual bool OnBeforePerform() { return true; }
  virtual bool OnPerformed(CURLcode code) {
    (void)code;
    return true;
  }
  virtual void FreeHeaders();
  virtual bool AddHeader(const std::string& line);
  virtual void ResetRequest();
  virtual bool initCurl();
  virtual bool SetDefaultHeaders();
  virtual int OnDebug(curl_infotype type, const char* data, size_t size);
  // Appends the bytes to the body; returns the count taken (fewer ends the transfer).
  virtual size_t OnWrite(const char* data, size_t size, size_t count);

  // The body as received (zero-terminated), valid until the next transfer or destruction;
  // kept after a failure too.
  const char* GetResponse() const { return response_.c_str(); }
  const std::string& GetResponseBody() const { return response_; }
  // The HTTP status of the last transfer; 0 when no response arrived.
  long GetResponseCode() const { return status_; }
  CURLcode GetCurlCode() const { return code_; }
  bool IsDone() const { return done_; }
  bool IsInProgress() const { return inProgress_.load() != 0; }

  // Used instead of the base address while not empty.
  void SetRequestUrl(const std::string& url) { requestUrl_ = url; }
  void SetProxy(const std::string& proxy) { proxy_ = proxy; }
  void SetCaFile(const std::string& path) { caFile_ = path; }
  // Milliseconds; 0 leaves the library's default.
  void SetTimeouts(uint32_t connectMs, uint32_t totalMs) {
    connectTimeoutMs_ = connectMs;
    totalTimeoutMs_ = totalMs;
  }
  void SetVerbose(bool on) { verbose_ = on; }
  // The address as it is sent: decoded, made UTF-8, and encoded keeping its structure.
  std::string EncodedUrl() const;

 protected:
  void SetCurlCode(CURLcode code) { code_ = code; }
  // Stores the code and the library's text for it, after any error text already there.
  void SetCurlError(CURLcode code);

  CURL* curl_ = nullptr;
  curl_slist* headers_ = nullptr;

 private:
  uint32_t connectTimeoutMs_ = 0;
  uint32_t totalTimeoutMs_ = 0;
  bool verbose_ = false;
  std::string baseUrl_;
  std::string requestUrl_;
  std::string caFile_;
  std::string response_;
  std::string proxy_;
  std::atomic<bool> busy_{false};
  bool done_ = false;
  std::atomic<int> inProgress_{0};
  CURLcode code_ = CURLE_OK;
  long status_ = 0;
};

// The class a query instantiates.
class CCurlHttpQuery : public CCurlHttpBase {
 public:
  using CCurlHttpBase::CCurlHttpBase;
};
