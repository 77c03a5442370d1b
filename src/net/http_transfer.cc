// The internet session and HTTP downloads of the web server's small files.
//
// A download succeeds only when the server answered 2xx with a Content-Length
// and delivered exactly that many bytes; then, and only then, the local file
// is replaced. Any other outcome leaves the copy from an earlier run serving.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "app/patch_client.h"
#include "net/internet_session.h"
#include "net/staged_file.h"
#include "net/transfer_progress.h"

namespace corvanth {

namespace {

constexpr size_t kUrlBufferSize = 1024;
constexpr size_t kContentLengthBufferSize = 64;

// Escapes what may not stand in a URL path; '/' separates as usual.
std::string escapePath(const char* text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c <= 0x20 || c >= 0x7F || std::strchr("\"#%<>?\\^`{|}", c) != nullptr) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The leading decimal digits of text, as the C library's atoi reads them;
// 0 when there are none. False when the value does not fit 31 bits.
bool leadingNumber(const std::string& text, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > INT32_MAX) return false;
  }
  *value = static_cast<int32_t>(negative ? -number : number);
  return true;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

// One request: the state the header and body callbacks share.
struct HttpDownload {
  PatchClient* client;
  const char* name;
  StagedFile file;
  // Of the response being read (a redirect starts a new one).
  long status = 0;
  bool hasLocation = false;
  bool hasLength = false;
  std::string lengthText;
  // Set once the final response's headers were accepted.
  bool accepted = false;
  bool failed = false;
  int32_t expected = 0;
  uint32_t received = 0;

  std::optional<TransferProgress> progress;  // once the length is known

  HttpDownload(PatchClient* c, const char* n) : client(c), name(n), file(c->env(), n) {}

  bool header(const char* line, size_t n) {
    std::string text(line, n);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    if (text.compare(0, 5, "HTTP/") == 0) {
      size_t space = text.find(' ');
      status = space == std::string::npos ? 0 : std::strtol(text.c_str() + space + 1, nullptr, 10);
      hasLocation = hasLength = false;
      lengthText.clear();
      return true;
    }
    if (!text.empty()) {
      size_t colon = text.find(':');
      if (colon == std::string::npos) return true;
      std::string field = text.substr(0, colon);
      size_t start = text.find_first_not_of(" \t", colon + 1);
      std::string value = start == std::string::npos ? std::string() : text.substr(start);
      if (equalsIgnoringCase(field, "Content-Length")) {
        hasLength = true;
        lengthText = value;
      } else if (equalsIgnoringCase(field, "Location")) {
        hasLocation = true;
      }
      return true;
    }
    // The blank line: this response's headers are complete.
    if (status >= 100 && status < 200) return true;  // an interim answer
    if (status >= 300 && status < 400 && hasLocation) return true;  // followed
    if (status < 200 || status >= 300) return false;
    if (!hasLength || lengthText.size() >= kContentLengthBufferSize) return false;
    if (!leadingNumber(lengthText, &expected)) return false;  // 2 GiB or more
    if (!file.create()) return false;
    progress.emplace(client, name, expected);
    accepted = true;
    return true;
  }

  bool body(const char* data, size_t n) {
    if (!accepted) return false;
    if (n > UINT32_MAX - received || !file.append(data, n)) {
      failed = true;
      return false;
    }
    received += static_cast<uint32_t>(n);
    progress->advance(received);
    return true;
  }
};

size_t onHeader(char* data, size_t size, size_t count, void* self) {
  return static_cast<HttpDownload*>(self)->header(data, size * count) ? size * count : 0;
}

size_t onBody(char* data, size_t size, size_t count, void* self) {
  return static_cast<HttpDownload*>(self)->body(data, size * count) ? size * count : 0;
}

}  // namespace

bool PatchClient::openInternet() {
  if (internet_ == nullptr) internet_ = InternetSession::open();
  return internet_ != nullptr;
}

void PatchClient::closeInternet() { internet_.reset(); }

bool PatchClient::downloadHttpFile(const char* host, const char* directory, const char* name) {
  auto* session = dynamic_cast<InternetSession*>(internet_.get());
  if (session == nullptr) return false;
  // A URL must fit kUrlBufferSize with its terminating zero.
  char url[kUrlBufferSize];
  int length = std::snprintf(url, sizeof url, "http://%s%s/%s", host, directory, name);
  if (length < 0 || static_cast<size_t>(length) >= sizeof url) return false;
  std::string escapedUrl = std::string("http://") + host + escapePath(directory) + "/" +
                           escapePath(name);

  HttpDownload download(this, name);
  CURL* handle = session->httpHandle();
  curl_easy_reset(handle);
  InternetSession::applySettings(handle);
  curl_easy_setopt(handle, CURLOPT_URL, escapedUrl.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  // Always from the server, never from a cache on the way.
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  // The Content-Length is read here as text, since the server's value may
  // not be a number, so libcurl must not judge it; the body then ends where
  // the server closes the connection, as "Connection: close" requires of it.
  headers = curl_slist_append(headers, "Connection: close");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &download);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &download);
  CURLcode result = curl_easy_perform(handle);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  if (download.progress) download.progress->finish(download.received);

  if (result != CURLE_OK || !download.accepted || download.failed) return false;
  if (download.received != static_cast<uint32_t>(download.expected)) return false;
  return download.file.commit();
}

}  // namespace corvanth
