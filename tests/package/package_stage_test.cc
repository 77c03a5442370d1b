// The package stage: gzip stage, record stage, their statuses, boxes, traces
// and the files they leave on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/dialog_control.h"
#include "app/patch_client.h"
#include "package/gzip_stage.h"
#include "platform/trace.h"
#include "support/recording_dialog_host.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace corvanth {

// Builds a package's record stream.
class RecordStream {
 public:
  RecordStream& directory(const std::string& name) { return record('d', name); }
  RecordStream& file(const std::string& name, const std::string& content) {
    record('f', name);
    uint32_t size = static_cast<uint32_t>(content.size());
    for (int shift = 0; shift < 32; shift += 8) bytes_ += static_cast<char>(size >> shift);
    bytes_ += content;
    return *this;
  }
  RecordStream& end() { return record('e', ""); }
  // A record with the name and its zero byte, counted in the length byte.
  RecordStream& record(char code, const std::string& name) {
    bytes_ += code;
    bytes_ += static_cast<char>(name.size() + 1);
    bytes_ += name;
    bytes_ += '\0';
    return *this;
  }
  RecordStream& raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

namespace {

// The stream of the package "upd.cgz" used throughout.
std::string updStream() {
  return RecordStream().directory("maps").file("maps\\w1.txt", "abc").end().bytes();
}

// raw with gzip framing.
std::string gzipped(const std::string& raw) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
  std::string out(deflateBound(&z, raw.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The gzip trailer holds the check value of the data, then its length.
std::string withDamagedCheckValue(std::string gz) {
  gz[gz.size() - 8] = static_cast<char>(gz[gz.size() - 8] ^ 0x5a);
  return gz;
}

bool isDirectory(const std::string& path) { return std::filesystem::is_directory(path); }

}  // namespace

// The session names the patch before it unpacks it; tests do the same.
// Works in a fresh game directory with a recording dialog and captured traces.
class PackageStageTest : public ::testing::Test {
 protected:
  PackageStageTest() : gameDir_(dir_.path()), client_(Env::defaultEnv(), Language::usEnglish) {
    client_.bindControls(&host_);
    host_.clear();
  }

  bool unpack(const char* name, bool deleteAfter) {
    client_.setCurrentPatchName(name);
    return client_.unpackPackage(name, deleteAfter);
  }

  std::vector<std::string> statuses() const { return host_.textsOf(kStatusLine); }
  std::vector<std::string> traces() const { return trace_.texts(); }
  void expectOneBox(const std::string& text, const std::string& caption) const {
    auto boxes = host_.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, caption);
    EXPECT_EQ(boxes[0].value, 0);  // OK button
  }
  bool hasTrace(const std::string& line) const {
    for (const std::string& t : traces()) {
      if (t == line) return true;
    }
    return false;
  }

  TempDir dir_;
  ScopedCurrentDir gameDir_;
  RecordingDialogHost host_;
  PatchClient client_;
  TraceCapture trace_;
};

TEST_F(PackageStageTest, NamesThatAreNotPackagesPassThroughUntouched) {
  for (const char* name : {"notes.txt", "data.CGZ", "a.b.cgz", "cgz", "upd.cgz.bak"}) {
    ASSERT_TRUE(writeFile(name, updStream()));
    ASSERT_TRUE(writeFile("a", "keep"));
    EXPECT_TRUE(unpack(name, true)) << name;
    EXPECT_EQ(readFile(name), updStream()) << name;
    EXPECT_EQ(readFile("a"), "keep") << name;
  }
  EXPECT_FALSE(fileExists("maps"));
  EXPECT_TRUE(host_.calls().empty());
  EXPECT_TRUE(traces().empty());
}

TEST_F(PackageStageTest, UnpacksUpdWithItsStatusesAndTraces) {
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(updStream())));
  EXPECT_TRUE(unpack("upd.cgz", true));

  EXPECT_TRUE(isDirectory("maps"));
  EXPECT_EQ(readFile("maps/w1.txt"), "abc");
  EXPECT_FALSE(fileExists("upd.cgz"));
  EXPECT_FALSE(fileExists("upd"));
  EXPECT_EQ(statuses(), (std::vector<std::string>{
                            "Decompressing upd.cgz.", "Unpacking the files of upd.cgz.",
                            "Creating folder maps.", "Writing maps\\w1.txt."}));
  EXPECT_EQ(traces(), (std::vector<std::string>{"unzip upd.cgz -> upd", "Unpack upd",
                                                "mkdir maps", "mkfile maps\\w1.txt"}));
  EXPECT_TRUE(host_.boxes().empty());
}

TEST_F(PackageStageTest, UncompressedStreamUnpacksLikeACompressedOne) {
  ASSERT_TRUE(writeFile("upd.cgz", updStream()));
  EXPECT_TRUE(unpack("upd.cgz", true));
  EXPECT_EQ(readFile("maps/w1.txt"), "abc");
  EXPECT_FALSE(fileExists("upd.cgz"));
  EXPECT_TRUE(host_.boxes().empty());
}

TEST_F(PackageStageTest, ReplacesAReadOnlyFileAndKeepsExistingDirectories) {
  std::filesystem::create_directory("maps");
  ASSERT_TRUE(writeFile("maps/w1.txt", "old content"));
  ::chmod("maps/w1.txt", 0444);
  ASSERT_TRUE(Env::defaultEnv()->isReadOnly("maps/w1.txt"));
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(updStream())));

  EXPECT_TRUE(unpack("upd.cgz", true));
  EXPECT_EQ(readFile("maps/w1.txt"), "abc");
  EXPECT_FALSE(Env::defaultEnv()->isReadOnly("maps/w1.txt"));
  EXPECT_TRUE(host_.boxes().empty());
}

TEST_F(PackageStageTest, BothSeparatorsAndEmptyFilesAreWritten) {
  std::string stream = RecordStream()
                           .directory("maps")
                           .directory("maps\\deep")
                           .file("maps/deep/empty.dat", "")
                           .file("maps\\deep\\w2.txt", std::string("x\0y", 3))
                           .end()
                           .bytes();
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(stream)));
  EXPECT_TRUE(unpack("upd.cgz", true));
  EXPECT_TRUE(fileExists("maps/deep/empty.dat"));
  EXPECT_EQ(readFile("maps/deep/empty.dat"), "");
  EXPECT_EQ(readFile("maps/deep/w2.txt"), std::string("x\0y", 3));
}

TEST_F(PackageStageTest, MissingEndRecordShowsTheBoxAndStillSucceeds) {
  std::string stream = RecordStream().directory("maps").file("maps\\w1.txt", "abc").bytes();
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(stream)));
  EXPECT_TRUE(unpack("upd.cgz", true));
  EXPECT_EQ(readFile("maps/w1.txt"), "abc");
  expectOneBox("upd", "unpack error");
  EXPECT_EQ(traces().back(), "code not exist");
  EXPECT_FALSE(fileExists("upd"));
}

TEST_F(PackageStageTest, BytesAfterTheEndRecordAreNeverRead) {
  std::string stream = updStream() + RecordStream().directory("later").raw("\x01").bytes();
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(stream)));
  EXPECT_TRUE(unpack("upd.cgz", true));
  EXPECT_FALSE(fileExists("later"));
  EXPECT_TRUE(host_.boxes().empty());
}

// A damaged stream fails the stage; the records before the damage stay applied
// and nothing of the damaged record is written.
TEST_F(PackageStageTest, DamagedRecordsStopTheStageAndFail) {
  struct Case { const char* what; std::string tail; const char* trace; };
  const Case cases[] = {
      {"unknown code", RecordStream().record('x', "q").file("w2.txt", "z").end().bytes(),
       "error code x[120]"},
      {"length missing", "d", "len not exist"},
      {"zero length", std::string("d\0", 2), "name not exist"},
      {"name cut short", std::string("d\x05map", 5), "name not exist"},
      {"name without zero", std::string("d\x03map", 5) + RecordStream().end().bytes(),
       "name not terminated"},
      {"size missing", RecordStream().record('f', "w2.txt").raw(std::string("\x03\0", 2)).bytes(),
       "size not exist"},
      {"content cut short",
       RecordStream().record('f', "w2.txt").raw(std::string("\x0a\0\0\0abc", 7)).bytes(),
       "data not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ScopedCurrentDir inside(dir.path());
    host_.clear();
    trace_.clear();
    std::string stream = RecordStream().directory("maps").bytes() + c.tail;
    ASSERT_TRUE(writeFile("upd.cgz", gzipped(stream)));

    EXPECT_FALSE(unpack("upd.cgz", true));
    EXPECT_TRUE(isDirectory("maps"));
    EXPECT_FALSE(fileExists("w2.txt"));
    EXPECT_FALSE(fileExists("upd.cgz"));
    EXPECT_FALSE(fileExists("upd"));
    expectOneBox("upd", "unpack error");
    EXPECT_EQ(traces().back(), c.trace);
  }
}

TEST_F(PackageStageTest, FileInAMissingDirectoryFailsWithBox31) {
  std::string stream = RecordStream().file("nodir\\a.txt", "abc").end().bytes();
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(stream)));
  EXPECT_FALSE(unpack("upd.cgz", false));
  expectOneBox("nodir\\a.txt", "Cannot write file");
  EXPECT_FALSE(fileExists("nodir"));
  EXPECT_TRUE(fileExists("upd"));
}

// Names that are absolute or climb out are refused before anything happens.
TEST_F(PackageStageTest, NamesOutsideTheGameDirectoryAreRefused) {
  std::string marker = "corvanth-outside-" + std::to_string(::getpid());
  std::string outside = (std::filesystem::path(dir_.path()).parent_path() / marker).string();
  const std::string names[] = {
      outside,           "\\" + outside.substr(1), "C:\\" + marker, "c:" + marker,
      "..\\" + marker,   "../" + marker,           "maps\\..\\..\\" + marker,
  };
  for (const std::string& name : names) {
    for (char code : {'d', 'f'}) {
      SCOPED_TRACE(name + " / " + code);
      host_.clear();
      RecordStream stream;
      stream.directory("maps");
      if (code == 'd') {
        stream.directory(name);
      } else {
        stream.file(name, "evil");
      }
      ASSERT_TRUE(writeFile("upd.cgz", gzipped(stream.end().bytes())));
      EXPECT_FALSE(unpack("upd.cgz", true));
      EXPECT_FALSE(fileExists(outside));
      expectOneBox("upd", "unpack error");
      EXPECT_EQ(traces().back(), "outside name " + name);
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    EXPECT_EQ(entry.path().filename(), "maps");
  }
}

TEST_F(PackageStageTest, StageRunsOnlyForTheCurrentPatch) {
  ASSERT_TRUE(writeFile("upd", "stale"));
  ASSERT_TRUE(writeFile("upd.cgz", gzipped(updStream())));
  client_.setCurrentPatchName("other.vpt");
  EXPECT_TRUE(client_.unpackPackage("upd.cgz", true));
  EXPECT_FALSE(fileExists("upd"));  // the stale intermediate goes first
  EXPECT_TRUE(fileExists("upd.cgz"));
  EXPECT_FALSE(fileExists("maps"));
  EXPECT_TRUE(host_.calls().empty());
}

// The files on disk around the two stages, for a package upd.cgz.
TEST_F(PackageStageTest, FilesOnDiskFollowTheStages) {
  struct Case {
    const char* moment;
    std::function<void()> setUp;
    bool deleteAfter;
    bool result;
    bool packageAfter;
    bool intermediateAfter;
    const char* boxText;     // null: no box
    const char* boxCaption;
    const char* lastStatus;
  };
  const Case cases[] = {
      {"stale intermediate, package missing",
       [] { writeFile("upd", "stale"); }, true, false, false, false,
       "upd.cgz", "open:read error", "upd.cgz could not be unpacked."},
      {"output cannot be created",
       [] {
         writeFile("upd.cgz", gzipped(updStream()));
         std::filesystem::create_directory("upd");
       },
       true, false, true, true, "upd", "open:write error", "upd.cgz could not be unpacked."},
      {"damaged check value",
       [] { writeFile("upd.cgz", withDamagedCheckValue(gzipped(updStream()))); }, true, false,
       false, true, nullptr, nullptr, "upd.cgz could not be unpacked."},
      {"gzip stream cut short",
       [] {
         std::string gz = gzipped(updStream());
         writeFile("upd.cgz", gz.substr(0, gz.size() - 6));
       },
       true, false, false, true, nullptr, nullptr, "upd.cgz could not be unpacked."},
      {"record stage, deleteAfter true",
       [] {
         writeFile("upd", "stale");
         writeFile("upd.cgz", gzipped(updStream()));
       },
       true, true, false, false, nullptr, nullptr, "Writing maps\\w1.txt."},
      {"record stage, deleteAfter false",
       [] { writeFile("upd.cgz", gzipped(updStream())); }, false, true, false, true, nullptr,
       nullptr, "Writing maps\\w1.txt."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moment);
    TempDir dir;
    ScopedCurrentDir inside(dir.path());
    host_.clear();
    trace_.clear();
    c.setUp();

    EXPECT_EQ(unpack("upd.cgz", c.deleteAfter), c.result);
    EXPECT_EQ(fileExists("upd.cgz"), c.packageAfter);
    EXPECT_EQ(fileExists("upd"), c.intermediateAfter);
    if (c.boxText != nullptr) {
      expectOneBox(c.boxText, c.boxCaption);
    } else {
      EXPECT_TRUE(host_.boxes().empty());
    }
    ASSERT_FALSE(statuses().empty());
    EXPECT_EQ(statuses().front(), "Decompressing upd.cgz.");
    EXPECT_EQ(statuses().back(), c.lastStatus);
  }
}

TEST_F(PackageStageTest, DamagedCheckValueIsAReadError) {
  ASSERT_TRUE(writeFile("upd.cgz", withDamagedCheckValue(gzipped(updStream()))));
  EXPECT_FALSE(unpack("upd.cgz", true));
  EXPECT_EQ(traces(), (std::vector<std::string>{"unzip upd.cgz -> upd", "gzread:err"}));
  EXPECT_FALSE(fileExists("maps"));
}

TEST_F(PackageStageTest, IntermediateThatCannotBeOpenedShowsBox28) {
  EXPECT_FALSE(client_.unpackRecords("missing"));
  expectOneBox("missing", "Cannot open file");
  EXPECT_TRUE(traces().empty());
}

TEST_F(PackageStageTest, GunzipRefusesNamesWithoutTheSuffixSilently) {
  for (const char* name : {".cgz", "cgz", "upd.CGZ", "upd.cgzx", "upd"}) {
    ASSERT_TRUE(writeFile(name, gzipped(updStream())));
    EXPECT_FALSE(gunzipPackage(client_, name)) << name;
    EXPECT_TRUE(fileExists(name)) << name;
  }
  EXPECT_TRUE(host_.calls().empty());
  EXPECT_TRUE(traces().empty());
}

TEST_F(PackageStageTest, CopyReportsOutputThatCannotBeWrittenOrClosed) {
  struct Case { size_t size; const char* trace; };
  // A small copy fails only when the buffered output is flushed at close.
  const Case cases[] = {{16, "fclose:err"}, {1 << 20, "fwrite:err"}};
  for (const Case& c : cases) {
    trace_.clear();
    ASSERT_TRUE(writeFile("big.cgz", gzipped(std::string(c.size, 'q'))));
    gzFile input = gzopen("big.cgz", "rb");
    std::FILE* output = std::fopen("/dev/full", "wb");
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_FALSE(copyGzipStream(input, output));
    EXPECT_EQ(traces(), std::vector<std::string>{c.trace});
  }
}

}  // namespace corvanth
