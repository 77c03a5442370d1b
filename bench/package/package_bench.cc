// Builds a large compressed package, or unpacks one the way a patch run does.
//   package_bench make PACKAGE TOTAL_BYTES FILES
//   package_bench unpack GAME_DIR NAME
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/patch_client.h"

namespace corvanth {

// The session names the patch before it unpacks it.
namespace {

constexpr int kDirectories = 20;

bool put(gzFile out, const std::string& bytes) {
  return gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size())) ==
         static_cast<int>(bytes.size());
}

std::string record(char code, const std::string& name) {
  std::string r;
  r += code;
  r += static_cast<char>(name.size() + 1);
  r += name;
  r += '\0';
  return r;
}

// Text-like content from a small vocabulary, so it compresses about as
// well as game data files do (about 4:1).
void fillContent(std::string* content, size_t size, uint64_t* seed) {
  static const char* const kWords[] = {
      "sword ", "shield ", "potion ", "dragon ", "castle ", "quest ", "gold ",
      "armor ", "forest ", "river ", "mage ", "knight ", "spell ", "dungeon ",
      "12 ", "305 ", "7781 ", "0x1f ", "level ", "map\n", "npc ", "item ",
      "skill ", "effect ", "north ", "south ", "east ", "west ", "=", ";\n",
      "\t", "hp ",
  };
  content->clear();
  while (content->size() < size) {
    *seed = *seed * 6364136223846793005ULL + 1442695040888963407ULL;
    content->append(kWords[(*seed >> 33) % (sizeof kWords / sizeof kWords[0])]);
    if (((*seed >> 20) & 7) == 0) content->push_back(static_cast<char>(*seed >> 40));
  }
  content->resize(size);
}

int makePackage(const char* path, uint64_t total, int files) {
  gzFile out = gzopen(path, "wb6");
  if (out == nullptr) return 1;
  gzbuffer(out, 256 * 1024);
  bool ok = true;
  for (int d = 0; d < kDirectories; ++d) ok = ok && put(out, record('d', "dir" + std::to_string(d)));
  uint64_t each = total / static_cast<uint64_t>(files);
  uint64_t seed = 42;
  std::string content;
  for (int f = 0; f < files && ok; ++f) {
    uint64_t size = f + 1 == files ? total - each * static_cast<uint64_t>(files - 1) : each;
    fillContent(&content, size, &seed);
    std::string name = "dir" + std::to_string(f % kDirectories) + "\\file" + std::to_string(f) + ".dat";
    std::string header = record('f', name);
    for (int shift = 0; shift < 32; shift += 8) header += static_cast<char>(size >> shift);
    ok = put(out, header) && put(out, content);
  }
  ok = ok && put(out, record('e', ""));
  return gzclose(out) == Z_OK && ok ? 0 : 1;
}

int unpack(const char* gameDir, const char* name) {
  std::filesystem::current_path(gameDir);
  PatchClient client(Env::defaultEnv(), Language::usEnglish);
  client.setCurrentPatchName(name);
  return client.unpackPackage(name, true) ? 0 : 1;
}

}  // namespace
}  // namespace corvanth

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "make") == 0) {
    return corvanth::makePackage(argv[2], std::strtoull(argv[3], nullptr, 10),
                                 std::atoi(argv[4]));
  }
  if (argc == 4 && std::strcmp(argv[1], "unpack") == 0) {
    return corvanth::unpack(argv[2], argv[3]);
  }
  std::fprintf(stderr, "usage: %s make PACKAGE TOTAL_BYTES FILES | unpack GAME_DIR NAME\n",
               argv[0]);
  return 2;
}
