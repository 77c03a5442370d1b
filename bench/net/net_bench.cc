// One download of the patch client, timed, with its progress shown by the
// console front-end on standard output (a pipe in the benchmark).
//   net_bench http HOST DIRECTORY NAME
//   net_bench ftp|ftp-memory HOST DIRECTORY NAME
// Prints "seconds BYTES PEAK_RSS_KIB OK" to standard error.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/patch_client.h"
#include "frontend/console/console_front_end.h"

namespace corvanth {
namespace {

int run(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s http|ftp|ftp-memory HOST DIRECTORY NAME\n", argv[0]);
    return 2;
  }
  std::string mode = argv[1];
  const char* host = argv[2];
  const char* directory = argv[3];
  const char* name = argv[4];
  std::FILE* noInput = std::fopen("/dev/null", "r");
  ConsoleFrontEnd console(stdout, noInput, false);
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.bindControls(&console);

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
  console.flush();
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
  std::fclose(noInput);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace corvanth

int main(int argc, char** argv) { return corvanth::run(argc, argv); }
