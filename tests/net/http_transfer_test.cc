// HTTP downloads against the test web server: the plain path, its faults,
// and the local file that only a complete transfer replaces.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/patch_client.h"
#include "support/recording_dialog_host.h"
#include "support/temp_dir.h"
#include "support/test_servers.h"

namespace corvanth {
namespace {

using Call = RecordingDialogHost::Call;

class HttpTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(writeFile(served_.file("patch2.txt"), std::string(3000, 'p')));
    ASSERT_TRUE(server_.root(served_.path())
                    .prefix("/patch")
                    .requestLog(logs_.file("requests"))
                    .fault("/patch/not-found.txt", "not-found")
                    .fault("/patch/chunked.txt", "chunked")
                    .fault("/patch/drop.txt", "drop")
                    .fault("/patch/bad-length.txt", "bad-length")
                    .fault("/patch/empty.txt", "empty")
                    .start());
    client_.bindControls(&host_);
    ASSERT_TRUE(client_.openInternet());
  }

  bool download(const char* name) {
    return client_.downloadHttpFile(server_.hostPort().c_str(), "/patch", name);
  }

  TempDir served_;
  TempDir logs_;
  TempDir game_;
  ScopedCurrentDir inGame_{game_.path()};
  HttpTestServer server_;
  RecordingDialogHost host_;
  PatchClient client_{Env::defaultEnv(), Language::usEnglish};
};

TEST_F(HttpTransferTest, FetchesHostDirectoryAndNameIntoTheLocalFileAsPatchClient) {
  ASSERT_TRUE(download("patch2.txt"));
  EXPECT_EQ(readFile(game_.file("patch2.txt")), std::string(3000, 'p'));
  EXPECT_EQ(filesIn(game_.path()), std::vector<std::string>{"patch2.txt"});
  EXPECT_EQ(readFile(logs_.file("requests")), "GET\t/patch/patch2.txt\tPatch Client\n");
  EXPECT_EQ(host_.textOf(kStatusLine), "patch2.txt - 3000/3000");
  EXPECT_EQ(host_.positionOf(kProgressBar), 1000);
  EXPECT_EQ(host_.rangeOf(kProgressBar), 1000);

  // A name with a blank travels escaped and lands under its own name.
  ASSERT_TRUE(writeFile(served_.file("notice 1.txt"), "hello"));
  ASSERT_TRUE(download("notice 1.txt"));
  EXPECT_EQ(readFile(game_.file("notice 1.txt")), "hello");
}

// Each fault with an earlier copy on disk: only a complete answer replaces it.
TEST_F(HttpTransferTest, FaultsLeaveTheEarlierCopy) {
  struct Case {
    const char* name;
    bool result;
    std::string localAfter;  // "OLD" when untouched
    const char* lastStatus;  // "" when no transfer line was shown
    int lastPosition;        // -1 when the bar was not moved
  };
  const Case cases[] = {
      // A 404 page is not the file: the copy from an earlier run keeps serving.
      {"not-found.txt", false, "OLD", "", -1},
      // No Content-Length: nothing is fetched.
      {"chunked.txt", false, "OLD", "", -1},
      // Broken off: the bytes arrive and show, but do not replace the copy.
      {"drop.txt", false, "OLD", "drop.txt - 300/500", 600},
      // Not a number: 0 expected; the bar stays within its range.
      {"bad-length.txt", false, "OLD", "bad-length.txt - 500/0", 1000},
      // Content-Length 0 and no body: an empty file, no progress at all.
      {"empty.txt", true, "", "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(writeFile(game_.file(c.name), "OLD"));
    host_.clear();
    EXPECT_EQ(download(c.name), c.result);
    EXPECT_EQ(readFile(game_.file(c.name)), c.localAfter);
    std::vector<std::string> texts = host_.textsOf(kStatusLine);
    EXPECT_EQ(texts.empty() ? "" : texts.back(), c.lastStatus);
    if (c.lastPosition < 0) {
      EXPECT_EQ(host_.progressCallCount(), 0);
    } else {
      auto calls = host_.calls();
      ASSERT_GE(calls.size(), 2u);
      EXPECT_EQ(calls[calls.size() - 2].value, c.lastPosition);
      EXPECT_EQ(calls.back().value, 1000);  // the range
    }
    ASSERT_TRUE(std::filesystem::remove(game_.file(c.name)));
    EXPECT_TRUE(filesIn(game_.path()).empty()) << "a temporary file was left";
  }
}

TEST_F(HttpTransferTest, NoFileIsWrittenWhenTheLocalFileMayNotBeReplaced) {
  ASSERT_TRUE(writeFile(game_.file("patch2.txt"), "OLD"));
  std::filesystem::permissions(game_.file("patch2.txt"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_FALSE(download("patch2.txt"));
  EXPECT_EQ(readFile(game_.file("patch2.txt")), "OLD");
  EXPECT_EQ(filesIn(game_.path()), std::vector<std::string>{"patch2.txt"});
}

TEST_F(HttpTransferTest, WithoutSessionOrServerNothingIsFetched) {
  int port = server_.listeningPort();
  server_.stop();
  // A server that is gone: refused at once.
  EXPECT_FALSE(client_.downloadHttpFile(("127.0.0.1:" + std::to_string(port)).c_str(), "/patch",
                                        "patch2.txt"));
  client_.closeInternet();
  EXPECT_FALSE(client_.hasInternet());
  client_.closeInternet();  // a second close does nothing
  EXPECT_FALSE(download("patch2.txt"));
  EXPECT_TRUE(filesIn(game_.path()).empty());
}

}  // namespace
}  // namespace corvanth
