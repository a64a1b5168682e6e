#pragma once

// Fetches a document over http or https (libcurl over OpenSSL); certificates are checked against
// the Windows root store.

#include <string>

namespace runtime {

struct FetchResult {
  int error = 0;  // 0, or a network error code as the load events report them (negative)
  std::wstring errorText;
  int status = 0;
  std::string body;
};

FetchResult Fetch(const std::wstring& url);

}  // namespace runtime
