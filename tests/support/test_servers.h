// Real protocol peers for tests: the web and FTP servers of tests/servers,
// run as child processes listening on 127.0.0.1.
//
//   HttpTestServer web;
//   ASSERT_TRUE(web.root(dir.path()).prefix("/patch").start());
//   client.downloadHttpFile(web.hostPort().c_str(), "/patch", "gate.txt");
//
// A server prints its port as the first line of its output; port 0 asks for
// a free one. A busy port or a server that cannot start fails start() with
// the server's own error text. The destructor stops the process by its id.
// Starting a server also adds 127.0.0.1 to no_proxy and NO_PROXY, so that
// no proxy named by the environment stands between client and server.
#ifndef CORVANTH_TESTS_SUPPORT_TEST_SERVERS_H_
#define CORVANTH_TESTS_SUPPORT_TEST_SERVERS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace corvanth {

// The directory holding the server scripts: $CORVANTH_SOURCE_DIR/tests/servers,
// else the one beside this source tree.
std::string testServersDir();

class TestServer {
 public:
  TestServer() = default;
  virtual ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Starts command (command[0] is the program's path) and waits up to
  // 30 seconds for the port on its first output line.
  ::testing::AssertionResult startProcess(const std::vector<std::string>& command);
  // Runs tests/servers/<script> with /usr/bin/python3.
  ::testing::AssertionResult startScript(const std::string& script,
                                         const std::vector<std::string>& arguments);
  // Terminates the process and waits for it; does nothing when none runs.
  void stop();

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The port it listens on; 0 when not running.
  int listeningPort() const { return listeningPort_; }
  // "127.0.0.1:PORT", the form the client's host settings take.
  std::string hostPort() const { return "127.0.0.1:" + std::to_string(listeningPort_); }

 private:
  std::string errorOutput() const;

  pid_t pid_ = -1;
  int listeningPort_ = 0;
  int outputFd_ = -1;         // the server's stdout, kept open while it runs
  std::string errorPath_;     // the server's stderr, for failure messages
};

// tests/servers/http_server.py. Set what is wanted, then start():
//   HttpTestServer web;
//   ASSERT_TRUE(web.root(dir.path()).prefix("/patch").start());
class HttpTestServer : public TestServer {
 public:
  HttpTestServer& port(int port) { port_ = port; return *this; }            // 0: a free one
  HttpTestServer& root(const std::string& dir) { root_ = dir; return *this; }  // default "."
  // The URL prefix mapped onto the root, e.g. "/patch".
  HttpTestServer& prefix(const std::string& prefix) { prefix_ = prefix; return *this; }
  // Answers the URL path with a fault mode: not-found (404, 120-byte page),
  // chunked (no Content-Length), drop (300 of 500 bytes), bad-length
  // (Content-Length "abc"), empty (Content-Length 0). Every path
  // /fault/MODE/NAME answers with MODE too.
  HttpTestServer& fault(const std::string& path, const std::string& mode) {
    faults_.emplace_back(path, mode);
    return *this;
  }
  // Appends "METHOD\tPATH\tUSER-AGENT" per request to file.
  HttpTestServer& requestLog(const std::string& file) { requestLog_ = file; return *this; }
  ::testing::AssertionResult start();

  // The 500-byte body of the fault modes chunked, drop and bad-length.
  static std::string faultBody();
  static constexpr int kNotFoundPageSize = 120;

 private:
  int port_ = 0;
  std::string root_ = ".";
  std::string prefix_;
  std::vector<std::pair<std::string, std::string>> faults_;
  std::string requestLog_;
};

// tests/servers/ftp_server.py: anonymous, passive, the root served as "/".
class FtpTestServer : public TestServer {
 public:
  FtpTestServer& port(int port) { port_ = port; return *this; }            // 0: a free one
  FtpTestServer& root(const std::string& dir) { root_ = dir; return *this; }  // default "."
  // A transfer of the file called name ends after bytes bytes.
  FtpTestServer& breakAfter(const std::string& name, int64_t bytes) {
    breaks_.emplace_back(name, bytes);
    return *this;
  }
  // LIST answers in the DOS/IIS format instead of ls -l.
  FtpTestServer& dosListing() { dosListing_ = true; return *this; }
  // The server does not know MLSD.
  FtpTestServer& noMlsd() { noMlsd_ = true; return *this; }
  // One more file entry in LIST and MLSD, after the real ones.
  FtpTestServer& listExtra(const std::string& name, int64_t size) {
    listExtras_.emplace_back(name, size);
    return *this;
  }
  // Appends "connect" per control connection and each command to file.
  FtpTestServer& commandLog(const std::string& file) { log_ = file; return *this; }
  ::testing::AssertionResult start();

 private:
  int port_ = 0;
  std::string root_ = ".";
  std::vector<std::pair<std::string, int64_t>> breaks_;
  bool dosListing_ = false;
  bool noMlsd_ = false;
  std::vector<std::pair<std::string, int64_t>> listExtras_;
  std::string log_;
};

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_TEST_SERVERS_H_
