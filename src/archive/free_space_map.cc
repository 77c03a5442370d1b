// FreeSpaceMap: unused regions of the archive file in best-fit order.
#include "archive/free_space_map.h"

namespace corvanth {

bool operator<(const FreeRegion& a, const FreeRegion& b) {
  if (a.length != b.length) return a.length < b.length;
  return a.offset < b.offset;
}

void FreeSpaceMap::add(FreeRegion region) { regions_.insert(region); }

uint32_t FreeSpaceMap::allocate(uint32_t n, uint32_t endOfFile) {
  auto it = regions_.lower_bound(FreeRegion{n, 0});
  // Nothing holds n bytes: the data goes to the end, and a short region
  // that touches the end stays free behind it.
  if (it == regions_.end()) return endOfFile;
  FreeRegion region = *it;
  if (n == 0) return region.offset;
  regions_.erase(it);
  if (region.length > n) regions_.insert(FreeRegion{region.length - n, region.offset + n});
  return region.offset;
}

uint32_t FreeSpaceMap::totalBytes() const {
  uint32_t total = 0;
  for (const FreeRegion& region : regions_) total += region.length;  // modulo 2^32
  return total;
}

}  // namespace corvanth
