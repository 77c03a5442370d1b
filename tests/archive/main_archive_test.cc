// MainArchive: overlay rule, free-space scan, in-place save.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/main_archive.h"
#include "archive/memory_archive.h"
#include "support/archive_builder.h"
#include "support/fault_env.h"
#include "support/temp_dir.h"
#include "write_fixture.h"

namespace corvanth {

bool operator==(const FreeRegion& a, const FreeRegion& b) {
  return a.length == b.length && a.offset == b.offset;
}

namespace {

using Reports = std::vector<std::pair<uint32_t, uint32_t>>;

struct RecordingSink : ProgressSink {
  void report(uint32_t done, uint32_t total) override { reports.emplace_back(done, total); }
  Reports reports;
};

std::unique_ptr<MemoryArchive> patchOf(std::vector<uint8_t> bytes) {
  auto patch = std::make_unique<MemoryArchive>();
  patch->memory().bytes = std::move(bytes);
  EXPECT_TRUE(patch->openOwnBytes());
  return patch;
}

std::unique_ptr<MemoryArchive> patchOf(const FixtureArchive& fixture) {
  return patchOf(buildArchive(fixture));
}

std::vector<uint8_t> bytesOf(const std::string& path) {
  std::string s = readFile(path);
  return {s.begin(), s.end()};
}

// The index and contents of the file as a fresh reader sees them.
std::map<std::string, std::string> reopen(const std::string& path, uint32_t* version = nullptr) {
  FileByteSource source;
  ResourceArchive archive;
  if (!source.openRead(path) || !archive.open(&source)) return {{"<error>", ""}};
  if (version != nullptr) *version = archive.version();
  return plainContents(&archive);
}

class MainArchiveTest : public testing::Test {
 protected:
  std::string path() const { return dir_.file("sdata.vdt"); }
  void writeMain(const FixtureArchive& fixture) { ASSERT_TRUE(writeFile(path(), buildArchive(fixture))); }
  TempDir dir_;
};

TEST(MainArchiveOverlay, CollectsFileNamesInByteOrderNewestFirst) {
  auto first = patchOf(fixtureOf({{"b.txt", "b"}, {"A.txt", "a"}, {"folder", "bytes"}}));
  auto second = patchOf(fixtureOf({{"other", ""}}));
  MainArchive archive;
  archive.overlay(first.get());
  archive.overlay(second.get());
  EXPECT_EQ(archive.pendingNames(), (NameSet{"a.txt", "b.txt"}));
  // A patch of directories only adds no name but still comes first.
  ResourceArchive* newestFirst[] = {second.get(), first.get()};
  EXPECT_TRUE(std::equal(archive.patchArchives().begin(), archive.patchArchives().end(),
                         std::begin(newestFirst), std::end(newestFirst)));
}

TEST_F(MainArchiveTest, NewestPatchWinsAndOthersKeepTheirContent) {
  writeMain(fixtureOf({{"a.txt", "old a"}, {"keep.txt", "kept"}}));
  // The older patch's a.txt cannot even be read: the save must not try.
  ArchiveImage olderImage = ArchiveBuilder().add("a.txt", "first a").add("c.txt", "c from older").build();
  olderImage.setRecord32(0, kV2FieldStoredSize, 0x40000000);
  olderImage.reseal();
  auto older = patchOf(olderImage.file);
  auto newer = patchOf(fixtureOf({{"A.TXT", "second a"}}));
  {
    MainArchive archive;
    archive.overlay(older.get());
    archive.overlay(newer.get());
    ASSERT_TRUE(archive.openFile(path()));
    ASSERT_TRUE(archive.save());
  }
  EXPECT_EQ(reopen(path()), (std::map<std::string, std::string>{
                                {"a.txt", "second a"}, {"c.txt", "c from older"}, {"keep.txt", "kept"}}));
}

TEST_F(MainArchiveTest, SaveReplacesInPlaceAndAddsAtIndexPlace) {
  writeMain(fixtureOf({{"data", ""}, {"m.txt", "old m"}, {"z.txt", "zzz"}})
                .withReserved("RESERVED BYTES"));
  std::vector<uint8_t> before = bytesOf(path());
  auto patch = patchOf(fixtureOf({{"y.txt", "new y"}, {"m.txt", "new m!"}, {"b.txt", "new b"}}));
  MainArchive archive;
  archive.overlay(patch.get());
  ASSERT_TRUE(archive.openFile(path()));
  ArchiveEntry oldM;
  EntryName m;
  m.assign("m.txt");
  ASSERT_TRUE(archive.findEntry(m, &oldM));

  RecordingSink sink;
  ASSERT_TRUE(archive.save(&sink));
  EXPECT_EQ(sink.reports, (Reports{{1, 3}, {2, 3}, {3, 3}}));

  std::vector<uint8_t> after = bytesOf(path());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 30, after.begin()));
  EXPECT_EQ(le32(after, 34), 0u);      // countBias
  EXPECT_EQ(le32(after, 38), 5u + 7);  // countField, the directory included
  EXPECT_EQ(le32(after, 42), 0x200u);
  // The replaced entry's old bytes stay where they were, as a hole.
  EXPECT_EQ(std::string(after.begin() + 46 + oldM.position, after.begin() + 46 + oldM.position + 5),
            "old m");

  // The table is in index order, added names at their place, not at the end.
  std::vector<ArchiveEntry> table = tableRecordsOf(after);
  ASSERT_EQ(table.size(), 5u);
  ASSERT_EQ(archive.entries().size(), 5u);
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].name, archive.entries()[i].name);
    if (i > 0) {
      EXPECT_TRUE(table[i - 1].name < table[i].name);
    }
  }
  ArchiveEntry newM;
  ASSERT_TRUE(archive.findEntry(m, &newM));
  EXPECT_EQ(newM.compressedSize, 6u);
  EXPECT_EQ(newM.storedSize, 6u);
  EXPECT_NE(newM.position, oldM.position);
  archive.close();

  EXPECT_EQ(reopen(path()), (std::map<std::string, std::string>{{"b.txt", "new b"},
                                                                {"data", ""},
                                                                {"m.txt", "new m!"},
                                                                {"y.txt", "new y"},
                                                                {"z.txt", "zzz"}}));
}

TEST_F(MainArchiveTest, SaveOfNoNamesWritesTheSameRecordsAndReportsNothing) {
  writeMain(fixtureOf({{"dir", ""}, {"a.txt", "aaaa"}, {"b.txt", "bb"}}));
  std::vector<uint8_t> before = bytesOf(path());
  uint32_t oldTable = le32(before, 30) + 46;
  MainArchive archive;
  ASSERT_TRUE(archive.openFile(path()));
  RecordingSink sink;
  ASSERT_TRUE(archive.save(&sink));
  archive.close();
  EXPECT_TRUE(sink.reports.empty());

  std::vector<uint8_t> after = bytesOf(path());
  // The packed file has no hole: the new table goes to the end, the old one
  // stays behind untouched.
  EXPECT_EQ(le32(after, 30) + 46, before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 30, after.begin()));
  EXPECT_TRUE(std::equal(before.begin() + oldTable, before.end(), after.begin() + oldTable));
  std::vector<ArchiveEntry> oldRecords = tableRecordsOf(before), newRecords = tableRecordsOf(after);
  ASSERT_EQ(newRecords.size(), 3u);
  for (ArchiveEntry& r : oldRecords) {
    auto same = std::find_if(newRecords.begin(), newRecords.end(), [&](const ArchiveEntry& n) {
      return n.name == r.name && n.position == r.position && n.storedSize == r.storedSize &&
             n.compressedSize == r.compressedSize && n.realSize == r.realSize && n.flags == r.flags;
    });
    EXPECT_NE(same, newRecords.end()) << r.name.text;
  }
}

TEST_F(MainArchiveTest, NewTableTakesTheBestFittingHole) {
  FixtureArchive fixture = fixtureOf({{"a.txt", "aaaa"}, {"b.txt", "bbbb"}, {"c.txt", "cccc"}});
  // The new table holds the same records, in index order: about as long.
  uint32_t tableSize = fixtureTableSize(fixture);
  // Holes of tableSize - 10, + 40 and + 10 bytes before b, c and the table.
  fixture.entries[1].offset = 46 + 4 + tableSize - 10;
  fixture.entries[2].offset = fixture.entries[1].offset + 4 + tableSize + 40;
  uint32_t bestHole = static_cast<uint32_t>(fixture.entries[2].offset) + 4;
  fixture.tableOffset = bestHole + tableSize + 10;
  writeMain(fixture);
  MainArchive archive;
  ASSERT_TRUE(archive.openFile(path()));
  uint32_t freeBefore = 3 * tableSize + 40;
  ASSERT_TRUE(archive.save());
  EXPECT_EQ(archive.tableOffset(), bestHole);
  EXPECT_EQ(archive.freeBytes(), freeBefore - archive.tableSize());
  archive.close();
  EXPECT_EQ(le32(bytesOf(path()), 30) + 46, bestHole);
  EXPECT_EQ(reopen(path()).size(), 3u);
}

struct PlainCase {
  const char* what;
  uint8_t flags;
  uint32_t contentSize;
  uint32_t filler;
};

void PrintTo(const PlainCase& c, std::ostream* os) { *os << c.what; }

class SavePlainTest : public MainArchiveTest, public testing::WithParamInterface<PlainCase> {};

TEST_P(SavePlainTest, PatchEntryIsWrittenPlain) {
  const PlainCase& c = GetParam();
  std::string content;
  for (uint32_t i = 0; i < c.contentSize; ++i) content.push_back(static_cast<char>(i * 7 + 3));
  auto patch = patchOf(fixtureOf({{"p.dat", content, c.flags, -1, c.filler}}));
  writeMain(fixtureOf({{"x.txt", "x"}}));
  MainArchive archive;
  archive.overlay(patch.get());
  ASSERT_TRUE(archive.openFile(path()));
  ASSERT_TRUE(archive.save());
  ArchiveEntry written;
  EntryName key;
  key.assign("p.dat");
  ASSERT_TRUE(archive.findEntry(key, &written));
  EXPECT_EQ(written.storedSize, c.contentSize);
  EXPECT_EQ(written.compressedSize, c.contentSize);
  EXPECT_EQ(written.flags, c.flags & 0x01);
  std::vector<uint8_t> file = bytesOf(path());
  EXPECT_EQ(std::string(file.begin() + 46 + written.position,
                        file.begin() + 46 + written.position + c.contentSize),
            content);
  archive.close();
  EXPECT_EQ(reopen(path())["p.dat"], content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SavePlainTest,
    testing::Values(PlainCase{"Mixed99", 0x03, 99, 5}, PlainCase{"Mixed100", 0x03, 100, 4},
                    PlainCase{"Light", 0x05, 30, 0}, PlainCase{"Plain", 0x01, 40, 9},
                    PlainCase{"PlainWithoutCarriedBit", 0xF0, 12, 0}),
    [](const testing::TestParamInfo<PlainCase>& info) { return info.param.what; });

TEST_F(MainArchiveTest, Version1xArchiveBecomes200) {
  writeMain(fixtureOf({{"a.txt", std::string(20, 'a'), 0x01}, {"b.vrm", std::string(16, 'b'), 0x00}})
                .withReserved("ABCDEFGHIJKLMN")
                .withVersion(0x100));
  std::vector<uint8_t> before = bytesOf(path());
  auto patch = patchOf(fixtureOf({{"c.txt", "ccc"}}));
  MainArchive archive;
  archive.overlay(patch.get());
  ASSERT_TRUE(archive.openFile(path()));
  ASSERT_EQ(archive.version(), 0x100u);
  ASSERT_TRUE(archive.save());
  archive.close();

  std::vector<uint8_t> after = bytesOf(path());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 30, after.begin()));
  EXPECT_EQ(le32(after, 34), 0u);
  EXPECT_EQ(le32(after, 38), 3u + 7);
  uint32_t version = 0;
  EXPECT_EQ(reopen(path(), &version),
            (std::map<std::string, std::string>{
                {"a.txt", std::string(20, 'a')}, {"b.vrm", std::string(16, 'b')}, {"c.txt", "ccc"}}));
  EXPECT_EQ(version, 0x200u);
  // The old entries keep their stored bytes and the cipher bits the reader gave them.
  for (const ArchiveEntry& r : tableRecordsOf(after)) {
    std::string name = r.name.text;
    uint8_t expected = name == "a.txt" ? 0x03 : (name == "b.vrm" ? 0x04 : 0x01);
    EXPECT_EQ(r.flags, expected) << r.name.text;
  }
}

TEST_F(MainArchiveTest, FailedPlacementChangesNeitherIndexNorMap) {
  FixtureArchive fixture = fixtureOf({{"a.txt", "aaaa"}});
  fixture.fileSize = 400;  // a hole at the end
  writeMain(fixture);
  FaultEnv env;
  MainArchive archive(&env);
  ASSERT_TRUE(archive.openFile(path()));
  std::vector<ArchiveEntry> before = archive.entries();
  archive.scanFreeSpace();
  ASSERT_EQ(archive.freeSpace().regions().size(), 1u);
  FreeRegion hole = *archive.freeSpace().regions().begin();

  EXPECT_FALSE(archive.mergePendingName("nobody.txt"));  // no patch holds it
  env.failWrite(1, WriteFault::fail);
  ArchiveEntry entry = before[0];
  entry.compressedSize = entry.storedSize = 3;
  EXPECT_FALSE(archive.placeEntry(entry, reinterpret_cast<const uint8_t*>("new")));
  ASSERT_EQ(archive.entries().size(), 1u);
  EXPECT_EQ(archive.entries()[0].position, before[0].position);
  EXPECT_EQ(archive.entries()[0].storedSize, before[0].storedSize);
  // The region handed out stays out of the map.
  EXPECT_EQ(archive.freeSpace().regions().begin()->offset, hole.offset + 3);
}

TEST_F(MainArchiveTest, OpenFileRefusesWhatIsNoArchive) {
  MainArchive missing;
  EXPECT_FALSE(missing.openFile(path()));  // created empty: shorter than a header
  EXPECT_TRUE(fileExists(path()));
  ASSERT_TRUE(writeFile(path(), std::string("Keeper of Tomes!") + std::string(30, '\0')));
  MainArchive wrongSignature;
  EXPECT_FALSE(wrongSignature.openFile(path()));
}

// Free-space scan: each test lays out a file and names the regions found.
class MainArchiveScanTest : public MainArchiveTest {
 protected:
  std::vector<FreeRegion> scan(const FixtureArchive& fixture) {
    writeMain(fixture);
    archive_ = std::make_unique<MainArchive>();
    EXPECT_TRUE(archive_->openFile(path()));
    archive_->scanFreeSpace();
    return {archive_->freeSpace().regions().begin(), archive_->freeSpace().regions().end()};
  }
  std::unique_ptr<MainArchive> archive_;
};

TEST_F(MainArchiveScanTest, PackedFileHasNoFreeSpace) {
  EXPECT_TRUE(scan(fixtureOf({{"a.txt", "aaaa"}, {"dir", ""}, {"b.txt", "bb"}})).empty());
  EXPECT_EQ(archive_->freeBytes(), 0u);
  EXPECT_EQ(archive_->allocateRegion(10), archive_->fileSize());
}

TEST_F(MainArchiveScanTest, GapsBetweenReservedRegionsAndAtTheEnd) {
  FixtureArchive fixture = fixtureOf({{"x.txt", std::string(100, 'x')}});
  fixture.tableOffset = 200;
  uint32_t tableEnd = 200 + fixtureTableSize(fixture);
  fixture.fileSize = tableEnd + 50;
  EXPECT_EQ(scan(fixture), (std::vector<FreeRegion>{{50, tableEnd}, {54, 146}}));
  EXPECT_EQ(archive_->allocateRegion(40), tableEnd);
  EXPECT_EQ(archive_->allocateRegion(54), 146u);
  EXPECT_EQ(archive_->freeBytes(), 10u);
}

TEST_F(MainArchiveScanTest, SharedAndNestedRegionsStayReserved) {
  // Two entries on the same bytes, and one inside a longer one: a damaged
  // archive whose nested entry must not pull the running end back.
  EXPECT_TRUE(scan(fixtureOf({{"big.txt", std::string(200, 'b')},
                                    {"in.txt", "iiiiiiiiii", 0x01, 60},
                                    {"same.txt", "iiiiiiiiii", 0x01, 60},
                                    {"after.txt", "a", 0x01, 246}}))
                  .empty());
}

TEST_F(MainArchiveScanTest, DirectoryEntryWithBytesKeepsThem) {
  EXPECT_TRUE(scan(fixtureOf({{"folder", std::string(100, 'f')}, {"a.txt", "a"}})).empty());
}

TEST_F(MainArchiveScanTest, WasteBoundaryIsOneFifth) {
  for (uint32_t freeBytes : {200u, 201u}) {
    FixtureArchive fixture = fixtureOf({{"a.txt", std::string(700, 'a')}});
    // The table's size hardly depends on the content's length; settle it.
    for (int i = 0; i < 3; ++i) {
      fixture.entries[0].content.assign(1000 - 46 - fixtureTableSize(fixture) - freeBytes, 'a');
    }
    fixture.fileSize = 1000;
    scan(fixture);
    EXPECT_EQ(archive_->fileSize(), 1000u);
    EXPECT_EQ(archive_->freeBytes(), freeBytes);
    bool wasteful = 5 * uint64_t{archive_->freeBytes()} > archive_->fileSize();
    EXPECT_EQ(wasteful, freeBytes == 201u);
  }
}

}  // namespace
}  // namespace corvanth
