// MainArchive: overlay bookkeeping, the free-space scan and allocation, and
// the in-place save of the game's resource archive file.
#include "archive/main_archive.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "archive/archive_format.h"
#include "archive/table_writer.h"

namespace corvanth {

MainArchive::MainArchive(Env* env) : env_(env), file_(env) {}

MainArchive::~MainArchive() { close(); }

void MainArchive::overlay(ResourceArchive* patch) {
  patchArchives_.push_front(patch);
  patch->collectFileNames(&pendingNames_);
}

bool MainArchive::openFile(const std::string& path) {
  if (!file_.openReadWrite(path, WriteMode::writeThrough)) return false;
  return open(&file_);
}

void MainArchive::close() {
  file_.close();
  ResourceArchive::close();
}

void MainArchive::scanFreeSpace() {
  // (offset, length), identical pairs once.
  std::set<std::pair<uint32_t, uint32_t>> reserved;
  reserved.emplace(0, kHeaderSize);
  reserved.emplace(tableOffset_, tableSize_);
  for (const ArchiveEntry& entry : entries_) {
    // A directory entry that records bytes keeps them too: they may be live.
    if (isFileEntryName(entry.name.text) || entry.storedSize != 0) {
      reserved.emplace(entry.position + kHeaderSize, entry.storedSize);
    }
  }
  // The running end only moves forward, so a region nested in an earlier
  // one (a damaged archive) never lets a reserved byte count as free. It is
  // 64-bit so that a region reaching past 2^32 cannot wrap it.
  uint64_t end = 0;
  for (const auto& [offset, length] : reserved) {
    if (end < offset) {
      freeSpace_.add(FreeRegion{static_cast<uint32_t>(offset - end), static_cast<uint32_t>(end)});
    }
    end = std::max<uint64_t>(end, static_cast<uint64_t>(offset) + length);
  }
  uint32_t size = file_.size();
  if (end < size) {
    freeSpace_.add(FreeRegion{static_cast<uint32_t>(size - end), static_cast<uint32_t>(end)});
  }
}

uint32_t MainArchive::allocateRegion(uint32_t length) {
  return freeSpace_.allocate(length, file_.size());
}

bool MainArchive::mergePendingName(const std::string& name) {
  if (name.size() > static_cast<size_t>(EntryName::kMaxLength)) return false;
  EntryName key;
  key.assign(name.c_str());
  ResourceArchive* supplier = nullptr;
  ArchiveEntry entry;
  for (ResourceArchive* patch : patchArchives_) {
    if (patch->findEntry(key, &entry)) {
      supplier = patch;
      break;
    }
  }
  if (supplier == nullptr) return false;
  // Refuse a record that cannot be read before sizing a buffer from it.
  if (entry.compressedSize > entry.storedSize || supplier->source() == nullptr ||
      entry.storedSize > supplier->source()->size()) {
    return false;
  }
  std::vector<uint8_t> content(entry.compressedSize, 0);
  if (!supplier->readEntryPlain(&entry, content.data())) return false;
  return placeEntry(entry, content.data());
}

bool MainArchive::placeEntry(ArchiveEntry entry, const uint8_t* data) {
  uint32_t offset = allocateRegion(entry.storedSize);
  if (!file_.writeAt(offset, data, entry.storedSize)) return false;
  entry.position = offset - kHeaderSize;
  size_t at = lowerBound(entry.name);
  if (at < entries_.size() && entries_[at].name == entry.name) {
    entries_[at] = entry;  // keeps its place in the index
  } else {
    newEntries_.push_back(entry);
  }
  return true;
}

bool MainArchive::save(ProgressSink* sink) {
  if (sink == nullptr) sink = &noProgress_;
  if (!isOpen()) return false;
  // The fields as they are, to put back should their own write fail part-way.
  uint8_t oldFields[kTableFieldsSize];
  const uint8_t* current = file_.read(kTablePositionOffset, kTableFieldsSize);
  if (current == nullptr) return false;
  std::memcpy(oldFields, current, sizeof oldFields);

  scanFreeSpace();

  uint32_t total = static_cast<uint32_t>(pendingNames_.size());
  uint32_t done = 0;
  for (const std::string& name : pendingNames_) {
    if (!mergePendingName(name)) return false;
    sink->report(++done, total);
  }

  entries_.insert(entries_.end(), newEntries_.begin(), newEntries_.end());
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const ArchiveEntry& a, const ArchiveEntry& b) { return a.name < b.name; });

  std::vector<uint8_t> raw;
  raw.reserve(entries_.size() * kRawRecordReserve);
  for (const ArchiveEntry& entry : entries_) appendTableRecord(entry, &raw);
  std::vector<uint8_t> table;
  if (!sealTable(raw, &table)) return false;
  raw = std::vector<uint8_t>();

  uint32_t tableSize = static_cast<uint32_t>(table.size());
  uint32_t at = allocateRegion(tableSize);
  if (!file_.writeAt(at, table.data(), kV2TableHeaderSize) ||
      !file_.writeAt(at + kV2TableHeaderSize, table.data() + kV2TableHeaderSize,
                     tableSize - kV2TableHeaderSize)) {
    return false;
  }

  // Every write so far is on disk (write-through); only now does the header
  // point at the new table.
  uint8_t fields[kTableFieldsSize];
  encodeTableFields(at, static_cast<uint32_t>(entries_.size()), fields);
  if (!file_.writeAt(kTablePositionOffset, fields, kTableFieldsSize)) {
    // A write that stopped part-way may have left new and old fields mixed.
    file_.writeAt(kTablePositionOffset, oldFields, kTableFieldsSize);
    return false;
  }
  version_ = kVersion200;
  entryCount_ = static_cast<uint32_t>(entries_.size());
  tableOffset_ = at;
  tableSize_ = tableSize;
  return true;
}

}  // namespace corvanth
