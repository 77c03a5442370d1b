// ArchiveWriter: whole archives in either table form, plain or enciphered.
#include "archive/archive_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "archive/archive_format.h"
#include "archive/coding.h"
#include "archive/entry_cipher.h"
#include "archive/resource_archive.h"

namespace corvanth {

namespace {

// Written into the older form's header so that readers derive the count
// rather than take the field as it stands.
constexpr uint32_t kLegacyCountBias = 0x5A;

uint32_t roundUpToBlocks(uint32_t n) {
  return (n + EntryCipher::kBlockSize - 1) / EntryCipher::kBlockSize * EntryCipher::kBlockSize;
}

}  // namespace

uint8_t encipherEntryData(const std::vector<uint8_t>& content, EntryCipherMode mode,
                          std::vector<uint8_t>* stored) {
  if (mode == EntryCipherMode::plain) {
    *stored = content;
    return 0;
  }
  const uint32_t length = static_cast<uint32_t>(content.size());
  std::vector<uint8_t> padded(content);
  padded.resize(roundUpToBlocks(length), 0);  // filler after the content
  stored->assign(padded.size(), 0);
  if (mode == EntryCipherMode::light) {
    EntryCipher::encipherLight(padded.data(), static_cast<uint32_t>(padded.size()),
                               stored->data());
    return FLAG_LIGHT_CIPHER;
  }
  EntryCipher::encipherMixed(padded.data(), static_cast<uint32_t>(padded.size()),
                             stored->data(), EntryCipher::digitCount(length));
  return FLAG_MIXED_CIPHER;
}

ArchiveWriter::ArchiveWriter(uint32_t version) : version_(version) {}

bool ArchiveWriter::addFile(const std::string& name, const std::vector<uint8_t>& content,
                            EntryCipherMode mode, uint8_t extraFlags, uint32_t realSize) {
  if (name.empty() || name.size() > static_cast<size_t>(EntryName::kMaxLength) ||
      name.find('\0') != std::string::npos) {
    return false;
  }
  // The older form enciphers every entry, the name choosing the mode.
  if (isLegacyVersion(version_) || mode == EntryCipherMode::byName) {
    mode = ResourceArchive::isLightCipherName(name.c_str()) ? EntryCipherMode::light
                                                            : EntryCipherMode::mixed;
  }
  Pending entry;
  entry.name = name;
  entry.compressedSize = static_cast<uint32_t>(content.size());
  entry.realSize = realSize == kContentSize ? entry.compressedSize : realSize;
  uint8_t cipherFlags = encipherEntryData(content, mode, &entry.stored);
  // The reader adds the mode itself for the older form; store only extras.
  entry.flags = static_cast<uint8_t>(
      (extraFlags & ~(FLAG_MIXED_CIPHER | FLAG_LIGHT_CIPHER)) | (isLegacyVersion(version_) ? 0 : cipherFlags));
  entries_.push_back(std::move(entry));
  return true;
}

bool ArchiveWriter::addDirectory(const std::string& name) {
  if (name.empty() || name.size() > static_cast<size_t>(EntryName::kMaxLength) ||
      name.find('\0') != std::string::npos) {
    return false;
  }
  Pending entry;
  entry.name = name;
  entries_.push_back(std::move(entry));
  return true;
}

std::vector<uint8_t> ArchiveWriter::legacyNameField(const std::string& name) const {
  std::vector<uint8_t> text(name.begin(), name.end());
  text.push_back(0);
  std::vector<uint8_t> field;
  if (version_ == 0x100) {
    field.resize(text.size());
    EntryCipher::swapNibbles(text.data(), static_cast<uint32_t>(text.size()), field.data());
    return field;
  }
  // Readers swap nibbles, then transform each block: undo in reverse order.
  text.resize(roundUpToBlocks(static_cast<uint32_t>(text.size())), 0);
  std::vector<uint8_t> transformed(text.size());
  for (size_t i = 0; i < text.size(); i += EntryCipher::kBlockSize) {
    EntryCipher::transformBlock(&text[i], &transformed[i]);
  }
  field.assign(2, 0);  // two bytes that readers skip
  field.resize(2 + transformed.size());
  EntryCipher::swapNibbles(transformed.data(), static_cast<uint32_t>(transformed.size()),
                           field.data() + 2);
  field.insert(field.end(), 4, 0);  // and four more after the name
  return field;
}

std::vector<uint8_t> ArchiveWriter::finish() const {
  std::vector<uint8_t> file(kHeaderSize, 0);
  std::memcpy(file.data(), kSignature, kSignatureSize);

  // Entry data back to back after the header, in the order added.
  std::vector<uint32_t> positions;
  for (const Pending& e : entries_) {
    positions.push_back(static_cast<uint32_t>(file.size() - kHeaderSize));
    file.insert(file.end(), e.stored.begin(), e.stored.end());
  }

  std::vector<uint8_t> table;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Pending& e = entries_[i];
    const uint32_t storedSize = static_cast<uint32_t>(e.stored.size());
    const uint32_t position = e.stored.empty() ? 0 : positions[i];
    if (isLegacyVersion(version_)) {
      std::vector<uint8_t> field = legacyNameField(e.name);
      putFixed32(&table, static_cast<uint32_t>(field.size()));
      table.insert(table.end(), field.begin(), field.end());
      putFixed32(&table, e.compressedSize + e.realSize + kSizeBiasA);
      putFixed32(&table, storedSize + kSizeBiasB);
      putFixed32(&table, e.realSize);
    } else {
      table.insert(table.end(), e.name.begin(), e.name.end());
      table.push_back(0);
      putFixed32(&table, e.compressedSize);
      putFixed32(&table, storedSize);
      putFixed32(&table, e.realSize);
    }
    table.push_back(e.flags);
    putFixed32(&table, position);
  }

  const uint32_t tablePosition = static_cast<uint32_t>(file.size() - kHeaderSize);
  uint32_t countBias = 0;
  if (isLegacyVersion(version_)) {
    countBias = kLegacyCountBias;
    file.insert(file.end(), table.begin(), table.end());  // runs to the end of the file
  } else {
    uLongf packed = compressBound(static_cast<uLong>(table.size()));
    std::vector<uint8_t> compressed(packed);
    if (compress(compressed.data(), &packed, table.data(), static_cast<uLong>(table.size())) !=
        Z_OK) {
      return {};
    }
    putFixed32(&file, static_cast<uint32_t>(packed));
    putFixed32(&file, static_cast<uint32_t>(table.size()));
    file.insert(file.end(), compressed.begin(), compressed.begin() + packed);
  }
  encodeFixed32(&file[kTablePositionOffset], tablePosition);
  encodeFixed32(&file[kCountBiasOffset], countBias);
  encodeFixed32(&file[kCountFieldOffset],
                static_cast<uint32_t>(entries_.size()) + kCountExtra + countBias);
  encodeFixed32(&file[kVersionOffset], version_);
  return file;
}

bool ArchiveWriter::writeTo(const std::string& path) const {
  std::vector<uint8_t> bytes = finish();
  if (bytes.empty()) return false;
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::remove(temporary.c_str());
  return !error;
}

}  // namespace corvanth
