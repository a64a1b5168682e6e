// The download manager's synchronous requests: address probes, JSON documents from the base
// addresses, single URLs, and the transport of the usage reports. Each runs on a new easy handle,
// performed on the calling (worker) thread.

#include "dorevezi/update/http_requests.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "dorevezi/core/version_map.h"
#include "dorevezi/update/download_manager.h"

namespace {

constexpr char kUserAgent[] = "libcurl-agent/1.0";
constexpr char kJsonContentType[] = "Content-Type:application/json; charset=UTF-8";

// Releases the request's handle however the try ends.
class PendingRequest {
 public:
  explicit PendingRequest(DownloadManager& manager, CURL* handle) : manager_(manager), handle_(handle) {}
  ~PendingRequest() { Release(); }
  PendingRequest(const PendingRequest&) = delete;
  PendingRequest& operator=(const PendingRequest&) = delete;

  void Release() {
    if (handle_) manager_.ReleaseRequestHandle(handle_);
    handle_ = nullptr;
  }

 private:
  DownloadManager& manager_;
  CURL* handle_;
};

// Options shared by the probe, memory and single-URL requests.
void SetFetchOptions(CURL* handle, const std::string& url, const std::string& body, long connectTimeout,
                     long timeout) {
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, connectTimeout);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeout);
  curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(handle, CURLOPT_TCP_KEEPIDLE, 120L);
  curl_easy_setopt(handle, CURLOPT_TCP_KEEPINTVL, 20L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  if (!body.empty()) {
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  }
}

// libcurl's text for the result, with the transfer's own detail when it gave one.
std::string TransportError(CURLcode result, const char* errorBuffer) {
  std::string text = curl_easy_strerror(result);
  if (errorBuffer[0]) text += std::string(": ") + errorBuffer;
  return text;
}

// Probes ask for one byte; whatever the server sends back is not wanted.
size_t DiscardBody(char* /*data*/, size_t size, size_t count, void* /*unused*/) {
  return size * count;
}

}  // namespace

ResponseBuffer::ResponseBuffer() : data(static_cast<char*>(calloc(1, 1))) {}

ResponseBuffer::~ResponseBuffer() {
  free(data);
}

std::string EscapeFormValue(const std::string& text) {
  if (text.empty()) return std::string();
  char* escaped = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()));
  if (!escaped) return std::string();
  std::string result(escaped);
  curl_free(escaped);
  return result;
}

std::string BuildFormQuery(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string query;
  for (const auto& field : fields) {
    if (!query.empty()) query += '&';
    query += EscapeFormValue(field.first) + "=" + EscapeFormValue(field.second);
  }
  return query;
}

std::string DownloadManager::JoinUrl(const std::string& base, const std::string& path) {
  if (base.empty()) return path;
  if (base.back() == '/') return base + path;
  return base + "/" + path;
}

CURL* DownloadManager::NewRequestHandle() {
  CURL* handle = curl_easy_init();
  if (handle) pendingRequests.emplace_back(handle);
  return handle;
}

void DownloadManager::ReleaseRequestHandle(CURL* handle) {
  for (auto it = pendingRequests.begin(); it != pendingRequests.end(); ++it) {
    if (it->get() == handle) {
      pendingRequests.erase(it);
      return;
    }
  }
}

size_t DownloadManager::OnWriteMemory(char* data, size_t size, size_t count, void* buffer) {
  ResponseBuffer* response = static_cast<ResponseBuffer*>(buffer);
  if (!GetInstance().running || !response) return 0;
  const size_t n = size * count;
  char* grown = static_cast<char*>(realloc(response->data, response->size + n + 1));
  if (!grown) return 0;
  response->data = grown;
  memcpy(response->data + response->size, data, n);
  response->size += n;
  response->data[response->size] = '\0';
  return n;
}

size_t DownloadManager::OnWriteString(char* data, size_t size, size_t count, void* text) {
  static_cast<std::string*>(text)->append(data, size * count);
  return size * count;
}

bool DownloadManager::ProbeUrl(const std::string& urlPath, const std::string& body, UrlProbeCallback callback,
                               int32_t user) {
  if (activeUrls.empty()) return false;
  int32_t tries = 0;
  int32_t baseIndex = 0;
  int32_t code = 0;
  bool exists = false;
  std::string message;
  for (;;) {
    code = 0;
    exists = false;
    message.clear();
    bool tryAgain = false;
    try {
      CURL* handle = NewRequestHandle();
      if (!handle) throw std::runtime_error("curl_easy_init failed");
      PendingRequest pending(*this, handle);
      char errorBuffer[CURL_ERROR_SIZE] = {};
      SetFetchOptions(handle, JoinUrl(activeUrls[baseIndex], urlPath), body, 10L, 60L);
      SetTlsOptions(handle);
      curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
      curl_easy_setopt(handle, CURLOPT_RANGE, "0-0");
      curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
      const CURLcode result = curl_easy_perform(handle);
      long status = 0;
      curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
      pending.Release();
      if (result == CURLE_REMOTE_FILE_NOT_FOUND) {
      } else if (result == CURLE_OK && (status == 200 || status == 206)) {
        exists = true;
      } else if (result == CURLE_OK && status == 404) {
      } else {
        code = -2;
        message = TransportError(result, errorBuffer);
        tryAgain = true;
      }
    } catch (const std::exception& error) {
      code = -1;
      message = error.what();
      tryAgain = true;
    }
    if (!tryAgain || !running || !AdvanceTry(tries, baseIndex)) break;
  }
  if (callback && running) callback(user, code, JoinUrl(urlPath, body), exists, message);
  return true;
}

bool DownloadManager::RequestUrl(const std::string& url, const std::string& body,
                                 MemoryResponseCallback callback, int32_t user) {
  int32_t code = 0;
  std::string message;
  ResponseBuffer response;
  try {
    CURL* handle = NewRequestHandle();
    if (!handle) throw std::runtime_error("curl_easy_init failed");
    PendingRequest pending(*this, handle);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    SetFetchOptions(handle, url, body, 5L, 8L);
    SetTlsOptions(handle);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DownloadManager::OnWriteMemory);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    pending.Release();
    if (result != CURLE_OK) {
      code = -2;
      message = TransportError(result, errorBuffer);
    } else if (status != 200) {
      code = -2;
      message = std::to_string(status);
    }
  } catch (const std::exception& error) {
    code = -1;
    message = error.what();
  }
  if (callback && running) {
    callback(user, code, JoinUrl(url, body), response.data, static_cast<int32_t>(response.size), message);
  }
  return true;
}

bool DownloadManager::DownloadMemory(const std::string& urlPath, const std::string& body,
                                     MemoryResponseCallback callback, int32_t user) {
  if (activeUrls.empty()) {
    if (callback) callback(user, -1, JoinUrl(urlPath, body), nullptr, 0, "DownloadMemory URL is empty");
    return false;
  }
  int32_t tries = 0;
  int32_t baseIndex = 0;
  int32_t code = 0;
  std::string message;
  std::unique_ptr<ResponseBuffer> response;
  for (;;) {
    code = 0;
    message.clear();
    response.reset(new ResponseBuffer());
    bool tryAgain = false;
    try {
      CURL* handle = NewRequestHandle();
      if (!handle) throw std::runtime_error("curl_easy_init failed");
      PendingRequest pending(*this, handle);
      char errorBuffer[CURL_ERROR_SIZE] = {};
      SetFetchOptions(handle, JoinUrl(activeUrls[baseIndex], urlPath), body, 10L, 60L);
      SetTlsOptions(handle);
      curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DownloadManager::OnWriteMemory);
      curl_easy_setopt(handle, CURLOPT_WRITEDATA, response.get());
      curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
      const CURLcode result = curl_easy_perform(handle);
      long status = 0;
      curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
      pending.Release();
      if (result != CURLE_OK) {
        code = -2;
        message = TransportError(result, errorBuffer);
        tryAgain = true;
      } else if (status != 200) {
        code = -2;
        message = std::to_string(status);
        tryAgain = true;
      } else {
        // A 200 reply ends the tries; one that is not JSON carries the reader's message.
        std::string error;
        if (!IsJsonText(response->data, response->size, error)) message = error;
      }
    } catch (const std::exception& error) {
      code = -1;
      message = error.what();
      tryAgain = true;
    }
    if (!tryAgain || !running || !AdvanceTry(tries, baseIndex)) break;
  }
  if (callback && running) {
    callback(user, code, JoinUrl(urlPath, body), response->data, static_cast<int32_t>(response->size),
             message);
  }
  return true;
}

void DownloadManager::PostJson(const std::string& body, const std::string& url, bool now) {
  if (now) {
    SendJsonNow(body, url);
    return;
  }
  queuedPosts[url].push_back(body);
}

void DownloadManager::SendNextQueuedPost() {
  for (auto& entry : queuedPosts) {
    if (entry.second.empty()) continue;
    const std::string body = entry.second.front();
    entry.second.pop_front();
    SendJsonNow(body, entry.first);
    return;
  }
}

void DownloadManager::SendJsonNow(const std::string& body, const std::string& url) {
  const bool attribution = url == attributionUrl;
  const std::string target = attribution ? url + "?" + body : url;
  curl_slist* headers = curl_slist_append(nullptr, kJsonContentType);
  std::string reply;
  try {
    CURL* handle = NewRequestHandle();
    if (!handle) throw std::runtime_error("curl_easy_init failed");
    PendingRequest pending(*this, handle);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_HEADER, 0L);
    curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
    if (attribution) {
      curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(handle, CURLOPT_POST, 1L);
      curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
      curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    SetTlsOptions(handle);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DownloadManager::OnWriteString);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 6L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, 6L);
    curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  } catch (const std::exception&) {
    // A report that cannot be sent is lost; nothing the launcher does depends on it.
  }
  curl_slist_free_all(headers);
}
