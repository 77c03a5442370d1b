// How long archive operations (save, repack) report their progress.
#ifndef CORVANTH_ARCHIVE_PROGRESS_SINK_H_
#define CORVANTH_ARCHIVE_PROGRESS_SINK_H_

#include <cstdint>

namespace corvanth {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // done of total units are finished. The base ignores it.
  virtual void report(uint32_t done, uint32_t total) {
    (void)done;
    (void)total;
  }
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_PROGRESS_SINK_H_
