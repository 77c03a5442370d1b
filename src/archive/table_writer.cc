// Version 2.0 table records, the sealed table and the header's table fields.
#include "archive/table_writer.h"

#include <zlib.h>

#include <cstring>

namespace corvanth {

namespace {

// TODO(merge): archive_format.h / coding.h
constexpr uint32_t kHeaderSize = 46;
constexpr uint32_t kVersion20 = 0x200;
constexpr uint32_t kCountFieldBias = 7;

void put32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

void appendTableRecord(const ArchiveEntry& entry, std::vector<uint8_t>* raw) {
  size_t nameLength = ::strnlen(entry.name.text, EntryName::kMaxLength);
  size_t at = raw->size();
  raw->resize(at + nameLength + 1 + 17);
  uint8_t* p = raw->data() + at;
  std::memcpy(p, entry.name.text, nameLength);
  p[nameLength] = 0;
  p += nameLength + 1;
  put32(p, entry.compressedSize);
  put32(p + 4, entry.storedSize);
  put32(p + 8, entry.realSize);
  p[12] = entry.flags;
  put32(p + 13, entry.position);
}

bool sealTable(const std::vector<uint8_t>& raw, std::vector<uint8_t>* out) {
  // The table lengths are 32-bit; R + 8 must be too.
  if (raw.size() > 0xFFFFFFFFu - kTableLengthsSize * 2) return false;
  uLongf packed = static_cast<uLongf>(raw.size() + kTableLengthsSize);
  out->assign(kTableLengthsSize + packed, 0);
  if (::compress(out->data() + kTableLengthsSize, &packed, raw.data(),
                 static_cast<uLong>(raw.size())) != Z_OK) {
    return false;
  }
  out->resize(kTableLengthsSize + packed);
  put32(out->data(), static_cast<uint32_t>(packed));
  put32(out->data() + 4, static_cast<uint32_t>(raw.size()));
  return true;
}

void encodeTableFields(uint32_t tableFileOffset, uint32_t entryCount,
                       uint8_t out[kTableFieldsSize]) {
  put32(out, tableFileOffset - kHeaderSize);
  put32(out + 4, 0);
  put32(out + 8, entryCount + kCountFieldBias);
  put32(out + 12, kVersion20);
}

}  // namespace corvanth
