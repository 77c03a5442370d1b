// Builds a whole archive file in memory: the producing side that operator
// tools and test fixtures need. The client itself only reads archives and
// saves them in place (main_archive.h).
#ifndef CORVANTH_ARCHIVE_ARCHIVE_WRITER_H_
#define CORVANTH_ARCHIVE_ARCHIVE_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace corvanth {

// How an entry's data is stored.
enum class EntryCipherMode {
  plain,
  mixed,  // written with FLAG_MIXED_CIPHER
  light,  // written with FLAG_LIGHT_CIPHER
  byName, // light for the four light-mode extensions, mixed for the rest
};

class ArchiveWriter {
 public:
  // version 0x200 writes a compressed table; 0x100 to 0x103 write the older
  // table form, in which every entry is enciphered by its name's extension
  // and names are nibble-swapped (and, from 0x101, enciphered too).
  explicit ArchiveWriter(uint32_t version = 0x200);

  // Adds a file entry (its name should hold a '.') with content as its
  // plain bytes. realSize is carried as given. The mode is ignored for the
  // older table form, where the name decides it.
  // Returns false (nothing added) for an empty name or one longer than 251
  // bytes.
  bool addFile(const std::string& name, const std::vector<uint8_t>& content,
               EntryCipherMode mode = EntryCipherMode::plain, uint8_t extraFlags = 0,
               uint32_t realSize = kContentSize);
  // Adds a directory entry: a name without a '.', no data.
  bool addDirectory(const std::string& name);

  // The complete archive: header, entries' data back to back, table last.
  // Empty when the table cannot be built (zlib failure).
  std::vector<uint8_t> finish() const;
  // finish() written to path, replacing it through a temporary file.
  bool writeTo(const std::string& path) const;

  size_t entryCount() const { return entries_.size(); }
  uint32_t version() const { return version_; }

  // realSize default: the content's length.
  static constexpr uint32_t kContentSize = 0xFFFFFFFFu;
  static bool isLegacyVersion(uint32_t version) { return version >= 0x100 && version <= 0x103; }

 private:
  struct Pending {
    std::string name;
    std::vector<uint8_t> stored;  // bytes as they go into the file
    uint32_t compressedSize = 0;
    uint32_t realSize = 0;
    uint8_t flags = 0;
  };

  std::vector<uint8_t> legacyNameField(const std::string& name) const;

  uint32_t version_;
  std::vector<Pending> entries_;  // in the order added
};

// The stored form of content under a mode: enciphered modes pad the content
// with zero filler to whole 8-byte blocks first. Returns the flags to store.
uint8_t encipherEntryData(const std::vector<uint8_t>& content, EntryCipherMode mode,
                          std::vector<uint8_t>* stored);

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_ARCHIVE_WRITER_H_
