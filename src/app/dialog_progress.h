// The progress sink of archive operations that drives the dialog's bar.
#ifndef CORVANTH_APP_DIALOG_PROGRESS_H_
#define CORVANTH_APP_DIALOG_PROGRESS_H_

#include <cstdint>

#include "archive/progress_sink.h"

namespace corvanth {

class PatchClient;

// Scales reports to at most 1999 steps and drops a pair equal to the last
// one, so the bar is touched only when its shown value changes.
class DialogProgress : public ProgressSink {
 public:
  explicit DialogProgress(PatchClient* client) : client_(client) {}
  void report(uint32_t done, uint32_t total) override;

 private:
  bool hasLast_ = false;  // the first report always reaches the bar
  uint32_t lastDone_ = 0;
  uint32_t lastTotal_ = 0;
  PatchClient* client_;  // not owned
};

}  // namespace corvanth

#endif  // CORVANTH_APP_DIALOG_PROGRESS_H_
