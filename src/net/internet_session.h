// The run's internet session on libcurl: the settings that every HTTP
// request and the FTP connection share.
#ifndef CORVANTH_NET_INTERNET_SESSION_H_
#define CORVANTH_NET_INTERNET_SESSION_H_

#include <curl/curl.h>

#include <memory>

#include "app/patch_client.h"

namespace corvanth {

class InternetSession : public NetworkHandle {
 public:
  static constexpr const char* kUserAgent = "Patch Client";
  // A server that does not answer a connect within this time is given up.
  static constexpr long kConnectTimeoutSeconds = 30;
  // A transfer, or a wait for a server's reply, that makes no progress for
  // this long ends as a failure, so a dead server cannot hang the run.
  static constexpr long kStallSeconds = 60;
  // Bytes libcurl hands over per delivery (and per progress report).
  static constexpr long kReceiveBufferSize = 64 * 1024;

  // Null when libcurl cannot start.
  static std::unique_ptr<InternetSession> open();
  ~InternetSession() override;
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  // Puts the session's settings on a fresh or reset easy handle: agent text,
  // time-outs, no signals (the worker is not the main thread). Proxies come
  // from the usual environment variables, which libcurl reads by itself.
  static void applySettings(CURL* handle);

  // The handle HTTP requests go through, reset for each request.
  CURL* httpHandle() const { return http_; }

 private:
  explicit InternetSession(CURL* http) : http_(http) {}

  CURL* http_;  // owned
};

}  // namespace corvanth

#endif  // CORVANTH_NET_INTERNET_SESSION_H_
