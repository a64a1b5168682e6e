#include "tools/browser_runtime/page_fetch.h"

#include <windows.h>

#include <curl/curl.h>
#include <string.h>
#include <wchar.h>

#include "tools/browser_runtime/runtime_log.h"

namespace runtime {

namespace {

constexpr size_t kMaxDocumentBytes = 32 << 20;
// OpenSSL's verification results that have errors of their own.
constexpr long kCertificateExpired = 10;
constexpr long kCertificateNotYetValid = 9;
constexpr long kHostnameMismatch = 62;

size_t Collect(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  if (body->size() + size * count > kMaxDocumentBytes) return 0;
  body->append(data, size * count);
  return size * count;
}

std::string Utf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
  return out;
}

std::string g_jar;
std::vector<std::wstring> g_cookie_schemes;
CURLSH* g_share = nullptr;
bool g_session_started = false;

bool KeepsCookies(const std::wstring& url) {
  if (g_jar.empty()) return false;
  for (const std::wstring& scheme : g_cookie_schemes) {
    if (url.size() > scheme.size() && _wcsnicmp(url.c_str(), scheme.c_str(), scheme.size()) == 0 &&
        url[scheme.size()] == L':')
      return true;
  }
  return false;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  size_t n = strlen(prefix);
  return text.size() >= n && _strnicmp(text.c_str(), prefix, n) == 0;
}

// Keeps the header lines of the last response only (redirects and 100s come before it). The body
// is handed on decoded, so the lines about its form on the wire are left out.
size_t CollectHeader(char* data, size_t size, size_t count, void* target) {
  auto* headers = static_cast<std::string*>(target);
  std::string line(data, size * count);
  if (line.compare(0, 5, "HTTP/") == 0) {
    headers->clear();
  } else if (line != "\r\n" && !StartsWithNoCase(line, "content-encoding:") &&
             !StartsWithNoCase(line, "transfer-encoding:") && !StartsWithNoCase(line, "content-length:") &&
             headers->size() + line.size() <= 1 << 20) {
    headers->append(line);
  }
  return size * count;
}

void SetError(FetchResult* result, int code, const wchar_t* text) {
  result->error = code;
  result->errorText = text;
}

}  // namespace

void SetCookieJar(const std::wstring& jar, const std::vector<std::wstring>& schemes) {
  g_jar = Utf8(jar);
  g_cookie_schemes = schemes;
}

FetchResult Fetch(const std::wstring& url) {
  static const bool initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  FetchResult result;
  CURL* curl = initialized ? curl_easy_init() : nullptr;
  if (!curl) {
    SetError(&result, -2, L"net::ERR_FAILED");
    return result;
  }
  const std::string address = Utf8(url);
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.headers);
  // Certificates are checked against the Windows root store.
  curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  if (KeepsCookies(url)) {
    // One cookie store for the run, shared by every fetch; the first one reads the jar without
    // the last run's session cookies.
    if (!g_share) {
      g_share = curl_share_init();
      curl_share_setopt(g_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    curl_easy_setopt(curl, CURLOPT_SHARE, g_share);
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, g_jar.c_str());
    curl_easy_setopt(curl, CURLOPT_COOKIEJAR, g_jar.c_str());
    if (!g_session_started) curl_easy_setopt(curl, CURLOPT_COOKIESESSION, 1L);
    g_session_started = true;
  }
  CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  long verify = 0;
  curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
  curl_easy_cleanup(curl);
  result.status = static_cast<int>(status);
  if (code == CURLE_OK) return result;
  LogInfo(L"Fetch failed: curl " + std::to_wstring(code) + L", certificate check " + std::to_wstring(verify));
  result.body.clear();
  switch (code) {
    case CURLE_COULDNT_CONNECT: SetError(&result, -102, L"net::ERR_CONNECTION_REFUSED"); break;
    case CURLE_COULDNT_RESOLVE_HOST: SetError(&result, -105, L"net::ERR_NAME_NOT_RESOLVED"); break;
    case CURLE_OPERATION_TIMEDOUT: SetError(&result, -7, L"net::ERR_TIMED_OUT"); break;
    case CURLE_URL_MALFORMAT: SetError(&result, -300, L"net::ERR_INVALID_URL"); break;
    case CURLE_UNSUPPORTED_PROTOCOL: SetError(&result, -302, L"net::ERR_UNKNOWN_URL_SCHEME"); break;
    case CURLE_GOT_NOTHING: SetError(&result, -324, L"net::ERR_EMPTY_RESPONSE"); break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: SetError(&result, -101, L"net::ERR_CONNECTION_RESET"); break;
    case CURLE_SSL_CONNECT_ERROR: SetError(&result, -107, L"net::ERR_SSL_PROTOCOL_ERROR"); break;
    case CURLE_PEER_FAILED_VERIFICATION:
      if (verify == kHostnameMismatch)
        SetError(&result, -200, L"net::ERR_CERT_COMMON_NAME_INVALID");
      else if (verify == kCertificateExpired || verify == kCertificateNotYetValid)
        SetError(&result, -201, L"net::ERR_CERT_DATE_INVALID");
      else
        SetError(&result, -202, L"net::ERR_CERT_AUTHORITY_INVALID");
      break;
    default: SetError(&result, -2, L"net::ERR_FAILED"); break;
  }
  return result;
}

}  // namespace runtime
