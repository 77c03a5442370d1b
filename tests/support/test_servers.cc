// Starting and stopping the test servers as child processes.
#include "support/test_servers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace corvanth {

namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr const char* kPython = "/usr/bin/python3";

std::string joinCommand(const std::vector<std::string>& command) {
  std::string text;
  for (const std::string& word : command) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

// Requests to the test servers must never go through a proxy that the
// environment names, so 127.0.0.1 joins the bypass lists.
void bypassProxiesForLoopback() {
  for (const char* variable : {"no_proxy", "NO_PROXY"}) {
    const char* current = std::getenv(variable);
    std::string list = current != nullptr ? current : "";
    if (list.find("127.0.0.1") != std::string::npos) continue;
    list = list.empty() ? "127.0.0.1" : list + ",127.0.0.1";
    ::setenv(variable, list.c_str(), 1);
  }
}

}  // namespace

std::string testServersDir() {
  const char* source = std::getenv("CORVANTH_SOURCE_DIR");
  if (source != nullptr && *source != '\0') return std::string(source) + "/tests/servers";
  // This file is tests/support/test_servers.cc.
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "servers").string();
}

TestServer::~TestServer() { stop(); }

::testing::AssertionResult TestServer::startProcess(const std::vector<std::string>& command) {
  stop();
  if (command.empty()) return ::testing::AssertionFailure() << "no server command";
  bypassProxiesForLoopback();
  char errorTemplate[] = "/tmp/corvanth-server-XXXXXX";
  int errorFd = ::mkstemp(errorTemplate);
  if (errorFd < 0) return ::testing::AssertionFailure() << "cannot create a server log file";
  errorPath_ = errorTemplate;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    ::close(errorFd);
    return ::testing::AssertionFailure() << "cannot create a pipe: " << std::strerror(errno);
  }
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  pid_t parent = ::getpid();
  pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    ::close(errorFd);
    return ::testing::AssertionFailure() << "cannot fork: " << std::strerror(errno);
  }
  if (child == 0) {
    // A crashed test must not leave its servers running.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(errorFd, STDERR_FILENO);
    int nullFd = ::open("/dev/null", O_RDONLY);
    if (nullFd >= 0) ::dup2(nullFd, STDIN_FILENO);
    ::execv(argv[0], argv.data());
    ::dprintf(STDERR_FILENO, "cannot run %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  ::close(errorFd);
  pid_ = child;
  outputFd_ = pipeFds[0];

  // The first line is the port.
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (line.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd waitFor{outputFd_, POLLIN, 0};
    int ready = ::poll(&waitFor, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[256];
    ssize_t got = ::read(outputFd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the server ended
    line.append(buffer, static_cast<size_t>(got));
  }
  int port = std::atoi(line.c_str());
  if (line.find('\n') == std::string::npos || port <= 0 || port > 65535) {
    std::string reason = errorOutput();
    stop();
    return ::testing::AssertionFailure()
           << "test server did not start: " << joinCommand(command) << "\n"
           << (line.empty() ? std::string() : "output: " + line + "\n") << reason;
  }
  listeningPort_ = port;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestServer::startScript(const std::string& script,
                                                   const std::vector<std::string>& arguments) {
  std::vector<std::string> command{kPython, testServersDir() + "/" + script};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return startProcess(command);
}

std::string TestServer::errorOutput() const {
  if (errorPath_.empty()) return std::string();
  std::ifstream in(errorPath_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void TestServer::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    // A server that ignores the request is killed after five seconds.
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 500 && !ended; ++i) {
      pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_ || (done < 0 && errno != EINTR)) {
        ended = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (!ended) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }
  if (outputFd_ >= 0) {
    ::close(outputFd_);
    outputFd_ = -1;
  }
  if (!errorPath_.empty()) {
    ::unlink(errorPath_.c_str());
    errorPath_.clear();
  }
  listeningPort_ = 0;
}

std::string HttpTestServer::faultBody() {
  std::string body;
  while (body.size() < 500) body += "abcdefghijklmnopqrstuvwxyz";
  return body.substr(0, 500);
}

::testing::AssertionResult HttpTestServer::start() {
  std::vector<std::string> arguments{"--port", std::to_string(port_), "--root", root_};
  if (!prefix_.empty()) arguments.insert(arguments.end(), {"--prefix", prefix_});
  for (const auto& [path, mode] : faults_) {
    arguments.insert(arguments.end(), {"--fault", path + "=" + mode});
  }
  if (!requestLog_.empty()) arguments.insert(arguments.end(), {"--request-log", requestLog_});
  return startScript("http_server.py", arguments);
}

::testing::AssertionResult FtpTestServer::start() {
  std::vector<std::string> arguments{"--port", std::to_string(port_), "--root", root_};
  for (const auto& [name, bytes] : breaks_) {
    arguments.insert(arguments.end(), {"--break", name + "=" + std::to_string(bytes)});
  }
  if (dosListing_) arguments.insert(arguments.end(), {"--list-format", "dos"});
  if (noMlsd_) arguments.push_back("--no-mlsd");
  for (const auto& [name, size] : listExtras_) {
    arguments.insert(arguments.end(), {"--list-extra", name + "=" + std::to_string(size)});
  }
  if (!log_.empty()) arguments.insert(arguments.end(), {"--log", log_});
  return startScript("ftp_server.py", arguments);
}

}  // namespace corvanth
