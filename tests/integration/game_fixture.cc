// GameFixture and the builders of archives and packages for whole runs.
#include "game_fixture.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "app/patch_client.h"
#include "archive/byte_source.h"
#include "archive/resource_archive.h"
#include "support/archive_builder.h"

namespace corvanth {

namespace {

void put32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

void mkdirs(const std::string& path) { std::filesystem::create_directories(path); }

std::string buildArchive(uint32_t version, const std::vector<GameEntry>& entries, uint32_t gap) {
  ArchiveBuilder builder(version);
  for (const GameEntry& e : entries) {
    if (isFileEntryName(e.name.c_str())) {
      builder.add(e.name, e.content);
    } else {
      builder.addDirectory(e.name);
    }
  }
  if (gap != 0) builder.addHole(gap);
  return builder.build().str();
}

}  // namespace

std::string archive20(const std::vector<GameEntry>& entries, uint32_t slack) {
  return buildArchive(kVersion200, entries, 0) + std::string(slack, '\x5A');
}

std::string archive1x(const std::vector<GameEntry>& entries, uint32_t gap) {
  return buildArchive(0x101, entries, gap);
}

bool readArchive(const std::string& path, Contents* contents, uint32_t* version) {
  FileByteSource source;
  ResourceArchive archive;
  if (!source.openRead(path) || !archive.open(&source)) return false;
  *contents = plainContents(&archive);
  std::erase_if(*contents, [](const auto& entry) { return !isFileEntryName(entry.first.c_str()); });
  if (version != nullptr) *version = archive.version();
  return true;
}

std::string packageBytes(const std::vector<PackageRecord>& records) {
  std::string stream;
  for (const PackageRecord& r : records) {
    stream.push_back(r.directory ? 'd' : 'f');
    stream.push_back(static_cast<char>(r.name.size() + 1));
    stream += r.name;
    stream.push_back('\0');
    if (!r.directory) {
      put32(&stream, r.content.size());
      stream += r.content;
    }
  }
  stream += std::string("e\x01\0", 3);
  // A gzip member: deflate with the gzip wrapper.
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, stream.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(stream.data());
  z.avail_in = stream.size();
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = out.size();
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string versionBytes(uint32_t version) {
  std::string out;
  put32(&out, version);
  return out;
}

std::string msg(int number) {
  static PatchClient* catalog = new PatchClient(Env::defaultEnv(), Language::usEnglish);
  return catalog->message(number);
}

std::string msg(int number, const std::string& arg) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, msg(number).c_str(), arg.c_str());
  return buffer;
}

GameFixture::GameFixture() {
  gameDir_ = root_.file("game");
  webDir_ = root_.file("web");
  ftpDir_ = root_.file("ftp/") + kFtpDirectory;
  mkdirs(gameDir_);
  mkdirs(webDir_);
  mkdirs(ftpDir_);
}

std::string GameFixture::game(const std::string& name) const { return gameDir_ + "/" + name; }
std::string GameFixture::web(const std::string& name) const { return webDir_ + "/" + name; }
std::string GameFixture::ftp(const std::string& name) const { return ftpDir_ + "/" + name; }

void GameFixture::putGame(const std::string& name, const std::string& bytes) const {
  writeFile(game(name), bytes);
}
void GameFixture::putWeb(const std::string& name, const std::string& bytes) const {
  writeFile(web(name), bytes);
}
void GameFixture::putFtp(const std::string& name, const std::string& bytes) const {
  writeFile(ftp(name), bytes);
}

void GameFixture::publish(const std::string& patchList, const std::string& gate) const {
  putWeb("patch_allow.txt", gate);
  putWeb("notice_patch.txt", "Patch notice\n");
  putWeb("notice_close.txt", "Closed notice\n");
  putWeb("patch2.txt", patchList);
}

::testing::AssertionResult GameFixture::startServers(int webPort, int ftpPort) {
  ::testing::AssertionResult started = web_.port(webPort).root(webDir_).prefix("/patch").start();
  if (!started) return started;
  return ftp_.port(ftpPort).root(ftpRoot()).start();
}

RunRecord runClient(const std::string& gameDir, const RunOptions& options) {
  ScopedCurrentDir inside(gameDir);
  RecordingDialogHost host;
  for (BoxAnswer answer : options.answers) host.queueAnswer(answer);
  PatchClient client(options.env != nullptr ? options.env : Env::defaultEnv(),
                     Language::usEnglish);
  PatchConfig::assign(client.settings().webHost, options.webHost.c_str());
  PatchConfig::assign(client.settings().ftpHost, options.ftpHost.c_str());
  client.setRepackOnly(options.repackOnly);
  client.handleDialogMessage(&host, kMessageInitDialog, 0, 0);
  client.joinWorker();

  RunRecord record;
  static const std::regex transferLine(".* - [0-9]+/-?[0-9]+");
  for (const std::string& text : host.textsOf(kStatusLine)) {
    if (!std::regex_match(text, transferLine)) record.status.push_back(text);
  }
  record.lastStatus = host.textOf(kStatusLine);
  record.boxes = host.boxes();
  record.notice = host.textOf(kNoticeBox);
  record.button = host.textOf(kStartButton);
  record.done = client.patchingDone();
  record.completed = client.runCompleted();
  record.position = host.positionOf(kProgressBar);
  record.range = host.rangeOf(kProgressBar);
  return record;
}

int unusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace corvanth
