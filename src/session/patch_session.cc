// The patch run: gate, notice and patch list (first half), then fetching and
// applying every newer patch, the save, the repack offer and the new
// version (second half), and the completion steps both halves end with.
#include <cstdint>
#include <cstring>
#include <string>

#include "app/dialog_progress.h"
#include "app/patch_client.h"
#include "archive/byte_source.h"
#include "package/file_names.h"
#include "session/patch_list.h"

namespace corvanth {

namespace {

// The caption of the session's own error boxes; not a catalog text.
constexpr char kErrorCaption[] = "Error";

// True when the gate file's first four bytes close patching. A file too
// short to hold them cannot say "deny" and leaves patching open.
bool gateSaysDeny(FileByteSource* gate) {
  if (gate->size() < 4) return false;
  const uint8_t* head = gate->read(0, 4);
  return head != nullptr && std::memcmp(head, "deny", 4) == 0;
}

// A patch name from the list must name a file in the game directory: a
// tampered list must not reach outside it.
bool isPlainFileName(const char* name) {
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  return std::strpbrk(name, "/\\") == nullptr;
}

}  // namespace

void PatchClient::runPatchSession() {
  openInternet();  // when it fails, every transfer below fails too
  downloadHttpFile(settings_.webHost, settings_.webDirectory, settings_.gateFile);

  // The local copy decides, fresh or left by an earlier run.
  FileByteSource gate(env_);
  if (!gate.openRead(settings_.gateFile)) return;
  if (gateSaysDeny(&gate)) {
    showNoticeFile(settings_.closedNoticeFile);
    return;
  }
  gate.close();
  showNoticeFile(settings_.patchNoticeFile);

  downloadHttpFile(settings_.webHost, settings_.webDirectory, settings_.patchListFile);
  PatchList list;
  list.load(settings_.patchListFile, env_);
  const uint32_t localVersion = readLocalVersion();
  if (localVersion >= static_cast<uint32_t>(list.highestNumber())) {
    completeRun();  // nothing newer; the version file stays as it is
    return;
  }
  applyPendingPatches(list, localVersion);
}

void PatchClient::showNoticeFile(const char* name) {
  downloadHttpFile(settings_.webHost, settings_.webDirectory, name);
  FileByteSource notice(env_);
  if (!notice.openRead(name)) return;  // the box keeps its text
  const uint8_t* bytes = notice.read(0, notice.size());
  if (bytes == nullptr) return;
  // setText takes a zero-terminated text: a zero byte ends what is shown.
  const std::string text(reinterpret_cast<const char*>(bytes), notice.size());
  noticeBox_.setText(text.c_str());
}

void PatchClient::applyPendingPatches(const PatchList& list, uint32_t localVersion) {
  setStatus(message(16));
  if (!connectFtp(settings_.ftpHost)) {
    messageBox(message(19), message(18), BoxButtons::ok);
    return;
  }
  changeFtpDirectory(settings_.ftpDirectory);  // a failure shows as an empty listing
  listFtpDirectory();

  const auto& entries = list.entries();
  for (size_t i = list.firstNewer(localVersion); i < entries.size(); ++i) {
    setCurrentPatchName(entries[i].fileName.c_str());
    const char* name = currentPatchName_;
    if (!isPlainFileName(name) || !serverListing_.contains(name)) {
      setStatusFormat(message(24), name);
      return;
    }
    if (hasExtension(name, "vpt")) {
      if (!loadLocalPatch(name) && !downloadFtpPatch(name)) {
        setStatusFormat(message(24), name);
        return;
      }
      continue;
    }
    bool unpacked;
    if (isLocalCopyComplete(name)) {
      unpacked = unpackPackage(name, false);
    } else {
      if (!downloadFtpFile(name)) {
        setStatusFormat(message(24), name);
        return;
      }
      unpacked = unpackPackage(name, true);
    }
    if (!unpacked) {
      setStatusFormat(message(25), name);
      return;
    }
  }
  disconnectFtp();

  setStatus(message(20));
  const uint32_t newVersion = static_cast<uint32_t>(list.highestNumber());
  if (!saveArchive()) {
    messageBox(message(31), kErrorCaption, BoxButtons::ok);
    return;
  }
  // More than a fifth of the file unused: offer the repack.
  const uint64_t wasted = uint64_t{5} * mainArchive_.freeBytes();
  if (wasted > mainArchive_.fileSize() &&
      messageBox(message(34), kErrorCaption, BoxButtons::yesNo) == BoxAnswer::yes &&
      !repackArchive()) {
    messageBox(message(31), kErrorCaption, BoxButtons::ok);
    return;
  }
  writeLocalVersion(newVersion);
  fillProgress();
  completeRun();
}

bool PatchClient::saveArchive() {
  setProgress(0, 1000);
  setStatusFormat(message(10), currentPatchName_);
  if (!mainArchive_.openFile(settings_.archiveFile)) return false;
  DialogProgress progress(this);
  return mainArchive_.save(&progress);
}

void PatchClient::completeRun() {
  closeInternet();
  startButton_.focus();
  patchingDone_ = true;  // before the caption: the button may be pressed at once
  startButton_.setText(message(22));
  markRunCompleted();  // the console's exit status
  setStatus(message(21));
}

}  // namespace corvanth
