// The FTP operations of the patch run: connection, listing, downloads to a
// file and into memory, and complete local copies of patch archives.
#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "app/patch_client.h"
#include "archive/byte_source.h"
#include "net/ftp_connection.h"
#include "net/internet_session.h"
#include "net/staged_file.h"
#include "net/transfer_progress.h"
#include "platform/memory_hint.h"

namespace corvanth {

namespace {

// Catalog text shown before each FTP download: "%s" is the file name.
constexpr int kDownloadingMessage = 23;
// Reading a local patch archive into memory goes in pieces this large.
constexpr uint32_t kLocalChunk = 10240;

// False when the memory cannot be had; nothing is thrown to the caller.
bool reserveWhole(std::vector<uint8_t>* bytes, uint32_t size) {
  try {
    bytes->reserve(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

FtpConnection* connectionOf(const std::unique_ptr<NetworkHandle>& handle) {
  return dynamic_cast<FtpConnection*>(handle.get());
}

}  // namespace

bool PatchClient::connectFtp(const char* host) {
  if (internet_ == nullptr) return false;
  ftp_ = FtpConnection::connect(host);
  return ftp_ != nullptr;
}

void PatchClient::disconnectFtp() { ftp_.reset(); }

bool PatchClient::changeFtpDirectory(const char* directory) {
  FtpConnection* connection = connectionOf(ftp_);
  return connection != nullptr && connection->changeDirectory(directory);
}

int PatchClient::listFtpDirectory() {
  FtpConnection* connection = connectionOf(ftp_);
  if (connection == nullptr) return 0;
  serverListing_.clear();
  connection->list(&serverListing_);
  return static_cast<int>(serverListing_.size());
}

bool PatchClient::downloadFtpFile(const char* name) {
  FtpConnection* connection = connectionOf(ftp_);
  if (connection == nullptr) return false;
  setStatusFormat(message(kDownloadingMessage), name);
  StagedFile file(env_, name);
  if (!file.create()) return false;
  const int32_t expected = serverListing_.sizeOf(name);
  const uint32_t listed = static_cast<uint32_t>(expected);
  TransferProgress progress(this, name, expected);
  uint32_t received = 0;
  bool written = true;
  bool delivered = connection->retrieve(name, [&](const char* data, size_t n) {
    // More than listed cannot end well: stop rather than fill the disk.
    if (n > listed - received || !file.append(data, n)) {
      written = false;
      return false;
    }
    received += static_cast<uint32_t>(n);
    progress.advance(received);
    return true;
  });
  progress.finish(received);
  // Only a whole file of the listed size replaces the local one.
  if (!delivered || !written || received != listed) return false;
  return file.commit();
}

bool PatchClient::isLocalCopyComplete(const char* name) {
  FileByteSource file(env_);
  if (!file.openRead(name)) return false;
  return file.size() == static_cast<uint32_t>(serverListing_.sizeOf(name));
}

bool PatchClient::downloadFtpPatch(const char* name) {
  FtpConnection* connection = connectionOf(ftp_);
  if (connection == nullptr || !serverListing_.contains(name)) return false;
  const int32_t expected = serverListing_.sizeOf(name);
  if (expected < 0) return false;  // 2 GiB or more: not held in memory
  setStatusFormat(message(kDownloadingMessage), name);
  const uint32_t listed = static_cast<uint32_t>(expected);
  auto archive = std::make_unique<MemoryArchive>();
  std::vector<uint8_t>& bytes = archive->memory().bytes;
  // Room for the whole patch up front, so it is never copied while growing.
  if (!reserveWhole(&bytes, listed)) return false;
  adviseLargeBuffer(bytes.data(), bytes.capacity());
  // Clearing fresh pages can cost as much as the transfer itself; a helper
  // makes them ahead of the arriving bytes. Joined before archive goes.
  std::jthread preparer;
  if (bytes.capacity() >= kLargeBufferSize) {
    preparer = std::jthread(prepareLargeBuffer, bytes.data(), bytes.capacity());
  }
  TransferProgress progress(this, name, expected);
  uint32_t received = 0;
  bool delivered = connection->retrieve(name, [&](const char* data, size_t n) {
    // More than listed cannot end well; stop before the buffer moves.
    if (n > listed - received) return false;
    bytes.insert(bytes.end(), data, data + n);
    received += static_cast<uint32_t>(n);
    progress.advance(received);
    return true;
  });
  progress.finish(received);
  if (!delivered || received != listed) return false;
  if (!archive->openOwnBytes()) return false;
  keptPatchArchives_.push_front(std::move(archive));
  mainArchive_.overlay(keptPatchArchives_.front().get());
  return true;
}

bool PatchClient::loadLocalPatch(const char* name) {
  FileByteSource file(env_);
  if (!file.openRead(name)) return false;
  const uint32_t size = file.size();
  if (size != static_cast<uint32_t>(serverListing_.sizeOf(name))) return false;
  auto archive = std::make_unique<MemoryArchive>();
  std::vector<uint8_t>& bytes = archive->memory().bytes;
  if (!reserveWhole(&bytes, size)) return false;
  adviseLargeBuffer(bytes.data(), bytes.capacity());
  TransferProgress progress(this, name, static_cast<int32_t>(size));
  for (uint32_t offset = 0; offset < size;) {
    uint32_t length = size - offset < kLocalChunk ? size - offset : kLocalChunk;
    const uint8_t* data = file.read(offset, length);
    if (data == nullptr) return false;
    bytes.insert(bytes.end(), data, data + length);
    offset += length;
    progress.advance(offset);
  }
  if (!archive->openOwnBytes()) return false;
  keptPatchArchives_.push_front(std::move(archive));
  mainArchive_.overlay(keptPatchArchives_.front().get());
  return true;
}

}  // namespace corvanth
