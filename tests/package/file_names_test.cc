// The file-name helpers: extensions after the first dot, contained names.
#include <gtest/gtest.h>

#include <string>

#include "package/file_names.h"

namespace corvanth {
namespace {

TEST(FileNames, HasExtensionComparesTheTextAfterTheFirstDotExactly) {
  struct Case { const char* name; const char* ext; bool expected; };
  const Case cases[] = {
      {"upd.cgz", "cgz", true},      {"patch1.vpt", "vpt", true},
      {"notes.txt", "cgz", false},   {"data.CGZ", "cgz", false},
      {"a.b.cgz", "cgz", false},     {"cgz", "cgz", false},
      {".cgz", "cgz", true},         {"upd.cgz.bak", "cgz", false},
      {"upd.", "", true},            {"upd", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hasExtension(c.name, c.ext), c.expected) << c.name << " / " << c.ext;
  }
}

TEST(FileNames, ReplaceExtensionWorksAtTheFirstDot) {
  struct Case { const char* text; const char* ext; size_t size; const char* expected; };
  const Case cases[] = {
      {"upd.cgz", nullptr, 32, "upd"},          // cut at the dot
      {"a.b.cgz", nullptr, 32, "a"},            // the first dot
      {"upd", nullptr, 32, "upd"},              // no dot: unchanged
      {"upd.cgz", "tmp", 32, "upd.tmp"},        // replaced
      {"a.b.c", "x", 32, "a.x"},                // everything after the first dot
      {"upd", "cgz", 32, "upd.cgz"},            // appended with a dot
      {"upd", "cgz", 6, "upd.c"},               // cut to fit the buffer
      {"upd", "cgz", 4, "upd"},
  };
  for (const Case& c : cases) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s", c.text);
    replaceExtension(buffer, c.size, c.ext);
    EXPECT_STREQ(buffer, c.expected) << c.text;

    char copy[32] = "garbage";
    copyWithExtension(c.text, c.ext, copy, c.size);
    EXPECT_STREQ(copy, c.expected) << c.text;
  }
}

TEST(FileNames, CopyWithExtensionCutsALongSourceToTheBuffer) {
  char buffer[4];
  copyWithExtension("abcdef.cgz", nullptr, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "abc");
}

TEST(FileNames, ContainedNamesStayInsideTheCurrentDirectory) {
  struct Case { const char* name; bool expected; };
  const Case cases[] = {
      {"maps", true},           {"maps\\w1.txt", true},   {"maps/w1.txt", true},
      {"a..b", true},           {"..x\\y", true},         {"x\\.\\y", true},
      {"", true},               {"c", true},              {"1:x", true},
      {"/etc/passwd", false},   {"\\x", false},           {"C:\\x", false},
      {"c:x", false},           {"..", false},            {"..\\x", false},
      {"../x", false},          {"maps\\..\\..\\x", false}, {"maps/../w1.txt", false},
      {"maps\\..", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isContainedName(c.name), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace corvanth
