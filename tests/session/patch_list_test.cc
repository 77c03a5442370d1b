// PatchList: line reading, order, highest number and the newer-than lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/patch_list.h"
#include "support/temp_dir.h"

namespace corvanth {
namespace {

using Entries = std::vector<PatchListEntry>;

PatchList loadText(const std::string& text) {
  TempDir dir;
  writeFile(dir.file("patch2.txt"), text);
  PatchList list;
  EXPECT_TRUE(list.load(dir.file("patch2.txt")));
  return list;
}

struct ListCase {
  const char* what;
  std::string text;
  Entries entries;
  int32_t highest;
};

TEST(PatchListLoad, TableOfLists) {
  const std::string longName(300, 'x');
  const ListCase cases[] = {
      {"empty file", "", {}, 0},
      {"sorted by number", "3 c.vpt\n1 a.vpt\n2 b.vpt\n", {{1, "a.vpt"}, {2, "b.vpt"}, {3, "c.vpt"}}, 3},
      {"equal numbers by name, duplicates kept", "5 b.vpt\n5 a.vpt\n5 a.vpt\n5 a.vpt.x\n",
       {{5, "a.vpt"}, {5, "a.vpt"}, {5, "a.vpt.x"}, {5, "b.vpt"}}, 5},
      {"number 0 adds nothing", "0 zero.vpt\n", {}, 0},
      {"negative number is kept, highest stays", "-4 neg.vpt\n", {{-4, "neg.vpt"}}, 0},
      {"number alone raises highest", "2 a.vpt\n9\n", {{2, "a.vpt"}}, 9},
      {"number glued to letters", "7abc.vpt\n", {{7, "abc.vpt"}}, 7},
      {"blanks, tabs, CR and trailing words", "  +8\t\tq.cgz  ignored words\r\n", {{8, "q.cgz"}}, 8},
      {"no number", "abc 5\n- 3 x\n", {}, 0},
      {"last line without break", "1 a.vpt\n4 d.vpt", {{1, "a.vpt"}, {4, "d.vpt"}}, 4},
      {"zero byte ends the line", std::string("6 ab\0cd.vpt\n", 12), {{6, "ab"}}, 6},
      {"number beyond 32 bits adds nothing", "3 a.vpt\n4294967297 big.vpt\n-2147483649 n.vpt\n",
       {{3, "a.vpt"}}, 3},
      {"32-bit extremes", "2147483647 max.vpt\n-2147483648 min.vpt\n",
       {{INT32_MIN, "min.vpt"}, {INT32_MAX, "max.vpt"}}, INT32_MAX},
      // 255 characters form one line piece; the rest is read as the next line.
      {"long line read in pieces", "1 " + longName + "\n",
       {{1, std::string(253, 'x')}}, 1},
      {"piece boundary starting a new number", "1 " + std::string(253, 'y') + "12 tail.vpt\n",
       {{1, std::string(253, 'y')}, {12, "tail.vpt"}}, 12},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.what);
    PatchList list = loadText(c.text);
    EXPECT_EQ(list.entries(), c.entries);
    EXPECT_EQ(list.highestNumber(), c.highest);
  }
}

TEST(PatchListLoad, MissingFileIsAnEmptyList) {
  TempDir dir;
  PatchList list;
  EXPECT_TRUE(list.load(dir.file("absent.txt")));
  EXPECT_TRUE(list.entries().empty());
  EXPECT_EQ(list.highestNumber(), 0);
}

TEST(PatchListFirstNewer, TableOfVersions) {
  PatchList list = loadText("3 c\n5 e1\n5 e2\n9 i\n-1 n\n");
  struct Case { uint32_t version; size_t position; };
  const Case cases[] = {{0, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {8, 4}, {9, 5}, {0xFFFFFFFFu, 5}};
  for (const Case& c : cases) {
    EXPECT_EQ(list.firstNewer(c.version), c.position) << "version " << c.version;
  }
}

}  // namespace
}  // namespace corvanth
