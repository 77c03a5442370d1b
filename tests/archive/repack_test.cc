// MainArchive::repack: layout of the compact copy, progress, existing targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/main_archive.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"
#include "write_fixture.h"

namespace corvanth {
namespace {

using Reports = std::vector<std::pair<uint32_t, uint32_t>>;

struct RecordingSink : ProgressSink {
  void report(uint32_t done, uint32_t total) override { reports.emplace_back(done, total); }
  Reports reports;
};

std::vector<uint8_t> bytesOf(const std::string& path) {
  std::string s = readFile(path);
  return {s.begin(), s.end()};
}

std::string text(const std::vector<uint8_t>& bytes, size_t at, size_t n) {
  return std::string(bytes.begin() + static_cast<ptrdiff_t>(at),
                     bytes.begin() + static_cast<ptrdiff_t>(at + n));
}

class RepackTest : public testing::Test {
 protected:
  // Writes the fixture as the main archive and repacks it into target.
  bool repack(const FixtureArchive& fixture, const std::string& target, ProgressSink* sink = nullptr) {
    EXPECT_TRUE(writeFile(dir_.file("sdata.vdt"), buildArchive(fixture)));
    MainArchive archive;
    EXPECT_TRUE(archive.openFile(dir_.file("sdata.vdt")));
    return archive.repack(target, sink);
  }
  TempDir dir_;
};

TEST_F(RepackTest, CopiesFileEntriesInNameOrderBackToBack) {
  std::string mixed;
  for (int i = 0; i < 99; ++i) mixed.push_back(static_cast<char>(i * 13 + 1));
  FixtureArchive fixture = fixtureOf({{"b.txt", "bbbbbbb", 0x01, 500},
                          {"folder", "dir bytes"},
                          {"c.dat", mixed, 0x03, 60, 5},
                          {"A.txt", "aaa", 0xF1, 300}});
  fixture.reserved = "NOT ZERO HERE!";
  std::string target = dir_.file("tmpdata.vdt");
  ASSERT_TRUE(repack(fixture, target));

  std::vector<uint8_t> copy = bytesOf(target);
  EXPECT_EQ(text(copy, 0, 16), std::string("Keeper of Tomes", 16));
  EXPECT_EQ(text(copy, 16, 14), std::string(14, '\0'));
  EXPECT_EQ(le32(copy, 34), 0u);
  EXPECT_EQ(le32(copy, 38), 3u + 7);
  EXPECT_EQ(le32(copy, 42), 0x200u);
  // a.txt, b.txt, c.dat by unsigned bytes; the directory is not copied.
  EXPECT_EQ(text(copy, 46, 3 + 7 + 99), "aaa" "bbbbbbb" + mixed);
  uint32_t tableAt = 46 + 3 + 7 + 99;
  EXPECT_EQ(le32(copy, 30), tableAt - 46);
  uint32_t packed = le32(copy, tableAt);
  EXPECT_EQ(copy.size(), tableAt + 8 + packed);

  std::vector<ArchiveEntry> table = tableRecordsOf(copy);
  ASSERT_EQ(table.size(), 3u);
  struct Expected {
    const char* name;
    uint32_t size, position;
    uint8_t flags;
  };
  const Expected expected[] = {{"a.txt", 3, 0, 0x01}, {"b.txt", 7, 3, 0x01}, {"c.dat", 99, 10, 0x01}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_STREQ(table[i].name.text, expected[i].name);
    EXPECT_EQ(table[i].compressedSize, expected[i].size);
    EXPECT_EQ(table[i].storedSize, expected[i].size);
    EXPECT_EQ(table[i].realSize, expected[i].size + 1000);
    EXPECT_EQ(table[i].position, expected[i].position);
    EXPECT_EQ(table[i].flags, expected[i].flags);
  }
}

TEST_F(RepackTest, ReportsBytesOfContent) {
  RecordingSink sink;
  ASSERT_TRUE(repack(fixtureOf({{"c.txt", std::string(600, 'c')},
                                     {"a.txt", std::string(300, 'a')},
                                     {"b.txt", std::string(100, 'b')},
                                     {"dir", "xx"}}),
                     dir_.file("tmpdata.vdt"), &sink));
  EXPECT_EQ(sink.reports, (Reports{{300, 1000}, {400, 1000}, {1000, 1000}}));
}

TEST_F(RepackTest, LeavesTheArchiveAndALongerTargetsTailAlone) {
  FixtureArchive fixture = fixtureOf({{"a.txt", "alpha"}, {"b.txt", "beta"}});
  std::string target = dir_.file("tmpdata.vdt");
  std::string tail(5000, 'T');
  ASSERT_TRUE(writeFile(target, tail));
  ASSERT_TRUE(repack(fixture, target));
  EXPECT_EQ(bytesOf(dir_.file("sdata.vdt")), buildArchive(fixture));

  std::vector<uint8_t> copy = bytesOf(target);
  ASSERT_EQ(copy.size(), tail.size());
  uint32_t end = le32(copy, 30) + 46 + 8 + le32(copy, le32(copy, 30) + 46);
  EXPECT_EQ(text(copy, end, copy.size() - end), tail.substr(end));
  FileByteSource source;
  ResourceArchive reread;
  ASSERT_TRUE(source.openRead(target));
  ASSERT_TRUE(reread.open(&source));
  EXPECT_EQ(plainContents(&reread),
            (std::map<std::string, std::string>{{"a.txt", "alpha"}, {"b.txt", "beta"}}));
}

TEST_F(RepackTest, RepackOfARepackedCopyIsIdentical) {
  ASSERT_TRUE(repack(fixtureOf({{"z.vrm", std::string(77, 'z'), 0x05},
                                     {"m.txt", std::string(40, 'm'), 0x03, -1, 3},
                                     {"dir", ""},
                                     {"a.txt", "a", 0x01, 900}})
                         .withVersion(0x100),
                     dir_.file("first.vdt")));
  MainArchive first;
  ASSERT_TRUE(first.openFile(dir_.file("first.vdt")));
  ASSERT_TRUE(first.repack(dir_.file("second.vdt")));
  EXPECT_EQ(bytesOf(dir_.file("first.vdt")), bytesOf(dir_.file("second.vdt")));
}

TEST_F(RepackTest, FailsWithoutAnOpenArchiveOrTarget) {
  MainArchive closed;
  EXPECT_FALSE(closed.repack(dir_.file("tmpdata.vdt")));
  EXPECT_FALSE(repack(fixtureOf({{"a.txt", "a"}}), dir_.file("no/such/dir/tmpdata.vdt")));
}

}  // namespace
}  // namespace corvanth
