// InternetSession and the process-wide start of libcurl.
#include "net/internet_session.h"

#include <mutex>

namespace corvanth {

namespace {

// curl_global_init is not safe to race; it runs once for the process and is
// never undone, since sessions may come and go on any thread.
bool startCurl() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return started;
}

}  // namespace

std::unique_ptr<InternetSession> InternetSession::open() {
  if (!startCurl()) return nullptr;
  CURL* http = curl_easy_init();
  if (http == nullptr) return nullptr;
  return std::unique_ptr<InternetSession>(new InternetSession(http));
}

InternetSession::~InternetSession() { curl_easy_cleanup(http_); }

void InternetSession::applySettings(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, kStallSeconds);
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  // The FTP control connection idles while patches are applied.
  curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
}

}  // namespace corvanth
