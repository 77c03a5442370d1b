// Saves patch archives into an archive file, for the kill test:
//   crash_save_writer ARCHIVE PATCH...
// Exits 0 when the save succeeded.
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "archive/main_archive.h"
#include "archive/memory_archive.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::vector<std::unique_ptr<corvanth::MemoryArchive>> patches;
  corvanth::MainArchive archive;
  for (int i = 2; i < argc; ++i) {
    auto patch = std::make_unique<corvanth::MemoryArchive>();
    std::ifstream in(argv[i], std::ios::binary);
    patch->memory().bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (!patch->openOwnBytes()) return 3;
    archive.overlay(patch.get());
    patches.push_back(std::move(patch));
  }
  if (!archive.openFile(argv[1])) return 4;
  return archive.save() ? 0 : 1;
}
