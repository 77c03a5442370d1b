// A patch archive held whole in memory: an archive that owns its source.
#ifndef CORVANTH_ARCHIVE_MEMORY_ARCHIVE_H_
#define CORVANTH_ARCHIVE_MEMORY_ARCHIVE_H_

#include "archive/byte_source.h"
#include "archive/resource_archive.h"

namespace corvanth {

class MemoryArchive : public ResourceArchive {
 public:
  // The bytes of the archive file; appended to as they arrive.
  MemoryByteSource& memory() { return memory_; }
  // Opens the archive on its own bytes once they are complete.
  bool openOwnBytes() { return open(&memory_); }

 private:
  MemoryByteSource memory_;
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_MEMORY_ARCHIVE_H_
