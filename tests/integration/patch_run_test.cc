// Whole patch runs and repack-only runs in process, against real web and
// FTP servers on loopback, through the recording dialog host.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/patch_client.h"
#include "game_fixture.h"

namespace corvanth {
namespace {

// True when every text of want appears in have, in this order.
::testing::AssertionResult inOrder(const std::vector<std::string>& have,
                                   const std::vector<std::string>& want) {
  size_t at = 0;
  for (const std::string& text : have) {
    if (at < want.size() && text == want[at]) ++at;
  }
  if (at == want.size()) return ::testing::AssertionSuccess();
  std::string shown;
  for (const std::string& text : have) shown += "\n  " + text;
  return ::testing::AssertionFailure() << "missing \"" << want[at] << "\" in:" << shown;
}

// The boxes of a run, for failure messages.
std::string boxesOf(const RunRecord& r) {
  std::string out;
  for (const auto& box : r.boxes) out += "[" + box.caption + ": " + box.text + "] ";
  return out;
}

// Fails the n-th write (1-based) into the archive file; 0 fails none.
class FailingArchiveWritesEnv : public EnvWrapper {
 public:
  explicit FailingArchiveWritesEnv(int n) : EnvWrapper(Env::defaultEnv()), left_(n) {}
  std::unique_ptr<RandomFile> openReadWrite(const std::string& path, WriteMode mode) override {
    std::unique_ptr<RandomFile> file = target()->openReadWrite(path, mode);
    if (file == nullptr || path != "sdata.vdt" || left_ == 0) return file;
    return std::make_unique<Failing>(std::move(file), &left_);
  }

 private:
  class Failing : public RandomFile {
   public:
    Failing(std::unique_ptr<RandomFile> file, int* left) : file_(std::move(file)), left_(left) {}
    int64_t readAt(uint64_t offset, void* out, size_t n) override {
      return file_->readAt(offset, out, n);
    }
    int64_t writeAt(uint64_t offset, const void* data, size_t n) override {
      if (--*left_ == 0) return -1;
      return file_->writeAt(offset, data, n);
    }
    bool sync() override { return file_->sync(); }
    uint64_t size() override { return file_->size(); }

   private:
    std::unique_ptr<RandomFile> file_;
    int* left_;
  };
  int left_;
};

// Fails exactly the renames of the archive swap.
class FailingRenameEnv : public EnvWrapper {
 public:
  FailingRenameEnv() : EnvWrapper(Env::defaultEnv()) {}
  bool renameFile(const std::string&, const std::string&) override { return false; }
};

const std::vector<EntrySpec> kBase = {
    {"data", ""},  // a directory entry
    {"a.tzl", "light cipher content of a, some bytes"},
    {"b.dat", "mixed cipher content of b: 0123456789abcdefghijklmnopqrstuvwxyz"},
    {"c.bin", std::string(300, 'c')},
};

class PatchRun : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fx.startServers()); }

  RunRecord run(std::vector<BoxAnswer> answers = {}, Env* env = nullptr) {
    return runClient(fx.gameDir(), {fx.webHost(), fx.ftpHost(), false, answers, env});
  }
  RunRecord repackOnly(Env* env = nullptr) {
    // No network in this mode: the hosts lead nowhere.
    std::string nowhere = "127.0.0.1:" + std::to_string(unusedPort());
    return runClient(fx.gameDir(), {nowhere, nowhere, true, {}, env});
  }
  Contents archive() {
    Contents contents;
    EXPECT_TRUE(readArchive(fx.game("sdata.vdt"), &contents));
    return contents;
  }
  static Contents contentsOf(const std::vector<EntrySpec>& entries) {
    Contents out;
    for (const EntrySpec& e : entries) {
      if (e.name.find('.') != std::string::npos) out[e.name] = e.content;
    }
    return out;
  }
  void expectCompleted(const RunRecord& r) {
    EXPECT_TRUE(r.done);
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.button, msg(22));
    EXPECT_EQ(r.lastStatus, msg(21));
  }
  void expectEndedEarly(const RunRecord& r) {
    EXPECT_FALSE(r.done);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.button, msg(14));
  }

  GameFixture fx;
};

// --- Gate, notices, patch list ---

TEST_F(PatchRun, GateDecidesByItsFirstFourBytes) {
  struct Case { const char* what; std::string gate; bool closed; };
  const Case cases[] = {
      {"deny with a line break", "deny\n", true},
      {"deny and more", "denyall", true},
      {"capitalised", "Deny\n", false},
      {"blank first", " deny\n", false},
      {"too short to say deny", "den", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx.publish("", c.gate);
    RunRecord r = run();
    EXPECT_TRUE(r.boxes.empty()) << boxesOf(r);
    if (c.closed) {
      EXPECT_EQ(r.notice, "Closed notice\n");
      expectEndedEarly(r);
      EXPECT_EQ(r.status, std::vector<std::string>{msg(15)});
    } else {
      EXPECT_EQ(r.notice, "Patch notice\n");
      expectCompleted(r);  // the empty list has nothing newer
    }
    EXPECT_FALSE(fx.inGame("spatch.inf"));
  }
}

TEST_F(PatchRun, OldCopiesAreUsedWhenTheWebServerIsDown) {
  fx.putFtp("a.vpt", archive20({{"new.dat", "from the old list"}}));
  fx.putGame("sdata.vdt", archive20({{"x.dat", "x"}}));
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> copies;  // local web files
    bool done;
    std::string notice;
  };
  const Case cases[] = {
      {"no copies at all", {}, false, ""},
      {"old gate says deny", {{"patch_allow.txt", "deny"}, {"notice_close.txt", "old closed"}},
       false, "old closed"},
      {"gate but no list", {{"patch_allow.txt", "ok"}, {"notice_patch.txt", "old notice"}}, true,
       "old notice"},
      {"gate only: the notice box keeps its text", {{"patch_allow.txt", "ok"}}, true, ""},
      {"gate, notice and list",
       {{"patch_allow.txt", "ok"}, {"notice_patch.txt", "old notice"}, {"patch2.txt", "1 a.vpt\n"}},
       true, "old notice"},
  };
  fx.webServer().stop();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"patch_allow.txt", "notice_patch.txt", "notice_close.txt", "patch2.txt"}) {
      std::filesystem::remove(fx.game(name));
    }
    for (const auto& [name, bytes] : c.copies) fx.putGame(name, bytes);
    RunRecord r = run();
    EXPECT_TRUE(r.boxes.empty()) << boxesOf(r);
    EXPECT_EQ(r.done, c.done);
    EXPECT_EQ(r.notice, c.notice);
    if (!c.done) {
      EXPECT_EQ(r.status, std::vector<std::string>{msg(15)});
    }
  }
  // The last case applied the old list's patch.
  EXPECT_EQ(archive(), (Contents{{"x.dat", "x"}, {"new.dat", "from the old list"}}));
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(1));
}

TEST_F(PatchRun, NoticeEndsAtAZeroByte) {
  fx.publish("");
  fx.putWeb("notice_patch.txt", std::string("Before\0after", 12));
  EXPECT_EQ(run().notice, "Before");
}

TEST_F(PatchRun, NothingNewerLeavesTheVersionFileAlone) {
  struct Case { const char* what; uint32_t version; std::string list; };
  const Case cases[] = {
      {"equal to the highest", 7, "3 a.vpt\n7 b.vpt\n"},
      {"above every number", 9, "3 a.vpt\n7 b.vpt\n"},
      {"above 2^31 counts as up to date", 0x80000000u, "3 a.vpt\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx.publish(c.list);
    fx.putGame("spatch.inf", versionBytes(c.version));
    std::filesystem::file_time_type before = std::filesystem::last_write_time(fx.game("spatch.inf"));
    RunRecord r = run();
    expectCompleted(r);
    EXPECT_EQ(r.status, (std::vector<std::string>{msg(15), msg(21)}));
    EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(c.version));
    EXPECT_EQ(std::filesystem::last_write_time(fx.game("spatch.inf")), before);
    EXPECT_FALSE(fx.inGame("sdata.vdt"));  // never opened
  }
}

// --- The road of a patch run ---

TEST_F(PatchRun, FromAnEncipheredArchiveThroughArchivesAPackageAndAPlainFile) {
  fx.putGame("sdata.vdt", archive1x(kBase));
  fx.putGame("spatch.inf", versionBytes(1));
  fx.publish("1 old.vpt\n2 p2.vpt\n3 p3.vpt\n4 mappack.cgz\n5 readme.txt\n");
  fx.putFtp("p2.vpt", archive20({{"b.dat", "b from p2"}, {"e.dat", "new entry e"}}));
  fx.putFtp("p3.vpt", archive20({{"b.dat", "b from p3, the newest"}, {"a.tzl", "a from p3"}}));
  fx.putFtp("mappack.cgz", packageBytes({{true, "maps", ""}, {false, "maps/m1.txt", "map one"}}));
  fx.putFtp("readme.txt", "plain file, kept as it is\n");

  RunRecord r = run();
  expectCompleted(r);
  EXPECT_TRUE(r.boxes.empty()) << boxesOf(r);
  EXPECT_TRUE(inOrder(r.status, {msg(15), msg(16), msg(20), msg(10, "readme.txt"), msg(21)}));
  EXPECT_EQ(r.position, 1);
  EXPECT_EQ(r.range, 1);

  Contents want = contentsOf(kBase);
  want["a.tzl"] = "a from p3";
  want["b.dat"] = "b from p3, the newest";
  want["e.dat"] = "new entry e";
  uint32_t version = 0;
  Contents have;
  ASSERT_TRUE(readArchive(fx.game("sdata.vdt"), &have, &version));
  EXPECT_EQ(have, want);
  EXPECT_EQ(version, 0x200u);
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(5));
  EXPECT_EQ(fx.readGame("maps/m1.txt"), "map one");
  EXPECT_FALSE(fx.inGame("mappack.cgz"));
  EXPECT_FALSE(fx.inGame("mappack"));  // the intermediate file is gone
  EXPECT_EQ(fx.readGame("readme.txt"), "plain file, kept as it is\n");
  EXPECT_FALSE(fx.inGame("p2.vpt"));  // archives travel in memory only
}

TEST_F(PatchRun, CompletionFocusesAndFlagsBeforeTheCaption) {
  // Notes whether the flag was already up when button 1 got its caption.
  struct FlagWatchingHost : RecordingDialogHost {
    void setControlText(int control, const std::string& text) override {
      if (control == kStartButton) flagAtCaption = client->patchingDone();
      RecordingDialogHost::setControlText(control, text);
    }
    PatchClient* client = nullptr;
    bool flagAtCaption = false;
  };
  fx.publish("");
  FlagWatchingHost host;
  ScopedCurrentDir inside(fx.gameDir());
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  host.client = &client;
  PatchConfig::assign(client.settings().webHost, fx.webHost().c_str());
  client.bindControls(&host);
  client.runPatchSession();
  EXPECT_TRUE(host.flagAtCaption);
  EXPECT_TRUE(client.runCompleted());
  std::vector<RecordingDialogHost::Call> calls = host.calls();
  ASSERT_GE(calls.size(), 3u);
  const auto& focus = calls[calls.size() - 3];
  const auto& caption = calls[calls.size() - 2];
  const auto& status = calls.back();
  EXPECT_EQ(focus.kind, RecordingDialogHost::Call::kFocus);
  EXPECT_EQ(focus.control, kStartButton);
  EXPECT_EQ(caption.control, kStartButton);
  EXPECT_EQ(caption.text, msg(22));
  EXPECT_EQ(status.control, kStatusLine);
  EXPECT_EQ(status.text, msg(21));
  EXPECT_FALSE(client.hasInternet());
}

TEST_F(PatchRun, PendingPatchesInListOrderFromTheFirstNewer) {
  // Version 3: 2 is skipped (it is not even on the server); 4, 4, 7 follow.
  fx.putGame("sdata.vdt", archive20({{"x.dat", "base"}}));
  fx.putGame("spatch.inf", versionBytes(3));
  fx.publish("7 last.txt\n4 b4.vpt\n2 old.vpt\n4 a4.vpt\n");
  fx.putFtp("a4.vpt", archive20({{"x.dat", "from a4"}, {"y.dat", "y from a4"}}));
  fx.putFtp("b4.vpt", archive20({{"x.dat", "from b4"}}));
  fx.putFtp("last.txt", "seven");
  RunRecord r = run();
  expectCompleted(r);
  EXPECT_TRUE(inOrder(r.status, {msg(10, "last.txt")}));
  EXPECT_EQ(archive(), (Contents{{"x.dat", "from b4"}, {"y.dat", "y from a4"}}));
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(7));
}

TEST_F(PatchRun, CompleteLocalCopiesAreUsedAndIncompleteOnesFetched) {
  const std::string pkServer = packageBytes({{false, "pk_full.txt", "server package"}});
  const std::string pkLocal = packageBytes({{false, "pk_full.txt", "local  package"}});
  ASSERT_EQ(pkServer.size(), pkLocal.size());
  fx.putGame("sdata.vdt", archive20({{"x.dat", "base"}}));
  fx.publish("1 full.vpt\n2 part.vpt\n3 full.txt\n4 part.txt\n5 full.cgz\n6 part.cgz\n");
  // Same size, other bytes: a complete copy as far as the listing can tell.
  fx.putFtp("full.vpt", archive20({{"f.dat", "server"}}));
  fx.putGame("full.vpt", archive20({{"f.dat", "local!"}}));
  fx.putFtp("part.vpt", archive20({{"p.dat", "server"}}));
  fx.putGame("part.vpt", archive20({{"p.dat", "local, longer"}}));
  fx.putFtp("full.txt", "server");
  fx.putGame("full.txt", "local!");
  fx.putFtp("part.txt", "server text");
  fx.putGame("part.txt", "loc");
  fx.putFtp("full.cgz", pkServer);
  fx.putGame("full.cgz", pkLocal);
  fx.putFtp("part.cgz", packageBytes({{false, "pk_part.txt", "server part package"}}));
  fx.putGame("part.cgz", "short");

  RunRecord r = run();
  expectCompleted(r);
  EXPECT_EQ(archive(), (Contents{{"x.dat", "base"}, {"f.dat", "local!"}, {"p.dat", "server"}}));
  EXPECT_EQ(fx.readGame("full.vpt"), archive20({{"f.dat", "local!"}}));  // left as it was
  EXPECT_EQ(fx.readGame("full.txt"), "local!");
  EXPECT_EQ(fx.readGame("part.txt"), "server text");
  EXPECT_EQ(fx.readGame("pk_full.txt"), "local  package");
  EXPECT_EQ(fx.readGame("pk_part.txt"), "server part package");
  EXPECT_TRUE(fx.inGame("full"));   // a local package keeps its intermediate file
  EXPECT_FALSE(fx.inGame("part"));  // a downloaded one does not
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(6));
}

TEST_F(PatchRun, NewestLineWithoutANameStillSavesAndRecords) {
  const std::string before = archive20({{"x.dat", "base"}});
  fx.putGame("sdata.vdt", before);
  fx.putGame("spatch.inf", versionBytes(1));
  fx.publish("1 a.vpt\n6\n");
  RunRecord r = run();
  expectCompleted(r);
  EXPECT_EQ(r.status, (std::vector<std::string>{msg(15), msg(16), msg(20), msg(10, "0"), msg(21)}));
  EXPECT_EQ(archive(), (Contents{{"x.dat", "base"}}));
  EXPECT_NE(fx.readGame("sdata.vdt"), before);  // a fresh table was written
  EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(6));
}

// --- Failures of the application loop ---

TEST_F(PatchRun, FailuresEndTheRunWithoutRecordingTheVersion) {
  std::string badPackage = packageBytes({{false, "z.txt", std::string(2000, 'z')}});
  badPackage[badPackage.size() - 8] ^= 0x55;  // the CRC no longer matches
  struct Case {
    const char* what;
    std::string list;
    std::string status;  // the last status text
  };
  const Case cases[] = {
      {"not in the listing, though complete locally", "1 a.vpt\n2 gone.vpt\n", msg(24, "gone.vpt")},
      {"not an archive", "1 broken.vpt\n", msg(24, "broken.vpt")},
      {"listed but not downloadable", "1 ghost.txt\n", msg(24, "ghost.txt")},
      {"damaged package", "1 bad.cgz\n", msg(25, "bad.cgz")},
      {"a path, not a name", "1 ../evil.txt\n", msg(24, "../evil.txt")},
      {"a path with a backslash", "1 sub\\x.txt\n", msg(24, "sub\\x.txt")},
      {"the parent directory", "1 ..\n", msg(24, "..")},
      {"the directory itself", "1 .\n", msg(24, ".")},
  };
  const std::string base = archive20({{"x.dat", "base"}});
  fx.putFtp("a.vpt", archive20({{"x.dat", "patched"}}));
  fx.putGame("gone.vpt", archive20({{"x.dat", "never used"}}));
  fx.putFtp("broken.vpt", "this is not an archive at all, not even close to one");
  fx.putFtp("bad.cgz", badPackage);
  // The listing reports these though no file backs them.
  fx.ftpServer().stop();
  FtpTestServer& ftp = fx.ftpServer();
  for (const char* name : {"ghost.txt", "../evil.txt", "sub\\x.txt", "..", "."}) ftp.listExtra(name, 10);
  ASSERT_TRUE(ftp.start());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx.putGame("sdata.vdt", base);
    fx.publish(c.list);
    RunRecord r = run();
    expectEndedEarly(r);
    EXPECT_TRUE(r.boxes.empty()) << boxesOf(r);
    EXPECT_EQ(r.lastStatus, c.status);
    EXPECT_EQ(fx.readGame("sdata.vdt"), base);
    EXPECT_FALSE(fx.inGame("spatch.inf"));
  }
  EXPECT_FALSE(std::filesystem::exists(fx.game("../evil.txt")));
}

TEST_F(PatchRun, FileServerOutOfReach) {
  fx.publish("1 a.vpt\n");
  RunOptions options;
  options.webHost = fx.webHost();
  options.ftpHost = "127.0.0.1:" + std::to_string(unusedPort());
  RunRecord r = runClient(fx.gameDir(), options);
  expectEndedEarly(r);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].text, msg(19));
  EXPECT_EQ(r.boxes[0].caption, msg(18));
  EXPECT_EQ(r.boxes[0].value, 0);  // OK button
  EXPECT_EQ(r.lastStatus, msg(16));
}

TEST_F(PatchRun, ArchiveThatCannotBeOpenedOrSavedIsReportedInABox) {
  struct Case { const char* what; std::string archive; int failingWrite; };
  const Case cases[] = {
      {"not an archive", std::string(100, 'n'), 0},
      {"the first data write fails", archive20({{"x.dat", "old"}, {"y.dat", "old"}}), 1},
      {"the table write fails", archive20({{"x.dat", "old"}, {"y.dat", "old"}}), 3},
  };
  fx.publish("1 a.vpt\n");
  fx.putFtp("a.vpt", archive20({{"x.dat", "patched"}, {"y.dat", "patched"}}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx.putGame("sdata.vdt", c.archive);
    FailingArchiveWritesEnv env(c.failingWrite);
    RunRecord r = run({}, &env);
    expectEndedEarly(r);
    ASSERT_EQ(r.boxes.size(), 1u) << boxesOf(r);
    EXPECT_EQ(r.boxes[0].text, msg(31));
    EXPECT_EQ(r.boxes[0].caption, "Error");
    if (c.failingWrite == 0) {
      EXPECT_EQ(fx.readGame("sdata.vdt"), c.archive);
    } else {
      EXPECT_EQ(archive(), (Contents{{"x.dat", "old"}, {"y.dat", "old"}}));
    }
    EXPECT_FALSE(fx.inGame("spatch.inf"));
  }
}

// --- The waste check and the repack question ---

// A 2.0 archive of exactly 1000 bytes whose save (with nothing pending)
// leaves `wasted` bytes free: the new table lands in the trailing slack.
std::string archiveOf1000With(uint32_t wasted, Contents* contents) {
  for (uint32_t data = 1; data < 700; ++data) {
    std::vector<EntrySpec> entries = {{"w.dat", std::string(data, 'w')}};
    std::string packed = archive20(entries);
    const uint32_t table = packed.size() - 46 - data;
    // The save writes a table of the same records: table bytes again.
    if (packed.size() + table + wasted == 1000) {
      *contents = {{"w.dat", entries[0].content}};
      return archive20(entries, table + wasted);
    }
  }
  return "";
}

TEST_F(PatchRun, RepackIsOfferedAboveAFifthOfWaste) {
  struct Case {
    const char* what;
    uint32_t wasted;
    BoxAnswer answer;
    bool asked;
    bool repacked;
  };
  const Case cases[] = {
      {"200 of 1000: no question", 200, BoxAnswer::yes, false, false},
      {"201 of 1000, answered No", 201, BoxAnswer::no, true, false},
      {"201 of 1000, answered Yes", 201, BoxAnswer::yes, true, true},
  };
  fx.publish("1 note.txt\n");
  fx.putFtp("note.txt", "n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Contents contents;
    const std::string before = archiveOf1000With(c.wasted, &contents);
    ASSERT_EQ(before.size(), 1000u);
    fx.putGame("sdata.vdt", before);
    std::filesystem::remove(fx.game("spatch.inf"));
    RunRecord r = run({c.answer});
    expectCompleted(r);
    ASSERT_EQ(r.boxes.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(r.boxes[0].text, msg(34));
      EXPECT_EQ(r.boxes[0].caption, "Error");
      EXPECT_EQ(r.boxes[0].value, 1);  // Yes and No
    }
    EXPECT_EQ(archive(), contents);
    const uint64_t size = std::filesystem::file_size(fx.game("sdata.vdt"));
    if (c.repacked) {
      EXPECT_LT(size, 1000u - c.wasted);
    } else {
      EXPECT_EQ(size, 1000u);
    }
    EXPECT_FALSE(fx.inGame("tmpdata.vdt"));
    EXPECT_EQ(fx.readGame("spatch.inf"), versionBytes(1));
  }
}

TEST_F(PatchRun, FailedRepackInARunKeepsTheVersion) {
  struct Case { const char* what; bool tmpIsDirectory; bool failRename; };
  const Case cases[] = {
      {"copy cannot be written", true, false},
      {"copy cannot be renamed", false, true},
  };
  fx.publish("1 a.vpt\n");
  fx.putFtp("a.vpt", archive20({{"w.dat", "patched"}}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(fx.game("tmpdata.vdt"));
    fx.putGame("sdata.vdt", archive20({{"w.dat", "old"}}, 5000));
    if (c.tmpIsDirectory) std::filesystem::create_directory(fx.game("tmpdata.vdt"));
    FailingRenameEnv failingRename;
    RunRecord r = run({BoxAnswer::yes}, c.failRename ? &failingRename : nullptr);
    expectEndedEarly(r);
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[0].text, msg(34));
    EXPECT_EQ(r.boxes[1].text, msg(31));
    EXPECT_EQ(r.boxes[1].caption, "Error");
    // Saved, not repacked; the version stays for the next run.
    EXPECT_EQ(archive(), (Contents{{"w.dat", "patched"}}));
    EXPECT_FALSE(fx.inGame("spatch.inf"));
    if (c.failRename) {
      Contents copy;
      ASSERT_TRUE(readArchive(fx.game("tmpdata.vdt"), &copy));
      EXPECT_EQ(copy, (Contents{{"w.dat", "patched"}}));
    }
  }
}

// --- The repack-only run ---

TEST_F(PatchRun, RepackOnlyReplacesTheArchiveWithACompactCopy) {
  struct Case { const char* what; std::string oldTemporary; };
  const Case cases[] = {
      {"no temporary file", ""},
      {"a longer temporary file is written over", std::string(20000, 't')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx.putGame("sdata.vdt", archive1x(kBase, 3000));
    if (!c.oldTemporary.empty()) fx.putGame("tmpdata.vdt", c.oldTemporary);
    RunRecord r = repackOnly();
    EXPECT_TRUE(r.boxes.empty()) << boxesOf(r);
    EXPECT_FALSE(r.done);  // the game cannot be started from this run
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.button, msg(14));
    EXPECT_EQ(r.status, (std::vector<std::string>{msg(15), msg(10, "0"), msg(21)}));
    EXPECT_EQ(r.position, 1);
    EXPECT_EQ(r.range, 1);
    uint32_t version = 0;
    Contents have;
    ASSERT_TRUE(readArchive(fx.game("sdata.vdt"), &have, &version));
    EXPECT_EQ(have, contentsOf(kBase));
    EXPECT_EQ(version, 0x200u);
    EXPECT_FALSE(fx.inGame("tmpdata.vdt"));
    EXPECT_FALSE(fx.inGame("spatch.inf"));
    EXPECT_FALSE(fx.inGame("patch_allow.txt"));  // no network access
    if (c.oldTemporary.empty()) {
      EXPECT_LT(std::filesystem::file_size(fx.game("sdata.vdt")), archive1x(kBase).size());
    }
  }
}

TEST_F(PatchRun, FailedRepackOnlyLeavesTheArchiveByteForByte) {
  struct Case { const char* what; bool tmpIsDirectory; bool failRename; };
  const Case cases[] = {
      {"copy cannot be written", true, false},
      {"copy cannot be renamed", false, true},
  };
  const std::string before = archive1x(kBase, 3000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(fx.game("tmpdata.vdt"));
    fx.putGame("sdata.vdt", before);
    if (c.tmpIsDirectory) std::filesystem::create_directory(fx.game("tmpdata.vdt"));
    FailingRenameEnv failingRename;
    RunRecord r = repackOnly(c.failRename ? &failingRename : nullptr);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, msg(31));
    EXPECT_EQ(r.boxes[0].caption, "Error");
    EXPECT_EQ(r.lastStatus, msg(10, "0"));
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(fx.readGame("sdata.vdt"), before);
  }
}

TEST_F(PatchRun, RepackOnlyWithoutAnArchiveStillFinishes) {
  RunRecord r = repackOnly();
  EXPECT_TRUE(r.boxes.empty()) << boxesOf(r);
  EXPECT_EQ(r.lastStatus, msg(21));
  EXPECT_EQ(r.position, 1);
  EXPECT_EQ(r.range, 1);
}

}  // namespace
}  // namespace corvanth
