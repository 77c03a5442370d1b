// The published patch list: (number, file name) lines read from the local
// copy of the list file, and the highest number any line holds.
#ifndef CORVANTH_SESSION_PATCH_LIST_H_
#define CORVANTH_SESSION_PATCH_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"

namespace corvanth {

// One patch of the list; a plain value.
struct PatchListEntry {
  static constexpr size_t kMaxNameLength = 255;

  int32_t number = 0;
  std::string fileName;  // at most kMaxNameLength bytes, no white space
};

// Number first (signed), then the name byte by byte, a prefix first.
bool operator<(const PatchListEntry& a, const PatchListEntry& b);
bool operator==(const PatchListEntry& a, const PatchListEntry& b);

class PatchList {
 public:
  // Line pieces: a longer line is read as several consecutive lines.
  static constexpr size_t kMaxLineLength = 255;

  // Fills the list from the file at path: each line "NUMBER NAME ...",
  // number 0, no number or no name adds nothing, every readable number
  // raises highestNumber. A missing file leaves the list empty. Always true.
  bool load(const std::string& path, Env* env = Env::defaultEnv());

  // Reads one line piece (at most kMaxLineLength bytes, no line break) into
  // the list, as load does for each line of the file.
  void addLine(const std::string& line);
  // Sorts entries into list order; load does it after the last line.
  void sortEntries();

  // Position in entries of the first entry whose number is greater than
  // version, or entries().size(). From there on lie the patches to apply.
  size_t firstNewer(uint32_t version) const;

  const std::vector<PatchListEntry>& entries() const { return entries_; }
  int32_t highestNumber() const { return highestNumber_; }

 private:
  std::vector<PatchListEntry> entries_;  // in list order after load
  int32_t highestNumber_ = 0;
};

}  // namespace corvanth

#endif  // CORVANTH_SESSION_PATCH_LIST_H_
