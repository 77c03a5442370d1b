// The run's one anonymous, passive FTP connection, on libcurl.
//
// Every listing and transfer goes through one easy handle, which keeps the
// control connection open between them; a connection the server dropped
// while idle is opened again by libcurl on the next call. Transfers are
// binary.
#ifndef CORVANTH_NET_FTP_CONNECTION_H_
#define CORVANTH_NET_FTP_CONNECTION_H_

#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/patch_client.h"
#include "net/server_listing.h"

namespace corvanth {

class FtpConnection : public NetworkHandle {
 public:
  // Receives each piece of a file as it arrives; false stops the transfer.
  using Sink = std::function<bool(const char* data, size_t n)>;

  // Connects to host ("name" or "name:port"; port 21 by default) and logs
  // in anonymously. Null when the host is unknown, does not answer, or
  // refuses the login.
  static std::unique_ptr<FtpConnection> connect(const std::string& host);
  ~FtpConnection() override;
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  // Changes the current directory (absolute, or relative to the current
  // one); false, with the current directory kept, when the server refuses.
  bool changeDirectory(const std::string& directory);
  // Adds the current directory's entries to listing: MLSD when the server
  // knows it, LIST otherwise. False when the server gives no listing.
  bool list(ServerListing* listing);
  // Fetches the file name of the current directory into sink. True when
  // the server delivered the whole file as far as it could tell and the
  // sink took every piece; the caller compares the size.
  bool retrieve(const std::string& name, const Sink& sink);

  // The current directory as the server names it.
  const std::string& directory() const { return directory_; }

 private:
  FtpConnection(CURL* handle, std::string host) : handle_(handle), host_(std::move(host)) {}

  // The URL of the current directory (ending in '/'), or of name in it.
  std::string urlOf(const std::string& directory, const std::string& name) const;
  // Prepares the handle for one command; the live connection stays.
  void prepare(const std::string& url);

  CURL* handle_;          // owned; holds the control connection
  std::string host_;
  std::string directory_;  // absolute when it starts with '/'; else from the login directory
  bool mlsdRefused_ = false;
};

}  // namespace corvanth

#endif  // CORVANTH_NET_FTP_CONNECTION_H_
