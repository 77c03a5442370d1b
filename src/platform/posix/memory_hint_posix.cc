// adviseLargeBuffer on Linux: transparent huge pages through madvise, made
// ready before the first write.
#include "platform/memory_hint.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace corvanth {

void adviseLargeBuffer(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  // Below a few huge pages the hint buys nothing.
  constexpr size_t kWorthIt = 8u << 20;
  if (data == nullptr || size < kWorthIt) return;
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(data) + size;
  if (end <= begin) return;
  void* start = reinterpret_cast<void*>(begin);
  ::madvise(start, end - begin, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  // The pages are made at once, in one call, rather than one fault at a time
  // as the bytes arrive.
  ::madvise(start, end - begin, MADV_POPULATE_WRITE);
#endif
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace corvanth
