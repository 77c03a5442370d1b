// The repack: a compact copy of the main archive put in the archive file's
// place, used after a patch run's save and alone by the "/repak" run.
#include "app/dialog_progress.h"
#include "app/patch_client.h"

namespace corvanth {

namespace {

// Fixed name in the game directory, not a setting.
constexpr char kRepackFile[] = "tmpdata.vdt";
// The caption of the session's own error boxes; not a catalog text.
constexpr char kErrorCaption[] = "Error";

}  // namespace

bool PatchClient::repackArchive() {
  DialogProgress progress(this);
  // A failed repack leaves the archive open and unchanged; whatever it wrote
  // stays in the temporary file.
  if (!mainArchive_.repack(kRepackFile, &progress)) return false;
  mainArchive_.close();
  // One rename replaces the archive, so there is never a moment without one.
  // When it fails the old archive stays valid and the copy keeps its
  // temporary name.
  return env_->renameFile(kRepackFile, settings_.archiveFile);
}

void PatchClient::runRepackOnly() {
  setProgress(0, 1000);
  setStatusFormat(message(10), currentPatchName_);
  // An archive that cannot be opened has nothing to repack.
  if (mainArchive_.openFile(settings_.archiveFile) && !repackArchive()) {
    messageBox(message(31), kErrorCaption, BoxButtons::ok);
    return;
  }
  fillProgress();
  markRunCompleted();  // patchingDone stays false: the game cannot be started
  setStatus(message(21));
}

}  // namespace corvanth
