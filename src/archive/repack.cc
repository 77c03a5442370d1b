// MainArchive::repack: a compact copy of the open archive in a second file.
#include <cstring>

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

}  // namespace

bool MainArchive::repack(const std::string& targetPath, ProgressSink* sink) {
  if (sink == nullptr) sink = &noProgress_;
  if (!isOpen()) return false;
  // Written through the page cache and forced to disk twice: before the
  // header's table fields, and after them. Each entry is still one write of
  // its own, so a failure leaves exactly the entries before it behind.
  WritableFile target(env_);
  if (!target.openReadWrite(targetPath, WriteMode::buffered)) return false;

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
  }

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
