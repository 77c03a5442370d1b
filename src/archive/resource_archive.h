// An archive opened for reading: its header and whole table, indexed by a
// hashed, lower-cased name key.
#ifndef CORVANTH_ARCHIVE_RESOURCE_ARCHIVE_H_
#define CORVANTH_ARCHIVE_RESOURCE_ARCHIVE_H_

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archive/byte_source.h"

namespace corvanth {

// The name key of an entry. Invariant: hash is the hash of text, and text
// holds no letters A to Z.
struct EntryName {
  static constexpr int kMaxLength = 251;  // name bytes, without the zero

  uint32_t hash = 5381;
  char text[kMaxLength + 1] = {};

  // Sets the key from a name: lower-cases A to Z (nothing else), then
  // hash = hash * 33 + b over the bytes taken as signed, from 5381.
  // REQUIRES: strlen(name) <= kMaxLength.
  void assign(const char* name);
};

// Hash first, then the text byte by byte as unsigned values; not alphabetical.
bool operator<(const EntryName& a, const EntryName& b);
bool operator==(const EntryName& a, const EntryName& b);

// One record of the index; a plain value, copied whole.
struct ArchiveEntry {
  uint32_t storedSize = 0;      // bytes the data occupies in the file
  uint32_t compressedSize = 0;  // length of the content
  uint32_t realSize = 0;        // carried unchanged
  uint32_t position = 0;        // data offset, counted from the end of the header
  uint8_t flags = 0;            // FLAG_* of archive_format.h
  EntryName name;
};

// Names in byte order (unsigned, a prefix first), each held once. This is
// the order in which a save writes pending names and a repack copies entries.
using NameSet = std::set<std::string>;

// True when the name contains a '.': a file entry. Others are directories.
bool isFileEntryName(const char* name);

class ResourceArchive {
 public:
  ResourceArchive() = default;
  virtual ~ResourceArchive() = default;
  ResourceArchive(const ResourceArchive&) = delete;
  ResourceArchive& operator=(const ResourceArchive&) = delete;

  // Reads the header and the table from source and builds the index. False
  // (and the archive closed) for anything that is not a well-formed archive;
  // the reader never reads outside the table. A null source changes nothing.
  // The source is not owned and must outlive the archive's use of it.
  bool open(ByteSource* source);
  // Makes the archive closed; the source is forgotten, not closed.
  void close();

  // Looks up key; when found and out is not null, copies the record there.
  bool findEntry(const EntryName& key, ArchiveEntry* out) const;

  // True when the text from the last '.' is .vrm, .tzl, .opk or .wyx, in any case.
  static bool isLightCipherName(const char* text);

  // Takes an entry's content out in plain form: reads its stored bytes,
  // deciphers them as its flags say, and copies compressedSize bytes to out
  // (which must have room for them). The record copy then reads as a plain
  // entry: storedSize = compressedSize, position 0, flags & 0x01. False, with
  // nothing changed, when the bytes cannot be read or the record is
  // inconsistent (compressedSize > storedSize, or enciphered data that is
  // not whole 8-byte blocks).
  bool readEntryPlain(ArchiveEntry* entry, uint8_t* out);

  // Adds the lower-case text of every file entry to names.
  void collectFileNames(NameSet* names) const;

  uint32_t version() const { return version_; }
  uint32_t entryCount() const { return entryCount_; }
  uint32_t tableOffset() const { return tableOffset_; }
  uint32_t tableSize() const { return tableSize_; }
  const std::vector<ArchiveEntry>& entries() const { return entries_; }
  ByteSource* source() const { return source_; }
  bool isOpen() const { return source_ != nullptr; }

 protected:
  // Position in entries_ of the first record not before key.
  size_t lowerBound(const EntryName& key) const;

  uint32_t version_ = 0;      // the header's version word
  uint32_t entryCount_ = 0;   // derived from the header
  uint32_t tableOffset_ = 0;  // file offset of the table
  uint32_t tableSize_ = 0;    // bytes the table occupies in the file
  std::vector<ArchiveEntry> entries_;  // the index, in EntryName order
  std::vector<uint8_t> scratch_;       // deciphering area, largest storedSize
  ByteSource* source_ = nullptr;       // not owned

 private:
  bool readTable1x();
  bool readTable20();
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_RESOURCE_ARCHIVE_H_
