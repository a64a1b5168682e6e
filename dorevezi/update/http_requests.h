#pragma once

// Records of the download manager's small synchronous requests (address probes, JSON documents,
// usage reports), and the form encoding of the attribution reports.

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Result of a probe: code 0 when the server answered whether the file exists, -1 no base address
// or an exception, -2 a transport failure or an unexpected status on the last try.
using UrlProbeCallback = void (*)(int32_t user, int32_t code, const std::string& url, bool exists,
                                  const std::string& message);
// Result of a memory request: the body of the last try (zero-terminated) and its size.
using MemoryResponseCallback = void (*)(int32_t user, int32_t code, const std::string& url, const char* body,
                                        int32_t size, const std::string& message);

struct EasyHandleDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
// One easy handle of a request in flight.
using RequestHandle = std::unique_ptr<CURL, EasyHandleDeleter>;

// The body of a memory request: a heap block that always ends in a zero byte.
struct ResponseBuffer {
  ResponseBuffer();
  ~ResponseBuffer();
  ResponseBuffer(const ResponseBuffer&) = delete;
  ResponseBuffer& operator=(const ResponseBuffer&) = delete;

  char* data = nullptr;
  size_t size = 0;
};

// Percent-escapes one name or value of a form (letters, digits and "-._~" stay as they are), so
// that blanks, "&", "=" and non-ASCII bytes cannot change the form's structure.
std::string EscapeFormValue(const std::string& text);
// "name=value&name=value..." with every name and value escaped; the attribution reports are
// built with it.
std::string BuildFormQuery(const std::vector<std::pair<std::string, std::string>>& fields);
