// Times the archive writer on a generated archive.
//
//   archive_write_bench generate DIR   makes DIR/sdata.vdt (about 1 GiB, 20,000
//                                      mixed-enciphered entries) and DIR/patch.vpt
//                                      (5,000 small plain entries, half of them
//                                      replacing entries of the archive)
//   archive_write_bench repack DIR [write-through]
//                                      repacks DIR/sdata.vdt into DIR/tmpdata.vdt
//   archive_write_bench save DIR       overlays DIR/patch.vpt and saves it into
//                                      DIR/sdata.vdt
//   archive_write_bench dsync DIR N SIZE
//                                      N write-through writes of SIZE bytes, the
//                                      reference of the save
// Each prints "key value" lines for the run script.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/entry_cipher.h"
#include "archive/main_archive.h"
#include "archive/memory_archive.h"
#include "archive/table_writer.h"

namespace corvanth {
namespace {

constexpr int kMainEntries = 20000;
constexpr uint32_t kMaxEntrySize = 107374;  // about 1 GiB in all
constexpr int kPatchEntries = 5000;

// xorshift64: fast, reproducible filler.
struct Random {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  void fill(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
      uint64_t v = next();
      std::memcpy(out + i, &v, n - i < 8 ? n - i : 8);
    }
  }
};

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes an archive of count entries; entryOf(i, &name, &content) makes each.
template <typename EntryOf>
bool writeArchive(const std::string& path, int count, bool encipher, EntryOf entryOf) {
  WritableFile file;
  if (!file.openReadWrite(path, WriteMode::buffered)) return false;
  uint8_t header[kHeaderSize] = {};
  std::memcpy(header, kSignature, kSignatureSize);
  if (!file.writeAt(0, header, kHeaderSize)) return false;
  uint32_t at = kHeaderSize;
  std::vector<uint8_t> raw, content, stored;
  std::string name;
  for (int i = 0; i < count; ++i) {
    entryOf(i, &name, &content);
    ArchiveEntry entry;
    entry.name.assign(name.c_str());
    entry.compressedSize = static_cast<uint32_t>(content.size());
    entry.realSize = entry.compressedSize * 2;
    entry.position = at - kHeaderSize;
    if (encipher) {
      entry.storedSize = (entry.compressedSize + 7) / 8 * 8;
      content.resize(entry.storedSize, 0);
      stored.resize(entry.storedSize);
      EntryCipher::encipherMixed(content.data(), entry.storedSize, stored.data(),
                                 EntryCipher::digitCount(entry.compressedSize));
      entry.flags = FLAG_CARRIED | FLAG_MIXED_CIPHER;
    } else {
      entry.storedSize = entry.compressedSize;
      stored.swap(content);
      entry.flags = FLAG_CARRIED;
    }
    if (!file.writeAt(at, stored.data(), entry.storedSize)) return false;
    at += entry.storedSize;
    appendTableRecord(entry, &raw);
  }
  std::vector<uint8_t> table;
  if (!sealTable(raw, &table) ||
      !file.writeAt(at, table.data(), static_cast<uint32_t>(table.size()))) {
    return false;
  }
  uint8_t fields[kTableFieldsSize];
  encodeTableFields(at, static_cast<uint32_t>(count), fields);
  return file.writeAt(kTablePositionOffset, fields, kTableFieldsSize) && file.sync();
}

std::string entryName(const char* format, int i) {
  char name[64];
  std::snprintf(name, sizeof name, format, i);
  return name;
}

int generate(const std::string& dir) {
  Random random;
  bool ok = writeArchive(dir + "/sdata.vdt", kMainEntries, true,
                         [&](int i, std::string* name, std::vector<uint8_t>* out) {
                           *name = entryName("data/entry%05d.dat", i);
                           out->resize(1 + random.next() % kMaxEntrySize);
                           random.fill(out->data(), out->size());
                         });
  // Half of the patch replaces entries of the archive, half adds new ones.
  ok = ok && writeArchive(dir + "/patch.vpt", kPatchEntries, false,
                          [&](int i, std::string* name, std::vector<uint8_t>* out) {
                            *name = entryName(i % 2 == 0 ? "data/entry%05d.dat" : "new/entry%05d.dat", i);
                            out->resize(100 + random.next() % 1900);
                            random.fill(out->data(), out->size());
                          });
  return ok ? 0 : 1;
}

long peakRssKib() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Turns every buffered open into a write-through one, to time the repack
// with one synchronous write per entry.
class WriteThroughEnv : public EnvWrapper {
 public:
  WriteThroughEnv() : EnvWrapper(Env::defaultEnv()) {}
  std::unique_ptr<RandomFile> openReadWrite(const std::string& path, WriteMode) override {
    return target()->openReadWrite(path, WriteMode::writeThrough);
  }
};

int repack(const std::string& dir, bool writeThrough) {
  WriteThroughEnv forced;
  MainArchive archive(writeThrough ? static_cast<Env*>(&forced) : Env::defaultEnv());
  if (!archive.openFile(dir + "/sdata.vdt")) return 1;
  uint32_t largest = 0;
  for (const ArchiveEntry& entry : archive.entries()) largest = std::max(largest, entry.storedSize);
  long rssBefore = peakRssKib();
  auto start = std::chrono::steady_clock::now();
  if (!archive.repack(dir + "/tmpdata.vdt")) return 1;
  double elapsed = seconds(start);
  std::printf("seconds %.3f\nbytes %u\nlargest %u\ntable %u\nrss_before_kib %ld\npeak_rss_kib %ld\n",
              elapsed, archive.fileSize(), largest, archive.tableSize(), rssBefore, peakRssKib());
  return 0;
}

// Counts the writes that reach the disk before they return.
class CountingEnv : public EnvWrapper {
 public:
  CountingEnv() : EnvWrapper(Env::defaultEnv()) {}
  std::unique_ptr<RandomFile> openReadWrite(const std::string& path, WriteMode mode) override;
  uint64_t synchronousWrites = 0;
};

class CountingFile : public RandomFile {
 public:
  CountingFile(std::unique_ptr<RandomFile> target, uint64_t* counter)
      : target_(std::move(target)), counter_(counter) {}
  int64_t readAt(uint64_t offset, void* out, size_t n) override {
    return target_->readAt(offset, out, n);
  }
  int64_t writeAt(uint64_t offset, const void* data, size_t n) override {
    if (counter_ != nullptr) ++*counter_;
    return target_->writeAt(offset, data, n);
  }
  bool sync() override { return target_->sync(); }
  uint64_t size() override { return target_->size(); }

 private:
  std::unique_ptr<RandomFile> target_;
  uint64_t* counter_;  // null for buffered files
};

std::unique_ptr<RandomFile> CountingEnv::openReadWrite(const std::string& path, WriteMode mode) {
  auto file = target()->openReadWrite(path, mode);
  if (file == nullptr) return nullptr;
  return std::make_unique<CountingFile>(
      std::move(file), mode == WriteMode::writeThrough ? &synchronousWrites : nullptr);
}

bool loadPatch(const std::string& path, MemoryArchive* patch) {
  std::ifstream in(path, std::ios::binary);
  patch->memory().bytes.assign(std::istreambuf_iterator<char>(in), {});
  return patch->openOwnBytes();
}

int save(const std::string& dir) {
  CountingEnv env;
  MainArchive archive(&env);
  MemoryArchive patch;
  if (!loadPatch(dir + "/patch.vpt", &patch)) return 1;
  archive.overlay(&patch);
  if (!archive.openFile(dir + "/sdata.vdt")) return 1;
  auto start = std::chrono::steady_clock::now();
  if (!archive.save()) return 1;
  double elapsed = seconds(start);
  std::printf("seconds %.3f\nnames %zu\nsynchronous_writes %llu\n", elapsed,
              archive.pendingNames().size(),
              static_cast<unsigned long long>(env.synchronousWrites));
  return 0;
}

int dsync(const std::string& dir, int count, uint32_t size) {
  WritableFile file;
  if (!file.openReadWrite(dir + "/dsync.tmp", WriteMode::writeThrough)) return 1;
  std::vector<uint8_t> data(size, 0x5A);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    if (!file.writeAt(static_cast<uint32_t>(i) * size, data.data(), size)) return 1;
  }
  std::printf("seconds %.3f\n", seconds(start));
  return 0;
}

}  // namespace
}  // namespace corvanth

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: archive_write_bench generate|repack|save|dsync DIR ...\n");
    return 2;
  }
  std::string mode = argv[1], dir = argv[2];
  if (mode == "generate") return corvanth::generate(dir);
  if (mode == "repack") return corvanth::repack(dir, argc > 3 && std::string(argv[3]) == "write-through");
  if (mode == "save") return corvanth::save(dir);
  if (mode == "dsync" && argc == 5) {
    return corvanth::dsync(dir, std::atoi(argv[3]), static_cast<uint32_t>(std::atoi(argv[4])));
  }
  return 2;
}
