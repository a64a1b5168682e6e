#pragma once

// Fetches a document over http or https (libcurl over OpenSSL); certificates are checked against
// the Windows root store.

#include <string>
#include <vector>

namespace runtime {

struct FetchResult {
  int error = 0;  // 0, or a network error code as the load events report them (negative)
  std::wstring errorText;
  int status = 0;
  std::string headers;  // the final response's header lines ("Name: value\r\n" each)
  std::string body;
};

// Cookies of `schemes` are kept in the file `jar` (persistent ones across runs, session ones for
// this run only); other schemes get none. Called on the thread that fetches.
void SetCookieJar(const std::wstring& jar, const std::vector<std::wstring>& schemes);

FetchResult Fetch(const std::wstring& url);

}  // namespace runtime
