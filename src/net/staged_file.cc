// StagedFile: temporary file, then one rename.
#include "net/staged_file.h"

#include <utility>

namespace corvanth {

StagedFile::StagedFile(Env* env, std::string target)
    : env_(env), target_(std::move(target)), temporary_(target_ + kTemporarySuffix) {}

StagedFile::~StagedFile() {
  file_.reset();
  if (created_) env_->deleteFile(temporary_);
}

bool StagedFile::create() {
  // A file the player made read-only, or that another program holds, stays
  // as it is, as it would if it were written in place.
  if (env_->fileExists(target_)) {
    if (env_->isReadOnly(target_) || env_->openRead(target_) == nullptr) return false;
  }
  // The Env cannot truncate: a leftover temporary file goes first.
  if (env_->fileExists(temporary_)) env_->deleteFile(temporary_);
  file_ = env_->openReadWrite(temporary_, WriteMode::buffered);
  if (file_ == nullptr) return false;
  created_ = true;
  written_ = 0;
  return true;
}

bool StagedFile::append(const void* data, size_t n) {
  if (file_ == nullptr) return false;
  if (file_->writeAt(written_, data, n) != static_cast<int64_t>(n)) return false;
  written_ += n;
  return true;
}

bool StagedFile::commit() {
  if (file_ == nullptr) return false;
  file_.reset();
  if (!env_->renameFile(temporary_, target_)) return false;
  created_ = false;
  return true;
}

}  // namespace corvanth
