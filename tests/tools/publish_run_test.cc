// The operator's way end to end: vdt makes and publishes patches, the
// client run over real loopback servers brings the game to NEW's content.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "archive/archive_writer.h"
#include "game_fixture.h"
#include "support/temp_dir.h"
#include "tools/vdt/vdt.h"

namespace corvanth {
namespace {

namespace fs = std::filesystem;

void vdtOk(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = vdt::runVdt(args, out, err);
  ASSERT_EQ(status, 0) << args[0] << ": " << err.str();
}

void makeTree(const std::string& root, const Contents& files) {
  for (const auto& [name, content] : files) {
    fs::create_directories((fs::path(root) / name).parent_path());
    ASSERT_TRUE(writeFile(root + "/" + name, content));
  }
}

// scripts/operator's server, started on free ports and stopped by its id.
class LocalOperator {
 public:
  ~LocalOperator() { stop(); }

  ::testing::AssertionResult start(const std::string& web, const std::string& ftp) {
    const char* source = std::getenv("CORVANTH_SOURCE_DIR");
    std::string script = std::string(source != nullptr ? source : ".") +
                         "/tools/operator/local_operator.py";
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return ::testing::AssertionFailure() << "no pipe";
    pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
      if (::getppid() != parent) ::_exit(127);
      ::dup2(fds[1], STDOUT_FILENO);
      ::execl("/usr/bin/python3", "python3", script.c_str(), web.c_str(), ftp.c_str(),
              "--web-port", "0", "--ftp-port", "0", "--quiet", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string line;
    char c;
    pollfd waitFor{fds[0], POLLIN, 0};
    // One line within 30 seconds, or the start failed.
    while (line.size() < 512 && ::poll(&waitFor, 1, 30000) == 1 && ::read(fds[0], &c, 1) == 1 &&
           c != '\n') {
      line.push_back(c);
    }
    ::close(fds[0]);
    static const std::regex ready(
        "ready: web http://127\\.0\\.0\\.1:([0-9]+)/patch/ +ftp ftp://127\\.0\\.0\\.1:([0-9]+)/.*");
    std::smatch m;
    if (!std::regex_match(line, m, ready)) {
      return ::testing::AssertionFailure() << "the operator did not start: " << line;
    }
    webHost_ = "127.0.0.1:" + m[1].str();
    ftpHost_ = "127.0.0.1:" + m[2].str();
    return ::testing::AssertionSuccess();
  }

  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  const std::string& webHost() const { return webHost_; }
  const std::string& ftpHost() const { return ftpHost_; }

 private:
  pid_t pid_ = -1;
  std::string webHost_, ftpHost_;
};

TEST(PublishRunTest, TheLocalOperatorServesWhatPublishWrote) {
  TempDir work;
  const std::string game = work.file("game"), web = work.file("web"), ftp = work.file("ftp");
  for (const std::string& dir : {game, web, ftp}) fs::create_directories(dir);
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("src"), {{"a.txt", "served"}}));
  ASSERT_NO_FATAL_FAILURE(vdtOk({"create", work.file("p1.vpt"), work.file("src")}));
  ASSERT_NO_FATAL_FAILURE(
      vdtOk({"publish", work.file("p1.vpt"), "--number", "5", "--web", web, "--ftp", ftp}));
  ASSERT_TRUE(writeFile(web + "/patch_allow.txt", "allow\n"));
  ASSERT_TRUE(ArchiveWriter().writeTo(game + "/sdata.vdt"));  // an empty archive

  LocalOperator server;
  ASSERT_TRUE(server.start(web, ftp));
  RunRecord run = runClient(game, {server.webHost(), server.ftpHost(), false, {}, nullptr});
  server.stop();
  EXPECT_TRUE(run.done) << run.lastStatus;
  Contents contents;
  ASSERT_TRUE(readArchive(game + "/sdata.vdt", &contents));
  EXPECT_EQ(contents, (Contents{{"a.txt", "served"}}));
}

TEST(PublishRunTest, DiffPublishAndAClientRunGiveTheNewArchivesContent) {
  GameFixture fx;
  TempDir work;
  const std::string webDir = fs::path(fx.web("x")).parent_path().string();
  const std::string ftpDir = fs::path(fx.ftp("x")).parent_path().string();
  fs::create_directories(webDir);
  fs::create_directories(ftpDir);

  const std::string longText(700, 'q');
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("old"), {{"a.txt", "alpha"},
                                                      {"b.dat", longText},
                                                      {"model/c.vrm", longText + "c"},
                                                      {"keep.bin", "kept"}}));
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("new"), {{"a.txt", "alpha, second edition"},
                                                      {"b.dat", longText},
                                                      {"model/c.vrm", longText + "C"},
                                                      {"keep.bin", "kept"},
                                                      {"d.txt", "delta"}}));
  ASSERT_NO_FATAL_FAILURE(makeTree(work.file("pkg"), {{"maps/w1.txt", "abc"}}));
  // The shipped game: the older enciphered form; NEW is a plain 2.0 build.
  ASSERT_NO_FATAL_FAILURE(
      vdtOk({"create", work.file("old.vdt"), work.file("old"), "--legacy", "0x101"}));
  ASSERT_NO_FATAL_FAILURE(vdtOk({"create", work.file("new.vdt"), work.file("new")}));
  fs::copy_file(work.file("old.vdt"), fx.game("sdata.vdt"));

  ASSERT_NO_FATAL_FAILURE(
      vdtOk({"diff", work.file("old.vdt"), work.file("new.vdt"), "-o", work.file("up1.vpt")}));
  ASSERT_NO_FATAL_FAILURE(vdtOk({"pack", work.file("pkg"), "-o", work.file("upd.cgz")}));
  ASSERT_NO_FATAL_FAILURE(vdtOk(
      {"publish", work.file("up1.vpt"), "--number", "1", "--web", webDir, "--ftp", ftpDir}));
  ASSERT_NO_FATAL_FAILURE(vdtOk(
      {"publish", work.file("upd.cgz"), "--number", "2", "--web", webDir, "--ftp", ftpDir}));
  fx.putWeb("patch_allow.txt", "allow\n");
  fx.putWeb("notice_patch.txt", "Patch day\n");
  ASSERT_TRUE(fx.startServers());

  RunRecord first = runClient(fx.gameDir(), {fx.webHost(), fx.ftpHost(), false, {}, nullptr});
  EXPECT_TRUE(first.done) << first.lastStatus;
  Contents patched, wanted;
  uint32_t version = 0;
  ASSERT_TRUE(readArchive(fx.game("sdata.vdt"), &patched, &version));
  ASSERT_TRUE(readArchive(work.file("new.vdt"), &wanted));
  EXPECT_EQ(patched, wanted);
  EXPECT_EQ(version, 0x200u);
  EXPECT_EQ(fx.readGame("maps/w1.txt"), "abc");
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(2));

  // Nothing newer the second time: the archive stays as it is.
  const std::string after = fx.readGame("sdata.vdt");
  RunRecord second = runClient(fx.gameDir(), {fx.webHost(), fx.ftpHost(), false, {}, nullptr});
  EXPECT_TRUE(second.done);
  EXPECT_EQ(fx.readGame("sdata.vdt"), after);
}

}  // namespace
}  // namespace corvanth
