// The real corvanth-patch binary in console mode against servers on the
// built-in loopback ports: exit status, printed texts, and runs killed at
// random moments.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "game_fixture.h"

namespace corvanth {
namespace {

// The hosts a default build has compiled in.
constexpr int kWebPort = 18080;
constexpr int kFtpPort = 18021;

std::string binaryPath() { return CORVANTH_PATCH_BINARY; }

// Starts the binary in gameDir with "--console" and arguments; input is what
// it reads, its output goes to outputFd (or nowhere when -1).
pid_t spawnClient(const std::string& gameDir, const std::string& lockDir,
                  const std::vector<std::string>& arguments, const std::string& input,
                  int outputFd) {
  int in[2];
  if (::pipe(in) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    int out = outputFd >= 0 ? outputFd : ::open("/dev/null", O_WRONLY);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::close(in[0]);
    ::close(in[1]);
    if (::chdir(gameDir.c_str()) != 0) ::_exit(127);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("LC_ALL", "C", 1);
    ::setenv("XDG_RUNTIME_DIR", lockDir.c_str(), 1);  // a lock of its own
    std::vector<std::string> args = {binaryPath(), "--console"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) {
    // the client reads end of input: every question is answered No
  }
  ::close(in[1]);
  return pid;
}

struct ConsoleResult {
  int exitStatus = -1;
  std::string output;
};

ConsoleResult runConsole(const std::string& gameDir, const std::string& lockDir,
                         const std::vector<std::string>& arguments, const std::string& input) {
  int out[2];
  ConsoleResult result;
  if (::pipe(out) != 0) return result;
  pid_t pid = spawnClient(gameDir, lockDir, arguments, input, out[1]);
  ::close(out[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) result.output.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class ConsoleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(binaryPath())) << binaryPath();
    // Fixed ports: a busy one fails here, with the server's own words.
    ASSERT_TRUE(fx.startServers(kWebPort, kFtpPort))
        << "the built-in ports " << kWebPort << " and " << kFtpPort << " must be free";
  }
  ConsoleResult run(const std::vector<std::string>& arguments = {}, const std::string& input = "") {
    return runConsole(fx.gameDir(), lockDir.path(), arguments, input);
  }

  GameFixture fx;
  TempDir lockDir;
};

TEST_F(ConsoleRun, ExitStatusAndPrintedTexts) {
  struct Case {
    const char* what;
    std::string list;
    std::string gate;
    std::vector<std::string> arguments;
    bool stopFtp;
    int exitStatus;
    std::vector<std::string> printed;
  };
  const Case cases[] = {
      {"completed run", "1 a.vpt\n2 note.txt\n", "ok\n", {}, false, 0,
       {"Patch notice", msg(16), msg(21)}},
      {"gate closed", "1 a.vpt\n", "deny\n", {}, false, 1, {"Closed notice"}},
      {"patch not on the server", "1 gone.vpt\n", "ok\n", {}, false, 1, {msg(24, "gone.vpt")}},
      {"file server down", "1 a.vpt\n", "ok\n", {}, true, 1, {msg(18), msg(19)}},
      {"repack-only run", "", "deny\n", {"/repak"}, false, 0, {msg(21)}},
  };
  fx.putFtp("a.vpt", archive20({{"x.dat", "patched"}}));
  fx.putFtp("note.txt", "note");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx.putGame("sdata.vdt", archive20({{"x.dat", "old"}}));
    std::filesystem::remove(fx.game("spatch.inf"));
    fx.publish(c.list, c.gate);
    if (c.stopFtp) fx.ftpServer().stop();
    ConsoleResult r = run(c.arguments);
    EXPECT_EQ(r.exitStatus, c.exitStatus) << r.output;
    for (const std::string& text : c.printed) {
      EXPECT_NE(r.output.find(text), std::string::npos) << "\"" << text << "\" not in:\n" << r.output;
    }
  }
}

TEST_F(ConsoleRun, FailedRepackOnlyEndsEarlyAndKeepsTheArchive) {
  const std::string before = archive1x({{"x.dat", "old"}, {"y.vrm", "light"}}, 500);
  fx.putGame("sdata.vdt", before);
  std::filesystem::create_directory(fx.game("tmpdata.vdt"));
  ConsoleResult r = run({"/repak"});
  EXPECT_EQ(r.exitStatus, 1) << r.output;
  EXPECT_NE(r.output.find(msg(31)), std::string::npos) << r.output;
  EXPECT_EQ(fx.readGame("sdata.vdt"), before);
}

// The road of a run with many entries, so that the save and the repack take
// long enough to be cut at many points.
struct BigRun {
  std::string oldArchive;
  Contents oldContents;
  Contents newContents;
};

BigRun publishBigRun(GameFixture& fx) {
  BigRun run;
  std::vector<EntrySpec> base, p2, p3;
  for (int i = 0; i < 120; ++i) {
    const std::string name = "e" + std::to_string(i) + (i % 5 == 0 ? ".wyx" : ".dat");
    base.push_back({name, std::string(900 + i, static_cast<char>('a' + i % 26))});
    run.oldContents[name] = base.back().content;
  }
  run.newContents = run.oldContents;
  for (int i = 0; i < 120; i += 2) {
    const std::string name = "e" + std::to_string(i) + (i % 5 == 0 ? ".wyx" : ".dat");
    p2.push_back({name, "p2 " + std::to_string(i) + std::string(1200, 'x')});
    run.newContents[name] = p2.back().content;
  }
  for (int i = 0; i < 60; ++i) {
    const std::string name = "n" + std::to_string(i) + ".dat";
    p3.push_back({name, "p3 " + std::to_string(i) + std::string(700, 'y')});
    run.newContents[name] = p3.back().content;
  }
  // A gap of unused bytes makes the saved archive wasteful: the repack runs.
  run.oldArchive = archive1x(base, 400000);
  fx.putFtp("p2.vpt", archive20(p2));
  fx.putFtp("p3.vpt", archive20(p3));
  fx.putFtp("mappack.cgz", packageBytes({{true, "maps", ""}, {false, "maps/m.txt", "map"}}));
  fx.putFtp("readme.txt", "readme");
  fx.publish("1 old.vpt\n2 p2.vpt\n3 p3.vpt\n4 mappack.cgz\n5 readme.txt\n");
  return run;
}

TEST_F(ConsoleRun, KilledAtRandomMomentsLeavesOldOrNewState) {
  BigRun big = publishBigRun(fx);
  TempDir trials;
  const std::string answers = "y\nn\n";  // repack: yes; start the game: no
  int trial = 0;
  // A game directory before the run. With the patches already complete on
  // disk the run spends most of its time in the save and the repack, where
  // a kill matters most; without, the transfers come first.
  auto freshGame = [&](bool localCopies) {
    std::string dir = trials.file("t" + std::to_string(trial++));
    std::filesystem::create_directory(dir);
    writeFile(dir + "/sdata.vdt", big.oldArchive);
    writeFile(dir + "/spatch.inf", versionBytes(1));
    for (const char* name : {"p2.vpt", "p3.vpt", "mappack.cgz", "readme.txt"}) {
      if (localCopies) std::filesystem::copy_file(fx.ftp(name), dir + "/" + name);
    }
    return dir;
  };

  // Whole runs first: the new state, and how long a run takes here.
  std::chrono::microseconds wholeTime[2];
  for (bool localCopies : {false, true}) {
    const std::string dir = freshGame(localCopies);
    auto start = std::chrono::steady_clock::now();
    ConsoleResult r = runConsole(dir, lockDir.path(), {}, answers);
    wholeTime[localCopies] = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    Contents have;
    ASSERT_TRUE(readArchive(dir + "/sdata.vdt", &have));
    ASSERT_EQ(have, big.newContents);
    ASSERT_EQ(readFile(dir + "/spatch.inf"), versionBytes(5));
    std::filesystem::remove_all(dir);
  }

  std::mt19937 random(20261211);
  const auto budget = std::chrono::seconds(22);
  const auto begun = std::chrono::steady_clock::now();
  int oldSeen = 0, newSeen = 0;
  for (int i = 0; i < 100 && std::chrono::steady_clock::now() - begun < budget; ++i) {
    SCOPED_TRACE("trial " + std::to_string(i));
    const bool localCopies = i % 5 != 0;
    const std::string dir = freshGame(localCopies);
    // Every other trial aims at the later part: the end of the save, the
    // repack and the swap.
    const long whole = wholeTime[localCopies].count();
    std::uniform_int_distribution<long> moment(i % 2 == 0 ? 0 : whole * 6 / 10, whole);
    pid_t pid = spawnClient(dir, lockDir.path(), {}, answers, -1);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);

    Contents now;
    ASSERT_TRUE(readArchive(dir + "/sdata.vdt", &now)) << "the archive no longer opens";
    const bool isOld = now == big.oldContents;
    const bool isNew = now == big.newContents;
    ASSERT_TRUE(isOld || isNew) << "the archive holds a mixture";
    const std::string version = readFile(dir + "/spatch.inf");
    ASSERT_TRUE(version == versionBytes(1) || version == versionBytes(5));
    if (version == versionBytes(5)) {
      ASSERT_TRUE(isNew) << "the version was recorded before the archive";
    }
    (isOld ? oldSeen : newSeen) += 1;
    std::filesystem::remove_all(dir);
  }
  std::printf("killed runs: %d left the old archive, %d the new one\n", oldSeen, newSeen);
}

}  // namespace
}  // namespace corvanth
