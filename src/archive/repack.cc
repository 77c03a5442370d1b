// MainArchive::repack: a compact copy of the open archive in a second file.
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "archive/archive_format.h"
#include "archive/main_archive.h"
#include "archive/table_writer.h"

namespace corvanth {

namespace {

// Finds the record of a name collected from this archive's own index.
bool findByName(const ResourceArchive& archive, const std::string& name, ArchiveEntry* out) {
  if (name.size() > static_cast<size_t>(EntryName::kMaxLength)) return false;
  EntryName key;
  key.assign(name.c_str());
  return archive.findEntry(key, out);
}

// Data written between two requests for a background sync.
constexpr uint32_t kBackgroundSyncStep = 16u << 20;

// Forces the target's written pages to disk on a second thread while the
// repack goes on reading and deciphering, so the disk and the processor
// work at the same time. Only WritableFile::sync runs there; every write
// stays on the caller's thread, in the same order.
class BackgroundSync {
 public:
  explicit BackgroundSync(WritableFile* file) : file_(file), thread_([this] { run(); }) {}
  ~BackgroundSync() { finish(); }
  BackgroundSync(const BackgroundSync&) = delete;
  BackgroundSync& operator=(const BackgroundSync&) = delete;

  // Asks for a sync of everything written so far; returns at once.
  void request() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = true;
    }
    wake_.notify_one();
  }

  // Stops the thread. False when any sync it ran failed: the error is
  // reported once per file, so a later sync could miss it.
  bool finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return !failed_;
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return pending_ || stopping_; });
      if (stopping_) return;
      pending_ = false;
      lock.unlock();
      bool ok = file_->sync();
      lock.lock();
      if (!ok) failed_ = true;
    }
  }

  WritableFile* file_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool pending_ = false;   // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
  bool failed_ = false;    // guarded by mutex_ while the thread runs
  std::thread thread_;     // last: starts once the rest is set
};

}  // namespace

bool MainArchive::repack(const std::string& targetPath, ProgressSink* sink) {
  if (sink == nullptr) sink = &noProgress_;
  if (!isOpen()) return false;
  // Written through the page cache, synced in the background as it grows,
  // and forced to disk before the header's table fields and after them.
  // Each entry is still one write of its own, so a failure leaves exactly
  // the entries before it behind.
  WritableFile target(env_);
  if (!target.openReadWrite(targetPath, WriteMode::buffered)) return false;
  BackgroundSync background(&target);  // stopped before target closes

  uint8_t header[kHeaderSize] = {};
  std::memcpy(header, kSignature, kSignatureSize);
  if (!target.writeAt(0, header, kHeaderSize)) return false;

  std::vector<uint8_t> raw;
  raw.reserve(entries_.size() * kRawRecordReserve);
  NameSet names;
  collectFileNames(&names);

  uint32_t total = 0;
  ArchiveEntry entry;
  for (const std::string& name : names) {
    if (!findByName(*this, name, &entry)) return false;
    total += entry.compressedSize;
  }

  uint32_t at = kHeaderSize;
  uint32_t done = 0;
  uint32_t synced = at;  // where the last background sync was asked for
  std::vector<uint8_t> content;  // one entry at a time, reused
  for (const std::string& name : names) {
    if (!findByName(*this, name, &entry)) return false;
    // Refuse a record that cannot be read before sizing a buffer from it.
    if (entry.compressedSize > entry.storedSize || entry.storedSize > file_.size()) return false;
    // No zero fill: readEntryPlain writes every byte or fails the repack.
    content.resize(entry.compressedSize);
    if (!readEntryPlain(&entry, content.data())) return false;
    entry.position = at - kHeaderSize;
    appendTableRecord(entry, &raw);
    if (!target.writeAt(at, content.data(), entry.compressedSize)) return false;
    done += entry.compressedSize;
    at += entry.compressedSize;
    sink->report(done, total);
    if (at - synced >= kBackgroundSyncStep) {
      background.request();
      synced = at;
    }
  }
  if (!background.finish()) return false;

  std::vector<uint8_t> table;
  if (!sealTable(raw, &table)) return false;
  if (!target.writeAt(at, table.data(), kV2TableHeaderSize) ||
      !target.writeAt(at + kV2TableHeaderSize, table.data() + kV2TableHeaderSize,
                      static_cast<uint32_t>(table.size()) - kV2TableHeaderSize) ||
      !target.sync()) {
    return false;
  }
  uint8_t fields[kTableFieldsSize];
  encodeTableFields(at, static_cast<uint32_t>(names.size()), fields);
  if (!target.writeAt(kTablePositionOffset, fields, kTableFieldsSize) || !target.sync()) {
    return false;
  }
  target.close();
  return true;
}

}  // namespace corvanth
