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
#include "archive/entry_cipher.h"
#include "archive/resource_archive.h"

namespace corvanth {

namespace {

constexpr char kSignature[16] = "Keeper of Tomes";

void put32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// Header with the table fields filled in.
std::string header(uint32_t tableOffset, uint32_t count, uint32_t version) {
  std::string out(kSignature, 16);
  out.append(14, '\0');
  put32(&out, tableOffset - 46);
  put32(&out, 0);
  put32(&out, count + 7);
  put32(&out, version);
  return out;
}

std::string zlibCompress(const std::string& raw) {
  uLongf length = compressBound(raw.size());
  std::string out(length, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &length,
           reinterpret_cast<const Bytef*>(raw.data()), raw.size());
  out.resize(length);
  return out;
}

bool isLightName(const std::string& name) {
  return ResourceArchive::isLightCipherName(name.c_str());
}

void mkdirs(const std::string& path) { std::filesystem::create_directories(path); }

}  // namespace

std::string archive20(const std::vector<EntrySpec>& entries, uint32_t slack) {
  std::string data, raw;
  for (const EntrySpec& e : entries) {
    raw += e.name;
    raw.push_back('\0');
    put32(&raw, e.content.size());           // compressedSize
    put32(&raw, e.content.size());           // storedSize
    put32(&raw, e.content.size() * 3 + 1);   // realSize, carried only
    raw.push_back('\0');                     // flags
    put32(&raw, data.size());                // position
    data += e.content;
  }
  std::string table;
  std::string packed = zlibCompress(raw);
  put32(&table, packed.size());
  put32(&table, raw.size());
  table += packed;
  std::string out = header(46 + data.size(), entries.size(), 0x200) + data + table;
  out.append(slack, '\x5A');
  return out;
}

std::string archive1x(const std::vector<EntrySpec>& entries, uint32_t gap) {
  std::string data, table;
  for (const EntrySpec& e : entries) {
    const uint32_t compressed = e.content.size();
    const uint32_t stored = (compressed + 7) / 8 * 8;
    std::string plain = e.content;
    plain.resize(stored, '\0');
    std::string ciphered(stored, '\0');
    auto* in = reinterpret_cast<const uint8_t*>(plain.data());
    auto* out = reinterpret_cast<uint8_t*>(ciphered.data());
    if (isLightName(e.name)) {
      EntryCipher::encipherLight(in, stored, out);
    } else {
      EntryCipher::encipherMixed(in, stored, out, EntryCipher::digitCount(compressed));
    }
    // The name: zero-padded to whole blocks, transformed, nibble-swapped.
    std::string name = e.name;
    name.resize((name.size() + 1 + 7) / 8 * 8, '\0');
    std::string field(name.size(), '\0');
    for (size_t b = 0; b < name.size(); b += 8) {
      EntryCipher::transformBlock(reinterpret_cast<const uint8_t*>(name.data()) + b,
                                  reinterpret_cast<uint8_t*>(field.data()) + b);
    }
    std::string swapped(field.size(), '\0');
    EntryCipher::swapNibbles(reinterpret_cast<const uint8_t*>(field.data()), field.size(),
                             reinterpret_cast<uint8_t*>(swapped.data()));
    field = swapped;
    const uint32_t realSize = compressed * 2 + 5;
    put32(&table, field.size() + 6);
    table += "\x11\x22" + field + "\x33\x44\x55\x66";
    put32(&table, compressed + realSize + 715);
    put32(&table, stored + 37579);
    put32(&table, realSize);
    table.push_back('\0');
    put32(&table, data.size());
    data += ciphered;
  }
  data.append(gap, '\x47');
  return header(46 + data.size(), entries.size(), 0x101) + data + table;
}

bool readArchive(const std::string& path, Contents* contents, uint32_t* version) {
  FileByteSource source;
  ResourceArchive archive;
  if (!source.openRead(path) || !archive.open(&source)) return false;
  contents->clear();
  for (const ArchiveEntry& record : archive.entries()) {
    if (!isFileEntryName(record.name.text)) continue;
    ArchiveEntry copy = record;
    std::string content(copy.compressedSize, '\0');
    if (!archive.readEntryPlain(&copy, reinterpret_cast<uint8_t*>(content.data()))) return false;
    (*contents)[copy.name.text] = content;
  }
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
