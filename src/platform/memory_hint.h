// Hints to the operating system about large buffers.
#ifndef CORVANTH_PLATFORM_MEMORY_HINT_H_
#define CORVANTH_PLATFORM_MEMORY_HINT_H_

#include <cstddef>

namespace corvanth {

// Asks for large pages behind [data, data + size), made ready at once,
// before it is first written: a patch of hundreds of MiB held in memory
// then costs a few hundred pages instead of a fault per 4 KiB. The whole
// range becomes resident. Only a hint; refusal changes nothing.
void adviseLargeBuffer(void* data, size_t size);

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_MEMORY_HINT_H_
