// Crash safety of the save and the repack: a write that fails or stops
// part-way, and a process killed at random moments, never leave the archive
// file anything but its old or its new self.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archive/main_archive.h"
#include "archive/memory_archive.h"
#include "support/archive_builder.h"
#include "support/fault_env.h"
#include "support/killable_process.h"
#include "support/temp_dir.h"
#include "write_fixture.h"

namespace corvanth {
namespace {

using Contents = std::map<std::string, std::string>;

std::string bytesNamed(char c, size_t n) { return std::string(n, c); }

// The index as plain values, for comparing the old and the reopened one.
struct Snapshot {
  uint32_t version = 0;
  std::vector<std::string> records;
  Contents contents;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshotOf(const std::string& path) {
  Snapshot s;
  FileByteSource source;
  ResourceArchive archive;
  if (!source.openRead(path) || !archive.open(&source)) return s;
  s.version = archive.version();
  for (const ArchiveEntry& e : archive.entries()) {
    s.records.push_back(std::string(e.name.text) + " " + std::to_string(e.position) + " " +
                        std::to_string(e.storedSize) + " " + std::to_string(e.compressedSize) +
                        " " + std::to_string(e.realSize) + " " + std::to_string(e.flags));
  }
  s.contents = plainContents(&archive);
  return s;
}

// A main archive with a hole that takes some of the patch, and a patch that
// replaces, adds, and carries a directory that is never applied.
FixtureArchive mainFixture(uint32_t version) {
  return fixtureOf({{"dir", ""},
                         {"a.txt", bytesNamed('a', 100)},
                         {"b.txt", bytesNamed('b', 64), 0x03, 400},
                         {"c.vrm", bytesNamed('c', 80), 0x05}})
      .withVersion(version);
}

FixtureArchive patchFixture() {
  return fixtureOf({{"a.txt", bytesNamed('A', 150)},
                         {"d.txt", bytesNamed('D', 40), 0x03},
                         {"e.txt", bytesNamed('E', 2000)},
                         {"c.vrm", bytesNamed('C', 30)},
                         {"newdir", "xyz"}});
}

Contents newContents() {
  return {{"dir", ""},
          {"a.txt", bytesNamed('A', 150)},
          {"b.txt", bytesNamed('b', 64)},
          {"c.vrm", bytesNamed('C', 30)},
          {"d.txt", bytesNamed('D', 40)},
          {"e.txt", bytesNamed('E', 2000)}};
}

struct FaultCase {
  const char* what;
  uint32_t version;
  WriteFault fault;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class SaveFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(SaveFaultTest, EveryBrokenWriteLeavesTheOldArchive) {
  const FaultCase& c = GetParam();
  TempDir dir;
  std::string path = dir.file("sdata.vdt");
  std::vector<uint8_t> pristine = buildArchive(mainFixture(c.version));
  ASSERT_TRUE(writeFile(path, pristine));
  Snapshot old = snapshotOf(path);
  ASSERT_EQ(old.contents.size(), 4u);
  MemoryArchive patch;
  patch.memory().bytes = buildArchive(patchFixture());
  ASSERT_TRUE(patch.openOwnBytes());

  // Four names, two table writes and the header fields: seven writes.
  for (uint64_t k = 1;; ++k) {
    SCOPED_TRACE("write " + std::to_string(k));
    ASSERT_LE(k, 8u);
    ASSERT_TRUE(writeFile(path, pristine));
    FaultEnv env;
    bool saved;
    {
      MainArchive archive(&env);
      archive.overlay(&patch);
      ASSERT_TRUE(archive.openFile(path));
      env.failWrite(k, c.fault);
      saved = archive.save();
    }
    if (!env.faultHit()) {
      EXPECT_TRUE(saved);
      EXPECT_EQ(k, 8u);
      Snapshot now = snapshotOf(path);
      EXPECT_EQ(now.version, 0x200u);
      EXPECT_EQ(now.contents, newContents());
      break;
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(snapshotOf(path), old);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveFaultTest,
    testing::Values(FaultCase{"Failed20", 0x200, WriteFault::fail},
                    FaultCase{"Short20", 0x200, WriteFault::shortWrite},
                    FaultCase{"Failed1x", 0x100, WriteFault::fail},
                    FaultCase{"Short1x", 0x100, WriteFault::shortWrite}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.what; });

class RepackFaultTest : public testing::TestWithParam<WriteFault> {};

TEST_P(RepackFaultTest, EveryBrokenWriteFailsAndLeavesTheArchive) {
  TempDir dir;
  std::string path = dir.file("sdata.vdt"), target = dir.file("tmpdata.vdt");
  std::vector<uint8_t> pristine = buildArchive(mainFixture(0x200));
  ASSERT_TRUE(writeFile(path, pristine));
  Snapshot old = snapshotOf(path);

  // The header, three entries, two table writes, the header fields.
  for (uint64_t k = 1;; ++k) {
    SCOPED_TRACE("write " + std::to_string(k));
    ASSERT_LE(k, 8u);
    std::remove(target.c_str());
    FaultEnv env;
    bool repacked;
    {
      MainArchive archive(&env);
      ASSERT_TRUE(archive.openFile(path));
      env.failWrite(k, GetParam());
      repacked = archive.repack(target);
    }
    EXPECT_EQ(readFile(path), std::string(pristine.begin(), pristine.end()));
    EXPECT_EQ(snapshotOf(path), old);
    if (!env.faultHit()) {
      EXPECT_TRUE(repacked);
      EXPECT_EQ(k, 8u);
      Contents files = old.contents;
      files.erase("dir");  // directories are not copied
      EXPECT_EQ(snapshotOf(target).contents, files);
      break;
    }
    EXPECT_FALSE(repacked);
    if (k == 4 && GetParam() == WriteFault::fail) {
      // Failing at the third entry: the header with zero table fields and
      // the first two entries' data.
      std::string copy = readFile(target);
      EXPECT_EQ(copy, std::string("Keeper of Tomes", 16) + std::string(30, '\0') +
                          bytesNamed('a', 100) + bytesNamed('b', 64));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RepackFaultTest,
                         testing::Values(WriteFault::fail, WriteFault::shortWrite),
                         [](const testing::TestParamInfo<WriteFault>& info) {
                           return info.param == WriteFault::fail ? "Failed" : "Short";
                         });

// Kills a process that saves a patch at random moments; after each kill the
// archive must hold exactly the old or exactly the new content.
TEST(SaveKillTest, KilledSaveLeavesTheOldOrTheNewArchive) {
  TempDir dir;
  std::string path = dir.file("sdata.vdt"), patchPath = dir.file("patch.vpt");
  FixtureArchive main, patch;
  for (int i = 0; i < 60; ++i) {
    std::string name = "main/" + std::to_string(i) + ".dat";
    main.entries.push_back({name, bytesNamed(static_cast<char>('a' + i % 26), 200 + i), 0x03});
    if (i % 2 == 0) patch.entries.push_back({name, bytesNamed('R', 100 + i)});
    patch.entries.push_back({"new/" + std::to_string(i) + ".dat", bytesNamed('N', 300 + i)});
  }
  std::vector<uint8_t> pristine = buildArchive(main);
  ASSERT_TRUE(writeFile(patchPath, buildArchive(patch)));
  ASSERT_TRUE(writeFile(path, pristine));
  Snapshot old = snapshotOf(path);

  // One whole run gives the new content and the time a save takes.
  auto start = std::chrono::steady_clock::now();
  {
    KillableProcess writer;
    ASSERT_TRUE(writer.start({CORVANTH_CRASH_SAVE_WRITER, path, patchPath}));
    ASSERT_EQ(writer.wait(), 0);
  }
  auto whole = std::chrono::steady_clock::now() - start;
  Snapshot saved = snapshotOf(path);
  ASSERT_NE(saved, old);
  ASSERT_EQ(saved.contents.size(), 120u);

  std::mt19937 random(12345);
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(whole).count();
  std::uniform_int_distribution<long> delay(0, micros + micros / 2);
  int trials = 0, oldSeen = 0, newSeen = 0;
  auto budget = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (trials < 200 && std::chrono::steady_clock::now() < budget) {
    ASSERT_TRUE(writeFile(path, pristine));
    KillableProcess writer;
    ASSERT_TRUE(writer.start({CORVANTH_CRASH_SAVE_WRITER, path, patchPath}));
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    writer.kill();
    writer.wait();
    ++trials;
    Snapshot now = snapshotOf(path);
    if (now == old) {
      ++oldSeen;
    } else if (now == saved) {
      ++newSeen;
    } else {
      ADD_FAILURE() << "trial " << trials << ": the archive is neither the old nor the new one";
      break;
    }
  }
  std::printf("kill trials: %d (a whole save %ld us), old archive %d, new archive %d\n", trials,
              static_cast<long>(micros), oldSeen, newSeen);
  EXPECT_GE(trials, 10);
}

}  // namespace
}  // namespace corvanth
