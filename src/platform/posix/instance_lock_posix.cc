// The instance lock on POSIX: an exclusive flock on a lock file in
// $XDG_RUNTIME_DIR (else the temporary directory, with the user id in its
// name). The descriptor is never closed, so the lock lasts as long as the
// process.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/instance_lock.h"

namespace corvanth {

bool acquireInstanceLock(const std::string& name) {
  std::string path;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    path = std::string(runtime) + "/" + name + ".lock";
  } else {
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + name + "-" +
           std::to_string(::getuid()) + ".lock";
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  return true;  // fd intentionally kept open until the process ends
}

}  // namespace corvanth
