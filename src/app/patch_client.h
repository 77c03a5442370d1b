// The application object: owner of everything the client works with, and
// the home of the worker's operations.
//
// The operations are grouped by subsystem, and each group is defined in its
// subsystem's directory: the dialog, status and catalog operations here in
// src/app, the transfers in src/net, the package stage in src/package, the
// patch run and the repack-only run in src/session.
#ifndef CORVANTH_APP_PATCH_CLIENT_H_
#define CORVANTH_APP_PATCH_CLIENT_H_

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "app/dialog_control.h"
#include "app/message_catalog.h"
#include "app/patch_config.h"
#include "archive/main_archive.h"
#include "archive/memory_archive.h"
#include "net/server_listing.h"
#include "platform/dialog_host.h"
#include "platform/env.h"

namespace corvanth {

class PatchList;
class DialogFrontEnd;

// Messages of the dialog procedure; the numbers are the desktop platform's,
// so that the trace of an unhandled message reads the same everywhere.
enum DialogMessage : int {
  kMessageClose = 0x0010,       // the title bar's close box
  kMessageKeyDown = 0x0100,     // first parameter: key code
  kMessageInitDialog = 0x0110,
  kMessageCommand = 0x0111,     // first parameter: control number
};
constexpr int kKeyEnter = 0x0D;

// An open network handle; src/net defines the concrete kinds.
class NetworkHandle {
 public:
  virtual ~NetworkHandle() = default;
};

class PatchClient {
 public:
  static constexpr int kNameFieldSize = 256;

  explicit PatchClient(Env* env = Env::defaultEnv(),
                       Language language = languageFromEnvironment());
  ~PatchClient();
  PatchClient(const PatchClient&) = delete;
  PatchClient& operator=(const PatchClient&) = delete;

  // --- Start-up, settings, dialog and worker (src/app) ---

  // Every setting to its default, currentPatchName "0", patchingDone false.
  void loadDefaults();
  PatchConfig& settings() { return settings_; }
  Env* env() const { return env_; }
  bool repackOnly() const { return repackOnly_; }
  void setRepackOnly(bool on) { repackOnly_ = on; }
  // True when commandLine contains "/repak" (plain, case-sensitive substring).
  static bool commandLineAsksRepack(const std::string& commandLine);

  // The single-instance lock, then dialog 126 shown modally by frontEnd.
  // False at once, showing nothing, when another client holds the lock.
  bool runDialog(DialogFrontEnd* frontEnd);

  // The text of a catalog number; "No MSG" when there is none.
  const char* message(int number) { return messageCache_.message(number); }
  MessageCatalog& catalog() { return messageCache_; }

  // Binds the controls to dialog (step 1 of the dialog's initialisation).
  void bindControls(DialogHost* dialog);
  // The dialog procedure; always returns 0.
  int handleDialogMessage(DialogHost* dialog, int message, intptr_t first, intptr_t second);
  // Entry of the worker thread: the repack-only run or the patch run; returns 0.
  int workerMain();
  // True while the worker thread has started and not yet returned.
  bool workerRunning() const { return workerRunning_.load(); }
  // Waits for the worker thread, when one was started.
  void joinWorker();
  // Starts gameCommandLine when patchingDone; a failure is only traced.
  void launchGame();
  bool patchingDone() const { return patchingDone_.load(); }
  // Completion of a patch run: patchingDone becomes true for good.
  void markPatchingDone() { patchingDone_ = true; }
  // Set by either run at its final message, so the console can report
  // "completed" also for the repack-only run, which never sets patchingDone.
  bool runCompleted() const { return runCompleted_.load(); }
  void markRunCompleted() { runCompleted_ = true; }
  const char* currentPatchName() const { return currentPatchName_; }
  // The patch being processed; the patch run names each patch in turn.
  void setCurrentPatchName(const char* name);

  // Status line, progress bar and message boxes (no owner window).
  void setStatus(const char* text);
  void setStatusFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Totals above 1,000,000 are divided by 1000; position first, then range.
  void setProgress(int done, int total);
  void fillProgress();
  BoxAnswer messageBox(const char* text, const char* caption, BoxButtons buttons);
  // Shows a transfer line "name - received/expected" and moves the bar to
  // received * 1000 / expected of 1000, kept within its range.
  void reportTransfer(const char* name, uint32_t received, int32_t expected);

  // --- The patch run and the repack-only run (src/session) ---
  void runPatchSession();
  void showNoticeFile(const char* name);
  uint32_t readLocalVersion();
  void writeLocalVersion(uint32_t version);
  bool saveArchive();
  bool repackArchive();
  void runRepackOnly();

  // --- Transfers (src/net) ---
  bool openInternet();
  void closeInternet();
  bool downloadHttpFile(const char* host, const char* directory, const char* name);
  bool connectFtp(const char* host);
  void disconnectFtp();
  bool changeFtpDirectory(const char* directory);
  int listFtpDirectory();
  bool downloadFtpFile(const char* name);
  bool isLocalCopyComplete(const char* name);
  bool downloadFtpPatch(const char* name);
  bool loadLocalPatch(const char* name);

  // --- Compressed packages (src/package) ---
  bool unpackPackage(const char* name, bool deleteAfter);
  bool unpackRecords(const char* path);

  // Read access for tests and front-ends.
  const ServerListing& serverListing() const { return serverListing_; }
  ServerListing& mutableServerListing() { return serverListing_; }
  const std::list<std::unique_ptr<MemoryArchive>>& keptPatchArchives() const {
    return keptPatchArchives_;
  }
  MainArchive& mainArchive() { return mainArchive_; }
  bool hasInternet() const { return internet_ != nullptr; }
  bool hasFtpConnection() const { return ftp_ != nullptr; }

 private:
  // The completion steps of a run: close the internet session, focus and
  // caption of button 1, patchingDone, message 21.
  void completeRun();
  // The second half of the patch run, once patches are pending.
  void applyPendingPatches(const PatchList& list, uint32_t localVersion);

  // The dialog's controls; bound when the dialog initialises.
  DialogControl noticeBox_;
  DialogControl statusLine_;
  DialogControl startButton_;
  DialogControl noticeTitle_;
  DialogControl remainingTimeValue_;
  DialogControl speedValue_;
  DialogControl remainingTimeLabel_;
  DialogControl speedLabel_;
  DialogControl progressBar_;

  char currentPatchName_[kNameFieldSize];  // the patch being processed
  std::atomic<bool> patchingDone_{false};  // only ever goes false -> true

  std::unique_ptr<NetworkHandle> internet_;  // the run's internet session
  std::unique_ptr<NetworkHandle> ftp_;       // the run's FTP control connection
  ServerListing serverListing_;
  PatchConfig settings_;
  MessageCatalog messageCache_;
  // Overlaid patch archives, newest first; alive until the client ends,
  // because the save reads their data.
  std::list<std::unique_ptr<MemoryArchive>> keptPatchArchives_;
  MainArchive mainArchive_;

  Env* env_;  // not owned
  bool repackOnly_ = false;
  std::thread worker_;
  std::atomic<bool> workerRunning_{false};
  std::atomic<bool> runCompleted_{false};  // only ever goes false -> true
};

}  // namespace corvanth

#endif  // CORVANTH_APP_PATCH_CLIENT_H_
