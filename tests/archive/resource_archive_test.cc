// ResourceArchive: every table form read back to plain content, lookup, the
// name key, and the open's refusal of every malformed archive.
#include "archive/resource_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/byte_source.h"
#include "archive/coding.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"

namespace corvanth {
namespace {

// Exposes the deciphering area for the checks on its size.
class TestArchive : public ResourceArchive {
 public:
  size_t scratchSize() const { return scratch_.size(); }
};

EntryName key(const char* text) {
  EntryName name;
  name.assign(text);
  return name;
}

void expectClosed(const TestArchive& archive) {
  EXPECT_FALSE(archive.isOpen());
  EXPECT_EQ(archive.version(), 0u);
  EXPECT_EQ(archive.entryCount(), 0u);
  EXPECT_EQ(archive.tableOffset(), 0u);
  EXPECT_EQ(archive.tableSize(), 0u);
  EXPECT_TRUE(archive.entries().empty());
  EXPECT_EQ(archive.scratchSize(), 0u);
}

// Reads entry `name` in plain form and checks the rewritten record.
std::string readPlain(ResourceArchive* archive, const char* name) {
  ArchiveEntry entry;
  if (!archive->findEntry(key(name), &entry)) return "<missing>";
  std::vector<uint8_t> out(entry.compressedSize + 1, 0xCC);
  const uint8_t flags = entry.flags;
  if (!archive->readEntryPlain(&entry, out.data())) return "<unreadable>";
  EXPECT_EQ(entry.storedSize, entry.compressedSize) << name;
  EXPECT_EQ(entry.position, 0u) << name;
  EXPECT_EQ(entry.flags, flags & FLAG_CARRIED) << name;
  EXPECT_EQ(out.back(), 0xCC) << name << ": wrote past compressedSize";
  return std::string(out.begin(), out.end() - 1);
}

struct Content {
  const char* name;
  std::string content;
  uint8_t flags;  // as stored; 2.0 ciphers by it
};

std::vector<Content> contents() {
  return {
      {"Data/Readme.TXT", "hello, archive", FLAG_CARRIED},
      {"models/Hero.VRM", patternBytes(300, 1), FLAG_CARRIED | FLAG_LIGHT_CIPHER},
      {"sounds\\step.wav", patternBytes(1500, 2), FLAG_CARRIED | FLAG_MIXED_CIPHER},
      {"ninety.nine", patternBytes(99, 3), FLAG_CARRIED | FLAG_MIXED_CIPHER},
      {"one.hundred", patternBytes(100, 4), FLAG_MIXED_CIPHER | FLAG_LIGHT_CIPHER},
      {"big.tzl", patternBytes(20000, 5), FLAG_MIXED_CIPHER},
      {"empty.txt", "", FLAG_CARRIED},
      {"odd.bin", patternBytes(13, 6), 0xF8},
      {"\xB0\xC1.dat", patternBytes(64, 7), FLAG_CARRIED | FLAG_LIGHT_CIPHER},
  };
}

class EveryFormTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(EveryFormTest, ReadsEveryEntryBackToItsContent) {
  const uint32_t version = GetParam();
  ArchiveBuilder builder(version);
  builder.addDirectory("Data").addHole(77);
  for (const Content& c : contents()) builder.add(c.name, c.content, c.flags).addHole(5);
  builder.addDirectory("models");
  MemoryByteSource source;
  source.bytes = builder.build().file;

  TestArchive archive;
  ASSERT_TRUE(archive.open(&source));
  EXPECT_EQ(archive.version(), version);
  EXPECT_EQ(archive.entryCount(), contents().size() + 2);
  EXPECT_EQ(archive.entries().size(), archive.entryCount());
  EXPECT_TRUE(std::is_sorted(archive.entries().begin(), archive.entries().end(),
                             [](const ArchiveEntry& a, const ArchiveEntry& b) {
                               return a.name < b.name;
                             }));
  EXPECT_EQ(archive.scratchSize(), 20000u);
  for (const Content& c : contents()) {
    EXPECT_EQ(readPlain(&archive, c.name), c.content) << c.name;
  }
  std::map<std::string, std::string> all = plainContents(&archive);
  EXPECT_EQ(all.size(), archive.entryCount());
  EXPECT_EQ(all["big.tzl"], patternBytes(20000, 5));
  ArchiveEntry dir;
  ASSERT_TRUE(archive.findEntry(key("data"), &dir));
  EXPECT_EQ(dir.storedSize, 0u);
  EXPECT_FALSE(isFileEntryName(dir.name.text));
  EXPECT_EQ(readPlain(&archive, "Models"), "");
}

INSTANTIATE_TEST_SUITE_P(Versions, EveryFormTest,
                         ::testing::Values(0x100u, 0x101u, 0x102u, 0x103u, 0x200u, 0x2FFu,
                                           0x10200u));

TEST(ResourceArchiveTest, Version1FlagsComeFromTheName) {
  struct Case {
    uint32_t version;
    const char* name;
    uint8_t stored, expected;
  } cases[] = {
      {0x100, "a.vrm", 0x01, 0x05},   {0x101, "a.TZL", 0x00, 0x04},
      {0x102, "a.OpK", 0x01, 0x05},   {0x103, "a.wyx", 0x01, 0x05},
      {0x101, "a.vrm.bak", 0x01, 0x03}, {0x101, "a.vrmx", 0x01, 0x03},
      {0x101, "a.txt", 0x00, 0x02},   {0x101, "a.vrm", 0x03, 0x07},
  };
  for (const Case& c : cases) {
    const std::string content = patternBytes(500, c.stored);
    MemoryByteSource source;
    source.bytes = ArchiveBuilder(c.version).add(c.name, content, c.stored).build().file;
    ResourceArchive archive;
    ASSERT_TRUE(archive.open(&source)) << c.name;
    ArchiveEntry entry;
    ASSERT_TRUE(archive.findEntry(key(c.name), &entry));
    EXPECT_EQ(entry.flags, c.expected) << c.name;
    // Both bits set: the mixed mode applies, as the builder enciphered it.
    EXPECT_EQ(readPlain(&archive, c.name), content) << c.name;
  }
}

TEST(ResourceArchiveTest, Version2FlagsAreTakenAsStored) {
  MemoryByteSource source;
  source.bytes = ArchiveBuilder().add("plain.txt", "abc", 0x01).add("bits.txt", "xyz", 0xF8).build().file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  ArchiveEntry entry;
  ASSERT_TRUE(archive.findEntry(key("plain.txt"), &entry));
  EXPECT_EQ(entry.flags, 0x01);
  ASSERT_TRUE(archive.findEntry(key("bits.txt"), &entry));
  EXPECT_EQ(entry.flags, 0xF8);
  EXPECT_EQ(readPlain(&archive, "bits.txt"), "xyz");
}

TEST(ResourceArchiveTest, LookupIsBlindToCaseOnly) {
  MemoryByteSource source;
  source.bytes = ArchiveBuilder().add("Data\\Map\\Town.BIN", "town").build().file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  EXPECT_TRUE(archive.findEntry(key("data\\map\\town.bin"), nullptr));
  EXPECT_TRUE(archive.findEntry(key("DATA\\MAP\\TOWN.BIN"), nullptr));
  EXPECT_FALSE(archive.findEntry(key("data/map/town.bin"), nullptr));
  EXPECT_FALSE(archive.findEntry(key(" data\\map\\town.bin"), nullptr));
  EXPECT_FALSE(archive.findEntry(key("data\\map\\town.bin "), nullptr));
  ArchiveEntry untouched;
  untouched.position = 1234;
  EXPECT_FALSE(archive.findEntry(key("missing.bin"), &untouched));
  EXPECT_EQ(untouched.position, 1234u);
  ArchiveEntry found;
  ASSERT_TRUE(archive.findEntry(key("data\\map\\town.bin"), &found));
  EXPECT_STREQ(found.name.text, "data\\map\\town.bin");
  EXPECT_EQ(found.compressedSize, 4u);
}

TEST(ResourceArchiveTest, EntryNameHashAndOrder) {
  EXPECT_EQ(key("").hash, 5381u);
  EXPECT_EQ(key("a").hash, 177670u);
  EXPECT_EQ(key("A").hash, 177670u);
  EXPECT_STREQ(key("AbC\xC4").text, "abc\xC4");
  // A byte 0xB0 enters the hash as -80.
  EXPECT_EQ(key("\xB0").hash, 5381u * 33 - 80);
  // Ordered by hash first, not alphabetically: "b" hashes below "ab".
  EXPECT_LT(key("b"), key("ab"));
  // Equal hashes fall back to the text: "Ab" and "BA" collide (33*65+98 = 33*66+65).
  EntryName x = key("aB"), y = key("bA");
  x.hash = y.hash = 42;
  EXPECT_LT(x, y);
  EXPECT_FALSE(y < x);
  EXPECT_FALSE(x == y);
  EntryName prefix = key("ab");
  EntryName longer = key("abc");
  longer.hash = prefix.hash;
  EXPECT_LT(prefix, longer);
  EXPECT_EQ(key("Same.Name"), key("same.name"));
}

TEST(ResourceArchiveTest, LightCipherNames) {
  struct Case {
    const char* text;
    bool light;
  } cases[] = {{"a.vrm", true},      {"A.VRM", true},   {"x.y.TzL", true}, {".opk", true},
               {"dir.wyx\\b.wyx", true}, {"a.vrm.bak", false}, {"a.vrmx", false},
               {"a.vr", false},      {"vrm", false},    {"a.txt", false},  {"", false}};
  for (const Case& c : cases) EXPECT_EQ(ResourceArchive::isLightCipherName(c.text), c.light) << c.text;
}

TEST(ResourceArchiveTest, EmptyArchivesOpen) {
  for (uint32_t version : {0x100u, 0x103u, 0x104u, 0x1FFu, 0x200u}) {
    MemoryByteSource source;
    source.bytes = ArchiveBuilder(version).build().file;
    TestArchive archive;
    ASSERT_TRUE(archive.open(&source)) << std::hex << version;
    EXPECT_EQ(archive.entryCount(), 0u);
    EXPECT_EQ(archive.scratchSize(), 0u);
    EXPECT_FALSE(archive.findEntry(key(""), nullptr));
  }
}

TEST(ResourceArchiveTest, CountBiasIsSubtracted) {
  MemoryByteSource source;
  source.bytes = ArchiveBuilder().countBias(1000).add("a.txt", "a").add("b.txt", "b").build().file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  EXPECT_EQ(archive.entryCount(), 2u);
}

TEST(ResourceArchiveTest, TableFieldsOfBothForms) {
  ArchiveImage v2 = ArchiveBuilder().add("a.txt", "abc").build();
  MemoryByteSource source;
  source.bytes = v2.file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  EXPECT_EQ(archive.tableOffset(), v2.tableOffset());
  EXPECT_EQ(archive.tableSize(), v2.file.size() - v2.tableOffset());
  EXPECT_EQ(archive.tableSize(), decodeFixed32(&v2.file[v2.tableOffset()]) + 8);

  ArchiveImage v1 = ArchiveBuilder(0x101).add("a.txt", "abc").build();
  source.bytes = v1.file;
  ASSERT_TRUE(archive.open(&source));
  EXPECT_EQ(archive.tableOffset(), v1.tableOffset());
  EXPECT_EQ(archive.tableSize(), v1.table.size());
}

TEST(ResourceArchiveTest, DuplicateNamesBothEnterTheIndex) {
  MemoryByteSource source;
  source.bytes = ArchiveBuilder().add("same.txt", "one").add("SAME.txt", "two").build().file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  EXPECT_EQ(archive.entries().size(), 2u);
  std::string got = readPlain(&archive, "same.txt");
  EXPECT_TRUE(got == "one" || got == "two") << got;
}

TEST(ResourceArchiveTest, OpenCloseAndReopen) {
  MemoryByteSource first, second;
  first.bytes = ArchiveBuilder().add("a.txt", "a").build().file;
  second.bytes = ArchiveBuilder(0x100).add("b.txt", "b").add("c.txt", "c").build().file;
  TestArchive archive;
  expectClosed(archive);
  archive.close();
  ASSERT_TRUE(archive.open(&first));
  EXPECT_FALSE(archive.open(nullptr));  // changes nothing
  EXPECT_EQ(archive.source(), &first);
  EXPECT_EQ(archive.entryCount(), 1u);
  ASSERT_TRUE(archive.open(&second));  // replaces the index
  EXPECT_EQ(archive.entryCount(), 2u);
  EXPECT_FALSE(archive.findEntry(key("a.txt"), nullptr));
  EXPECT_TRUE(archive.findEntry(key("c.txt"), nullptr));
  archive.close();
  expectClosed(archive);
  archive.close();
  expectClosed(archive);
}

TEST(ResourceArchiveTest, OpensFromAFile) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("sdata.vdt"),
                        ArchiveBuilder(0x102).add("a.txt", patternBytes(5000, 9)).build().file));
  FileByteSource file;
  ASSERT_TRUE(file.openRead(dir.file("sdata.vdt")));
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&file));
  EXPECT_EQ(readPlain(&archive, "a.txt"), patternBytes(5000, 9));
}

TEST(ResourceArchiveTest, CollectFileNamesSkipsDirectories) {
  MemoryByteSource source;
  source.bytes = ArchiveBuilder()
                     .add("Maps\\Town.bin", "t")
                     .addDirectory("Maps")
                     .add("b.TXT", "b")
                     .add("noext", "data but no dot")
                     .build()
                     .file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  NameSet names = {"b.txt", "zzz.old"};
  archive.collectFileNames(&names);
  EXPECT_EQ(names, (NameSet{"b.txt", "maps\\town.bin", "zzz.old"}));
}

// ---- readEntryPlain refusals: false, the record and the buffer unchanged.

TEST(ResourceArchiveTest, ReadEntryPlainRefusesInconsistentRecords) {
  struct Case {
    const char* what;
    std::function<void(ArchiveEntry*)> edit;
  } cases[] = {
      {"compressedSize above storedSize", [](ArchiveEntry* e) { e->compressedSize = e->storedSize + 1; }},
      {"enciphered, partial block", [](ArchiveEntry* e) { e->storedSize -= 1; e->compressedSize -= 1; }},
      {"light, partial block", [](ArchiveEntry* e) { e->flags = FLAG_LIGHT_CIPHER; e->storedSize -= 3; e->compressedSize = 1; }},
      {"data past the source", [](ArchiveEntry* e) { e->position += 1000; }},
      {"position wraps", [](ArchiveEntry* e) { e->position = 0xFFFFFFF0u; }},
      {"storedSize past the source", [](ArchiveEntry* e) { e->storedSize = 0xFFFFFFF8u; }},
  };
  MemoryByteSource source;
  source.bytes = ArchiveBuilder().add("m.dat", patternBytes(96, 1), 0x03).build().file;
  ResourceArchive archive;
  ASSERT_TRUE(archive.open(&source));
  for (const Case& c : cases) {
    ArchiveEntry entry;
    ASSERT_TRUE(archive.findEntry(key("m.dat"), &entry));
    c.edit(&entry);
    ArchiveEntry before = entry;
    std::vector<uint8_t> out(200, 0xCC);
    EXPECT_FALSE(archive.readEntryPlain(&entry, out.data())) << c.what;
    EXPECT_EQ(std::memcmp(&entry, &before, sizeof entry), 0) << c.what;
    EXPECT_EQ(out, std::vector<uint8_t>(200, 0xCC)) << c.what;
  }
  // A plain record may store more than its content; only the content is copied.
  ArchiveEntry entry;
  ASSERT_TRUE(archive.findEntry(key("m.dat"), &entry));
  entry.flags = FLAG_CARRIED;
  entry.compressedSize = 5;
  std::vector<uint8_t> out(6, 0xCC);
  ASSERT_TRUE(archive.readEntryPlain(&entry, out.data()));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5),
            std::vector<uint8_t>(source.bytes.begin() + 46, source.bytes.begin() + 51));
  EXPECT_EQ(out[5], 0xCC);
}

// ---- The open's failure table: each case fails cleanly, the archive closed.

struct Hostile {
  const char* what;
  uint32_t version;
  std::function<void(ArchiveImage*)> edit;
};

void setName(ArchiveImage* image, const std::string& name) {
  // Rebuilds the single-record 2.0 table with another name.
  std::vector<uint8_t> fields(image->table.begin() + image->fieldOffsets[0], image->table.end());
  image->table.assign(name.begin(), name.end());
  image->table.push_back(0);
  image->fieldOffsets[0] = static_cast<uint32_t>(image->table.size());
  image->table.insert(image->table.end(), fields.begin(), fields.end());
}

void setFieldLength(ArchiveImage* image, uint32_t length) {
  encodeFixed32(image->table.data(), length);
}

std::vector<Hostile> hostileCases() {
  return {
      {"empty source", 0x200, [](ArchiveImage* i) { i->file.clear(); }},
      {"shorter than the header", 0x200, [](ArchiveImage* i) { i->file.resize(45); }},
      {"signature's zero", 0x200, [](ArchiveImage* i) { i->file[15] = ' '; }},
      {"signature's first byte", 0x200, [](ArchiveImage* i) { i->file[0] = 'k'; }},
      {"version 0x300", 0x200, [](ArchiveImage* i) { i->setHeader32(kVersionOffset, 0x300); }},
      {"version 0", 0x200, [](ArchiveImage* i) { i->setHeader32(kVersionOffset, 0); }},
      {"version 0x104 with records", 0x103, [](ArchiveImage* i) { i->setHeader32(kVersionOffset, 0x104); }},
      {"version 0x10100 with records", 0x100, [](ArchiveImage* i) { i->setHeader32(kVersionOffset, 0x10100); }},
      {"table past the end", 0x200, [](ArchiveImage* i) { i->setHeader32(kTablePositionOffset, static_cast<uint32_t>(i->file.size())); }},
      {"table offset wraps", 0x200, [](ArchiveImage* i) { i->setHeader32(kTablePositionOffset, 0xFFFFFFF0u); }},
      {"1.x table offset wraps", 0x101, [](ArchiveImage* i) { i->setHeader32(kTablePositionOffset, 0xFFFFFFF0u); }},
      {"2.0 lengths cut off", 0x200, [](ArchiveImage* i) { i->file.resize(i->tableOffset() + 7); }},
      {"2.0 packed length past the end", 0x200, [](ArchiveImage* i) { i->file.pop_back(); }},
      {"2.0 table does not inflate", 0x200, [](ArchiveImage* i) { i->file[i->tableOffset() + 8] ^= 0xFF; }},
      {"2.0 stated length too small", 0x200, [](ArchiveImage* i) { i->reseal(static_cast<uint32_t>(i->table.size()) - 9); }},
      {"2.0 stated length beyond inflating", 0x200, [](ArchiveImage* i) { i->reseal(0xFFFFFFF7u); }},
      {"2.0 stated length wraps", 0x200, [](ArchiveImage* i) { i->reseal(0xFFFFFFFFu); }},
      {"2.0 one record more than the table", 0x200, [](ArchiveImage* i) { i->setHeader32(kCountFieldOffset, 9); }},
      {"2.0 last record cut short", 0x200, [](ArchiveImage* i) { i->table.pop_back(); i->reseal(); }},
      {"2.0 name without its zero", 0x200, [](ArchiveImage* i) { i->table.resize(5); i->table.insert(i->table.end(), 20, 'x'); i->reseal(); }},
      {"2.0 name of 252 bytes", 0x200, [](ArchiveImage* i) { setName(i, std::string(252, 'n')); i->reseal(); }},
      {"countBias above countField - 7", 0x200, [](ArchiveImage* i) { i->setHeader32(kCountBiasOffset, 2); }},
      {"count out of all proportion", 0x101, [](ArchiveImage* i) { i->setHeader32(kCountFieldOffset, 0x7FFFFFFF); }},
      {"1.x one record more than the table", 0x101, [](ArchiveImage* i) { i->setHeader32(kCountFieldOffset, 9); }},
      {"1.x table cut short", 0x101, [](ArchiveImage* i) { i->file.pop_back(); }},
      {"1.x name field past the table", 0x101, [](ArchiveImage* i) { setFieldLength(i, 0x1000); i->reseal(); }},
      {"1.x name field wraps", 0x101, [](ArchiveImage* i) { setFieldLength(i, 0xFFFFFFFFu); i->reseal(); }},
      {"1.x enciphered field under 6 bytes", 0x101, [](ArchiveImage* i) { setFieldLength(i, 5); i->reseal(); }},
      {"1.x enciphered name not whole blocks", 0x102, [](ArchiveImage* i) { setFieldLength(i, 6 + 8 - 1); i->reseal(); }},
      {"1.x enciphered name without zero", 0x103, [](ArchiveImage* i) { setFieldLength(i, 6); i->reseal(); }},
      {"0x100 name without zero", 0x100, [](ArchiveImage* i) { setFieldLength(i, 3); i->reseal(); }},
  };
}

TEST(ResourceArchiveTest, MalformedArchivesFailTheOpen) {
  for (const Hostile& h : hostileCases()) {
    ArchiveImage image = ArchiveBuilder(h.version).add("a.txt", "abc", 0x03).build();
    MemoryByteSource source;
    source.bytes = image.file;
    TestArchive archive;
    ASSERT_TRUE(archive.open(&source)) << h.what << ": unedited";
    h.edit(&image);
    source.bytes = image.file;
    EXPECT_FALSE(archive.open(&source)) << h.what;
    expectClosed(archive);
  }
}

TEST(ResourceArchiveTest, OverlongNamesFailTheOpen) {
  // 251 bytes are held; 252 are not, in every form.
  for (uint32_t version : {0x100u, 0x101u, 0x200u}) {
    for (size_t length : {251u, 252u, 300u}) {
      MemoryByteSource source;
      source.bytes = ArchiveBuilder(version).add(std::string(length - 4, 'n') + ".txt", "x").build().file;
      ResourceArchive archive;
      EXPECT_EQ(archive.open(&source), length <= 251) << std::hex << version << " " << std::dec << length;
    }
  }
}

}  // namespace
}  // namespace corvanth
