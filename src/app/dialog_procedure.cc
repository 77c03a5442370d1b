// The dialog procedure, the worker thread and the game launch.
#include <cinttypes>

#include "app/dialog_front_end.h"
#include "app/patch_client.h"
#include "app/startup.h"
#include "platform/instance_lock.h"
#include "platform/process_launcher.h"
#include "platform/trace.h"

namespace corvanth {

bool PatchClient::runDialog(DialogFrontEnd* frontEnd) {
  // Held until the process ends; a client that cannot take it shows nothing.
  if (!acquireInstanceLock(kInstanceLockName)) return false;
  frontEnd->runModal(this);
  return true;
}

int PatchClient::handleDialogMessage(DialogHost* dialog, int message, intptr_t first,
                                     intptr_t second) {
  (void)second;
  switch (message) {
    case kMessageInitDialog:
      bindControls(dialog);
      remainingTimeLabel_.setText(this->message(12));
      noticeTitle_.setText(this->message(7));
      startButton_.setText(this->message(14));
      statusLine_.setText(this->message(15));
      workerRunning_ = true;
      worker_ = std::thread([this] {
        workerMain();
        workerRunning_ = false;
      });
      return 0;
    case kMessageCommand:
      if (first == kStartButton) {
        if (patchingDone_) launchGame();
        dialog->endDialog(0);
      } else if (first == kCloseButton) {
        dialog->endDialog(0);
      }
      return 0;
    case kMessageKeyDown:
      if (first == kKeyEnter && patchingDone_) {
        launchGame();
        dialog->endDialog(0);
      }
      return 0;
    case kMessageClose:
      dialog->endDialog(0);
      return 0;
    default:
      traceHook("%d message\n", message);
      return 0;
  }
}

int PatchClient::workerMain() {
  traceHook("worker: %s run\n", repackOnly_ ? "repack-only" : "patch");
  if (repackOnly_) {
    runRepackOnly();
  } else {
    runPatchSession();
  }
  return 0;
}

void PatchClient::launchGame() {
  if (!patchingDone_) return;
  traceHook("starting %s\n", settings_.gameCommandLine);
  if (!launchProcess(settings_.gameCommandLine)) {
    traceHook("cannot start %s\n", settings_.gameCommandLine);
  }
}

}  // namespace corvanth
