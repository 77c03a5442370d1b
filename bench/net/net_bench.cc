// One download of the patch client, timed, with its progress formatted and
// written to standard output (a pipe in the benchmark) as a console
// front-end writes it.
//   net_bench http HOST DIRECTORY NAME
//   net_bench ftp|ftp-memory HOST DIRECTORY NAME
// Prints "seconds BYTES PEAK_RSS_KIB OK" to standard error.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/dialog_control.h"
#include "app/patch_client.h"
#include "platform/dialog_host.h"

namespace corvanth {
namespace {

// Each status text on its own line, the bar as "[position/range]".
class PipeDialogHost : public DialogHost {
 public:
  void setControlText(int control, const std::string& text) override {
    if (control != kStatusLine) return;
    std::string line = text + "\n";
    writeAll(line);
  }
  void setProgressPosition(int, int position) override { position_ = position; }
  void setProgressRange(int, int maximum) override {
    char line[64];
    int n = std::snprintf(line, sizeof line, "[%d/%d]\n", position_, maximum);
    writeAll(std::string(line, static_cast<size_t>(n)));
  }
  void focusControl(int) override {}
  BoxAnswer messageBox(const std::string& text, const std::string& caption,
                       BoxButtons) override {
    writeAll(caption + ": " + text + "\n");
    return BoxAnswer::no;
  }
  void endDialog(int) override {}

 private:
  static void writeAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  int position_ = 0;
};

int run(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s http|ftp|ftp-memory HOST DIRECTORY NAME\n", argv[0]);
    return 2;
  }
  std::string mode = argv[1];
  const char* host = argv[2];
  const char* directory = argv[3];
  const char* name = argv[4];
  PipeDialogHost host_window;
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.bindControls(&host_window);

  auto start = std::chrono::steady_clock::now();
  bool ok = client.openInternet();
  uint64_t bytes = 0;
  if (mode == "http") {
    ok = ok && client.downloadHttpFile(host, directory, name);
  } else {
    ok = ok && client.connectFtp(host) && client.changeFtpDirectory(directory) &&
         client.listFtpDirectory() > 0;
    if (mode == "ftp") {
      ok = ok && client.downloadFtpFile(name);
    } else {
      ok = ok && client.downloadFtpPatch(name);
      if (ok) bytes = client.keptPatchArchives().front()->memory().bytes.size();
    }
    client.disconnectFtp();
  }
  client.closeInternet();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (mode != "ftp-memory") {
    uint64_t size = 0;
    if (ok && Env::defaultEnv()->fileSize(name, &size)) bytes = size;
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "%.6f %llu %ld %d\n", seconds, static_cast<unsigned long long>(bytes),
               usage.ru_maxrss, ok ? 1 : 0);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace corvanth

int main(int argc, char** argv) { return corvanth::run(argc, argv); }
