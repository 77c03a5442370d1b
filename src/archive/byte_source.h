// Random-access input for archives: files on disk and buffers in memory.
#ifndef CORVANTH_ARCHIVE_BYTE_SOURCE_H_
#define CORVANTH_ARCHIVE_BYTE_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace corvanth {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Total number of bytes.
  virtual uint32_t size() const = 0;

  // Returns a pointer to length bytes starting at offset, or null when the
  // range cannot be delivered. The bytes belong to the source: the pointer
  // is valid until the next read on this source, until its contents change,
  // or until it is destroyed. Callers copy out what they keep.
  virtual const uint8_t* read(uint32_t offset, uint32_t length) = 0;
};

// A file read through one open handle, shared with no other opener.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(Env* env = Env::defaultEnv());
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  // Opens an existing file for reading. False when it is missing, cannot be
  // read, is open elsewhere, or does not fit 32 bits; fileSize stays as it was.
  bool openRead(const std::string& path);
  // Closes the handle; does nothing when none is open.
  void close();
  bool isOpen() const { return handle_ != nullptr; }

  uint32_t size() const override { return fileSize_; }
  // Reads through one reused buffer; see ByteSource::read for the lifetime.
  const uint8_t* read(uint32_t offset, uint32_t length) override;

 protected:
  // Takes an opened file as this source's handle; false (and the file
  // closed) when it is null or does not fit 32 bits.
  bool adopt(std::unique_ptr<RandomFile> file);

  Env* env_;                            // not owned
  std::unique_ptr<RandomFile> handle_;  // null when closed
  uint32_t fileSize_ = 0;               // size at open, raised by writes
  std::vector<uint8_t> buffer_;         // what read() hands out
};

// A file that can also be created and written at any offset.
class WritableFile : public FileByteSource {
 public:
  explicit WritableFile(Env* env = Env::defaultEnv()) : FileByteSource(env) {}
  ~WritableFile() override = default;

  // Opens for reading and writing, creating the file empty when missing.
  // With WriteMode::writeThrough every write is on disk when it returns.
  bool openReadWrite(const std::string& path, WriteMode mode = WriteMode::writeThrough);
  // Writes length bytes at offset; on success fileSize grows to cover them.
  // A short write fails and leaves fileSize unchanged.
  bool writeAt(uint32_t offset, const void* data, uint32_t length);
  // Forces every earlier write onto the disk (for buffered writers).
  bool sync();
};

// A whole file held in memory. Whoever fills it appends to bytes directly.
class MemoryByteSource : public ByteSource {
 public:
  uint32_t size() const override { return static_cast<uint32_t>(bytes.size()); }
  // Points into bytes; nothing is copied.
  const uint8_t* read(uint32_t offset, uint32_t length) override;

  std::vector<uint8_t> bytes;
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_BYTE_SOURCE_H_
