// TraceCapture: traceHook pointed at a locked list of lines.
#include "support/trace_capture.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace corvanth {
namespace {

std::mutex captureMutex;
std::vector<std::string> captured;

void capture(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(captureMutex);
  captured.emplace_back(buffer);
}

}  // namespace

TraceCapture::TraceCapture() : previous_(traceHook) {
  std::lock_guard<std::mutex> lock(captureMutex);
  captured.clear();
  traceHook = capture;
}

TraceCapture::~TraceCapture() { traceHook = previous_; }

std::vector<std::string> TraceCapture::lines() const {
  std::lock_guard<std::mutex> lock(captureMutex);
  return captured;
}

bool TraceCapture::contains(const std::string& line) const {
  std::lock_guard<std::mutex> lock(captureMutex);
  return std::find(captured.begin(), captured.end(), line) != captured.end();
}

std::vector<std::string> TraceCapture::texts() const {
  std::vector<std::string> out = lines();
  for (std::string& line : out) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
  }
  return out;
}

void TraceCapture::clear() {
  std::lock_guard<std::mutex> lock(captureMutex);
  captured.clear();
}

}  // namespace corvanth
