// PatchClient: construction, settings, status line, progress bar, boxes.
#include "app/patch_client.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/dialog_progress.h"

namespace corvanth {

PatchClient::PatchClient(Env* env, Language language)
    : messageCache_(language), mainArchive_(env), env_(env) {
  loadDefaults();
}

PatchClient::~PatchClient() {
  joinWorker();
  // The patch archives go first; the main archive only points at them.
  keptPatchArchives_.clear();
}

void PatchClient::joinWorker() {
  if (worker_.joinable()) worker_.join();
}

void PatchClient::loadDefaults() {
  settings_.loadDefaults();
  setCurrentPatchName("0");
  patchingDone_ = false;
}

bool PatchClient::commandLineAsksRepack(const std::string& commandLine) {
  return commandLine.find("/repak") != std::string::npos;
}

void PatchClient::setCurrentPatchName(const char* name) {
  std::snprintf(currentPatchName_, sizeof currentPatchName_, "%s", name);
}

void PatchClient::bindControls(DialogHost* dialog) {
  statusLine_.bind(dialog, kStatusLine);
  remainingTimeValue_.bind(dialog, kRemainingTimeValue);
  speedValue_.bind(dialog, kSpeedValue);
  progressBar_.bind(dialog, kProgressBar);
  remainingTimeLabel_.bind(dialog, kRemainingTimeLabel);
  speedLabel_.bind(dialog, kSpeedLabel);
  noticeBox_.bind(dialog, kNoticeBox);
  noticeTitle_.bind(dialog, kNoticeTitle);
  startButton_.bind(dialog, kStartButton);
}

void PatchClient::setStatus(const char* text) { statusLine_.setText(text); }

void PatchClient::setStatusFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  statusLine_.setTextFormatV(format, args);
  va_end(args);
}

void PatchClient::setProgress(int done, int total) { progressBar_.setProgress(done, total); }

void PatchClient::fillProgress() { progressBar_.fill(); }

BoxAnswer PatchClient::messageBox(const char* text, const char* caption, BoxButtons buttons) {
  DialogHost* dialog = statusLine_.window();
  if (dialog == nullptr) return buttons == BoxButtons::ok ? BoxAnswer::ok : BoxAnswer::no;
  return dialog->messageBox(text, caption, buttons);
}

void PatchClient::reportTransfer(const char* name, uint32_t received, int32_t expected) {
  setStatusFormat("%s - %d/%d", name, static_cast<int>(received), static_cast<int>(expected));
  // With nothing expected, or more arriving than expected, the bar stays full
  // rather than leaving its range.
  int position = 1000;
  if (expected > 0 && received < static_cast<uint32_t>(expected)) {
    position = static_cast<int>(received * 1000.0 / expected);
  }
  setProgress(position, 1000);
}

void DialogProgress::report(uint32_t done, uint32_t total) {
  if (total > 1000) {
    uint32_t scale = total / 1000;
    done /= scale;
    total /= scale;
  }
  if (hasLast_ && done == lastDone_ && total == lastTotal_) return;
  hasLast_ = true;
  lastDone_ = done;
  lastTotal_ = total;
  client_->setProgress(static_cast<int>(done), static_cast<int>(total));
}

}  // namespace corvanth
