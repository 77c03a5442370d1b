// Times the archive reader against references measured in the same run:
// opening a 100,000-entry 2.0 archive against zlib's uncompress of its table,
// mixed-mode deciphering of a 64 MiB entry against memcpy, and lookups
// against std::unordered_map. Prints "key value" lines for ./run.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/archive_format.h"
#include "archive/byte_source.h"
#include "archive/coding.h"
#include "archive/entry_cipher.h"
#include "archive/resource_archive.h"

namespace corvanth {
namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double bestSeconds(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// Defeats dead-code elimination of benchmarked results.
volatile uint64_t sink;

std::vector<std::string> makeNames(size_t count) {
  static const char* const kDirs[] = {"data\\models\\", "data\\textures\\", "sound\\", "maps\\town\\",
                                      "ui\\icons\\"};
  static const char* const kExts[] = {".vrm", ".dds", ".wav", ".bin", ".txt", ".tzl"};
  std::vector<std::string> names;
  names.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%sItem_%06zu_%zx%s", kDirs[i % 5], i, i * 2654435761u % 4093,
                  kExts[i % 6]);
    names.push_back(buf);
  }
  std::shuffle(names.begin(), names.end(), std::mt19937(42));
  return names;
}

struct OpenFixture {
  MemoryByteSource source;
  std::vector<uint8_t> packed;
  uint32_t realLength = 0;
};

void buildArchive(const std::vector<std::string>& names, OpenFixture* fx) {
  std::vector<uint8_t> table;
  uint32_t position = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    table.insert(table.end(), names[i].begin(), names[i].end());
    table.push_back(0);
    uint32_t size = 100 + static_cast<uint32_t>(i % 4000);
    putFixed32(&table, size);
    putFixed32(&table, size);
    putFixed32(&table, size * 3);
    table.push_back(FLAG_CARRIED);
    putFixed32(&table, position);
    position += size;
  }
  uLongf packedLength = compressBound(static_cast<uLong>(table.size()));
  fx->packed.resize(packedLength);
  compress(fx->packed.data(), &packedLength, table.data(), static_cast<uLong>(table.size()));
  fx->packed.resize(packedLength);
  fx->realLength = static_cast<uint32_t>(table.size());

  std::vector<uint8_t>& file = fx->source.bytes;
  file.assign(kSignature, kSignature + kSignatureSize);
  file.resize(kHeaderSize, 0);
  encodeFixed32(&file[kTablePositionOffset], 0);
  encodeFixed32(&file[kCountBiasOffset], 0);
  encodeFixed32(&file[kCountFieldOffset], static_cast<uint32_t>(names.size()) + kCountExtra);
  encodeFixed32(&file[kVersionOffset], kVersion200);
  putFixed32(&file, static_cast<uint32_t>(packedLength));
  putFixed32(&file, fx->realLength);
  file.insert(file.end(), fx->packed.begin(), fx->packed.end());
}

int run() {
  const int kRuns = 7;
  const std::vector<std::string> names = makeNames(100000);
  OpenFixture fx;
  buildArchive(names, &fx);

  // archive-open against uncompress of the same table into room of R + 8,
  // interleaved so that drift on a shared machine hits both alike.
  double openSeconds = 1e30, uncompressSeconds = 1e30;
  for (int i = 0; i < 2 * kRuns; ++i) {
    openSeconds = std::min(openSeconds, bestSeconds(1, [&] {
      ResourceArchive archive;
      if (!archive.open(&fx.source)) std::abort();
      sink = archive.entryCount();
    }));
    uncompressSeconds = std::min(uncompressSeconds, bestSeconds(1, [&] {
      // The reader inflates into room of its own, so the reference does too.
      std::unique_ptr<uint8_t[]> room(new uint8_t[fx.realLength + 8]);
      uLongf length = fx.realLength + 8;
      if (uncompress(room.get(), &length, fx.packed.data(),
                     static_cast<uLong>(fx.packed.size())) != Z_OK) {
        std::abort();
      }
      sink = length;
    }));
  }
  std::printf("archive_open_ms %.3f\nuncompress_ms %.3f\n", openSeconds * 1e3, uncompressSeconds * 1e3);

  // lookup: every name once, in shuffled order, against an unordered_map.
  ResourceArchive archive;
  if (!archive.open(&fx.source)) std::abort();
  std::vector<EntryName> keys(names.size());
  for (size_t i = 0; i < names.size(); ++i) keys[i].assign(names[i].c_str());
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  double lookupSeconds = bestSeconds(kRuns, [&] {
    ArchiveEntry out;
    uint64_t found = 0;
    for (const EntryName& k : keys) found += archive.findEntry(k, &out) ? out.position : 0;
    sink = found;
  });
  std::unordered_map<std::string, uint32_t> map;
  for (size_t i = 0; i < names.size(); ++i) map.emplace(keys[i].text, static_cast<uint32_t>(i));
  std::vector<std::string> mapKeys;
  for (const EntryName& k : keys) mapKeys.emplace_back(k.text);
  double mapSeconds = bestSeconds(kRuns, [&] {
    uint64_t found = 0;
    for (const std::string& k : mapKeys) {
      auto it = map.find(k);
      if (it != map.end()) found += it->second;
    }
    sink = found;
  });
  std::printf("lookups_per_s %.0f\nmap_lookups_per_s %.0f\n", keys.size() / lookupSeconds,
              mapKeys.size() / mapSeconds);

  // decipher-mixed over a 64 MiB entry against memcpy of the same bytes.
  const uint32_t kEntrySize = 64u << 20;
  std::vector<uint8_t> stored(kEntrySize), out(kEntrySize);
  std::mt19937 rng(1);
  for (auto& b : stored) b = static_cast<uint8_t>(rng());
  std::memset(out.data(), 0, out.size());  // fault the pages in before timing
  const int digits = EntryCipher::digitCount(kEntrySize);
  double decipherSeconds = 1e30, memcpySeconds = 1e30;
  for (int i = 0; i < kRuns; ++i) {  // interleaved, so drift hits both alike
    decipherSeconds = std::min(decipherSeconds, bestSeconds(1, [&] {
      EntryCipher::decipherMixed(stored.data(), kEntrySize, out.data(), digits);
      sink = out[kEntrySize / 2];
    }));
    memcpySeconds = std::min(memcpySeconds, bestSeconds(1, [&] {
      std::memcpy(out.data(), stored.data(), kEntrySize);
      sink = out[kEntrySize / 2];
    }));
  }
  std::printf("decipher_mb_per_s %.1f\nmemcpy_mb_per_s %.1f\n", kEntrySize / decipherSeconds / 1e6,
              kEntrySize / memcpySeconds / 1e6);

  // transformBlock alone, over 1 Mi blocks that stay in cache.
  const uint32_t kBlocks = 1u << 17;
  std::vector<uint8_t> blocks(stored.begin(), stored.begin() + 8 * kBlocks);
  double transformSeconds = bestSeconds(kRuns, [&] {
    for (int pass = 0; pass < 8; ++pass) {
      for (uint32_t b = 0; b < kBlocks; ++b) {
        EntryCipher::transformBlock(&blocks[8 * b], &blocks[8 * b]);
      }
    }
    sink = blocks[0];
  });
  std::printf("transform_blocks_per_s %.0f\n", 8.0 * kBlocks / transformSeconds);
  return 0;
}

}  // namespace
}  // namespace corvanth

int main() { return corvanth::run(); }
