// Version 2.0 table records, the sealed table and the header's table fields.
#include "archive/table_writer.h"

#include <zlib.h>

#include <cstring>

#include "archive/coding.h"

namespace corvanth {

void appendTableRecord(const ArchiveEntry& entry, std::vector<uint8_t>* raw) {
  size_t nameLength = ::strnlen(entry.name.text, EntryName::kMaxLength);
  size_t at = raw->size();
  raw->resize(at + nameLength + 1 + kV2FieldsSize);
  uint8_t* p = raw->data() + at;
  std::memcpy(p, entry.name.text, nameLength);
  p[nameLength] = 0;
  p += nameLength + 1;
  encodeFixed32(p + kV2FieldCompressedSize, entry.compressedSize);
  encodeFixed32(p + kV2FieldStoredSize, entry.storedSize);
  encodeFixed32(p + kV2FieldRealSize, entry.realSize);
  p[kFieldFlags] = entry.flags;
  encodeFixed32(p + kFieldPosition, entry.position);
}

bool sealTable(const std::vector<uint8_t>& raw, std::vector<uint8_t>* out) {
  // The table lengths are 32-bit; R + 8 must be too.
  if (raw.size() > 0xFFFFFFFFu - kV2TableHeaderSize * 2) return false;
  uLongf packed = static_cast<uLongf>(raw.size() + kV2TableHeaderSize);
  out->assign(kV2TableHeaderSize + packed, 0);
  if (::compress(out->data() + kV2TableHeaderSize, &packed, raw.data(),
                 static_cast<uLong>(raw.size())) != Z_OK) {
    return false;
  }
  out->resize(kV2TableHeaderSize + packed);
  encodeFixed32(out->data(), static_cast<uint32_t>(packed));
  encodeFixed32(out->data() + 4, static_cast<uint32_t>(raw.size()));
  return true;
}

void encodeTableFields(uint32_t tableFileOffset, uint32_t entryCount,
                       uint8_t out[kTableFieldsSize]) {
  // Offsets inside the 16 bytes that start at kTablePositionOffset.
  encodeFixed32(out, tableFileOffset - kHeaderSize);
  encodeFixed32(out + (kCountBiasOffset - kTablePositionOffset), 0);
  encodeFixed32(out + (kCountFieldOffset - kTablePositionOffset), entryCount + kCountExtra);
  encodeFixed32(out + (kVersionOffset - kTablePositionOffset), kVersion200);
}

}  // namespace corvanth
