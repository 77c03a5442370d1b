// Start-up and the safe end of the process.
#include "app/startup.h"

#include <cstdio>
#include <cstdlib>

#include "platform/trace.h"

namespace corvanth {

bool startUp(PatchClient* client, const std::string& commandLine, DialogFrontEnd* frontEnd) {
  client->loadDefaults();
  // Read before the lock is tried, so a second client with the switch also
  // ends silently.
  client->setRepackOnly(PatchClient::commandLineAsksRepack(commandLine));
  traceHook("start-up: repack only %d\n", client->repackOnly() ? 1 : 0);
  return client->runDialog(frontEnd);
}

int finishClient(std::unique_ptr<PatchClient> client, int status) {
  if (client->workerRunning()) {
    // The worker may be inside any operation of the client; ending here
    // keeps it from ever seeing a destroyed object. The archive stays
    // consistent, because a save writes the header's table fields last.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  client->joinWorker();
  client.reset();
  return status;
}

}  // namespace corvanth
