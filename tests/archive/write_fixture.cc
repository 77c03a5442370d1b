// Laid-out archive files and readers of what the writer produced.
#include "write_fixture.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/entry_cipher.h"
#include "archive/table_writer.h"

namespace corvanth {

namespace {

constexpr uint32_t kHeader = 46;

void put32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
  if (out->size() < at + 4) out->resize(at + 4, 0xEE);
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void putBytes(std::vector<uint8_t>* out, size_t at, const std::vector<uint8_t>& bytes) {
  if (out->size() < at + bytes.size()) out->resize(at + bytes.size(), 0xEE);
  if (!bytes.empty()) std::memcpy(out->data() + at, bytes.data(), bytes.size());
}

uint8_t cipherOf(const FixtureEntry& e, uint32_t version) {
  if (version < 0x200) {
    return ResourceArchive::isLightCipherName(e.name.c_str()) ? 0x04 : 0x02;
  }
  return e.flags & 0x06;
}

// The stored bytes and the record of one entry at file offset at.
std::vector<uint8_t> storedBytes(const FixtureEntry& e, uint32_t version, ArchiveEntry* record) {
  std::vector<uint8_t> plain(e.content.begin(), e.content.end());
  plain.resize(plain.size() + e.filler, 0xF1);
  uint8_t cipher = cipherOf(e, version);
  if (cipher != 0) plain.resize((plain.size() + 7) / 8 * 8, 0xF2);  // whole blocks
  record->compressedSize = static_cast<uint32_t>(e.content.size());
  record->storedSize = static_cast<uint32_t>(plain.size());
  record->realSize = record->compressedSize + 1000;
  record->flags = e.flags;
  record->name.assign(e.name.c_str());
  if (cipher == 0) return plain;
  std::vector<uint8_t> out(plain.size());
  if (cipher & 0x02) {
    EntryCipher::encipherMixed(plain.data(), record->storedSize, out.data(),
                               EntryCipher::digitCount(record->compressedSize));
  } else {
    EntryCipher::encipherLight(plain.data(), record->storedSize, out.data());
  }
  return out;
}

std::vector<ArchiveEntry> recordsOf(const FixtureArchive& archive, std::vector<uint8_t>* file) {
  std::vector<ArchiveEntry> records;
  uint32_t at = kHeader;
  for (const FixtureEntry& e : archive.entries) {
    ArchiveEntry record;
    std::vector<uint8_t> stored = storedBytes(e, archive.version, &record);
    if (e.offset >= 0) at = static_cast<uint32_t>(e.offset);
    record.position = at - kHeader;
    if (file != nullptr) putBytes(file, at, stored);
    at += record.storedSize;
    records.push_back(record);
  }
  return records;
}

std::vector<uint8_t> table20(const std::vector<ArchiveEntry>& records) {
  std::vector<uint8_t> raw, table;
  for (const ArchiveEntry& r : records) appendTableRecord(r, &raw);
  sealTable(raw, &table);
  return table;
}

std::vector<uint8_t> table1x(const FixtureArchive& archive,
                             const std::vector<ArchiveEntry>& records) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < records.size(); ++i) {
    const ArchiveEntry& r = records[i];
    std::string name = archive.entries[i].name;
    std::vector<uint8_t> field(name.size() + 1, 0);
    EntryCipher::swapNibbles(reinterpret_cast<const uint8_t*>(name.data()),
                             static_cast<uint32_t>(name.size()), field.data());
    size_t at = out.size();
    put32(&out, at, static_cast<uint32_t>(field.size()));
    putBytes(&out, at + 4, field);
    at += 4 + field.size();
    put32(&out, at, r.compressedSize + r.realSize + 715);
    put32(&out, at + 4, r.storedSize + 37579);
    put32(&out, at + 8, r.realSize);
    out.push_back(r.flags);
    put32(&out, at + 13, r.position);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> buildArchive(const FixtureArchive& archive) {
  std::vector<uint8_t> file(kHeader, 0);
  std::memcpy(file.data(), "Keeper of Tomes", 16);
  std::memcpy(file.data() + 16, archive.reserved.data(), std::min<size_t>(14, archive.reserved.size()));
  std::vector<ArchiveEntry> records = recordsOf(archive, &file);
  uint32_t tableAt = archive.tableOffset >= 0 ? static_cast<uint32_t>(archive.tableOffset)
                                              : static_cast<uint32_t>(file.size());
  if (archive.version < 0x200) {
    if (file.size() < archive.fileSize) file.resize(archive.fileSize, 0xEE);
    tableAt = static_cast<uint32_t>(file.size());  // the 1.x table runs to the end
    putBytes(&file, tableAt, table1x(archive, records));
  } else {
    putBytes(&file, tableAt, table20(records));
    if (file.size() < archive.fileSize) file.resize(archive.fileSize, 0xEE);
  }
  put32(&file, 30, tableAt - kHeader);
  put32(&file, 34, 0);
  put32(&file, 38, static_cast<uint32_t>(records.size()) + 7);
  put32(&file, 42, archive.version);
  return file;
}

uint32_t fixtureTableSize(const FixtureArchive& archive) {
  return static_cast<uint32_t>(table20(recordsOf(archive, nullptr)).size());
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
  if (at + 4 > bytes.size()) return 0;
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

std::vector<ArchiveEntry> tableRecordsOf(const std::vector<uint8_t>& file) {
  std::vector<ArchiveEntry> records;
  size_t at = le32(file, 30) + size_t{kHeader};
  uint32_t packed = le32(file, at), real = le32(file, at + 4);
  if (at + 8 + packed > file.size()) return records;
  std::vector<uint8_t> raw(real);
  uLongf length = real;
  if (::uncompress(raw.data(), &length, file.data() + at + 8, packed) != Z_OK) return records;
  size_t p = 0;
  while (p < length) {
    ArchiveEntry r;
    const char* name = reinterpret_cast<const char*>(raw.data() + p);
    size_t n = ::strnlen(name, length - p);
    if (p + n + 1 + 17 > length) break;
    r.name.assign(std::string(name, n).c_str());
    p += n + 1;
    r.compressedSize = le32(raw, p);
    r.storedSize = le32(raw, p + 4);
    r.realSize = le32(raw, p + 8);
    r.flags = raw[p + 12];
    r.position = le32(raw, p + 13);
    p += 17;
    records.push_back(r);
  }
  return records;
}

}  // namespace corvanth
