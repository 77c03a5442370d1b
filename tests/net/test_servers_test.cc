// The test servers themselves: they start on free or fixed ports, serve, and
// a busy port fails the start with the server's own reason.
#include "support/test_servers.h"

#include <signal.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace corvanth {
namespace {

TEST(TestServersTest, StartsOnAFreePortAndStopsByPid) {
  TempDir root;
  HttpTestServer server;
  ASSERT_TRUE(server.root(root.path()).prefix("/patch").start());
  EXPECT_GT(server.listeningPort(), 0);
  pid_t pid = server.pid();
  server.stop();
  EXPECT_FALSE(server.running());
  EXPECT_NE(::kill(pid, 0), 0) << "the server process is still there";
}

TEST(TestServersTest, BusyPortFailsWithTheReason) {
  TempDir root;
  FtpTestServer first;
  ASSERT_TRUE(first.root(root.path()).start());
  for (bool http : {false, true}) {
    ::testing::AssertionResult started = ::testing::AssertionSuccess();
    if (http) {
      HttpTestServer second;
      started = second.port(first.listeningPort()).root(root.path()).start();
    } else {
      FtpTestServer second;
      started = second.port(first.listeningPort()).root(root.path()).start();
    }
    EXPECT_FALSE(started);
    EXPECT_NE(std::string(started.message()).find("Address already in use"), std::string::npos)
        << started.message();
  }
}

TEST(TestServersTest, MissingScriptFailsClearly) {
  TestServer server;
  ::testing::AssertionResult started = server.startScript("no_such_server.py", {});
  EXPECT_FALSE(started);
  EXPECT_NE(std::string(started.message()).find("did not start"), std::string::npos)
      << started.message();
}

}  // namespace
}  // namespace corvanth
