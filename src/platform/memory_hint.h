// Hints to the operating system about large buffers.
#ifndef CORVANTH_PLATFORM_MEMORY_HINT_H_
#define CORVANTH_PLATFORM_MEMORY_HINT_H_

#include <cstddef>

namespace corvanth {

// Buffers smaller than this gain nothing from the calls below.
constexpr size_t kLargeBufferSize = 8u << 20;

// Asks for large pages behind [data, data + size) before it is first
// written: a patch of hundreds of MiB held in memory then costs a few
// hundred pages instead of a fault per 4 KiB. Only a hint; refusal changes
// nothing.
void adviseLargeBuffer(void* data, size_t size);

// Makes the pages of [data, data + size) resident at once, leaving any
// bytes already written as they are. Slow (the system clears every page),
// so it may run on a helper thread while the buffer is being filled.
void prepareLargeBuffer(void* data, size_t size);

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_MEMORY_HINT_H_
