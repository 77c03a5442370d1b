// A game installation and its operator for whole-run tests: the game
// directory, the web and FTP file trees with real servers over them,
// archive and package files built in the test, and runs of the client.
#ifndef CORVANTH_TESTS_INTEGRATION_GAME_FIXTURE_H_
#define CORVANTH_TESTS_INTEGRATION_GAME_FIXTURE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dialog_host.h"
#include "platform/env.h"
#include "support/recording_dialog_host.h"
#include "support/temp_dir.h"
#include "support/test_servers.h"

namespace corvanth {

// One archive entry: its name and its (opaque, stored-compressed) content.
struct EntrySpec {
  std::string name;
  std::string content;
};
using Contents = std::map<std::string, std::string>;  // name -> content

// A version 2.0 archive with plain entries back to back, then the table,
// then `slack` unused bytes.
std::string archive20(const std::vector<EntrySpec>& entries, uint32_t slack = 0);
// A version 1.x (0x101) archive whose names and entries are enciphered: the
// light mode for the light-cipher extensions, the mixed mode otherwise; `gap`
// unused bytes lie between the last entry and the table.
std::string archive1x(const std::vector<EntrySpec>& entries, uint32_t gap = 0);
// Opens the archive at path; false when it is no archive. Fills the plain
// content of every file entry and the header's version word.
bool readArchive(const std::string& path, Contents* contents, uint32_t* version = nullptr);

// A package record: a directory (content ignored) or a file.
struct PackageRecord {
  bool directory;
  std::string name;
  std::string content;
};
// The gzip-compressed record stream, with its end record.
std::string packageBytes(const std::vector<PackageRecord>& records);

// 4 bytes little-endian, as the version file holds a number.
std::string versionBytes(uint32_t version);

// A message of the US English catalog, formatted with arg when given.
std::string msg(int number);
std::string msg(int number, const std::string& arg);

class GameFixture {
 public:
  static constexpr const char* kFtpDirectory = "pub/corvanth/QelPatch";

  GameFixture();

  std::string game(const std::string& name) const;  // path in the game directory
  std::string web(const std::string& name) const;   // path served as /patch/name
  std::string ftp(const std::string& name) const;   // path in the FTP patch directory
  const std::string& gameDir() const { return gameDir_; }
  std::string ftpRoot() const { return root_.file("ftp"); }  // served as "/"

  void putGame(const std::string& name, const std::string& bytes) const;
  void putWeb(const std::string& name, const std::string& bytes) const;
  void putFtp(const std::string& name, const std::string& bytes) const;
  std::string readGame(const std::string& name) const { return readFile(game(name)); }
  bool inGame(const std::string& name) const { return fileExists(game(name)); }

  // The usual operator: gate open, a notice, the given list.
  void publish(const std::string& patchList, const std::string& gate = "allow\n") const;

  // Starts the web and FTP servers; port 0 picks a free one.
  ::testing::AssertionResult startServers(int webPort = 0, int ftpPort = 0);
  std::string webHost() const { return web_.hostPort(); }
  std::string ftpHost() const { return ftp_.hostPort(); }
  HttpTestServer& webServer() { return web_; }
  FtpTestServer& ftpServer() { return ftp_; }

 private:
  TempDir root_;
  std::string gameDir_;
  std::string webDir_;
  std::string ftpDir_;
  HttpTestServer web_;
  FtpTestServer ftp_;
};

// What a run showed on the dialog.
struct RunRecord {
  std::vector<std::string> status;  // status texts, transfer lines left out
  std::string lastStatus;           // the status line at the end, whatever it was
  std::vector<RecordingDialogHost::Call> boxes;
  std::string notice;               // the notice box at the end
  std::string button;               // button 1's caption at the end
  bool done = false;                // patchingDone
  bool completed = false;           // runCompleted: the run reached its final message
  int position = -1;                // progress bar at the end
  int range = -1;
};

struct RunOptions {
  std::string webHost;  // "127.0.0.1:PORT"
  std::string ftpHost;
  bool repackOnly = false;
  std::vector<BoxAnswer> answers;  // for Yes/No boxes, in order
  Env* env = nullptr;              // the real file system when null
};

// Runs the worker once in the game directory, as the dialog starts it.
RunRecord runClient(const std::string& gameDir, const RunOptions& options);

// A loopback port that nothing listens on (bound, then released).
int unusedPort();

}  // namespace corvanth

#endif  // CORVANTH_TESTS_INTEGRATION_GAME_FIXTURE_H_
