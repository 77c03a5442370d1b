// A child process that a test starts, kills hard and reaps, for crash tests.
#ifndef CORVANTH_TESTS_SUPPORT_KILLABLE_PROCESS_H_
#define CORVANTH_TESTS_SUPPORT_KILLABLE_PROCESS_H_

#include <string>
#include <vector>

namespace corvanth {

class KillableProcess {
 public:
  KillableProcess() = default;
  // Kills and reaps a child that is still running.
  ~KillableProcess();
  KillableProcess(const KillableProcess&) = delete;
  KillableProcess& operator=(const KillableProcess&) = delete;

  // Runs argv[0] (a path) with the given arguments. False when it cannot be
  // started.
  bool start(const std::vector<std::string>& argv);
  // Sends SIGKILL; the child may already have ended.
  void kill();
  // Waits for the child; its exit status, or -1 when it ended by a signal.
  int wait();

 private:
  int pid_ = -1;
};

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_KILLABLE_PROCESS_H_
