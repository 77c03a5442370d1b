// Archive files laid out byte by byte for the writer's tests: entries at
// chosen offsets, the table where the test wants it, holes in between.
#ifndef CORVANTH_TESTS_ARCHIVE_WRITE_FIXTURE_H_
#define CORVANTH_TESTS_ARCHIVE_WRITE_FIXTURE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/resource_archive.h"

namespace corvanth {

struct FixtureEntry {
  std::string name;
  std::string content;  // the compressed content, as it comes out plain
  uint8_t flags = 0x01;  // a cipher bit enciphers the stored bytes
  int64_t offset = -1;   // file offset of the data; -1: right after the previous
  uint32_t filler = 0;   // stored bytes beyond the content; enciphered: up to whole blocks
};

struct FixtureArchive {
  std::vector<FixtureEntry> entries;  // data in this order, table records too
  int64_t tableOffset = -1;           // -1: right after the last data
  uint32_t fileSize = 0;              // padded with 0xEE up to at least this
  std::string reserved;               // header bytes 16 to 29
  // 0x200, or 0x100: names nibble-swapped, every entry enciphered as its
  // name says, table to the end of the file.
  uint32_t version = 0x200;

  FixtureArchive& withTableAt(int64_t offset) { tableOffset = offset; return *this; }
  FixtureArchive& withFileSize(uint32_t size) { fileSize = size; return *this; }
  FixtureArchive& withReserved(std::string bytes) { reserved = std::move(bytes); return *this; }
  FixtureArchive& withVersion(uint32_t v) { version = v; return *this; }
};

inline FixtureArchive fixtureOf(std::vector<FixtureEntry> entries) {
  FixtureArchive archive;
  archive.entries = std::move(entries);
  return archive;
}

std::vector<uint8_t> buildArchive(const FixtureArchive& archive);
// The version 2.0 table bytes a fixture gets (length header included).
uint32_t fixtureTableSize(const FixtureArchive& archive);

// The records of a version 2.0 table at the file's table place, in file order.
std::vector<ArchiveEntry> tableRecordsOf(const std::vector<uint8_t>& file);
uint32_t le32(const std::vector<uint8_t>& bytes, size_t at);

}  // namespace corvanth

#endif  // CORVANTH_TESTS_ARCHIVE_WRITE_FIXTURE_H_
