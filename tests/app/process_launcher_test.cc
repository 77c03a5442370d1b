// Starting the game: the command line split as the desktop platform splits
// it, the current directory searched before PATH, wine for a Windows program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/process_launcher.h"
#include "support/temp_dir.h"

namespace corvanth {
namespace {

TEST(SplitCommandLine, DesktopRuntimeRules) {
  struct Case { const char* line; std::vector<std::string> args; };
  const Case cases[] = {
      {"qelexe.exe 1kor1", {"qelexe.exe", "1kor1"}},
      {"  x \t y  ", {"x", "y"}},
      {"", {}},
      {"\"a b\" c", {"a b", "c"}},
      {"\"\"", {""}},
      {"a\\b c\\\\", {"a\\b", "c\\\\"}},         // backslashes alone are literal
      {"a\\\"b", {"a\"b"}},                       // \" is a quote
      {"a\\\\\"b c\"", {"a\\b c"}},               // \\" is a backslash, then grouping
      {"\"a\"\"b\"", {"a\"b"}},                   // "" inside quotes is a quote
  };
  for (const Case& c : cases) EXPECT_EQ(splitCommandLine(c.line), c.args) << c.line;
}

// Waits (generously) for a started program's one effect.
bool appears(const std::string& path) {
  for (int i = 0; i < 500 && !fileExists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return fileExists(path);
}

void writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

class LaunchTest : public ::testing::Test {
 protected:
  LaunchTest() : cwd_(game_.path()) {
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "";
    ::mkdir(tools_.file("bin").c_str(), 0755);
    setenv("PATH", (tools_.file("bin") + ":" + savedPath_).c_str(), 1);
  }
  ~LaunchTest() override { setenv("PATH", savedPath_.c_str(), 1); }

  TempDir game_;
  TempDir tools_;
  ScopedCurrentDir cwd_;
  std::string savedPath_;
};

TEST_F(LaunchTest, CurrentDirectoryComesBeforePath) {
  // Each writes a temporary file and renames it, so the result appears whole.
  writeScript(tools_.file("bin/qelgame"), "echo path > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"");
  writeScript(game_.file("qelgame"), "echo local > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"");
  ASSERT_TRUE(launchProcess("qelgame \"ran here\""));
  ASSERT_TRUE(appears(game_.file("ran here")));
  EXPECT_EQ(readFile(game_.file("ran here")), "local\n");
}

TEST_F(LaunchTest, ProgramFoundOnPath) {
  writeScript(tools_.file("bin/qelgame"), "echo path > \"$1\"");
  ASSERT_TRUE(launchProcess("qelgame made"));
  EXPECT_TRUE(appears(game_.file("made")));
}

TEST_F(LaunchTest, WindowsProgramRunsThroughWine) {
  writeFile(game_.file("qelexe.exe"), "MZ");  // not executable here
  writeScript(tools_.file("bin/wine"), "echo \"$@\" > wine-args.tmp && mv wine-args.tmp wine-args");
  ASSERT_TRUE(launchProcess("qelexe.exe 1kor1"));
  ASSERT_TRUE(appears(game_.file("wine-args")));
  EXPECT_EQ(readFile(game_.file("wine-args")), "./qelexe.exe 1kor1\n");
}

TEST_F(LaunchTest, MissingProgramFails) {
  EXPECT_FALSE(launchProcess("no-such-game-8c1f 1kor1"));
  EXPECT_FALSE(launchProcess(""));
}

}  // namespace
}  // namespace corvanth
