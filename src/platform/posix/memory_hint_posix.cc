// The large-buffer hints on Linux: transparent huge pages through madvise,
// and pages made resident ahead of the writer.
#include "platform/memory_hint.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace corvanth {

namespace {

// The page-aligned part of [data, data + size); false when there is none
// worth the call.
bool alignedRange(void* data, size_t size, void** start, size_t* length) {
  if (data == nullptr || size < kLargeBufferSize) return false;
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(data) + size;
  if (end <= begin) return false;
  *start = reinterpret_cast<void*>(begin);
  *length = end - begin;
  return true;
}

}  // namespace

void adviseLargeBuffer(void* data, size_t size) {
  void* start;
  size_t length;
  if (!alignedRange(data, size, &start, &length)) return;
#ifdef MADV_HUGEPAGE
  ::madvise(start, length, MADV_HUGEPAGE);
#endif
}

void prepareLargeBuffer(void* data, size_t size) {
  void* start;
  size_t length;
  if (!alignedRange(data, size, &start, &length)) return;
#ifdef MADV_POPULATE_WRITE
  // Faults the pages in as a write would, without writing to them.
  ::madvise(start, length, MADV_POPULATE_WRITE);
#endif
}

}  // namespace corvanth
