// FreeSpaceMap: best-fit order, splitting, and requests nothing holds.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "archive/free_space_map.h"

namespace corvanth {

// Found by argument lookup from the standard algorithms.
bool operator==(const FreeRegion& a, const FreeRegion& b) {
  return a.length == b.length && a.offset == b.offset;
}

namespace {

std::vector<FreeRegion> regionsOf(const FreeSpaceMap& map) {
  return {map.regions().begin(), map.regions().end()};
}

struct AllocationCase {
  const char* what;
  std::vector<FreeRegion> before;
  uint32_t request;
  uint32_t expectedOffset;
  std::vector<FreeRegion> after;  // in map order
};

void PrintTo(const AllocationCase& c, std::ostream* os) { *os << c.what; }

class FreeSpaceMapAllocation : public testing::TestWithParam<AllocationCase> {};

TEST_P(FreeSpaceMapAllocation, TakesTheFrontOfTheBestFit) {
  const AllocationCase& c = GetParam();
  FreeSpaceMap map;
  for (const FreeRegion& region : c.before) map.add(region);
  EXPECT_EQ(map.allocate(c.request, 300), c.expectedOffset);
  EXPECT_EQ(regionsOf(map), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreeSpaceMapAllocation,
    testing::Values(
        AllocationCase{"exact fit removes", {{54, 146}, {50, 250}}, 50, 250, {{54, 146}}},
        AllocationCase{"shorter request splits", {{54, 146}, {50, 250}}, 40, 250,
                       {{10, 290}, {54, 146}}},
        AllocationCase{"only the longer holds it", {{54, 146}, {50, 250}}, 54, 146, {{50, 250}}},
        AllocationCase{"lowest offset among equals", {{64, 900}, {64, 500}}, 64, 500, {{64, 900}}},
        AllocationCase{"none holds it: end of file", {{54, 146}, {50, 250}}, 60, 300,
                       {{50, 250}, {54, 146}}},
        AllocationCase{"zero bytes: shortest, unchanged", {{54, 146}, {50, 250}, {50, 20}}, 0, 20,
                       {{50, 20}, {50, 250}, {54, 146}}},
        AllocationCase{"empty map: end of file", {}, 10, 300, {}}),
    [](const testing::TestParamInfo<AllocationCase>& info) {
      std::string name = info.param.what;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST(FreeSpaceMap, OrdersByLengthThenOffsetAndHoldsAPairOnce) {
  FreeSpaceMap map;
  map.add({100, 10});
  map.add({20, 500});
  map.add({20, 400});
  map.add({20, 400});
  EXPECT_EQ(regionsOf(map), (std::vector<FreeRegion>{{20, 400}, {20, 500}, {100, 10}}));
  EXPECT_EQ(map.totalBytes(), 140u);
}

TEST(FreeSpaceMap, TotalWrapsModulo32Bits) {
  FreeSpaceMap map;
  map.add({0xFFFFFFF0u, 0});
  map.add({0x20u, 5});
  EXPECT_EQ(map.totalBytes(), 0x10u);
}

}  // namespace
}  // namespace corvanth
