// corvanth-patch: the process entry. Picks the front-end, then runs the
// client's start-up and ends the process safely.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/patch_client.h"
#include "app/startup.h"
#include "frontend/console/console_front_end.h"
#include "platform/trace.h"

#ifdef CORVANTH_HAVE_QT
#include <QApplication>

#include "frontend/qt/qt_front_end.h"
#endif

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitEndedEarly = 1;
constexpr int kExitUsage = 2;

void printUsage(std::FILE* out) {
  std::fputs(
      "Usage: corvanth-patch [--console] [/repak]\n"
      "Brings the game in the current directory up to date with the operator's\n"
      "patches, then offers to start it.\n"
      "\n"
      "  /repak      only repack the resource archive (no network access)\n"
      "  --console   use the terminal even when a display is available\n"
      "  --help      show this help and exit\n"
      "  --version   show the version and exit\n"
      "\n"
      "Exit status in the terminal: 0 when the run completed, 1 when it ended\n"
      "early, 2 for a usage error.\n",
      out);
}

#ifdef CORVANTH_HAVE_QT
// Qt comes up only once the instance lock is held, so a second client ends
// without touching the display.
class QtOnDemand : public corvanth::DialogFrontEnd {
 public:
  QtOnDemand(int* argc, char** argv, corvanth::Language language)
      : argc_(argc), argv_(argv), language_(language) {}
  int runModal(corvanth::PatchClient* client) override {
    application_ = std::make_unique<QApplication>(*argc_, argv_);
    frontEnd_ = std::make_unique<corvanth::QtFrontEnd>(language_);
    return frontEnd_->runModal(client);
  }

 private:
  int* argc_;
  char** argv_;
  corvanth::Language language_;
  std::unique_ptr<QApplication> application_;
  std::unique_ptr<corvanth::QtFrontEnd> frontEnd_;  // destroyed before the application
};
#endif

bool hasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool console = false;
  std::string commandLine;  // the arguments as one line, as the desktop gives them
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      printUsage(stdout);
      return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("corvanth-patch %s\n", CORVANTH_VERSION);
      return 0;
    }
    if (std::strcmp(arg, "--console") == 0) {
      console = true;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "corvanth-patch: unknown option '%s'\n", arg);
      printUsage(stderr);
      return kExitUsage;
    }
    if (!commandLine.empty()) commandLine.push_back(' ');
    commandLine.append(arg);
  }

  corvanth::installTraceFromEnvironment();
  // The one client of the process, alive until the process ends.
  auto client = std::make_unique<corvanth::PatchClient>();

#ifdef CORVANTH_HAVE_QT
  if (!console && hasDisplay()) {
    QtOnDemand frontEnd(&argc, argv, client->catalog().language());
    corvanth::startUp(client.get(), commandLine, &frontEnd);
    // The dialog's window ends with 0 however the run went.
    return corvanth::finishClient(std::move(client), kExitCompleted);
  }
#else
  (void)hasDisplay;
  (void)console;  // without Qt the console front-end is the only one
#endif

  int width = 80;
  bool live = corvanth::ConsoleFrontEnd::isLiveTerminal(stdout, &width);
  corvanth::ConsoleFrontEnd frontEnd(stdout, stdin, live, width);
  if (!corvanth::startUp(client.get(), commandLine, &frontEnd)) {
    return corvanth::finishClient(std::move(client), kExitCompleted);  // another client runs
  }
  bool completed = client->patchingDone() || client->runCompleted();
  return corvanth::finishClient(std::move(client), completed ? kExitCompleted : kExitEndedEarly);
}
