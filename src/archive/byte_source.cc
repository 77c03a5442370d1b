// FileByteSource, WritableFile and MemoryByteSource.
#include "archive/byte_source.h"

namespace corvanth {

namespace {

// Sizes and offsets are 32-bit: a larger file is refused rather than read
// with wrapped offsets.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;

// offset + length without wrap-around.
bool rangeFits(uint32_t offset, uint32_t length, uint32_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

FileByteSource::FileByteSource(Env* env) : env_(env) {}

FileByteSource::~FileByteSource() { close(); }

bool FileByteSource::adopt(std::unique_ptr<RandomFile> file) {
  if (file == nullptr) return false;
  uint64_t size = file->size();
  if (size > kMaxFileSize) return false;
  handle_ = std::move(file);
  fileSize_ = static_cast<uint32_t>(size);
  return true;
}

bool FileByteSource::openRead(const std::string& path) {
  close();
  return adopt(env_->openRead(path));
}

void FileByteSource::close() { handle_.reset(); }

const uint8_t* FileByteSource::read(uint32_t offset, uint32_t length) {
  if (handle_ == nullptr || !rangeFits(offset, length, fileSize_)) return nullptr;
  buffer_.resize(length);
  static const uint8_t kEmpty = 0;
  if (length == 0) return &kEmpty;
  if (handle_->readAt(offset, buffer_.data(), length) != static_cast<int64_t>(length)) {
    return nullptr;
  }
  return buffer_.data();
}

bool WritableFile::openReadWrite(const std::string& path, WriteMode mode) {
  close();
  return adopt(env_->openReadWrite(path, mode));
}

bool WritableFile::writeAt(uint32_t offset, const void* data, uint32_t length) {
  if (handle_ == nullptr) return false;
  // Writing nothing extends nothing: fileSize must not claim unwritten bytes.
  if (length == 0) return true;
  // The file's end must stay addressable with 32-bit offsets.
  if (static_cast<uint64_t>(offset) + length > kMaxFileSize) return false;
  if (handle_->writeAt(offset, data, length) != static_cast<int64_t>(length)) return false;
  if (offset + length > fileSize_) fileSize_ = offset + length;
  return true;
}

bool WritableFile::sync() { return handle_ != nullptr && handle_->sync(); }

const uint8_t* MemoryByteSource::read(uint32_t offset, uint32_t length) {
  if (!rangeFits(offset, length, size())) return nullptr;
  static const uint8_t kEmpty = 0;
  return bytes.empty() ? &kEmpty : bytes.data() + offset;
}

}  // namespace corvanth
