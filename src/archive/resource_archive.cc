// ResourceArchive: opening both table forms, lookup, and taking an entry's
// data out in plain form.
//
// open() validates in one fixed order: header size, signature, version, the
// table's place and size, then every record against the table. Bounds are
// written as subtractions so that no sum can wrap. Once open() returns true
// the index can be trusted.
#include "archive/resource_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/archive_format.h"
#include "archive/coding.h"
#include "archive/entry_cipher.h"

namespace corvanth {
namespace {

// One record as parsed from the table, its name in a pool of lower-cased,
// zero-terminated names. Sorting these small records and building the index
// from them afterwards keeps the large ArchiveEntry values from being moved.
struct ParsedRecord {
  uint32_t hash;
  uint32_t nameOffset;
  uint32_t nameLength;
  uint32_t compressedSize;
  uint32_t storedSize;
  uint32_t realSize;
  uint32_t position;
  uint8_t flags;
};

// Lower-cases name[0..length) in place and returns its key hash, exactly as
// EntryName::assign computes it.
uint32_t lowerAndHash(char* name, size_t length) {
  uint32_t h = 5381;
  for (size_t i = 0; i < length; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') name[i] = c = static_cast<char>(c + 32);
    h = h * 33 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
  }
  return h;
}

// Decodes the 17-byte field group shared by both forms, minus the sizes.
void readFlagsAndPosition(const uint8_t* fields, ParsedRecord* r) {
  r->flags = fields[kFieldFlags];
  r->position = decodeFixed32(fields + kFieldPosition);
}

// zlib cannot inflate one byte of input to more than 1032 bytes of output;
// a stated length beyond that marks a table that cannot be what it claims.
constexpr uint64_t kMaxInflateRatio = 1032;

inline void prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Puts the records in EntryName order: a stable radix sort on the 32-bit
// hash (three passes of 11, 11 and 10 bits), then runs of equal hashes
// ordered by their texts. Moving the small records keeps the index build
// that follows sequential.
void sortRecords(std::vector<ParsedRecord>* records, const char* names) {
  const size_t count = records->size();
  std::vector<ParsedRecord> other(count);
  std::vector<ParsedRecord>* from = records;
  std::vector<ParsedRecord>* to = &other;
  constexpr int kShifts[3] = {0, 11, 22};
  constexpr uint32_t kBuckets = 1u << 11;
  for (int shift : kShifts) {
    size_t next[kBuckets + 1] = {};
    for (const ParsedRecord& r : *from) ++next[((r.hash >> shift) & (kBuckets - 1)) + 1];
    for (uint32_t b = 1; b <= kBuckets; ++b) next[b] += next[b - 1];
    for (const ParsedRecord& r : *from) (*to)[next[(r.hash >> shift) & (kBuckets - 1)]++] = r;
    std::swap(from, to);
  }
  if (from != records) records->swap(*from);

  for (size_t run = 0; run < count;) {
    size_t end = run + 1;
    while (end < count && (*records)[end].hash == (*records)[run].hash) ++end;
    if (end - run > 1) {
      std::sort(records->begin() + static_cast<ptrdiff_t>(run),
                records->begin() + static_cast<ptrdiff_t>(end),
                [names](const ParsedRecord& a, const ParsedRecord& b) {
                  return std::strcmp(names + a.nameOffset, names + b.nameOffset) < 0;
                });
    }
    run = end;
  }
}

// Builds the index from the parsed records. scratch is sized to the largest
// storedSize that the source can hold: a larger record cannot be read, so it
// never needs deciphering room.
void buildIndex(std::vector<ParsedRecord>* records, const char* names, uint32_t sourceSize,
                std::vector<ArchiveEntry>* entries, std::vector<uint8_t>* scratch) {
  sortRecords(records, names);
  const size_t count = records->size();
  entries->reserve(count);
  uint32_t largest = 0;
  for (size_t i = 0; i < count; ++i) {
    // The names are visited in key order, all over the pool; fetching a
    // few ahead keeps the loop from waiting on each one.
    constexpr size_t kAhead = 16;
    if (i + kAhead < count) prefetch(names + (*records)[i + kAhead].nameOffset);
    const ParsedRecord& r = (*records)[i];
    ArchiveEntry& e = entries->emplace_back();
    e.storedSize = r.storedSize;
    e.compressedSize = r.compressedSize;
    e.realSize = r.realSize;
    e.position = r.position;
    e.flags = r.flags;
    // Already lower-cased and hashed as EntryName::assign would; the rest
    // of text is zero from construction.
    e.name.hash = r.hash;
    std::memcpy(e.name.text, names + r.nameOffset, r.nameLength);
    if (r.storedSize <= sourceSize && r.storedSize > largest) largest = r.storedSize;
  }
  scratch->assign(largest, 0);
}

}  // namespace

bool ResourceArchive::open(ByteSource* source) {
  if (source == nullptr) return false;
  close();
  source_ = source;

  const uint8_t* header = source->read(0, kHeaderSize);
  bool ok = header != nullptr && std::memcmp(header, kSignature, kSignatureSize) == 0;
  if (ok) {
    version_ = decodeFixed32(header + kVersionOffset);
    entryCount_ = decodeFixed32(header + kCountFieldOffset) -
                  decodeFixed32(header + kCountBiasOffset) - kCountExtra;
    uint32_t tablePosition = decodeFixed32(header + kTablePositionOffset);
    // The table must begin inside the source; its file offset then cannot wrap.
    ok = tablePosition <= source->size() - kHeaderSize;
    tableOffset_ = tablePosition + kHeaderSize;
  }
  if (ok) {
    switch (version_ & kVersionFormMask) {
      case kFormVersion1: ok = readTable1x(); break;
      case kFormVersion2: ok = readTable20(); break;
      default: ok = false; break;
    }
  }
  if (!ok) close();
  return ok;
}

bool ResourceArchive::readTable1x() {
  tableSize_ = source_->size() - tableOffset_;
  if (entryCount_ > tableSize_ / kV1MinRecordSize) return false;
  const uint8_t* table = source_->read(tableOffset_, tableSize_);
  if (table == nullptr) return false;

  std::vector<ParsedRecord> records;
  records.reserve(entryCount_);
  std::vector<char> pool;
  uint32_t cursor = 0;
  for (uint32_t i = 0; i < entryCount_; ++i) {
    if (version_ != kVersion100 && version_ > kVersion103) return false;
    uint32_t remaining = tableSize_ - cursor;
    if (remaining < kV1MinRecordSize) return false;
    uint32_t fieldLength = decodeFixed32(table + cursor);
    cursor += kV1NameLengthSize;
    remaining -= kV1NameLengthSize;
    if (fieldLength > remaining - kV1FieldsSize) return false;
    const uint8_t* field = table + cursor;

    // Only the name's bytes are decoded, into a buffer of the index's limit.
    char name[kMaxNameLength + 1 + EntryCipher::kBlockSize];
    size_t nameLength = 0;
    if (version_ == kVersion100) {
      // Nibble-swapping keeps zero as zero, so the terminator is found raw.
      const void* zero = std::memchr(field, 0, fieldLength);
      if (zero == nullptr) return false;
      nameLength = static_cast<const uint8_t*>(zero) - field;
      if (nameLength > kMaxNameLength) return false;
      EntryCipher::swapNibbles(field, static_cast<uint32_t>(nameLength),
                               reinterpret_cast<uint8_t*>(name));
    } else {
      if (fieldLength < kV1NameOverhead) return false;
      uint32_t cipherLength = fieldLength - kV1NameOverhead;
      if (cipherLength % EntryCipher::kBlockSize != 0) return false;
      const uint8_t* cipher = field + kV1NamePrefix;
      // Decipher block by block until the terminator shows; a name that
      // has none within the index's limit is refused.
      bool terminated = false;
      for (uint32_t at = 0; at < cipherLength && at <= kMaxNameLength && !terminated;
           at += EntryCipher::kBlockSize) {
        uint8_t swapped[EntryCipher::kBlockSize];
        EntryCipher::swapNibbles(cipher + at, EntryCipher::kBlockSize, swapped);
        uint8_t* plain = reinterpret_cast<uint8_t*>(name) + at;
        EntryCipher::transformBlock(swapped, plain);
        const void* zero = std::memchr(plain, 0, EntryCipher::kBlockSize);
        if (zero != nullptr) {
          terminated = true;
          nameLength = at + static_cast<size_t>(static_cast<const uint8_t*>(zero) - plain);
        }
      }
      if (!terminated || nameLength > kMaxNameLength) return false;
    }
    name[nameLength] = '\0';
    cursor += fieldLength;

    const uint8_t* fields = table + cursor;
    cursor += kV1FieldsSize;
    uint32_t a = decodeFixed32(fields + kV1FieldA);
    uint32_t b = decodeFixed32(fields + kV1FieldB);
    uint32_t c = decodeFixed32(fields + kV1FieldC);
    ParsedRecord r;
    r.compressedSize = a - c - kSizeBiasA;
    r.storedSize = b - kSizeBiasB;
    r.realSize = c;
    readFlagsAndPosition(fields, &r);
    // Every 1.x entry is enciphered; its name picks the mode.
    r.flags |= isLightCipherName(name) ? FLAG_LIGHT_CIPHER : FLAG_MIXED_CIPHER;
    r.hash = lowerAndHash(name, nameLength);
    r.nameOffset = static_cast<uint32_t>(pool.size());
    r.nameLength = static_cast<uint32_t>(nameLength);
    pool.insert(pool.end(), name, name + nameLength + 1);
    records.push_back(r);
  }
  buildIndex(&records, pool.data(), source_->size(), &entries_, &scratch_);
  return true;
}

bool ResourceArchive::readTable20() {
  const uint32_t available = source_->size() - tableOffset_;
  if (available < kV2TableHeaderSize) return false;
  const uint8_t* lengths = source_->read(tableOffset_, kV2TableHeaderSize);
  if (lengths == nullptr) return false;
  const uint32_t packedLength = decodeFixed32(lengths);
  const uint32_t realLength = decodeFixed32(lengths + 4);
  if (packedLength > available - kV2TableHeaderSize) return false;
  tableSize_ = packedLength + kV2TableHeaderSize;
  if (realLength > UINT32_MAX - kV2TableHeaderSize ||
      realLength > kMaxInflateRatio * packedLength) {
    return false;
  }
  const uint8_t* packed = source_->read(tableOffset_ + kV2TableHeaderSize, packedLength);
  if (packed == nullptr) return false;

  // The room offered is R + 8 bytes; a stream that needs more fails.
  uLongf inflatedLength = realLength + kV2TableHeaderSize;
  std::unique_ptr<uint8_t[]> inflated(new (std::nothrow) uint8_t[inflatedLength]);
  if (inflated == nullptr) return false;
  if (uncompress(inflated.get(), &inflatedLength, packed, packedLength) != Z_OK) return false;
  // Records must lie within what the stream actually inflated to.
  const uint32_t end = static_cast<uint32_t>(inflatedLength);
  if (entryCount_ > end / kV2MinRecordSize) return false;

  std::vector<ParsedRecord> records;
  records.reserve(entryCount_);
  char* table = reinterpret_cast<char*>(inflated.get());
  uint32_t cursor = 0;
  for (uint32_t i = 0; i < entryCount_; ++i) {
    uint32_t remaining = end - cursor;
    uint32_t scan = std::min<uint32_t>(remaining, kMaxNameLength + 1);
    const void* zero = std::memchr(table + cursor, 0, scan);
    if (zero == nullptr) return false;  // past the end, or longer than the index holds
    uint32_t nameLength = static_cast<uint32_t>(static_cast<const char*>(zero) - (table + cursor));
    if (remaining - nameLength - 1 < kV2FieldsSize) return false;
    ParsedRecord r;
    r.hash = lowerAndHash(table + cursor, nameLength);
    r.nameOffset = cursor;
    r.nameLength = nameLength;
    cursor += nameLength + 1;
    const uint8_t* fields = inflated.get() + cursor;
    cursor += kV2FieldsSize;
    r.compressedSize = decodeFixed32(fields + kV2FieldCompressedSize);
    r.storedSize = decodeFixed32(fields + kV2FieldStoredSize);
    r.realSize = decodeFixed32(fields + kV2FieldRealSize);
    readFlagsAndPosition(fields, &r);  // 2.0 flags are taken as stored
    records.push_back(r);
  }
  buildIndex(&records, table, source_->size(), &entries_, &scratch_);
  return true;
}


void ResourceArchive::close() {
  version_ = 0;
  entryCount_ = 0;
  tableOffset_ = 0;
  tableSize_ = 0;
  entries_.clear();  // storage kept for a reopen
  scratch_.clear();
  source_ = nullptr;
}

size_t ResourceArchive::lowerBound(const EntryName& key) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const ArchiveEntry& e, const EntryName& k) { return e.name < k; });
  return static_cast<size_t>(it - entries_.begin());
}

bool ResourceArchive::findEntry(const EntryName& key, ArchiveEntry* out) const {
  size_t at = lowerBound(key);
  if (at == entries_.size() || !(entries_[at].name == key)) return false;
  if (out != nullptr) *out = entries_[at];
  return true;
}

bool ResourceArchive::isLightCipherName(const char* text) {
  const char* dot = std::strrchr(text, '.');
  if (dot == nullptr) return false;
  static const char* const kLightExtensions[] = {".vrm", ".tzl", ".opk", ".wyx"};
  for (const char* ext : kLightExtensions) {
    const char* a = dot;
    const char* b = ext;
    while (*a != '\0' && *b != '\0') {
      char c = *a;
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      if (c != *b) break;
      ++a;
      ++b;
    }
    if (*a == '\0' && *b == '\0') return true;
  }
  return false;
}

bool ResourceArchive::readEntryPlain(ArchiveEntry* entry, uint8_t* out) {
  if (source_ == nullptr || entry == nullptr) return false;
  const uint32_t stored = entry->storedSize;
  const uint32_t compressed = entry->compressedSize;
  // The copy below must stay inside the bytes read.
  if (compressed > stored) return false;
  const bool mixed = (entry->flags & FLAG_MIXED_CIPHER) != 0;
  const bool light = !mixed && (entry->flags & FLAG_LIGHT_CIPHER) != 0;
  if ((mixed || light) && stored % EntryCipher::kBlockSize != 0) return false;
  if (entry->position > UINT32_MAX - kHeaderSize) return false;
  const uint8_t* data = source_->read(entry->position + kHeaderSize, stored);
  if (data == nullptr) return false;

  const uint8_t* plain = data;
  if (mixed || light) {
    // Sized at open for every readable record; grows only for records that
    // were not in the table read then.
    if (scratch_.size() < stored) scratch_.resize(stored);
    if (mixed) {
      EntryCipher::decipherMixed(data, stored, scratch_.data(),
                                 EntryCipher::digitCount(compressed));
    } else {
      EntryCipher::decipherLight(data, stored, scratch_.data());
    }
    plain = scratch_.data();
  }
  entry->storedSize = compressed;
  entry->position = 0;
  entry->flags &= FLAG_CARRIED;
  if (compressed != 0) std::memcpy(out, plain, compressed);
  return true;
}

void ResourceArchive::collectFileNames(NameSet* names) const {
  for (const ArchiveEntry& e : entries_) {
    if (isFileEntryName(e.name.text)) names->insert(e.name.text);
  }
}

}  // namespace corvanth

