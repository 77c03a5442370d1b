// traceHook and its optional file appender.
#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace corvanth {
namespace {

void traceNothing(const char*, ...) {}

std::FILE* traceFile = nullptr;
std::mutex traceMutex;

void traceToFile(const char* format, ...) {
  std::lock_guard<std::mutex> lock(traceMutex);
  va_list args;
  va_start(args, format);
  std::vfprintf(traceFile, format, args);
  va_end(args);
  std::fflush(traceFile);
}

}  // namespace

TraceFunction traceHook = traceNothing;

void installTraceFromEnvironment() {
  const char* path = std::getenv("CORVANTH_TRACE");
  if (path == nullptr || *path == '\0') return;
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  traceFile = file;
  traceHook = traceToFile;
}

}  // namespace corvanth
