#include "dorevezi/update/tls_setup.h"

#include <windows.h>
#include <wincrypt.h>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

// About sixteen full TLS records per socket read. Not more: before each record OpenSSL moves the
// bytes left in its buffer to the front, so a larger buffer costs more copying than the socket
// reads it saves (measured with bench/download).
constexpr long kReadAheadBytes = 256 * 1024;
constexpr char kServerAuthOid[] = "1.3.6.1.5.5.7.3.1";

// A Windows root that may sign server certificates now (as libcurl's own import decides).
bool UsableRoot(PCCERT_CONTEXT cert, std::vector<BYTE>& usageBuffer) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (CompareFileTime(&cert->pCertInfo->NotBefore, &now) > 0 ||
      CompareFileTime(&now, &cert->pCertInfo->NotAfter) > 0) {
    return false;
  }
  BYTE keyUsage[2] = {};
  if (CertGetIntendedKeyUsage(cert->dwCertEncodingType, cert->pCertInfo, keyUsage, sizeof(keyUsage))) {
    if (!(keyUsage[0] & CERT_KEY_CERT_SIGN_KEY_USAGE)) return false;
  } else if (GetLastError()) {
    return false;
  }
  DWORD size = 0;
  if (!CertGetEnhancedKeyUsage(cert, 0, nullptr, &size)) return false;
  if (size > usageBuffer.size()) usageBuffer.resize(size);
  auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(usageBuffer.data());
  if (size == 0 || !CertGetEnhancedKeyUsage(cert, 0, usage, &size)) return false;
  // No usage listed: good for all uses when the property is simply absent.
  if (usage->cUsageIdentifier == 0) return static_cast<HRESULT>(GetLastError()) == CRYPT_E_NOT_FOUND;
  for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
    if (strcmp(usage->rgpszUsageIdentifier[i], kServerAuthOid) == 0) return true;
  }
  return false;
}

void AddWindowsRoots(X509_STORE* store) {
  HCERTSTORE roots = CertOpenSystemStoreA(0, "ROOT");
  if (!roots) return;
  std::vector<BYTE> usageBuffer;
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(roots, cert)) != nullptr) {
    if (!cert->pbCertEncoded || !UsableRoot(cert, usageBuffer)) continue;
    const unsigned char* encoded = cert->pbCertEncoded;
    X509* x509 = d2i_X509(nullptr, &encoded, static_cast<long>(cert->cbCertEncoded));
    if (!x509) continue;
    X509_STORE_add_cert(store, x509);  // a duplicate is refused, which is fine
    X509_free(x509);
  }
  CertCloseStore(roots, 0);
}

// The store of every connection; rebuilt only when the operator's CA file changes.
class SharedTrustStore {
 public:
  // A new reference to the store for `caFile` (the caller hands it to an SSL_CTX).
  X509_STORE* Acquire(const std::string& caFile) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!store_ || caFile != caFile_) {
      if (store_) X509_STORE_free(store_);
      store_ = X509_STORE_new();
      caFile_ = caFile;
      if (store_) {
        AddWindowsRoots(store_);
        // An unreadable CA file leaves the Windows roots, as libcurl does when it has them.
        if (!caFile.empty()) X509_STORE_load_file(store_, caFile.c_str());
        X509_STORE_set_flags(store_, X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
      }
    }
    if (!store_ || !X509_STORE_up_ref(store_)) return nullptr;
    return store_;
  }

 private:
  std::mutex mutex_;
  X509_STORE* store_ = nullptr;
  std::string caFile_;
};

SharedTrustStore& TrustStore() {
  static SharedTrustStore* store = new SharedTrustStore();  // used until process exit
  return *store;
}

struct TlsSettings {
  std::string caFile;
  bool readAhead;
};

// Per-handle settings live as long as the process: handles are few and pooled.
TlsSettings* SettingsFor(const std::string& caFile, TlsReadAhead readAhead) {
  static std::mutex mutex;
  static std::vector<TlsSettings*>* all = new std::vector<TlsSettings*>();
  std::lock_guard<std::mutex> guard(mutex);
  const bool ahead = readAhead == TlsReadAhead::kOn;
  for (TlsSettings* settings : *all) {
    if (settings->caFile == caFile && settings->readAhead == ahead) return settings;
  }
  all->push_back(new TlsSettings{caFile, ahead});
  return all->back();
}

CURLcode OnSslContext(CURL* /*handle*/, void* context, void* userData) {
  auto* ctx = static_cast<SSL_CTX*>(context);
  const auto* settings = static_cast<const TlsSettings*>(userData);
  X509_STORE* store = TrustStore().Acquire(settings->caFile);
  if (!store) return CURLE_SSL_CACERT_BADFILE;
  SSL_CTX_set_cert_store(ctx, store);
  if (settings->readAhead) {
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, kReadAheadBytes);
  }
  return CURLE_OK;
}

}  // namespace

void SetVerifiedTls(CURL* handle, const std::string& caFile, TlsReadAhead readAhead) {
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, &OnSslContext);
  curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, SettingsFor(caFile, readAhead));
}

bool HasReadAheadData(CURL* handle) {
  curl_tlssessioninfo* info = nullptr;
  if (curl_easy_getinfo(handle, CURLINFO_TLS_SSL_PTR, &info) != CURLE_OK || !info ||
      info->backend != CURLSSLBACKEND_OPENSSL || !info->internals) {
    return false;
  }
  return SSL_has_pending(static_cast<SSL*>(info->internals)) == 1;
}
