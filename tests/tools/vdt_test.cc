// The vdt subcommands on small archives built in the test.
#include <zlib.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "archive/archive_writer.h"
#include "archive/byte_source.h"
#include "archive/resource_archive.h"
#include "support/temp_dir.h"
#include "tools/vdt/vdt.h"

namespace corvanth {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

Result vdt(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Result r;
  r.status = vdt::runVdt(args, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// Content long enough to reach past the first 20 blocks that every
// enciphering mode transforms.
std::string longContent(size_t n, char seed) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(seed + i * 7 % 61));
  return s;
}

void makeTree(const std::string& root, const std::map<std::string, std::string>& files) {
  for (const auto& [name, content] : files) {
    fs::create_directories((fs::path(root) / name).parent_path());
    ASSERT_TRUE(writeFile(root + "/" + name, content));
  }
}

// Plain content of every file entry, by name.
std::map<std::string, std::string> contentsOf(const std::string& path) {
  std::map<std::string, std::string> contents;
  FileByteSource file;
  ResourceArchive archive;
  if (!file.openRead(path) || !archive.open(&file)) return contents;
  for (ArchiveEntry e : archive.entries()) {
    if (!isFileEntryName(e.name.text)) continue;
    std::vector<uint8_t> data(e.compressedSize);
    std::string name = e.name.text;
    if (!archive.readEntryPlain(&e, data.data())) return {};
    contents[name] = std::string(data.begin(), data.end());
  }
  return contents;
}

// A version 2.0 archive with records exactly as given, for hostile cases
// that no writer would produce.
struct RawRecord {
  std::string name;
  uint32_t compressedSize, storedSize, position;
  uint8_t flags;
};
std::string rawArchive(const std::vector<RawRecord>& records, const std::string& data) {
  auto u32 = [](std::string* s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
  };
  std::string table;
  for (const RawRecord& r : records) {
    table += r.name;
    table.push_back('\0');
    u32(&table, r.compressedSize);
    u32(&table, r.storedSize);
    u32(&table, r.compressedSize);
    table.push_back(static_cast<char>(r.flags));
    u32(&table, r.position);
  }
  uLongf packed = compressBound(table.size());
  std::string compressed(packed, '\0');
  compress(reinterpret_cast<Bytef*>(compressed.data()), &packed,
           reinterpret_cast<const Bytef*>(table.data()), table.size());
  compressed.resize(packed);
  std::string file("Keeper of Tomes", 15);
  file.append(31, '\0');
  file += data;
  std::string header;
  u32(&header, static_cast<uint32_t>(data.size()));
  u32(&header, 0);
  u32(&header, static_cast<uint32_t>(records.size() + 7));
  u32(&header, 0x200);
  file.replace(30, 16, header);
  u32(&file, static_cast<uint32_t>(packed));
  u32(&file, static_cast<uint32_t>(table.size()));
  return file + compressed;
}

TEST(VdtTest, UsageErrorsExitTwoAndHelpExitsZero) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate"},
      {"list"},
      {"list", "a.vdt", "--bogus"},
      {"stat", "a.vdt", "b.vdt"},
      {"extract", "a.vdt"},
      {"create", "out.vpt"},
      {"create", "out.vpt", "dir", "--legacy", "0x200"},
      {"create", "out.vpt", "dir", "--cipher", "strong"},
      {"create", "out.vpt", "dir", "--legacy", "0x101", "--cipher", "mixed"},
      {"diff", "old.vdt", "new.vdt"},
      {"pack", "dir"},
      {"pack", "dir", "-o", "upd.CGZ"},
      {"publish", "a.vpt", "--web", "w", "--ftp", "f"},
      {"publish", "a.vpt", "--number", "0", "--web", "w", "--ftp", "f"},
      {"extract", "a.vdt", "-C"},
  };
  for (const auto& args : wrong) {
    Result r = vdt(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(r.err.empty());
  }
  for (const char* command :
       {"list", "stat", "extract", "verify", "create", "diff", "repack", "pack", "publish"}) {
    Result r = vdt({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find(std::string("usage: vdt ") + command), std::string::npos);
  }
  EXPECT_EQ(vdt({"--help"}).status, 0);
}

TEST(VdtTest, MissingOrForeignFilesFailWithOne) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("text.vdt"), std::string(100, 'x')));
  for (const char* command : {"list", "stat", "verify", "repack"}) {
    Result missing = vdt({command, dir.file("missing.vdt")});
    EXPECT_EQ(missing.status, 1) << command;
    EXPECT_NE(missing.err.find("missing.vdt"), std::string::npos);
    EXPECT_EQ(vdt({command, dir.file("text.vdt")}).status, 1) << command;
  }
  EXPECT_FALSE(fileExists(dir.file("missing.vdt")));  // repack creates nothing
}

// create, then list, verify and extract, over every form the tool writes.
struct FormCase {
  const char* name;
  std::vector<std::string> options;
  uint32_t version;
  uint8_t cipherOfBin;    // flags the entry data.bin is listed with
  uint8_t cipherOfModel;  // and model.VRM
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

class VdtFormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(VdtFormTest, CreateListVerifyExtractRoundTrip) {
  const FormCase& c = GetParam();
  TempDir dir;
  const std::map<std::string, std::string> files = {
      {"data.bin", longContent(1000, 'a')},
      {"maps/Town.MAP", "town"},
      {"model.VRM", longContent(300, 'm')},
      {"empty.txt", ""},
  };
  makeTree(dir.file("src"), files);
  std::vector<std::string> args = {"create", dir.file("out.vpt"), dir.file("src")};
  args.insert(args.end(), c.options.begin(), c.options.end());
  Result created = vdt(args);
  ASSERT_EQ(created.status, 0) << created.err;

  Result verify = vdt({"verify", dir.file("out.vpt")});
  EXPECT_EQ(verify.status, 0) << verify.out;

  Result list = vdt({"list", dir.file("out.vpt"), "--json"});
  ASSERT_EQ(list.status, 0);
  for (const char* name : {"\"data.bin\"", "\"maps/town.map\"", "\"model.vrm\"", "\"empty.txt\""}) {
    EXPECT_NE(list.out.find(name), std::string::npos) << name;
  }

  FileByteSource file;
  ResourceArchive archive;
  ASSERT_TRUE(file.openRead(dir.file("out.vpt")));
  ASSERT_TRUE(archive.open(&file));
  EXPECT_EQ(archive.version(), c.version);
  EXPECT_EQ(archive.entries().size(), 4u);
  EntryName key;
  ArchiveEntry entry;
  key.assign("data.bin");
  ASSERT_TRUE(archive.findEntry(key, &entry));
  EXPECT_EQ(entry.flags & 0x06, c.cipherOfBin);
  key.assign("model.vrm");
  ASSERT_TRUE(archive.findEntry(key, &entry));
  EXPECT_EQ(entry.flags & 0x06, c.cipherOfModel);
  file.close();

  Result extracted = vdt({"extract", dir.file("out.vpt"), "-C", dir.file("x")});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(readFile(dir.file("x/data.bin")), files.at("data.bin"));
  EXPECT_EQ(readFile(dir.file("x/maps/town.map")), "town");
  EXPECT_EQ(readFile(dir.file("x/model.vrm")), files.at("model.VRM"));
  EXPECT_TRUE(fileExists(dir.file("x/empty.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, VdtFormTest,
    ::testing::Values(FormCase{"plain", {}, 0x200, 0, 0},
                      FormCase{"mixed", {"--cipher", "mixed"}, 0x200, 0x02, 0x02},
                      FormCase{"light", {"--cipher", "light"}, 0x200, 0x04, 0x04},
                      FormCase{"byName", {"--cipher", "byname"}, 0x200, 0x02, 0x04},
                      FormCase{"legacy100", {"--legacy", "0x100"}, 0x100, 0x02, 0x04},
                      FormCase{"legacy101", {"--legacy", "0x101"}, 0x101, 0x02, 0x04}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST(VdtTest, CreateRefusesNamesWithoutDotAndCaseTwins) {
  TempDir dir;
  makeTree(dir.file("a"), {{"README", "x"}});
  makeTree(dir.file("b"), {{"x.txt", "1"}, {"X.TXT", "2"}});
  EXPECT_EQ(vdt({"create", dir.file("a.vpt"), dir.file("a")}).status, 1);
  EXPECT_EQ(vdt({"create", dir.file("b.vpt"), dir.file("b")}).status, 1);
  EXPECT_FALSE(fileExists(dir.file("a.vpt")));
}

TEST(VdtTest, StatReportsWasteAndTheRepackDecision) {
  TempDir dir;
  ArchiveWriter writer;
  writer.addFile("a.txt", bytesOf(std::string(800, 'a')));
  std::vector<uint8_t> compact = writer.finish();
  ASSERT_TRUE(writeFile(dir.file("compact.vdt"), compact));
  // Unused bytes after the table: 400 of the file's size + 400.
  std::vector<uint8_t> holey = compact;
  holey.resize(compact.size() + 400, 0);
  ASSERT_TRUE(writeFile(dir.file("holey.vdt"), holey));

  Result tight = vdt({"stat", dir.file("compact.vdt")});
  ASSERT_EQ(tight.status, 0);
  EXPECT_NE(tight.out.find("free bytes:  0\n"), std::string::npos) << tight.out;
  EXPECT_NE(tight.out.find("not needed"), std::string::npos);
  EXPECT_NE(tight.out.find("version:     0x200"), std::string::npos);

  Result loose = vdt({"stat", dir.file("holey.vdt")});
  ASSERT_EQ(loose.status, 0);
  EXPECT_NE(loose.out.find("free bytes:  400\n"), std::string::npos) << loose.out;
  EXPECT_NE(loose.out.find("would be offered"), std::string::npos);
}

TEST(VdtTest, VerifyFindsEachFault) {
  const std::string data(64, 'd');
  struct Case {
    const char* what;
    std::string file;
  };
  std::string cut = rawArchive({{"a.txt", 10, 10, 0, 0}}, data);
  cut.resize(cut.size() - 3);
  std::string badSignature = rawArchive({{"a.txt", 10, 10, 0, 0}}, data);
  badSignature[3] = 'X';
  const std::vector<Case> cases = {
      {"overlap", rawArchive({{"a.txt", 20, 20, 0, 0}, {"b.txt", 20, 20, 10, 0}}, data)},
      {"past the end", rawArchive({{"a.txt", 20, 20, 60, 0}}, data)},
      {"unreadable", rawArchive({{"a.txt", 20, 20, 0, 0x02}}, data)},
      {"cut table", cut},
      {"signature", badSignature},
  };
  TempDir dir;
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFile(dir.file("bad.vdt"), c.file));
    Result r = vdt({"verify", dir.file("bad.vdt")});
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_NE(r.out.find("fault:"), std::string::npos) << c.what << ": " << r.out;
  }
  ASSERT_TRUE(writeFile(dir.file("good.vdt"),
                        rawArchive({{"a.txt", 20, 20, 0, 0}, {"b.txt", 20, 20, 20, 0}}, data)));
  EXPECT_EQ(vdt({"verify", dir.file("good.vdt")}).status, 0);
}

TEST(VdtTest, ExtractMapsNamesSafelyUnderTheDirectory) {
  TempDir dir;
  ArchiveWriter writer;
  writer.addFile("maps\\w1.txt", bytesOf("w1"));
  writer.addFile("../escape.txt", bytesOf("no"));
  writer.addFile("/abs.txt", bytesOf("no"));
  writer.addFile("ok.txt", bytesOf("ok"));
  writer.addDirectory("maps");
  ASSERT_TRUE(writer.writeTo(dir.file("a.vdt")));

  Result all = vdt({"extract", dir.file("a.vdt"), "-C", dir.file("out")});
  EXPECT_EQ(all.status, 1);  // two names refused
  EXPECT_NE(all.err.find("../escape.txt"), std::string::npos);
  EXPECT_EQ(readFile(dir.file("out/maps/w1.txt")), "w1");
  EXPECT_EQ(readFile(dir.file("out/ok.txt")), "ok");
  EXPECT_FALSE(fileExists(dir.file("escape.txt")));

  Result one = vdt({"extract", dir.file("a.vdt"), "OK.TXT", "-C", dir.file("one")});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(readFile(dir.file("one/ok.txt")), "ok");
  EXPECT_FALSE(fileExists(dir.file("one/maps")));
  EXPECT_EQ(vdt({"extract", dir.file("a.vdt"), "nope.txt", "-C", dir.file("one")}).status, 1);
}

TEST(VdtTest, DiffHoldsNewAndChangedEntriesOnlyInPlainForm) {
  TempDir dir;
  ArchiveWriter before(0x101);
  before.addFile("same.txt", bytesOf(longContent(500, 's')));
  before.addFile("changed.txt", bytesOf("old"));
  before.addFile("dropped.txt", bytesOf("gone"));
  ASSERT_TRUE(before.writeTo(dir.file("old.vdt")));
  ArchiveWriter after;
  after.addFile("same.txt", bytesOf(longContent(500, 's')), EntryCipherMode::mixed);
  after.addFile("changed.txt", bytesOf("new"), EntryCipherMode::light);
  after.addFile("added.txt", bytesOf("added"));
  ASSERT_TRUE(after.writeTo(dir.file("new.vdt")));

  Result r = vdt({"diff", dir.file("old.vdt"), dir.file("new.vdt"), "-o", dir.file("p.vpt")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1 new, 1 changed (1 unchanged)"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("1 entries of OLD"), std::string::npos);
  const std::map<std::string, std::string> expected = {{"added.txt", "added"},
                                                       {"changed.txt", "new"}};
  EXPECT_EQ(contentsOf(dir.file("p.vpt")), expected);
  Result list = vdt({"list", dir.file("p.vpt"), "--json"});
  EXPECT_EQ(list.out.find("\"cipher\": \"mixed\""), std::string::npos);
  EXPECT_EQ(list.out.find("\"cipher\": \"light\""), std::string::npos);
}

TEST(VdtTest, RepackLeavesACompactArchiveWithTheSameContent) {
  TempDir dir;
  ArchiveWriter writer(0x101);
  for (int i = 0; i < 20; ++i) {
    writer.addFile("f" + std::to_string(i) + ".dat", bytesOf(longContent(100 + 37 * i, 'a')));
  }
  std::vector<uint8_t> bytes = writer.finish();
  bytes.resize(bytes.size() * 2, 0);  // half the file unused
  ASSERT_TRUE(writeFile(dir.file("s.vdt"), bytes));
  const auto before = contentsOf(dir.file("s.vdt"));
  ASSERT_EQ(before.size(), 20u);

  Result r = vdt({"repack", dir.file("s.vdt")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(contentsOf(dir.file("s.vdt")), before);
  EXPECT_LT(fs::file_size(dir.file("s.vdt")), bytes.size() / 2);
  EXPECT_FALSE(fileExists(dir.file("s.vdt.repack")));
  Result stat = vdt({"stat", dir.file("s.vdt")});
  EXPECT_NE(stat.out.find("free bytes:  0\n"), std::string::npos) << stat.out;
  EXPECT_NE(stat.out.find("0 enciphered"), std::string::npos);
  EXPECT_EQ(vdt({"verify", dir.file("s.vdt")}).status, 0);
}

// The package's records, decompressed: code, name, and data of file records.
std::vector<std::string> packageRecords(const std::string& path) {
  gzFile gz = gzopen(path.c_str(), "rb");
  std::string stream;
  char buffer[256];
  int n;
  while ((n = gzread(gz, buffer, sizeof buffer)) > 0) stream.append(buffer, n);
  gzclose(gz);
  std::vector<std::string> records;
  size_t at = 0;
  while (at + 2 <= stream.size()) {
    char code = stream[at];
    size_t length = static_cast<uint8_t>(stream[at + 1]);
    std::string name = stream.substr(at + 2, length);
    at += 2 + length;
    std::string record = std::string(1, code) + " " + name.c_str();
    if (code == 'f') {
      uint32_t size = 0;
      for (int i = 0; i < 4; ++i) {
        size |= static_cast<uint32_t>(static_cast<uint8_t>(stream[at + i])) << (8 * i);
      }
      record += " " + stream.substr(at + 4, size);
      at += 4 + size;
    }
    records.push_back(record);
    if (code == 'e') break;
  }
  return records;
}

TEST(VdtTest, PackWritesParentsFirstWithBackslashesAndAnEndRecord) {
  TempDir dir;
  makeTree(dir.file("tree"), {{"maps/town/w1.txt", "abc"}, {"maps-old.txt", "o"},
                              {"maps/a.txt", ""}, {"top.txt", "t"}});
  Result r = vdt({"pack", dir.file("tree"), "-o", dir.file("upd.cgz")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> expected = {
      "d maps", "f maps\\a.txt ", "d maps\\town", "f maps\\town\\w1.txt abc",
      "f maps-old.txt o", "f top.txt t", "e "};
  EXPECT_EQ(packageRecords(dir.file("upd.cgz")), expected);

  // Unpacking maps.cgz goes through a file called maps: no directory maps.
  EXPECT_EQ(vdt({"pack", dir.file("tree"), "-o", dir.file("maps.cgz")}).status, 1);
  EXPECT_FALSE(fileExists(dir.file("maps.cgz")));
}

TEST(VdtTest, PublishCopiesPatchesThenAppendsTheirLines) {
  TempDir dir;
  fs::create_directories(dir.file("web"));
  fs::create_directories(dir.file("ftp"));
  ASSERT_TRUE(writeFile(dir.file("web/patch2.txt"), "1 old.vpt"));  // no final newline
  ASSERT_TRUE(writeFile(dir.file("b.vpt"), "bee"));
  ASSERT_TRUE(writeFile(dir.file("a.cgz"), "ay"));
  ASSERT_TRUE(writeFile(dir.file("two words.txt"), "x"));
  const std::vector<std::string> where = {"--web", dir.file("web"), "--ftp", dir.file("ftp")};
  auto publish = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "publish");
    args.insert(args.end(), where.begin(), where.end());
    return vdt(args);
  };

  Result r = publish({dir.file("b.vpt"), dir.file("a.cgz"), "--number", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir.file("ftp/b.vpt")), "bee");
  EXPECT_EQ(readFile(dir.file("ftp/a.cgz")), "ay");
  EXPECT_EQ(readFile(dir.file("web/patch2.txt")), "1 old.vpt\n3 b.vpt\n3 a.cgz\n");

  // Numbers at or below the list's highest would never reach up-to-date clients.
  EXPECT_EQ(publish({dir.file("b.vpt"), "--number", "3"}).status, 1);
  EXPECT_EQ(publish({dir.file("two words.txt"), "--number", "4"}).status, 1);
  EXPECT_EQ(publish({dir.file("missing.vpt"), "--number", "4"}).status, 1);
  EXPECT_EQ(readFile(dir.file("web/patch2.txt")), "1 old.vpt\n3 b.vpt\n3 a.cgz\n");
}

}  // namespace
}  // namespace corvanth
