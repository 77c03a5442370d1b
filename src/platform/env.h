// The file services the client takes from the operating system.
//
// Everything that touches the file system goes through an Env, so that tests
// can put a recording or fault-injecting implementation in its place
// (EnvWrapper below forwards every call to another Env). Paths are relative
// to the current directory, which is the game directory.
#ifndef CORVANTH_PLATFORM_ENV_H_
#define CORVANTH_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvanth {

// One open file with positioned reads and writes. While it is open, no other
// open of the same file through an Env succeeds ("no sharing").
class RandomFile {
 public:
  virtual ~RandomFile() = default;

  // Reads up to n bytes at offset into out. Returns the number of bytes
  // read (short only at the end of the file), or -1 on an error.
  virtual int64_t readAt(uint64_t offset, void* out, size_t n) = 0;

  // Writes n bytes at offset. Returns the number of bytes written (n unless
  // the write failed part-way), or -1 on an error. A file opened with
  // WriteMode::writeThrough has the bytes on disk when this returns.
  virtual int64_t writeAt(uint64_t offset, const void* data, size_t n) = 0;

  // Forces every earlier write onto the disk.
  virtual bool sync() = 0;

  // The file's current size in bytes.
  virtual uint64_t size() = 0;
};

enum class WriteMode {
  writeThrough,  // every write reaches the disk before it returns
  buffered,      // writes reach the disk at sync() or close
};

class Env {
 public:
  virtual ~Env() = default;

  // The real file system of this platform. Never deleted.
  static Env* defaultEnv();

  // Opens an existing file for reading only. Null when it does not exist,
  // cannot be read, or is open elsewhere.
  virtual std::unique_ptr<RandomFile> openRead(const std::string& path) = 0;

  // Opens a file for reading and writing, creating it empty when missing.
  // Null on an access or sharing failure.
  virtual std::unique_ptr<RandomFile> openReadWrite(const std::string& path,
                                                    WriteMode mode) = 0;

  virtual bool fileExists(const std::string& path) = 0;
  virtual bool fileSize(const std::string& path, uint64_t* size) = 0;
  virtual bool deleteFile(const std::string& path) = 0;
  // Moves from over to, replacing an existing file atomically.
  virtual bool renameFile(const std::string& from, const std::string& to) = 0;
  // Creates one directory level; false when it exists or its parent is missing.
  virtual bool makeDirectory(const std::string& path) = 0;
  // The read-only attribute: on POSIX, no write permission for the owner.
  virtual bool isReadOnly(const std::string& path) = 0;
  // Clears every attribute: the file becomes writable for its owner again.
  virtual bool clearAttributes(const std::string& path) = 0;
  // Writes a whole small file crash-safely: a temporary file in the same
  // directory, synced, then renamed over path.
  virtual bool replaceFileContents(const std::string& path, const void* data,
                                   size_t n) = 0;
};

// Forwards every call to another Env; tests derive from it and override the
// one call they want to observe or break.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::unique_ptr<RandomFile> openRead(const std::string& path) override {
    return target_->openRead(path);
  }
  std::unique_ptr<RandomFile> openReadWrite(const std::string& path,
                                            WriteMode mode) override {
    return target_->openReadWrite(path, mode);
  }
  bool fileExists(const std::string& path) override { return target_->fileExists(path); }
  bool fileSize(const std::string& path, uint64_t* size) override {
    return target_->fileSize(path, size);
  }
  bool deleteFile(const std::string& path) override { return target_->deleteFile(path); }
  bool renameFile(const std::string& from, const std::string& to) override {
    return target_->renameFile(from, to);
  }
  bool makeDirectory(const std::string& path) override { return target_->makeDirectory(path); }
  bool isReadOnly(const std::string& path) override { return target_->isReadOnly(path); }
  bool clearAttributes(const std::string& path) override {
    return target_->clearAttributes(path);
  }
  bool replaceFileContents(const std::string& path, const void* data, size_t n) override {
    return target_->replaceFileContents(path, data, n);
  }

 private:
  Env* target_;  // not owned
};

// Maps the separators of names that arrive from packages ('\' on the
// client's home platform) to this platform's.
std::string nativePath(const std::string& name);

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_ENV_H_
