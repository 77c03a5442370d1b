// The system-wide single-instance lock.
#ifndef CORVANTH_PLATFORM_INSTANCE_LOCK_H_
#define CORVANTH_PLATFORM_INSTANCE_LOCK_H_

#include <string>

namespace corvanth {

// Takes the lock called name without waiting and holds it until the process
// ends. False when another process holds it or it cannot be made.
bool acquireInstanceLock(const std::string& name);

}  // namespace corvanth

#endif  // CORVANTH_PLATFORM_INSTANCE_LOCK_H_
