#include "backend/ReadinessProbe.h"

#include <curl/curl.h>
#include <openssl/crypto.h>

#include <memory>

namespace lumivant {

namespace {

struct CurlInit {
  CurlInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

struct CurlHandleDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// Each probe runs on a short-lived worker thread. libcurl leaves OpenSSL's
// per-thread state behind on it, which is only freed when the thread ends; a
// detached worker may still be ending when the process exits, so the state is
// released as soon as the probe is done.
struct ThreadStateRelease {
  ~ThreadStateRelease() { OPENSSL_thread_stop(); }
};

}  // namespace

std::string describeProbeAnswer(const ProbeResult& result) {
  if (result.status) return "HTTP " + std::to_string(*result.status);
  return result.transportError;
}

ProbeResult probeReadiness(const std::string& url, double timeoutSeconds) {
  static CurlInit init;  // thread-safe once, before the first handle
  const ThreadStateRelease releaseAtReturn;
  std::unique_ptr<CURL, CurlHandleDeleter> curl(curl_easy_init());
  ProbeResult result;
  if (!curl) {
    result.transportError = "curl_easy_init failed";
    return result;
  }
  char errorBuffer[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutSeconds * 1000));
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, discardBody);
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorBuffer);
  // A proxy from the environment must never answer for the shell's own loopback backend.
  curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
  const CURLcode code = curl_easy_perform(curl.get());
  if (code != CURLE_OK) {
    result.transportError = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    return result;
  }
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status > 0) result.status = status;
  return result;
}

}  // namespace lumivant
