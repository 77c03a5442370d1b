// The game's resource archive file: patch overlay, in-place save and repack.
#ifndef CORVANTH_ARCHIVE_MAIN_ARCHIVE_H_
#define CORVANTH_ARCHIVE_MAIN_ARCHIVE_H_

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "archive/byte_source.h"
#include "archive/free_space_map.h"
#include "archive/progress_sink.h"
#include "archive/resource_archive.h"
#include "platform/env.h"

namespace corvanth {

class MainArchive : public ResourceArchive {
 public:
  explicit MainArchive(Env* env = Env::defaultEnv());
  ~MainArchive() override;

  // Remembers an open patch archive (not owned; it must stay open until the
  // save and any repack are done) and the names of its file entries. Reads
  // and writes nothing; the archive file need not be open yet.
  void overlay(ResourceArchive* patch);
  const NameSet& pendingNames() const { return pendingNames_; }
  const std::list<ResourceArchive*>& patchArchives() const { return patchArchives_; }

  // Opens (creating when missing) the archive file, write-through and
  // shared with nobody, and reads its index. A file that was opened stays
  // open when the index cannot be read.
  bool openFile(const std::string& path);
  // Closes the file, then clears the index.
  void close();

  // Writes every pending name's data into free regions or at the end of the
  // file, then a new table, then the header's table fields last: until that
  // last write the file still describes the old archive. Should that write
  // itself stop part-way, the old fields are written back. sink may be null.
  bool save(ProgressSink* sink = nullptr);

  // Writes a compact copy into targetPath: header, file entries back to
  // back in name order, table, header fields last. The copy is forced to
  // disk before and after the header fields. Reads this archive only.
  bool repack(const std::string& targetPath, ProgressSink* sink = nullptr);

  // The per-name step of the save.
  bool mergePendingName(const std::string& name);
  // Writes one entry's data into the file and merges its record.
  bool placeEntry(ArchiveEntry entry, const uint8_t* data);

  // Fills the free-space map from the index, the table's place and the size.
  void scanFreeSpace();
  // The file offset where length bytes are to go.
  uint32_t allocateRegion(uint32_t length);
  // Bytes in the free-space map.
  uint32_t freeBytes() const { return freeSpace_.totalBytes(); }
  const FreeSpaceMap& freeSpace() const { return freeSpace_; }

  // Size of the archive file as written so far.
  uint32_t fileSize() const { return file_.size(); }

 private:
  Env* env_;                                   // not owned
  std::list<ResourceArchive*> patchArchives_;  // newest first; not owned
  NameSet pendingNames_;
  std::vector<ArchiveEntry> newEntries_;
  FreeSpaceMap freeSpace_;
  WritableFile file_;
  ProgressSink noProgress_;
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_MAIN_ARCHIVE_H_
