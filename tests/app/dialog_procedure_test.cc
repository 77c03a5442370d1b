// The dialog procedure through the recording host: initialisation, the
// buttons, Enter, Escape, the close box, and the game launch.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/patch_client.h"
#include "app/startup.h"
#include "support/recording_dialog_host.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace corvanth {
namespace {

using Call = RecordingDialogHost::Call;

// A client initialised in an empty game directory. The worker runs the
// repack-only run, which needs no network, and is waited for, so each test
// sees only what the dialog procedure itself does.
class DialogProcedureTest : public ::testing::Test {
 protected:
  DialogProcedureTest() : cwd_(dir_.path()), client_(Env::defaultEnv(), Language::usEnglish) {
    client_.setRepackOnly(true);
  }

  void initialise() {
    client_.handleDialogMessage(&host_, kMessageInitDialog, 0, 0);
    client_.joinWorker();
    host_.clear();
  }

  TempDir dir_;
  ScopedCurrentDir cwd_;
  TraceCapture trace_;
  RecordingDialogHost host_;
  PatchClient client_;
};

TEST_F(DialogProcedureTest, InitialisationSetsFourTextsInOrderThenRunsTheWorker) {
  EXPECT_EQ(client_.handleDialogMessage(&host_, kMessageInitDialog, 0, 0), 0);
  client_.joinWorker();
  EXPECT_FALSE(client_.workerRunning());
  auto calls = host_.calls();
  ASSERT_GE(calls.size(), 4u);
  const std::pair<int, const char*> expected[] = {
      {kRemainingTimeLabel, "Time left"},   // 12
      {kNoticeTitle, "Notice"},             // 7
      {kStartButton, "Close"},              // 14
      {kStatusLine, "Contacting the patch server. Please wait."},  // 15
  };
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(calls[i].kind, Call::kText);
    EXPECT_EQ(calls[i].control, expected[i].first);
    EXPECT_EQ(calls[i].text, expected[i].second);
  }
  EXPECT_TRUE(trace_.contains("worker: repack-only run\n"));
  EXPECT_GE(client_.catalog().cachedCount(), 4u);
}

TEST_F(DialogProcedureTest, CommandsKeysAndCloseBeforeAndAfterCompletion) {
  struct Case {
    const char* name;
    bool done;
    int message;
    intptr_t first;
    bool ends;
    bool launches;
  };
  const Case cases[] = {
      {"button 1 before completion", false, kMessageCommand, kStartButton, true, false},
      {"button 1 after completion", true, kMessageCommand, kStartButton, true, true},
      {"button 2 / Escape", true, kMessageCommand, kCloseButton, true, false},
      {"close box", true, kMessageClose, 0, true, false},
      {"Enter before completion", false, kMessageKeyDown, kKeyEnter, false, false},
      {"Enter after completion", true, kMessageKeyDown, kKeyEnter, true, true},
      {"another key", true, kMessageKeyDown, 'A', false, false},
      {"another command", true, kMessageCommand, 1005, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TraceCapture trace;
    RecordingDialogHost host;
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    client.setRepackOnly(true);
    client.handleDialogMessage(&host, kMessageInitDialog, 0, 0);
    client.joinWorker();
    // A program that cannot exist: the launch fails, and is only traced.
    PatchConfig::assign(client.settings().gameCommandLine, "no-such-game-8c1f 1kor1");
    if (c.done) client.markPatchingDone();
    host.clear();

    EXPECT_EQ(client.handleDialogMessage(&host, c.message, c.first, 0), 0);
    auto calls = host.calls();
    if (c.ends) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].kind, Call::kEnd);
      EXPECT_EQ(calls[0].value, 0);
    } else {
      EXPECT_TRUE(calls.empty());
    }
    EXPECT_EQ(trace.contains("starting no-such-game-8c1f 1kor1\n"), c.launches);
    EXPECT_EQ(trace.contains("cannot start no-such-game-8c1f 1kor1\n"), c.launches);
  }
}

TEST_F(DialogProcedureTest, OtherMessagesAreOnlyTraced) {
  initialise();
  EXPECT_EQ(client_.handleDialogMessage(&host_, 0x0200, 1, 2), 0);
  EXPECT_TRUE(host_.calls().empty());
  EXPECT_TRUE(trace_.contains("512 message\n"));
}

TEST_F(DialogProcedureTest, ButtonOneAfterCompletionStartsTheGameCommandLine) {
  initialise();
  // "touch" is found on PATH; its argument lands in the game directory.
  PatchConfig::assign(client_.settings().gameCommandLine, "touch \"game started\"");
  client_.markPatchingDone();
  client_.handleDialogMessage(&host_, kMessageCommand, kStartButton, 0);
  EXPECT_TRUE(host_.ended());
  // The game runs on its own; wait (generously) for its one effect.
  for (int i = 0; i < 500 && !fileExists(dir_.file("game started")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(fileExists(dir_.file("game started")));
}

TEST_F(DialogProcedureTest, LaunchGameDoesNothingBeforeCompletion) {
  PatchConfig::assign(client_.settings().gameCommandLine, "touch started");
  client_.launchGame();
  EXPECT_TRUE(trace_.lines().empty());
}

// A trace hook that never returns on any thread but the test's own: the
// worker stops at its first trace line and keeps running.
std::thread::id testThread;
void holdWorker(const char*, ...) {
  while (std::this_thread::get_id() != testThread) {
    std::this_thread::sleep_for(std::chrono::hours(1));
  }
}

TEST(FinishClient, WhileTheWorkerRunsTheProcessEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  EXPECT_EXIT(
      {
        testThread = std::this_thread::get_id();
        traceHook = holdWorker;
        auto client = std::make_unique<PatchClient>(Env::defaultEnv(), Language::usEnglish);
        client->setRepackOnly(true);
        RecordingDialogHost host;
        client->handleDialogMessage(&host, kMessageInitDialog, 0, 0);
        while (!client->workerRunning()) std::this_thread::yield();
        finishClient(std::move(client), 3);
        std::exit(99);  // not reached: finishClient ends the process
      },
      ::testing::ExitedWithCode(3), "");
}

TEST(FinishClient, AfterTheWorkerEndedTheClientIsDestroyedNormally) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  RecordingDialogHost host;
  auto client = std::make_unique<PatchClient>(Env::defaultEnv(), Language::usEnglish);
  client->setRepackOnly(true);
  client->handleDialogMessage(&host, kMessageInitDialog, 0, 0);
  while (client->workerRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(finishClient(std::move(client), 1), 1);
}

TEST(StartUp, RepackSwitchIsAPlainCaseSensitiveSubstring) {
  struct Case { const char* line; bool repack; };
  const Case cases[] = {{"", false},          {"/repak", true},     {"a /repak b", true},
                        {"x/repaky", true},   {"/REPAK", false},    {"/Repak", false},
                        {"/repa k", false},   {"-repak", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(PatchClient::commandLineAsksRepack(c.line), c.repack) << c.line;
  }
}

TEST(StartUp, DefaultsAreReloadedAndEveryRunSeesTheSameSettings) {
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  PatchConfig::assign(client.settings().archiveFile, "other.vdt");
  client.markPatchingDone();
  client.loadDefaults();
  EXPECT_STREQ(client.settings().archiveFile, "sdata.vdt");
  EXPECT_STREQ(client.settings().gameCommandLine, "qelexe.exe 1kor1");
  EXPECT_STREQ(client.currentPatchName(), "0");
  EXPECT_FALSE(client.patchingDone());
}

}  // namespace
}  // namespace corvanth
