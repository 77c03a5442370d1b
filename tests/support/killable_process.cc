// KillableProcess on POSIX: fork and exec, SIGKILL, waitpid.
#include "support/killable_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace corvanth {

KillableProcess::~KillableProcess() {
  if (pid_ > 0) {
    kill();
    wait();
  }
}

bool KillableProcess::start(const std::vector<std::string>& argv) {
  if (pid_ > 0 || argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  pid_ = pid;
  return true;
}

void KillableProcess::kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

int KillableProcess::wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace corvanth
