// The unused regions of an archive file, handed out best fit.
#ifndef CORVANTH_ARCHIVE_FREE_SPACE_MAP_H_
#define CORVANTH_ARCHIVE_FREE_SPACE_MAP_H_

#include <cstdint>
#include <set>

namespace corvanth {

struct FreeRegion {
  uint32_t length = 0;
  uint32_t offset = 0;  // file offset, from the start of the file
};

// Length first, then offset: the first region not before (n, 0) is the
// shortest one that holds n bytes, the lowest among equals.
bool operator<(const FreeRegion& a, const FreeRegion& b);

class FreeSpaceMap {
 public:
  void add(FreeRegion region);
  // Takes the front n bytes of the best-fitting region and returns its
  // offset; returns endOfFile when no region holds n bytes.
  uint32_t allocate(uint32_t n, uint32_t endOfFile);
  // Sum of all lengths, modulo 2^32.
  uint32_t totalBytes() const;
  const std::set<FreeRegion>& regions() const { return regions_; }

 private:
  std::set<FreeRegion> regions_;
};

}  // namespace corvanth

#endif  // CORVANTH_ARCHIVE_FREE_SPACE_MAP_H_
