// The local version file: reading, and its atomic replacement.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "app/patch_client.h"
#include "support/temp_dir.h"

namespace corvanth {
namespace {

TEST(LocalVersion, ReadsTableOfFiles) {
  struct Case { const char* what; bool present; std::string bytes; uint32_t version; };
  const Case cases[] = {
      {"missing file", false, "", 0},
      {"2A 00 00 00", true, std::string("\x2A\0\0\0", 4), 42},
      {"little-endian high bytes", true, "\x01\x02\x03\x84", 0x84030201u},
      {"extra bytes ignored", true, std::string("\x07\0\0\0\xFF", 5), 7},
      {"three bytes read as none", true, "\x05\x05\x05", 0},
      {"empty file", true, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ScopedCurrentDir inside(dir.path());
    PatchClient client(Env::defaultEnv(), Language::usEnglish);
    if (c.present) writeFile("spatch.inf", c.bytes);
    EXPECT_EQ(client.readLocalVersion(), c.version);
  }
}

TEST(LocalVersion, WriteReplacesTheWholeFile) {
  TempDir dir;
  ScopedCurrentDir inside(dir.path());
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  writeFile("spatch.inf", std::string("\x01\x02\x03\x04\x05\x06", 6));
  client.writeLocalVersion(0x0A0B0C0Du);
  EXPECT_EQ(readFile("spatch.inf"), "\x0D\x0C\x0B\x0A");
  EXPECT_EQ(client.readLocalVersion(), 0x0A0B0C0Du);
  // Nothing is left beside it: the temporary file became the version file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace corvanth
