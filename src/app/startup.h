// The process entry's steps, shared by every front-end's main().
#ifndef CORVANTH_APP_STARTUP_H_
#define CORVANTH_APP_STARTUP_H_

#include <memory>
#include <string>

#include "app/dialog_front_end.h"
#include "app/patch_client.h"

namespace corvanth {

// The name of the lock that keeps a second client from running.
constexpr const char kInstanceLockName[] = "CorvanthOnlinePatch";

// Start-up in its fixed order: the settings to their defaults, the "/repak"
// test on the whole command line, then the dialog under the instance lock.
// False when another client holds the lock: nothing was shown.
bool startUp(PatchClient* client, const std::string& commandLine, DialogFrontEnd* frontEnd);

// Ends the client after the dialog: while the worker still runs, the process
// ends at once with status (the client is never destroyed under the
// worker's feet); otherwise the worker is joined, the client destroyed and
// status returned.
int finishClient(std::unique_ptr<PatchClient> client, int status);

}  // namespace corvanth

#endif  // CORVANTH_APP_STARTUP_H_
