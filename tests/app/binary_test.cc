// The corvanth-patch binary, run in a temporary game directory with its own
// lock directory: options, the single instance, the "/repak" switch, the
// console front-end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "app/startup.h"
#include "platform/instance_lock.h"
#include "support/temp_dir.h"

namespace corvanth {
namespace {

struct Result {
  int status = -1;
  std::string out, err, trace;
};

class BinaryTest : public ::testing::Test {
 protected:
  // Runs the binary with args (a shell-quoted text) and input on its
  // standard input, without a display, in LC_ALL=locale.
  Result run(const std::string& args, const std::string& input = "",
             const std::string& locale = "C") {
    const std::string binary = CORVANTH_PATCH_BINARY;
    writeFile(game_.file("input"), input);
    std::string command = "cd '" + game_.path() + "' && env -i PATH=\"$PATH\" XDG_RUNTIME_DIR='" +
                          locks_.path() + "' LC_ALL=" + locale + " CORVANTH_TRACE=trace '" +
                          binary + "' " + args + " <input >out 2>err";
    int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(game_.file("out"));
    r.err = readFile(game_.file("err"));
    r.trace = readFile(game_.file("trace"));
    std::remove(game_.file("trace").c_str());
    return r;
  }

  // Takes the instance lock in this process, as a first client would.
  void holdLock() {
    setenv("XDG_RUNTIME_DIR", locks_.path().c_str(), 1);
    ASSERT_TRUE(acquireInstanceLock(kInstanceLockName));
  }

  TempDir game_;
  TempDir locks_;
};

TEST_F(BinaryTest, HelpAndVersion) {
  Result help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.find("Usage: corvanth-patch"), 0u);
  EXPECT_EQ(help.err, "");
  Result version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.find("corvanth-patch "), 0u);
  EXPECT_EQ(version.out.back(), '\n');
  EXPECT_EQ(version.trace, "");  // nothing started
}

TEST_F(BinaryTest, UnknownOptionIsAUsageError) {
  Result r = run("--console --frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("--frobnicate"), std::string::npos);
  EXPECT_EQ(r.trace, "");
}

TEST_F(BinaryTest, SecondInstanceEndsSilentlyWithZero) {
  holdLock();
  for (const char* args : {"", "--console", "/repak", "--console /repak"}) {
    Result r = run(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(r.err, "") << args;
    EXPECT_EQ(r.trace.find("worker:"), std::string::npos) << args;  // no run
  }
}

// With the lock held, start-up reads the switch and stops before any run.
TEST_F(BinaryTest, RepakIsACaseSensitiveSubstringOfTheWholeCommandLine) {
  holdLock();
  struct Case { const char* args; bool repack; };
  const Case cases[] = {{"--console", false},           {"/repak", true},
                        {"--console game /repak x", true}, {"x/repaky", true},
                        {"'a b/repak'", true},          {"/REPAK", false},
                        {"/Repak", false},              {"/re pak", false}};
  for (const Case& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.status, 0) << c.args;
    EXPECT_EQ(r.trace, std::string("start-up: repack only ") + (c.repack ? "1" : "0") + "\n")
        << c.args;
  }
}

// A repack-only run in an empty game directory: the console prints the
// dialog's first texts in the user's language and ends with 0 or 1.
TEST_F(BinaryTest, ConsolePrintsTheDialogAndEnds) {
  struct Case { const char* locale; const char* start; };
  const Case cases[] = {
      {"C", "== Notice ==\nContacting the patch server. Please wait.\n"},
      {"ko_KR.UTF-8", "== 공지사항 ==\n패치 서버에 접속하고 있습니다. 잠시만 기다려 주십시오.\n"}};
  for (const Case& c : cases) {
    Result r = run("--console /repak", "y\ny\ny\n", c.locale);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status;
    EXPECT_EQ(r.out.find(c.start), 0u) << r.out;
    EXPECT_NE(r.trace.find("worker: repack-only run\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace corvanth
