// FTP operations against the test FTP server: listings of every form, the one
// control connection, downloads to a file and into memory, local copies.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/patch_client.h"
#include "support/archive_builder.h"
#include "support/recording_dialog_host.h"
#include "support/temp_dir.h"
#include "support/test_servers.h"

namespace corvanth {
namespace {

using Call = RecordingDialogHost::Call;

constexpr const char* kPatchDirectory = "/pub/corvanth/QelPatch";

// A patch archive holding one entry, grown until its file is exactly size
// bytes (the table's length may move with the content's).
std::string archiveOfSize(const std::string& entryName, size_t size) {
  size_t content = size / 2;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string file = ArchiveBuilder().add(entryName, patternBytes(content)).build().str();
    if (file.size() == size) return file;
    content += size - file.size();  // wraps to a decrease when too long
  }
  ADD_FAILURE() << "no archive of " << size << " bytes";
  return std::string();
}

std::string archiveWith(const std::string& entryName, const std::string& content) {
  return ArchiveBuilder().add(entryName, content).build().str();
}

// The server's patch directory, with the cases a listing and a transfer
// meet on real servers.
class FtpTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    patches_ = served_.path() + kPatchDirectory;
    std::filesystem::create_directories(patches_ + "/sub");
    files_ = {
        {"p1.vpt", archiveWith("a.txt", "first patch")},
        {"P1.vpt", archiveWith("b.txt", "other case, other file")},
        {"p2.vpt", archiveWith("c.txt", "second patch")},
        {"with space.cgz", patternBytes(70000)},
        {"empty.cgz", ""},
        {"broken.vpt", archiveOfSize("d.txt", 500)},
        {"broken.cgz", patternBytes(500, 7)},
        {"notarchive.vpt", "not an archive"},
        {"sub/inner.vpt", "inside"},
    };
    for (const auto& [name, bytes] : files_) {
      ASSERT_TRUE(writeFile(patches_ + "/" + name, bytes));
    }
    client_.bindControls(&host_);
    ASSERT_TRUE(client_.openInternet());
  }

  ::testing::AssertionResult startServer(
      const std::function<void(FtpTestServer&)>& configure = nullptr) {
    server_.root(served_.path())
        .breakAfter("broken.vpt", 400)
        .breakAfter("broken.cgz", 400)
        .commandLog(logs_.file("commands"));
    if (configure) configure(server_);
    return server_.start();
  }

  // Connects, changes to the patch directory and lists it.
  void openPatchDirectory() {
    ASSERT_TRUE(client_.connectFtp(server_.hostPort().c_str()));
    ASSERT_TRUE(client_.changeFtpDirectory(kPatchDirectory));
    ASSERT_GT(client_.listFtpDirectory(), 0);
    host_.clear();
  }

  std::string served(const std::string& name) const { return files_.at(name); }
  std::vector<std::string> commands() const {
    std::vector<std::string> lines;
    std::string text = readFile(logs_.file("commands"));
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  TempDir served_;
  TempDir logs_;
  TempDir game_;
  ScopedCurrentDir inGame_{game_.path()};
  std::string patches_;
  std::map<std::string, std::string> files_;
  FtpTestServer server_;
  RecordingDialogHost host_;
  PatchClient client_{Env::defaultEnv(), Language::usEnglish};
};

TEST_F(FtpTransferTest, ListingsOfEveryFormGiveNamesAndSizes) {
  struct stat info {};
  ASSERT_EQ(::stat((patches_ + "/sub").c_str(), &info), 0);
  struct Case {
    const char* form;
    std::function<void(FtpTestServer&)> configure;
    int32_t subdirectorySize;  // as the server reports it
  };
  const Case cases[] = {
      {"MLSD", nullptr, static_cast<int32_t>(info.st_size)},
      {"Unix LIST", [](FtpTestServer& s) { s.noMlsd(); }, static_cast<int32_t>(info.st_size)},
      {"DOS LIST", [](FtpTestServer& s) { s.noMlsd().dosListing(); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    server_.stop();
    ASSERT_TRUE(startServer([&](FtpTestServer& s) {
      if (c.configure) c.configure(s);
      // Reported twice: the later size stays.
      s.listExtra("twice.vpt", 10).listExtra("twice.vpt", 20);
    }));
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    ASSERT_TRUE(client.openInternet());
    ASSERT_TRUE(client.connectFtp(server_.hostPort().c_str()));
    ASSERT_TRUE(client.changeFtpDirectory(kPatchDirectory));
    // Every file, the subdirectory and twice.vpt once.
    EXPECT_EQ(client.listFtpDirectory(), 10);
    const ServerListing& listing = client.serverListing();
    for (const auto& [name, bytes] : files_) {
      if (name.find('/') != std::string::npos) continue;
      EXPECT_EQ(listing.sizeOf(name), static_cast<int32_t>(bytes.size())) << name;
    }
    ASSERT_TRUE(listing.contains("sub"));
    EXPECT_EQ(listing.sizeOf("sub"), c.subdirectorySize);
    EXPECT_FALSE(listing.contains("inner.vpt"));
    EXPECT_EQ(listing.sizeOf("twice.vpt"), 20);
    // p1.vpt and P1.vpt are two entries of their own sizes.
    EXPECT_NE(listing.sizeOf("p1.vpt"), listing.sizeOf("P1.vpt"));
  }
}

TEST_F(FtpTransferTest, OneAnonymousControlConnectionCarriesEveryListingAndTransfer) {
  ASSERT_TRUE(startServer());
  openPatchDirectory();
  EXPECT_TRUE(client_.downloadFtpFile("with space.cgz"));
  EXPECT_TRUE(client_.downloadFtpPatch("p1.vpt"));
  EXPECT_EQ(client_.listFtpDirectory(), 9);
  EXPECT_TRUE(client_.downloadFtpFile("empty.cgz"));
  client_.disconnectFtp();
  EXPECT_FALSE(client_.hasFtpConnection());
  client_.disconnectFtp();  // a second disconnect does nothing

  std::vector<std::string> log = commands();
  EXPECT_EQ(std::count(log.begin(), log.end(), "connect"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "USER anonymous"), 1);
  // Passive data connections, and binary transfers.
  EXPECT_EQ(std::count(log.begin(), log.end(), "PORT"), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "EPRT"), 0);
  auto retr = std::find(log.begin(), log.end(), "RETR with space.cgz");
  ASSERT_NE(retr, log.end());
  auto type = std::find(log.begin(), retr, "TYPE I");
  EXPECT_NE(type, retr) << "no binary type before the transfer";
}

TEST_F(FtpTransferTest, DownloadToAFileReplacesTheLocalFileOnlyWhenComplete) {
  // The listing understates P1.vpt.
  ASSERT_TRUE(startServer([](FtpTestServer& s) { s.listExtra("P1.vpt", 3); }));
  openPatchDirectory();
  struct Case {
    const char* name;
    bool earlierCopy;
    bool result;
    const char* lastStatus;
  };
  const Case cases[] = {
      {"with space.cgz", true, true, "with space.cgz - 70000/70000"},
      // An empty file: an empty local file, and no transfer line.
      {"empty.cgz", false, true, "Downloading empty.cgz."},
      // Not on the server.
      {"missing.cgz", true, false, "Downloading missing.cgz."},
      // Broken off after 400 of 500 bytes: the earlier copy stays.
      {"broken.cgz", true, false, "broken.cgz - 400/500"},
      // More than listed: stopped at the first piece.
      {"P1.vpt", true, false, "Downloading P1.vpt."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.earlierCopy) {
      ASSERT_TRUE(writeFile(game_.file(c.name), "OLD"));
    }
    host_.clear();
    EXPECT_EQ(client_.downloadFtpFile(c.name), c.result);
    std::vector<std::string> texts = host_.textsOf(kStatusLine);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), std::string("Downloading ") + c.name + ".");
    EXPECT_EQ(texts.back(), c.lastStatus);
    if (c.result) {
      EXPECT_EQ(readFile(game_.file(c.name)), served(c.name));
      if (served(c.name).empty()) {
        EXPECT_EQ(host_.progressCallCount(), 0);
      }
    } else if (c.earlierCopy) {
      EXPECT_EQ(readFile(game_.file(c.name)), "OLD");
    }
    if (fileExists(game_.file(c.name))) std::filesystem::remove(game_.file(c.name));
    EXPECT_TRUE(filesIn(game_.path()).empty()) << "a temporary file was left";
  }
  // One connection up to the first transfer that broke off. That leaves the
  // control connection in doubt, so the next call logs in afresh.
  std::vector<std::string> log = commands();
  auto broken = std::find(log.begin(), log.end(), "RETR broken.cgz");
  EXPECT_EQ(std::count(log.begin(), broken, "connect"), 1) << readFile(logs_.file("commands"));
  EXPECT_TRUE(client_.downloadFtpFile("with space.cgz"));
  EXPECT_EQ(readFile(game_.file("with space.cgz")), served("with space.cgz"));
}

TEST_F(FtpTransferTest, DownloadIntoMemoryKeepsAndOverlaysNewestFirstWritingNothing) {
  ASSERT_TRUE(startServer());
  openPatchDirectory();
  ASSERT_TRUE(client_.downloadFtpPatch("p1.vpt"));
  ASSERT_TRUE(client_.downloadFtpPatch("p2.vpt"));
  const auto& kept = client_.keptPatchArchives();
  ASSERT_EQ(kept.size(), 2u);
  std::string p2 = served("p2.vpt");
  EXPECT_EQ(kept.front()->memory().bytes, std::vector<uint8_t>(p2.begin(), p2.end()));
  EXPECT_EQ(kept.front()->memory().bytes.capacity(), p2.size()) << "reserved once, never grown";
  ASSERT_EQ(client_.mainArchive().patchArchives().size(), 2u);
  EXPECT_EQ(client_.mainArchive().patchArchives().front(), kept.front().get());
  EXPECT_EQ(client_.mainArchive().patchArchives().back(), kept.back().get());
  EXPECT_EQ(host_.textsOf(kStatusLine).back(),
            "p2.vpt - " + std::to_string(p2.size()) + "/" + std::to_string(p2.size()));
  EXPECT_TRUE(filesIn(game_.path()).empty());
}

TEST_F(FtpTransferTest, DownloadIntoMemoryFailuresKeepNothing) {
  // The listing understates p2.vpt.
  ASSERT_TRUE(startServer([](FtpTestServer& s) { s.listExtra("p2.vpt", 5); }));
  openPatchDirectory();
  struct Case {
    const char* name;
    const char* lastStatus;  // "" when nothing is shown
  };
  const Case cases[] = {
      // Not listed: no status text and no request.
      {"nothere.vpt", ""},
      // Broken off after 400 of the listed 500 bytes.
      {"broken.vpt", "broken.vpt - 400/500"},
      // Complete, but no archive.
      {"notarchive.vpt", "notarchive.vpt - 14/14"},
      // More than listed: stopped at the first piece, before the buffer grows.
      {"p2.vpt", "Downloading p2.vpt."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.clear();
    EXPECT_FALSE(client_.downloadFtpPatch(c.name));
    std::vector<std::string> texts = host_.textsOf(kStatusLine);
    EXPECT_EQ(texts.empty() ? "" : texts.back(), c.lastStatus);
    EXPECT_TRUE(client_.keptPatchArchives().empty());
    EXPECT_TRUE(client_.mainArchive().patchArchives().empty());
  }
  std::vector<std::string> log = commands();
  EXPECT_EQ(std::count(log.begin(), log.end(), "RETR nothere.vpt"), 0);
  EXPECT_TRUE(filesIn(game_.path()).empty());
}

TEST_F(FtpTransferTest, LocalPatchIsReadInChunksOf10240) {
  std::string patch = archiveOfSize("e.txt", 25000);
  ASSERT_EQ(patch.size(), 25000u);
  ASSERT_TRUE(writeFile(game_.file("big.vpt"), patch));
  client_.mutableServerListing().setSize("big.vpt", 25000);
  ASSERT_TRUE(client_.loadLocalPatch("big.vpt"));
  EXPECT_EQ(host_.textsOf(kStatusLine),
            (std::vector<std::string>{"big.vpt - 10240/25000", "big.vpt - 20480/25000",
                                      "big.vpt - 25000/25000"}));
  ASSERT_EQ(client_.keptPatchArchives().size(), 1u);
  EXPECT_EQ(client_.mainArchive().patchArchives().front(),
            client_.keptPatchArchives().front().get());
  EXPECT_EQ(readFile(game_.file("big.vpt")), patch) << "the local copy stays as it was";
}

TEST_F(FtpTransferTest, LocalPatchOfAnotherSizeOrNoArchiveIsNotLoaded) {
  std::string patch = archiveWith("a.txt", "first patch");
  ASSERT_TRUE(writeFile(game_.file("p1.vpt"), patch));
  ASSERT_TRUE(writeFile(game_.file("junk.vpt"), "not an archive"));
  ServerListing& listing = client_.mutableServerListing();
  listing.setSize("p1.vpt", static_cast<int32_t>(patch.size()) + 1);
  listing.setSize("junk.vpt", 14);
  listing.setSize("gone.vpt", 14);
  EXPECT_FALSE(client_.loadLocalPatch("p1.vpt"));
  EXPECT_TRUE(host_.textsOf(kStatusLine).empty());
  EXPECT_FALSE(client_.loadLocalPatch("junk.vpt"));
  EXPECT_FALSE(client_.loadLocalPatch("gone.vpt"));
  EXPECT_TRUE(client_.keptPatchArchives().empty());
  EXPECT_TRUE(client_.mainArchive().patchArchives().empty());
}

TEST_F(FtpTransferTest, LocalCopyIsCompleteWhenItsSizeIsTheListedOne) {
  ServerListing& listing = client_.mutableServerListing();
  listing.setSize("same.cgz", 5);
  listing.setSize("short.cgz", 6);
  listing.setSize("P1.cgz", 5);
  ASSERT_TRUE(writeFile(game_.file("same.cgz"), "other"));  // bytes differ, size agrees
  ASSERT_TRUE(writeFile(game_.file("short.cgz"), "other"));
  ASSERT_TRUE(writeFile(game_.file("p1.cgz"), "other"));
  EXPECT_TRUE(client_.isLocalCopyComplete("same.cgz"));
  EXPECT_FALSE(client_.isLocalCopyComplete("short.cgz"));
  EXPECT_FALSE(client_.isLocalCopyComplete("p1.cgz"));  // P1.cgz is another name
  EXPECT_FALSE(client_.isLocalCopyComplete("missing.cgz"));
}

TEST_F(FtpTransferTest, DirectoriesAndMissingConnections) {
  ASSERT_TRUE(startServer());
  // Nothing works before a connection; the listing stays as it was.
  client_.mutableServerListing().setSize("kept.vpt", 1);
  EXPECT_FALSE(client_.changeFtpDirectory(kPatchDirectory));
  EXPECT_EQ(client_.listFtpDirectory(), 0);
  EXPECT_TRUE(client_.serverListing().contains("kept.vpt"));
  EXPECT_FALSE(client_.downloadFtpFile("p1.vpt"));
  EXPECT_FALSE(client_.downloadFtpPatch("kept.vpt"));

  ASSERT_TRUE(client_.connectFtp(server_.hostPort().c_str()));
  // Relative steps; a refused change keeps the current directory.
  EXPECT_TRUE(client_.changeFtpDirectory("pub"));
  EXPECT_FALSE(client_.changeFtpDirectory("nowhere"));
  EXPECT_TRUE(client_.changeFtpDirectory("corvanth/QelPatch"));
  EXPECT_FALSE(client_.changeFtpDirectory("/no/such/place"));
  EXPECT_EQ(client_.listFtpDirectory(), 9);
  EXPECT_TRUE(client_.changeFtpDirectory("sub"));
  EXPECT_EQ(client_.listFtpDirectory(), 1);
  EXPECT_TRUE(client_.serverListing().contains("inner.vpt"));

  // No session, or no server: no connection.
  int port = server_.listeningPort();
  server_.stop();
  PatchClient offline(Env::defaultEnv(), Language::usEnglish);
  EXPECT_FALSE(offline.connectFtp(("127.0.0.1:" + std::to_string(port)).c_str()));
  ASSERT_TRUE(offline.openInternet());
  EXPECT_FALSE(offline.connectFtp(("127.0.0.1:" + std::to_string(port)).c_str()));
  EXPECT_FALSE(offline.hasFtpConnection());
}

}  // namespace
}  // namespace corvanth
