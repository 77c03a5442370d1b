// Builds archive files of every form in memory, for tests.
//
//   ArchiveImage image = ArchiveBuilder(0x200)
//                            .add("a.txt", "hello")                       // plain
//                            .add("b.dat", content, FLAG_CARRIED | FLAG_MIXED_CIPHER)
//                            .addHole(100)                                // free bytes
//                            .addDirectory("data")
//                            .build();
//   MemoryByteSource source;
//   source.bytes = image.file;
//
// Entry data goes back to back after the header, in the order added, then the
// table. For hostile cases an image can be edited and re-sealed: edit the
// plain table records (image.table; image.fieldsAt(i) finds a record's
// 17-byte field group), then image.reseal() writes the table again
// (compressing it for 2.0) in place of the old one. Header fields are edited
// with image.setHeader32 and are not touched by reseal.
#ifndef CORVANTH_TESTS_SUPPORT_ARCHIVE_BUILDER_H_
#define CORVANTH_TESTS_SUPPORT_ARCHIVE_BUILDER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/resource_archive.h"

namespace corvanth {

struct EntryInput {
  std::string name;     // written as given (case kept)
  std::string content;  // the entry's content: compressedSize bytes
  // Flag byte as stored. In 2.0 it alone picks the cipher; in 1.x the reader
  // adds the mode of the name, and the data is enciphered accordingly.
  uint8_t flags = FLAG_CARRIED;
  std::optional<uint32_t> realSize;  // carried; default content.size() * 2
  // Stored bytes beyond the content (enciphered data is then still rounded
  // up to whole blocks).
  uint32_t filler = 0;
  bool directory = false;  // no data region; sizes and position 0
};

// An archive file in memory, with what is needed to edit and re-seal it.
struct ArchiveImage {
  uint32_t version = 0;
  std::vector<uint8_t> file;   // the whole archive file
  // The table records: as in the file for 1.x, before compression for 2.0.
  std::vector<uint8_t> table;
  std::vector<uint32_t> recordOffsets;  // start of each record in table
  std::vector<uint32_t> fieldOffsets;   // start of each record's 17-byte field group
  // Where each entry's stored bytes lie, in the order added (directories too).
  struct Region {
    uint32_t position;    // counted from the end of the header
    uint32_t storedSize;
  };
  std::vector<Region> regions;

  uint32_t tableOffset() const;  // from the header's tablePosition
  uint32_t header32(uint32_t offset) const;
  void setHeader32(uint32_t offset, uint32_t value);
  // A 4-byte field of record i, at offset inside its field group
  // (kV2FieldStoredSize, kV1FieldB, kFieldPosition, ...).
  void setRecord32(size_t i, uint32_t offset, uint32_t value);
  void setRecordFlags(size_t i, uint8_t flags);
  // Writes table at the header's table offset again, cutting the file there.
  // 2.0: compressed, preceded by P and R; statedRealLength replaces R.
  void reseal(std::optional<uint32_t> statedRealLength = std::nullopt);
  // The entry data stored for entry i (in the order added), as in the file.
  std::vector<uint8_t> storedBytes(size_t i) const;
  std::string str() const { return std::string(file.begin(), file.end()); }
};

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(uint32_t version = kVersion200) : version_(version) {}

  ArchiveBuilder& add(EntryInput input);
  ArchiveBuilder& add(const std::string& name, const std::string& content,
                      uint8_t flags = FLAG_CARRIED);
  ArchiveBuilder& addDirectory(const std::string& name);
  // length unused bytes in the data region before the next entry.
  ArchiveBuilder& addHole(uint32_t length, uint8_t fill = 0xEE);
  // Header: countBias (countField becomes count + 7 + bias) and the reserved bytes.
  ArchiveBuilder& countBias(uint32_t bias);
  ArchiveBuilder& reserved(const std::string& fourteenBytes);

  ArchiveImage build() const;

 private:
  struct Item {
    bool hole = false;
    uint32_t holeLength = 0;
    uint8_t holeFill = 0;
    EntryInput entry;
  };
  uint32_t version_;
  uint32_t countBias_ = 0;
  std::string reserved_ = std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e", 14);
  std::vector<Item> items_;
};

// The stored form of content under flags (the cipher bits; mixed wins),
// filler bytes added and, when enciphered, rounded up to whole blocks.
std::vector<uint8_t> encipherEntry(const std::string& content, uint8_t flags,
                                   uint32_t filler = 0);

// Every entry of an open archive, lower-case name to plain content (read
// with readEntryPlain); a record that cannot be read maps to "<unreadable>",
// and of duplicate names the last in index order stays.
std::map<std::string, std::string> plainContents(ResourceArchive* archive);

// Deterministic pseudo-random bytes, for contents of any size.
std::string patternBytes(size_t length, uint32_t seed = 1);

}  // namespace corvanth

#endif  // CORVANTH_TESTS_SUPPORT_ARCHIVE_BUILDER_H_
