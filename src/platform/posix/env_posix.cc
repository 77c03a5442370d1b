// Env on POSIX: pread/pwrite on one descriptor, an exclusive flock for
// "no sharing", O_DSYNC for write-through.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/env.h"

namespace corvanth {
namespace {

class PosixFile final : public RandomFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }  // also drops the flock

  int64_t readAt(uint64_t offset, void* out, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, static_cast<char*>(out) + done, n - done,
                          static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
  }

  int64_t writeAt(uint64_t offset, const void* data, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t w = ::pwrite(fd_, static_cast<const char*>(data) + done, n - done,
                           static_cast<off_t>(offset + done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return done == 0 ? -1 : static_cast<int64_t>(done);
      }
      if (w == 0) break;
      done += static_cast<size_t>(w);
    }
    return static_cast<int64_t>(done);
  }

  bool sync() override { return ::fdatasync(fd_) == 0; }

  uint64_t size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
  }

 private:
  int fd_;
};

// Opens path and takes the exclusive lock without waiting; -1 when either fails.
int openExclusive(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
      ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class PosixEnv final : public Env {
 public:
  std::unique_ptr<RandomFile> openRead(const std::string& path) override {
    int fd = openExclusive(path, O_RDONLY);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<RandomFile> openReadWrite(const std::string& path,
                                            WriteMode mode) override {
    int flags = O_RDWR | O_CREAT;
    if (mode == WriteMode::writeThrough) flags |= O_DSYNC;
    int fd = openExclusive(path, flags);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  bool fileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  bool fileSize(const std::string& path, uint64_t* size) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool deleteFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool renameFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    syncDirectoryOf(to);
    return true;
  }

  bool makeDirectory(const std::string& path) override {
    return ::mkdir(path.c_str(), 0755) == 0;
  }

  bool isReadOnly(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
  }

  bool clearAttributes(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
  }

  bool replaceFileContents(const std::string& path, const void* data, size_t n) override {
    std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    PosixFile file(fd);
    bool ok = file.writeAt(0, data, n) == static_cast<int64_t>(n) && file.sync();
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
      ::unlink(temp.c_str());
      return false;
    }
    syncDirectoryOf(path);
    return true;
  }

 private:
  // A rename is durable only once the directory entry is on disk.
  static void syncDirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  }
};

}  // namespace

Env* Env::defaultEnv() {
  static PosixEnv* env = new PosixEnv;
  return env;
}

std::string nativePath(const std::string& name) {
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace corvanth
