// A download's local file: written under a temporary name beside it and put
// in place by one rename only when complete, so a failed transfer leaves the
// copy from an earlier run as it was.
#ifndef CORVANTH_NET_STAGED_FILE_H_
#define CORVANTH_NET_STAGED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"

namespace corvanth {

class StagedFile {
 public:
  // Suffix of the temporary name; a leftover of a killed run is replaced
  // the next time the same file is fetched.
  static constexpr const char* kTemporarySuffix = ".download";

  StagedFile(Env* env, std::string target);
  // Removes the temporary file unless it was committed.
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Creates the temporary file empty. False when the target may not be
  // replaced (read-only, or open elsewhere) or the file cannot be created.
  bool create();
  // Appends bytes; false when the write fails.
  bool append(const void* data, size_t n);
  uint64_t written() const { return written_; }
  // Closes the temporary file and renames it over the target.
  bool commit();

  const std::string& temporaryPath() const { return temporary_; }

 private:
  Env* env_;  // not owned
  std::string target_;
  std::string temporary_;
  std::unique_ptr<RandomFile> file_;  // open between create and commit
  uint64_t written_ = 0;
  bool created_ = false;
};

}  // namespace corvanth

#endif  // CORVANTH_NET_STAGED_FILE_H_
