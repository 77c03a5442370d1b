// Writes a patch archive of about the given size: entries of 1 MiB of
// pattern bytes each, as a large patch holds many game files.
//   net_bench_archive PATH BYTES
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/archive_builder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PATH BYTES\n", argv[0]);
    return 2;
  }
  constexpr size_t kEntrySize = 1 << 20;
  size_t bytes = std::strtoull(argv[2], nullptr, 10);
  corvanth::ArchiveBuilder builder;
  for (size_t done = 0, i = 0; done < bytes; done += kEntrySize, ++i) {
    size_t length = bytes - done < kEntrySize ? bytes - done : kEntrySize;
    builder.add("bench/data" + std::to_string(i) + ".bin",
                corvanth::patternBytes(length, static_cast<uint32_t>(i + 1)));
  }
  corvanth::ArchiveImage image = builder.build();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  bool ok = std::fwrite(image.file.data(), 1, image.file.size(), out) == image.file.size();
  ok = std::fclose(out) == 0 && ok;
  return ok ? 0 : 1;
}
