// FtpConnection: URLs of one server, one easy handle.
#include "net/ftp_connection.h"

#include <utility>

#include "net/ftp_listing.h"
#include "net/internet_session.h"

namespace corvanth {

namespace {

size_t collectText(char* data, size_t size, size_t count, void* text) {
  static_cast<std::string*>(text)->append(data, size * count);
  return size * count;
}

size_t deliver(char* data, size_t size, size_t count, void* sink) {
  return (*static_cast<const FtpConnection::Sink*>(sink))(data, size * count) ? size * count : 0;
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// What a URL's authority may not hold: a path, user data or blanks.
bool isPlainHost(const std::string& host) {
  if (host.empty()) return false;
  for (char c : host) {
    if (c == '/' || c == '@' || c == '?' || c == '#' || c == '\\' ||
        static_cast<unsigned char>(c) <= 0x20) {
      return false;
    }
  }
  return true;
}

// Joins a relative directory onto the current one.
std::string joinDirectory(const std::string& current, const std::string& directory) {
  if (!directory.empty() && directory[0] == '/') return directory;
  if (current.empty()) return directory;
  if (current.back() == '/') return current + directory;
  return current + "/" + directory;
}

}  // namespace

std::unique_ptr<FtpConnection> FtpConnection::connect(const std::string& host) {
  if (!isPlainHost(host)) return nullptr;
  CURL* handle = curl_easy_init();
  if (handle == nullptr) return nullptr;
  std::unique_ptr<FtpConnection> connection(new FtpConnection(handle, host));
  // Logs in and stays in the login directory, transferring nothing.
  connection->prepare(connection->urlOf("", ""));
  curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  if (curl_easy_perform(handle) != CURLE_OK) return nullptr;
  // Directories are kept absolute when the server tells where the login
  // put us, so a later change does not depend on where the last one went.
  char* entry = nullptr;
  if (curl_easy_getinfo(handle, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry != nullptr &&
      entry[0] == '/') {
    connection->directory_ = entry;
  }
  return connection;
}

FtpConnection::~FtpConnection() { curl_easy_cleanup(handle_); }

std::string FtpConnection::urlOf(const std::string& directory, const std::string& name) const {
  std::string url = "ftp://" + host_ + "/";
  std::string path = directory;
  if (!path.empty() && path[0] == '/') {
    url += "%2F";  // the path starts at the server's root
    path.erase(0, 1);
  }
  // Each part is escaped; the separators stay.
  size_t start = 0;
  while (start < path.size()) {
    size_t slash = path.find('/', start);
    std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!part.empty()) {
      char* escaped = curl_easy_escape(handle_, part.c_str(), static_cast<int>(part.size()));
      if (escaped != nullptr) {
        url += escaped;
        url += '/';
        curl_free(escaped);
      }
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (!name.empty()) {
    char* escaped = curl_easy_escape(handle_, name.c_str(), static_cast<int>(name.size()));
    if (escaped != nullptr) {
      url += escaped;
      curl_free(escaped);
    }
  }
  return url;
}

void FtpConnection::prepare(const std::string& url) {
  curl_easy_reset(handle_);
  InternetSession::applySettings(handle_);
  curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "ftp");
  // One CWD to the whole path, then the command: fewer round trips, and
  // absolute paths work on every server.
  curl_easy_setopt(handle_, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, discard);
}

bool FtpConnection::changeDirectory(const std::string& directory) {
  std::string target = joinDirectory(directory_, directory);
  prepare(urlOf(target, ""));
  curl_easy_setopt(handle_, CURLOPT_NOBODY, 1L);
  if (curl_easy_perform(handle_) != CURLE_OK) return false;
  directory_ = target;
  return true;
}

bool FtpConnection::list(ServerListing* listing) {
  std::string text;
  if (!mlsdRefused_) {
    prepare(urlOf(directory_, ""));
    curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, "MLSD");
    curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, collectText);
    curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &text);
    if (curl_easy_perform(handle_) == CURLE_OK) {
      addListing(text, true, listing);
      return true;
    }
    // A server without MLSD answers LIST; one that fails both has no listing.
    text.clear();
  }
  prepare(urlOf(directory_, ""));
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, collectText);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &text);
  if (curl_easy_perform(handle_) != CURLE_OK) return false;
  mlsdRefused_ = true;
  addListing(text, false, listing);
  return true;
}

bool FtpConnection::retrieve(const std::string& name, const Sink& sink) {
  prepare(urlOf(directory_, name));
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, deliver);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &sink);
  return curl_easy_perform(handle_) == CURLE_OK;
}

}  // namespace corvanth
