// ArchiveBuilder and ArchiveImage.
#include "support/archive_builder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "archive/coding.h"
#include "archive/entry_cipher.h"
#include "archive/resource_archive.h"

namespace corvanth {

std::vector<uint8_t> encipherEntry(const std::string& content, uint8_t flags, uint32_t filler) {
  std::vector<uint8_t> plain(content.begin(), content.end());
  plain.resize(plain.size() + filler, 0xA5);
  const bool mixed = (flags & FLAG_MIXED_CIPHER) != 0;
  const bool light = !mixed && (flags & FLAG_LIGHT_CIPHER) != 0;
  if (!mixed && !light) return plain;
  while (plain.size() % EntryCipher::kBlockSize != 0) plain.push_back(0xA5);
  std::vector<uint8_t> stored(plain.size());
  if (stored.empty()) return stored;
  const uint32_t n = static_cast<uint32_t>(plain.size());
  if (mixed) {
    EntryCipher::encipherMixed(plain.data(), n, stored.data(),
                               EntryCipher::digitCount(static_cast<uint32_t>(content.size())));
  } else {
    EntryCipher::encipherLight(plain.data(), n, stored.data());
  }
  return stored;
}

std::map<std::string, std::string> plainContents(ResourceArchive* archive) {
  std::map<std::string, std::string> contents;
  for (ArchiveEntry entry : archive->entries()) {
    std::vector<uint8_t> out(entry.compressedSize);
    std::string name = entry.name.text;
    contents[name] = archive->readEntryPlain(&entry, out.data())
                         ? std::string(out.begin(), out.end())
                         : std::string("<unreadable>");
  }
  return contents;
}

std::string patternBytes(size_t length, uint32_t seed) {
  std::string out(length, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < length; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

uint32_t ArchiveImage::header32(uint32_t offset) const { return decodeFixed32(&file.at(offset + 3) - 3); }

void ArchiveImage::setHeader32(uint32_t offset, uint32_t value) {
  encodeFixed32(&file.at(offset + 3) - 3, value);
}

uint32_t ArchiveImage::tableOffset() const { return header32(kTablePositionOffset) + kHeaderSize; }

void ArchiveImage::setRecord32(size_t i, uint32_t offset, uint32_t value) {
  encodeFixed32(&table.at(fieldOffsets.at(i) + offset + 3) - 3, value);
}

void ArchiveImage::setRecordFlags(size_t i, uint8_t flags) {
  table.at(fieldOffsets.at(i) + kFieldFlags) = flags;
}

void ArchiveImage::reseal(std::optional<uint32_t> statedRealLength) {
  file.resize(tableOffset(), 0);
  if ((version & kVersionFormMask) != kFormVersion2) {
    file.insert(file.end(), table.begin(), table.end());
    return;
  }
  uLongf packedLength = compressBound(static_cast<uLong>(table.size()));
  std::vector<uint8_t> packed(packedLength);
  if (compress(packed.data(), &packedLength, table.data(), static_cast<uLong>(table.size())) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  putFixed32(&file, static_cast<uint32_t>(packedLength));
  putFixed32(&file, statedRealLength.value_or(static_cast<uint32_t>(table.size())));
  file.insert(file.end(), packed.begin(), packed.begin() + static_cast<long>(packedLength));
}

std::vector<uint8_t> ArchiveImage::storedBytes(size_t i) const {
  const Region& r = regions.at(i);
  auto begin = file.begin() + kHeaderSize + r.position;
  return std::vector<uint8_t>(begin, begin + r.storedSize);
}

ArchiveBuilder& ArchiveBuilder::add(EntryInput input) {
  Item item;
  item.entry = std::move(input);
  items_.push_back(std::move(item));
  return *this;
}

ArchiveBuilder& ArchiveBuilder::add(const std::string& name, const std::string& content,
                                    uint8_t flags) {
  EntryInput input;
  input.name = name;
  input.content = content;
  input.flags = flags;
  return add(std::move(input));
}

ArchiveBuilder& ArchiveBuilder::addDirectory(const std::string& name) {
  EntryInput input;
  input.name = name;
  input.flags = 0;
  input.directory = true;
  return add(std::move(input));
}

ArchiveBuilder& ArchiveBuilder::addHole(uint32_t length, uint8_t fill) {
  Item item;
  item.hole = true;
  item.holeLength = length;
  item.holeFill = fill;
  items_.push_back(std::move(item));
  return *this;
}

ArchiveBuilder& ArchiveBuilder::countBias(uint32_t bias) {
  countBias_ = bias;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::reserved(const std::string& fourteenBytes) {
  reserved_ = fourteenBytes;
  reserved_.resize(kReservedSize, '\0');
  return *this;
}

namespace {

// The 1.x name field: nibble-swapped for 0x100; otherwise two ignored bytes,
// the name enciphered in whole blocks, four ignored bytes.
std::vector<uint8_t> nameField(uint32_t version, const std::string& name) {
  std::vector<uint8_t> plain(name.begin(), name.end());
  plain.push_back(0);
  std::vector<uint8_t> field;
  if (version == kVersion100) {
    field.resize(plain.size());
    EntryCipher::swapNibbles(plain.data(), static_cast<uint32_t>(plain.size()), field.data());
    return field;
  }
  while (plain.size() % EntryCipher::kBlockSize != 0) plain.push_back(0);
  field = {0x5A, 0xA5};
  for (size_t at = 0; at < plain.size(); at += EntryCipher::kBlockSize) {
    uint8_t block[EntryCipher::kBlockSize];
    uint8_t swapped[EntryCipher::kBlockSize];
    EntryCipher::transformBlock(plain.data() + at, block);
    EntryCipher::swapNibbles(block, EntryCipher::kBlockSize, swapped);
    field.insert(field.end(), swapped, swapped + EntryCipher::kBlockSize);
  }
  field.insert(field.end(), {0x11, 0x22, 0x33, 0x44});
  return field;
}

}  // namespace

ArchiveImage ArchiveBuilder::build() const {
  ArchiveImage image;
  image.version = version_;
  const bool v2 = (version_ & kVersionFormMask) == kFormVersion2;

  image.file.assign(kSignature, kSignature + kSignatureSize);
  image.file.insert(image.file.end(), reserved_.begin(), reserved_.end());
  image.file.resize(kHeaderSize, 0);

  uint32_t count = 0;
  for (const Item& item : items_) {
    if (item.hole) {
      image.file.insert(image.file.end(), item.holeLength, item.holeFill);
      continue;
    }
    const EntryInput& e = item.entry;
    ++count;
    const uint32_t compressedSize = static_cast<uint32_t>(e.content.size());
    const uint32_t realSize = e.realSize.value_or(compressedSize * 2);
    ArchiveImage::Region region{0, 0};
    if (!e.directory) {
      uint8_t cipherFlags = e.flags;
      if (!v2) {
        cipherFlags |= ResourceArchive::isLightCipherName(e.name.c_str()) ? FLAG_LIGHT_CIPHER
                                                                           : FLAG_MIXED_CIPHER;
      }
      std::vector<uint8_t> stored = encipherEntry(e.content, cipherFlags, e.filler);
      region.position = static_cast<uint32_t>(image.file.size()) - kHeaderSize;
      region.storedSize = static_cast<uint32_t>(stored.size());
      image.file.insert(image.file.end(), stored.begin(), stored.end());
    }
    image.regions.push_back(region);

    image.recordOffsets.push_back(static_cast<uint32_t>(image.table.size()));
    if (v2) {
      image.table.insert(image.table.end(), e.name.begin(), e.name.end());
      image.table.push_back(0);
      image.fieldOffsets.push_back(static_cast<uint32_t>(image.table.size()));
      putFixed32(&image.table, compressedSize);
      putFixed32(&image.table, region.storedSize);
      putFixed32(&image.table, realSize);
    } else {
      std::vector<uint8_t> field = nameField(version_, e.name);
      putFixed32(&image.table, static_cast<uint32_t>(field.size()));
      image.table.insert(image.table.end(), field.begin(), field.end());
      image.fieldOffsets.push_back(static_cast<uint32_t>(image.table.size()));
      putFixed32(&image.table, compressedSize + realSize + kSizeBiasA);
      putFixed32(&image.table, region.storedSize + kSizeBiasB);
      putFixed32(&image.table, realSize);
    }
    image.table.push_back(e.flags);
    putFixed32(&image.table, region.position);
  }

  image.setHeader32(kTablePositionOffset, static_cast<uint32_t>(image.file.size()) - kHeaderSize);
  image.setHeader32(kCountBiasOffset, countBias_);
  image.setHeader32(kCountFieldOffset, count + kCountExtra + countBias_);
  image.setHeader32(kVersionOffset, version_);
  image.reseal();
  return image;
}

}  // namespace corvanth
