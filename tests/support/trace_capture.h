// Captures the lines sent to traceHook while it lives.
#ifndef CORVANTH_TESTS_SUPPORT_TRACE_CAPTURE_H_
#define CORVANTH_TESTS_SUPPORT_TRACE_CAPTURE_H_

#include <string>
#include <vector>

#include "platform/trace.h"

namespace corvanth {

// One at a time; traceHook is restored on destruction.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Every formatted line so far, in order.
  std::vector<std::string> lines() const;
  bool contains(const std::string& line) const;
  // The lines without their final line break.
  std::vector<std::string> texts() const;
  void clear();

 private:
  TraceFunction previous_;
};

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_TRACE_CAPTURE_H_
